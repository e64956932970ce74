#include "gpx/reading_profile.hpp"

#include <array>
#include <utility>

#include "platform/paths.hpp"

namespace velmora {

namespace {

bool contains(std::string_view text, std::string_view part) {
    return text.find(part) != std::string_view::npos;
}

}  // namespace

reading_profile choose_reading_profile(const gpx_header& header) {
    if (header.creator.size() >= 3 && equals_ignore_case(header.creator.substr(0, 3), "Skr")) {
        return reading_profile::typed_geocaches;
    }
    auto in_header = [&](std::string_view address) {
        return contains(header.prologue, address) || contains(header.first_link, address);
    };
    if (in_header(monument_register_address)) {
        return header.first_symbol == "Building" ? reading_profile::dated_monuments
                                                 : reading_profile::monuments;
    }
    if (in_header(cross_register_address)) {
        return header.first_symbol == "Cemetery" ? reading_profile::dated_crosses
                                                 : reading_profile::crosses;
    }
    if (header.creator.starts_with("EasyGPS") && in_header(cache_page_address)) {
        return reading_profile::easygps_caches;
    }
    return reading_profile::plain;
}

field_sources sources_of(reading_profile profile) {
    switch (profile) {
        case reading_profile::monuments:
        case reading_profile::crosses:
            return {e_desc, e_cmt, e_desc};
        case reading_profile::easygps_caches:
            return {e_name, e_desc, e_cmt};
        case reading_profile::dated_monuments:
        case reading_profile::dated_crosses:
            return {e_cmt, e_time, e_desc};
        case reading_profile::plain:
        case reading_profile::typed_geocaches:
            break;
    }
    return {e_name, e_cmt, e_desc};
}

std::optional<std::string> geocache_symbol(std::optional<std::string> current,
                                           std::optional<std::string_view> type,
                                           std::optional<std::string_view> comment) {
    static constexpr std::array<std::pair<std::string_view, std::string_view>, 7> symbols{{
        {"Final Location", "Waypoint"},
        {"Geocache", "Geocache"},
        {"Parking Area", "Parking Area"},
        {"Question to Answer", "Puzzle Cache"},
        {"Reference Point", "Waypoint"},
        {"Stages of a Multicache", "Multi-Cache"},
        {"Trailhead", "Trail Head"},
    }};
    if (!type) return current;
    std::string symbol(*type);
    for (const auto& [known, its_symbol] : symbols) {
        if (known == *type) {
            symbol = its_symbol;
            break;
        }
    }
    if (comment && equals_ignore_case(symbol, "geocache")) {
        char first = comment->empty() ? '\0' : comment->front();
        if (first == 'L') {
            symbol = "Multi-Cache";
        } else if (first == 'M') {
            symbol = "Letterbox Cache";
        } else if (first != 'T') {
            symbol = "Puzzle Cache";
        }
    }
    return symbol;
}

std::optional<std::string> profile_symbol(reading_profile profile, std::optional<std::string> sym,
                                          std::optional<std::string_view> type,
                                          std::optional<std::string_view> comment) {
    switch (profile) {
        case reading_profile::typed_geocaches:
            return geocache_symbol(std::move(sym), type, comment);
        case reading_profile::monuments:
        case reading_profile::dated_monuments:
            return std::string(monument_symbol);
        case reading_profile::crosses:
        case reading_profile::dated_crosses:
            return std::string(cross_symbol);
        case reading_profile::plain:
        case reading_profile::easygps_caches:
            break;
    }
    return sym;
}

std::string dated_comment(const std::string& time, const std::string& description) {
    std::string out = time.size() <= 11 ? time : time.substr(0, 10) + " ";
    out += description;
    return out;
}

}  // namespace velmora
