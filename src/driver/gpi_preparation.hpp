#pragma once
// Everything a GPI file needs done to the sets before the writer runs, in one object:
// it takes each set as it is read (its icon library, the icons it brings, the choice of
// icons within the limit) and finishes them all before writing (default proximity,
// code page, texts into it, limits, bitmaps, area order).  The run, the fuzz target and
// the benchmark prepare through it alike.
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "gpi/gpi_group.hpp"
#include "gpi/gpi_settings.hpp"
#include "kml/kml_reader.hpp"
#include "model/icon_list.hpp"
#include "model/poiset.hpp"
#include "platform/split_policy.hpp"
#include "text/output_code_page.hpp"

namespace velmora {

// The icons directory that a kind of set takes its icons from.
enum class icon_library {
    symbols,   // the icons of GPX symbols
    speedcam,  // those of speed-camera lists
};

// The sets ready for the GPI writer, in the code page they were converted to.
struct gpi_prepared {
    int code_page = 1250;
    std::vector<gpi_group> groups;
};

class gpi_preparation {
  public:
    struct options {
        const gpi_settings* settings = nullptr;  // none: no icon limit, no default proximity
        code_page_choice code_page;              // of the output
        split_policy split;                      // when large sets are shared by two threads
    };
    // Loads an icon library, saying where it found it.
    using library_loader = std::function<std::unique_ptr<icon_list>(icon_library)>;

    gpi_preparation(options given, library_loader load_library);

    // A set just read, which takes the icons of the library and its choice of them.
    void take_set(poiset& set, icon_library library);
    // A set read from a file that may bring its own icon (a BMP file of the same base name
    // beside it), given to every waypoint and chosen as library icons are.  Without one,
    // a set whose waypoints name symbols takes the icons of GPX symbols.
    void take_set_with_icon_beside(poiset& set, const std::string& input_path);
    // A set of a KML document: the icons of its styles before those of the library.
    void take_set_with_document_icons(poiset& set, std::span<const kml_icon> icons);

    // Finishes every set of the list: waypoints without an alert get the default
    // proximity, then the code page is chosen (reported when automatic) and the sets are
    // made ready as prepare_for_gpi does.  None when that failed (reported).
    [[nodiscard]] std::optional<gpi_prepared> finish(poiset_list& list);

  private:
    void select(poiset& set) const;

    options options_;
    library_loader load_library_;
};

// Makes every set of the list that has waypoints ready for the GPI writer, in order:
// - the group name and every text of every set, whatever its encoding, are converted
//   through Unicode into the output code page, which the set then holds; the characters
//   the code page lacks are written as "?" and counted in one warning;
// - texts longer than a GPI text holds are cut, and alert values beyond 16 bits are
//   reported, each with a warning naming the waypoint;
// - the set's icons are converted into GPI bitmaps and its area index is built.
// Large sets are gone through by two threads as split says.  Sets without waypoints are
// left out with a warning.  None when a set's area index could not be built (reported).
// Throws std::bad_alloc when memory runs out.
[[nodiscard]] std::optional<std::vector<gpi_group>> prepare_for_gpi(poiset_list& list,
                                                                    const output_code_page& output,
                                                                    const split_policy& split = {});

// The header time of a GPI file about to be written to the output path.
struct gpi_header_time {
    std::int64_t time = 0;  // seconds since 1970
    std::string after;      // when moved: the file whose time is one second before it
};

// The wanted time, moved forward to the first second that no other .gpi file of the
// output's directory holds in its header (navigators tell GPI files apart by that time).
// Files that can't be read or are no GPI files are passed over, and so is the output
// itself.  The same files give the same time.
[[nodiscard]] gpi_header_time distinct_header_time(const std::string& output_path,
                                                   std::int64_t wanted);

}  // namespace velmora
