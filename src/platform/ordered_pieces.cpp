#include "platform/ordered_pieces.hpp"

#include <condition_variable>
#include <exception>
#include <mutex>
#include <optional>
#include <vector>

#include "platform/side_by_side.hpp"

namespace velmora {

bool make_and_put_in_order(std::size_t count, std::size_t ahead, bool two_threads,
                           const std::function<void(std::size_t)>& make,
                           const std::function<bool(std::size_t)>& put) {
    auto one_thread = [&] {
        for (std::size_t i = 0; i < count; ++i) {
            make(i);
            if (!put(i)) return false;
        }
        return true;
    };
    if (!two_threads) return one_thread();
    if (ahead == 0) ahead = 1;

    struct piece_state {
        bool made = false;
        std::exception_ptr failure;
    };
    std::vector<piece_state> pieces(count);
    std::mutex lock;
    std::condition_variable changed;
    std::size_t next = 0;  // the first piece nobody took yet
    std::size_t put_count = 0;
    bool stop = false;

    // The next piece to make, when it is not too far ahead of the handing on.  Called
    // with the lock held.
    auto take = [&]() -> std::optional<std::size_t> {
        if (stop || next >= count || next >= put_count + ahead) return std::nullopt;
        return next++;
    };
    auto make_one = [&](std::size_t index, std::unique_lock<std::mutex>& held) {
        held.unlock();
        std::exception_ptr failure;
        try {
            make(index);
        } catch (...) {
            failure = std::current_exception();
        }
        held.lock();
        pieces[index].failure = failure;
        pieces[index].made = true;
        changed.notify_all();
    };
    auto finish = [&] {
        std::lock_guard<std::mutex> held(lock);
        stop = true;
        changed.notify_all();
    };

    bool ok = true;
    auto put_all = [&] {
        // The helper stops however this ends, an exception included.
        struct stopper {
            decltype(finish)& done;
            ~stopper() { done(); }
        } stops_helper{finish};
        for (std::size_t i = 0; i < count && ok; ++i) {
            {
                std::unique_lock<std::mutex> held(lock);
                while (!pieces[i].made) {
                    if (auto index = take()) {
                        make_one(*index, held);
                    } else {
                        changed.wait(held);
                    }
                }
            }
            if (pieces[i].failure) std::rethrow_exception(pieces[i].failure);
            ok = put(i);
            std::lock_guard<std::mutex> held(lock);
            ++put_count;
            changed.notify_all();
        }
    };
    auto help = [&] {
        std::unique_lock<std::mutex> held(lock);
        for (;;) {
            changed.wait(held, [&] { return stop || next >= count || next < put_count + ahead; });
            auto index = take();
            if (!index) return;
            make_one(*index, held);
        }
    };
    if (!run_side_by_side(put_all, help)) return one_thread();
    return ok;
}

}  // namespace velmora
