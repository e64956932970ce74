#pragma once
// The clips and pictures of the sets as files beside a GPX document, and the links of
// the POIs to them.  The document names each file relative to itself:
// "<base>_media/<set>_<id>_<language>.wav" (or ".mp3") for a clip,
// "<base>_media/<set>_picture_<n>.jpg" for the set's n-th picture, where base is the
// document's file name without its extension.
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "model/poiset.hpp"

namespace velmora {

// A link of a POI to a file beside the document.
struct gpx_media_link {
    std::string href;       // relative to the document, percent-encoded
    std::string text;       // the file's name
    std::string_view type;  // "audio/wav", "audio/mpeg" or "image/jpeg"
};

// A file to put beside the document: its name relative to the document's directory, and
// the bytes, which stay in the set they come from.
struct gpx_media_file {
    std::string name;
    std::span<const std::uint8_t> bytes;
};

// The links of one set: of each media record (to its first clip), by id, and of each
// picture, by index.
struct gpx_set_media {
    std::vector<std::pair<std::uint16_t, gpx_media_link>> sounds;  // sorted by id
    std::vector<gpx_media_link> pictures;

    [[nodiscard]] const gpx_media_link* sound(std::uint16_t id) const;
    [[nodiscard]] const gpx_media_link* picture(std::uint32_t index) const {
        return index < pictures.size() ? &pictures[index] : nullptr;
    }
};

struct gpx_media {
    std::vector<gpx_media_file> files;  // every clip and picture of every set
    std::vector<gpx_set_media> sets;    // by the set's place in the list
};

// The files and links of the sets' clips and pictures for a document whose file name,
// without its extension, is base.  Set names become file names of letters, digits,
// "-", "_", "." and other characters than ASCII; sets whose names come out alike are
// numbered apart.
[[nodiscard]] gpx_media plan_gpx_media(const poiset_list& list, std::string_view base);

}  // namespace velmora
