#include "platform/split_policy.hpp"

#include "platform/side_by_side.hpp"

namespace velmora {

bool split_policy::side_by_side(std::size_t count, const std::function<void()>& first,
                                const std::function<void()>& second) const {
    return splits(count) && run_side_by_side(first, second);
}

void split_policy::in_halves(std::size_t count, std::size_t half,
                             const std::function<void(std::size_t, std::size_t)>& range) const {
    if (!side_by_side(
            count, [&] { range(0, half); }, [&] { range(half, count); })) {
        range(0, count);
    }
}

}  // namespace velmora
