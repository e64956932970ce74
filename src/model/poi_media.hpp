#pragma once
// The sound clips a POI set carries for its alerts (records of an id, the format of
// their clips and one clip per language) and the pictures of its POIs, the bytes kept
// as the input holds them.
#include <array>
#include <cstdint>
#include <vector>

namespace velmora {

// The format of a record's clips, as GPI files number it.
enum class media_format : std::uint8_t { wav = 0, mp3 = 1 };

struct media_clip {
    std::array<char, 2> language{};  // two letters, as the input writes them
    std::vector<std::uint8_t> bytes;
};

struct poi_media {
    std::uint16_t id = 0;  // what an alert names the record by
    media_format format = media_format::wav;
    std::vector<media_clip> clips;  // in the input's order
};

// A POI's picture: a JPEG file's bytes.
struct poi_picture {
    std::vector<std::uint8_t> jpeg;
};

}  // namespace velmora
