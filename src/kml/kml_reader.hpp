#pragma once
// Import of KML documents (Google Earth, Google My Maps) and of KMZ archives holding one:
// placemarks with a point, or with a polygon at the centroid of its area, become POIs
// with their names, descriptions as plain text, addresses, phone numbers and extended
// data; the document is one POI set, its folders are categories (or sets of their own);
// the icons of the placemarks' styles are handed to the caller.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "model/poiset.hpp"
#include "platform/page_buffer.hpp"
#include "platform/split_policy.hpp"

namespace velmora {

// About what a placemark takes of a document, for sharing a document by its length.
inline constexpr std::size_t kml_bytes_per_placemark = 64;

struct kml_read_options {
    bool folders_as_sets = false;  // each top-level folder a set of its own (-groups:folders)
    // Documents of at least this many bytes are read by two threads, a part each, where
    // the machine has two processors; the result is that of one thread.
    std::size_t parallel_from = split_policy{}.bytes_from(kml_bytes_per_placemark);
};

// Where a document comes from.
struct kml_source {
    std::string name;       // the input's display name: the set's name when the document has none
    std::string directory;  // where files it refers to lie (with a trailing separator);
                            // empty: beside nothing (standard input)
};

// The picture of a symbol that the styles of a document give its placemarks.
struct kml_icon {
    std::string symbol;                 // the placemarks' symbol: their style's name
    std::string href;                   // the image as the style names it
    std::optional<std::string> image;   // its bytes, from the archive or beside the file
    std::string web_name;               // an image on the web (not fetched): its file name without
                                        // extension, to look for in the icons directory; else empty
    std::uint32_t colour = 0xFFFFFFFF;  // the style's tint, aabbggrr; white leaves it as is
};

struct kml_read_result {
    int sets = 0;                 // sets appended to the list
    std::vector<kml_icon> icons;  // of the symbols the placemarks use, one each
    bool read_in_two = false;     // two threads read the document, a part each
};

// True when the bytes begin as a zip archive (a KMZ file).
[[nodiscard]] bool is_zip_archive(std::string_view bytes);

// Reads a KML document, or the document of a KMZ archive, from its bytes, appending its
// sets to the list.  Malformed XML is read up to the fault, then reported.  None (after a
// message, nothing appended) when an archive can't be read or holds no document.  The
// bytes of a KML document are told to passed (when given) as the reading leaves them
// behind.  Throws std::bad_alloc.
[[nodiscard]] std::optional<kml_read_result> kml_read(std::string_view bytes,
                                                      const kml_source& source, poiset_list& list,
                                                      const kml_read_options& options = {},
                                                      const passed_text& passed = {});

}  // namespace velmora
