#pragma once
// Export of the run's POI sets as one KML 2.2 document for Google Earth and Google My
// Maps, or as a KMZ archive of that document and its icons.  Each set is a Folder named
// like its GPI group, each category a Folder within it; a POI lies in the folder of its
// first category and names the others in its ExtendedData.  Its name is the Placemark's
// name; its comment, description, address, contacts and alert are readable lines of the
// description; the fields KML has no element for are ExtendedData, under the names the
// KML reader takes back.  Each picture of an icon is one shared Style.
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "model/poiset.hpp"
#include "platform/split_policy.hpp"

namespace velmora {

// An icon as a PNG file and the style that shows it.
struct kml_icon_file {
    std::string style_id;  // the icon's symbol where it makes an id, else "icon<n>"
    std::string name;      // "<n>.png"
    std::vector<std::uint8_t> png;
};

// The pictures of the icons the waypoints show, one per distinct picture and symbol.
struct kml_icon_table {
    std::vector<kml_icon_file> files;
    // Per set, per icon id: the index into files, or -1.
    std::vector<std::vector<int>> file_of_icon;
};

// The icons of the sets that their waypoints use, as PNG files; an icon that can't be
// converted is left out (its waypoints show the default pin).
[[nodiscard]] kml_icon_table kml_icons_of(const poiset_list& list);

struct kml_options {
    std::string document_name;  // UTF-8: the Document's name
    std::string icon_folder;    // where the icon files lie, seen from the document ("icons/")
    bool circles = false;       // proximity alerts also drawn as a circle of their radius
};

// Writes the document, in pieces, to a function that takes each piece and returns false
// when it failed.  With split, a second thread formats parts of the document while the
// first writes.  False when a write failed.
using kml_sink = bool (*)(void* context, std::string_view piece);
[[nodiscard]] bool kml_produce(const poiset_list& list, const kml_icon_table& icons,
                               const kml_options& options, const split_policy& split, kml_sink sink,
                               void* context);

// The document written to a stream; false when a write failed.
[[nodiscard]] bool kml_write(std::FILE* stream, const poiset_list& list,
                             const kml_icon_table& icons, const kml_options& options,
                             const split_policy& split = {});

// The document as a string.
[[nodiscard]] std::string kml_document(const poiset_list& list, const kml_icon_table& icons,
                                       const kml_options& options, const split_policy& split = {});

// Writes a KMZ archive to the stream: "doc.kml" first, then each icon as
// "<icon_folder><name>" (icon_folder as in the options).  The document is stored or
// deflated as it is made, never held whole.  The entries carry the time given (seconds
// since 1970).  False, with the reason in why, when a write failed or the archive would
// pass the 4 GiB a plain zip archive holds.
[[nodiscard]] bool kmz_write(std::FILE* stream, const poiset_list& list,
                             const kml_icon_table& icons, const kml_options& options,
                             std::int64_t time, const split_policy& split, std::string& why);

}  // namespace velmora
