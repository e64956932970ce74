#include "model/poiset.hpp"

#include <new>

#include "platform/messages.hpp"

namespace velmora {

namespace {
constexpr std::size_t initial_poisets = 16;
}  // namespace

// Waypoint arrays grow on demand: a GPI file of many small groups must not reserve
// room for thousands of waypoints per group.
poiset::poiset() = default;

poiset_list::poiset_list() {
    poisets.reserve(initial_poisets);
}

poiset* poiset_list_add(poiset_list& list) {
    try {
        list.poisets.push_back(std::make_unique<poiset>());
    } catch (const std::bad_alloc&) {
        report("\nFatal: Can't allocate one more poiset");
        return nullptr;
    }
    return list.poisets.back().get();
}

waypoint* poiset_add_waypoint(poiset& set) {
    try {
        set.waypoints.push_back(std::make_unique<waypoint>());
    } catch (const std::bad_alloc&) {
        report("\nError: Can't allocate one waypoint!");
        return nullptr;
    }
    return set.waypoints.back().get();
}

}  // namespace velmora
