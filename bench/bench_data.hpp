#pragma once
// Synthetic waypoints for the microbenchmarks, deterministic and shaped like the inputs
// of gen_inputs.py: accented UTF-8 names, comments, descriptions, a dozen symbols.
#include <array>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <string_view>

#include "model/poiset.hpp"

namespace velmora::bench {

inline constexpr std::array<std::string_view, 17> words = {"Brno",
                                                           "n\xC3\xA1m\xC4\x9Bst\xC3\xAD",
                                                           "\xC5\xBDlut\xC3\xBD",
                                                           "kopec",
                                                           "\xC5\x98"
                                                           "eka",
                                                           "\xC4\x8E\xC3\xA1"
                                                           "bl\xC3\xAD"
                                                           "k",
                                                           "Sz\xC3\xA9p",
                                                           "utca",
                                                           "K\xC5\x91r\xC3\xB6si",
                                                           "Stra\xC3\x9F"
                                                           "e",
                                                           "M\xC3\xBCller",
                                                           "ch\xC3\xA2teau",
                                                           "\xC5\x81\xC3\xB3"
                                                           "d\xC5\xBA",
                                                           "\xC5\x9Awi\xC4\x99tokrzyska",
                                                           "Ostrava",
                                                           "\xC4\x8D"
                                                           "erpac\xC3\xAD",
                                                           "stanice"};

inline constexpr std::array<std::string_view, 12> symbols = {
    "Flag, Blue",   "Flag, Red", "Flag, Green", "Car",      "Gas Station", "Restaurant",
    "Parking Area", "Lodging",   "Scenic Area", "Geocache", "Waypoint",    "Shopping Center"};

// A small linear congruential generator: the same numbers on every machine.
class sequence {
  public:
    explicit sequence(std::uint64_t seed) : state_(seed) {}
    std::uint32_t next() {
        state_ = state_ * 6364136223846793005ull + 1442695040888963407ull;
        return static_cast<std::uint32_t>(state_ >> 33);
    }
    double uniform(double low, double high) { return low + (high - low) * (next() / 2147483648.0); }
    std::string_view word() { return words[next() % words.size()]; }

  private:
    std::uint64_t state_;
};

// One GPX waypoint element as the generator writes it.
inline std::string wpt_element(sequence& seq, int i) {
    std::string name =
        std::string(seq.word()) + " " + std::string(seq.word()) + " " + std::to_string(i);
    if (i % 7 == 0)
        name.append("@").append(std::to_string(30 + 10 * static_cast<int>(seq.next() % 10)));
    std::string cmt =
        std::string(seq.word()) + " " + std::string(seq.word()) + " comment " + std::to_string(i);
    std::string desc = std::string(seq.word()) + " &amp; " + std::string(seq.word()) + ", point " +
                       std::to_string(i);
    char position[64];
    std::snprintf(position, sizeof position, "lat=\"%.6f\" lon=\"%.6f\"", seq.uniform(45, 55),
                  seq.uniform(5, 25));
    return std::string("  <wpt ") + position + "><name>" + name + "</name><cmt>" + cmt +
           "</cmt><desc>" + desc + "</desc><sym>" + std::string(symbols[i % symbols.size()]) +
           "</sym></wpt>\n";
}

// A GPX document of n waypoints.
inline std::string gpx_document_of(int n) {
    sequence seq(1250);
    std::string text =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
        "<gpx version=\"1.1\" creator=\"Velmora bench\" "
        "xmlns=\"http://www.topografix.com/GPX/1/1\">\n";
    for (int i = 0; i < n; ++i) text += wpt_element(seq, i);
    text += "</gpx>\n";
    return text;
}

// A UTF-8 set of n waypoints as the GPX reader leaves them (lower-case symbols).
inline std::unique_ptr<poiset> waypoint_set_of(int n) {
    sequence seq(866);
    auto set = std::make_unique<poiset>();
    set->name = "bench";
    set->is_utf8 = true;
    for (int i = 0; i < n; ++i) {
        waypoint* w = poiset_add_waypoint(*set);
        w->lat = seq.uniform(45, 55);
        w->lon = seq.uniform(5, 25);
        w->flags = has_position;
        w->name = set->store(std::string(seq.word()) + " " + std::string(seq.word()) + " " +
                             std::to_string(i));
        w->comment = set->store(std::string(seq.word()) + " comment " + std::to_string(i));
        w->description = set->store(std::string(seq.word()) + " & " + std::string(seq.word()));
        w->symbol = set->store("flag, blue");
        if (i % 7 == 0) {
            w->speed = 50;
            w->proximity = 500;
            w->flags |= has_proximity | has_speed;
        }
    }
    return set;
}

}  // namespace velmora::bench
