#include "driver/importers.hpp"

#include <cstdint>
#include <optional>
#include <utility>

#include "csv/csv_reader.hpp"
#include "geojson/geojson_reader.hpp"
#include "gpi/gpi_reader.hpp"
#include "gpx/gpx_reader.hpp"
#include "kml/kml_reader.hpp"
#ifdef VELMORA_WITH_OSM
#include "osm/osm_import.hpp"
#include "osm/osm_reader.hpp"
#endif
#include "platform/messages.hpp"
#include "platform/paths.hpp"
#include "platform/whole_input.hpp"
#include "speedcam/speedcam_import.hpp"
#include "speedcam/speedcam_settings.hpp"
#include "tags/osm_filter.hpp"

namespace velmora {

namespace {

// A new set at the end of the list, named after the input.
poiset& add_named_set(run_state& run, const input_request& input) {
    poiset* set = poiset_list_add(run.list);
    if (set == nullptr) throw fatal_exit{};
    set->name = input.name;
    set->name_is_utf8 = true;
    return *set;
}

// The names and symbols of the cameras suit the output.
speedcam_naming naming_for(output_format format) {
    switch (format) {
        case output_format::gpi:
        case output_format::kml:
        case output_format::kmz:
            return speedcam_naming::gpi;
        case output_format::gpx:
        case output_format::geojson:
        case output_format::report:
            return speedcam_naming::gpx;
        case output_format::bmp:
        case output_format::none:
            break;
    }
    return speedcam_naming::none;
}

}  // namespace

bool read_gpx_input(run_state& run, std::FILE* file, const input_request& input) {
    poiset& set = add_named_set(run, input);
    bool imported = gpx_read(file, set, run.split);
    if (imported && run.gpi) run.gpi->take_set(set, icon_library::symbols);
    return imported;
}

bool read_gpi_input(run_state& run, std::FILE* file, const input_request&) {
    // What was read before a failure stays in the list; the reader has reported it.
    return read_gpi_file(file, run.list, run.request.gpi_options);
}

bool read_csv_input(run_state& run, std::FILE* file, const input_request& input) {
    poiset* set = poiset_list_add(run.list);
    if (set == nullptr) throw fatal_exit{};
    bool imported = csv_read(file, input.name, *set);
    if (imported && run.gpi) run.gpi->take_set_with_icon_beside(*set, input.path);
    return imported;
}

bool read_speedcam_input(run_state& run, std::FILE* file, const input_request& input) {
    poiset& set = add_named_set(run, input);
    // The settings are read afresh for every list and released after its import.
    auto settings = read_speedcam_settings(run.files.find_settings_file("Velmora_speedcam.ini"));
    bool imported = import_speedcam_text(file, settings.get(), set,
                                         naming_for(run.request.output.format), run.split);
    if (imported && run.gpi) run.gpi->take_set(set, icon_library::speedcam);
    return imported;
}

// A GeoJSON file or uMap document, read whole; its -tags: filter, when given, selects
// the features.
bool read_geojson_input(run_state& run, std::FILE* file, const input_request& input) {
    std::optional<osm_tag_filter> filter;
    if (input.tags) {
        std::string error;
        filter = parse_osm_tag_filter(*input.tags, error);
        if (!filter) {
            report("\nError: The tag filter -tags:%s can't be used: %s", input.tags->c_str(),
                   error.c_str());
            return false;
        }
    }
    geojson_options options;
    options.filter = filter ? &*filter : nullptr;
    options.osm = {run.request.lang, run.files.tag_mapping()};
    options.layers_as_sets = run.request.kml_options.folders_as_sets;
    options.two_threads_from = run.split.bytes_from(geojson_bytes_per_feature);
    int sets_before = run.list.count();
    if (!geojson_read_file(file, input.path, input.name, options, run.list)) return false;
    if (!run.gpi) return true;
    for (int i = sets_before; i < run.list.count(); ++i)
        run.gpi->take_set(*run.list.poisets[static_cast<std::size_t>(i)], icon_library::symbols);
    return true;
}

// A KML document or KMZ archive, whose sets take, for GPI output, the icons of its
// styles before those of the icons directory.
bool read_kml_input(run_state& run, std::FILE* file, const input_request& input) {
    // A regular file is mapped and its pages given back as the reading passes them;
    // any other stream is read whole.
    std::optional<whole_input> loaded = whole_input::load(file, "kml");
    if (!loaded) return false;
    kml_source source{input.name, {}};
    if (!input.console) {
        if (auto parts = split_path(input.path)) source.directory = parts->drive + parts->dir;
    }
    std::size_t first = run.list.poisets.size();
    kml_read_options options = run.request.kml_options;
    options.parallel_from = run.split.bytes_from(kml_bytes_per_placemark);
    auto result = kml_read(loaded->text(), source, run.list, options, loaded->passer());
    loaded->check_unchanged();
    if (!result) return false;
    if (!run.gpi) return true;
    for (std::size_t i = first; i < run.list.poisets.size(); ++i)
        run.gpi->take_set_with_document_icons(*run.list.poisets[i], result->icons);
    return true;
}

#ifdef VELMORA_WITH_OSM
bool read_osm_input(run_state& run, std::FILE*, const input_request& input) {
    std::string error;
    auto filter = parse_osm_tag_filter(input.tags.value_or(""), error);
    if (!filter) return false;  // checked before the import
    osm_read_options options{*filter, {run.request.lang, run.files.tag_mapping()}};
    auto result = read_osm_file(input.path, options);
    if (!result) return false;
    report("\n    matched %lli nodes, %lli closed ways and %lli multipolygons",
           static_cast<long long>(result->nodes), static_cast<long long>(result->ways),
           static_cast<long long>(result->multipolygons));
    const std::pair<std::int64_t, const char*> left_out[] = {
        {result->out_of_range, "matching nodes have no valid position"},
        {result->missing_nodes, "matching ways have nodes the file lacks"},
        {result->open_ways, "matching ways are not closed"},
        {result->missing_members, "matching multipolygons have member ways the file lacks"},
        {result->unassembled, "matching multipolygons have rings that don't close"},
        {result->relations, "matching relations are not multipolygons"},
    };
    for (const auto& [count, reason] : left_out) {
        if (count > 0) {
            report_problem("\nWarning: %lli %s and were left out", static_cast<long long>(count),
                           reason);
        }
    }
    if (add_osm_pois(run.list, *result, *filter, run.files.tag_mapping(), input.name) < 0) {
        throw fatal_exit{};
    }
    if (run.gpi) run.gpi->take_set(*run.list.poisets.back(), icon_library::symbols);
    return true;
}

bool osm_input_opens(const std::string& path) {
    return osm_input_can_be_read_twice(path);
}
#else
bool read_osm_input(run_state&, std::FILE*, const input_request& input) {
    report("\nInput file format (%s) not supported (this build has no OpenStreetMap input)!",
           shown(input.ext).c_str());
    return false;
}

bool osm_input_opens(const std::string&) {
    return true;
}
#endif

}  // namespace velmora
