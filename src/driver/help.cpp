#include "driver/help.hpp"

#include <string_view>

#include "platform/version.hpp"

namespace velmora {

namespace {

// One line of a two-column table.  A new parameter is one more entry of the table.
struct help_entry {
    const char* term;
    const char* text;
};

constexpr help_entry inputs[] = {
    {"FILE.gpx", "GPX 1.1 waypoints"},
    {"FILE.gpi", "Garmin GPI file"},
    {"FILE.txt", "speed-camera list (X,Y,TYPE,SPEED,DIRTYPE,DIRECTION)"},
    {"FILE.csv", "POI file in CSV form: lon,lat,name[,comment], or columns"},
    {"", "named by a first line; fields split by , ; or tab; its"},
    {"", "icon is FILE.bmp beside it"},
    {"FILE.kml", "KML document (Google Earth, Google My Maps): its"},
    {"", "placemarks, folders as categories, icons of its styles"},
    {"FILE.kmz", "KMZ archive: its KML document with the icons inside it"},
    {"FILE.osm.pbf", "OpenStreetMap extract (also .osm, .osm.bz2, .osm.gz,"},
    {"", ".o5m); needs -tags: after it"},
    {"FILE.geojson", "GeoJSON (also .json) or uMap document (.umap): points"},
    {"", "and polygon centres; -tags: after it is optional"},
    {"-", "standard input (also stdin, con): GPI, GPX, GeoJSON, CSV"},
    {"", "or a speed-camera list, recognised from its first bytes"},
};

constexpr help_entry outputs[] = {
    {"-o FILE", "the output file (also -output); its extension chooses the"},
    {"", "format: .gpi Garmin GPI, .gpx GPX 1.1, .geojson GeoJSON"},
    {"", "(a FeatureCollection of points), .kmz KMZ archive (KML and"},
    {"", "its icons as PNG files), .kml KML 2.2 with the icons in"},
    {"", "NAME_icons/ beside it: a folder per group and category;"},
    {"", ".html a report page (the inputs, sets, icons, a map and a"},
    {"", "table of every POI, in one file a browser shows offline);"},
    {"", ".bmp the icons of GPI inputs as BMP files"},
    {"-o -", "standard output (also stdout, con); needs -format:"},
    {"(no -o)", "NAME_velmora.gpi beside the first input (.gpx for a GPI"},
    {"", "input)"},
};

constexpr help_entry parameters[] = {
    {"-tags:FILTER", "the objects of the OpenStreetMap (or GeoJSON) input before"},
    {"", "it that become POIs: key[=value[|value...]][,...], any term"},
    {"", "matching (amenity=fuel|charging_station,tourism=camp_site)"},
    {"-groups:folders", "each uMap layer a POI group of its own (default: file,"},
    {"", "the layers are categories of the input's group)"},
    {"-lang:xx", "names from name:xx of OpenStreetMap objects that have it;"},
    {"", "GPI texts of several languages give their xx entry where"},
    {"", "they have one, else their first"},
    {"-groups:folders", "each top-level folder of a KML or KMZ input becomes a"},
    {"", "POI group (set) of its own, named after the folder"},
    {"-format:FORMAT", "gpi, gpx, geojson, kml, kmz or html: the output format"},
    {"", "whatever the output's name; required for standard output"},
    {"-codepage:N", "after -o: the code page of GPI output texts, 1250 to 1258"},
    {"", "or 65001 (also utf8); auto picks the first that holds every"},
    {"", "text; default 1250 or CodePage= of Velmora_gpi.ini"},
    {"-proximity:Ns", "speed alerts warn N seconds ahead (1 to 3600): their"},
    {"", "distance is what the speed covers in N seconds (default"},
    {"", "ten metres per km/h, 36 s); or ProximityTime= of"},
    {"", "Velmora_gpi.ini; proximities given in the input stay"},
    {"-kml:circles", "after -o: KML and KMZ output also draw each proximity"},
    {"", "alert as a circle of its radius"},
    {"-h, --help, -?", "print this text"},
    {"--version", "print the program's name and version"},
};

constexpr help_entry lookup_order[] = {
    {"1.", "the program's own directory"},
    {"2.", "$XDG_CONFIG_HOME/velmora (default ~/.config/velmora)"},
    {"3.", "each directory of $XDG_CONFIG_DIRS, followed by /velmora"},
    {"", "(default /etc/xdg/velmora)"},
    {"4.", "PREFIX/share/velmora of the installed program (PREFIX/bin/velmora)"},
};

constexpr help_entry exit_codes[] = {
    {"0", "every input was read and the output written"},
    {"1", "a fatal condition: no input, a name that can't be used, an"},
    {"", "unsupported output format, an unknown code page, an output"},
    {"", "that can't be written, no icons for a .bmp output; or no"},
    {"", "input could be read (the output is then left as it was)"},
    {"2", "the output was written, but some inputs were left out"},
    {"129 130 143", "ended by SIGHUP, SIGINT or SIGTERM; output left as it was"},
};

template <std::size_t N>
void print_table(std::FILE* out, const char* title, const help_entry (&entries)[N]) {
    std::fprintf(out, "\n%s\n", title);
    for (const help_entry& entry : entries) {
        std::fprintf(out, "  %-17s %s\n", entry.term, entry.text);
    }
}

}  // namespace

info_request info_requested(int argc, const char* const* argv) {
    info_request request = info_request::none;
    for (int i = 1; i < argc; ++i) {
        std::string_view arg = argv[i];
        if (arg == "-h" || arg == "--help" || arg == "-?") return info_request::help;
        if (arg == "--version") request = info_request::version;
    }
    return request;
}

void print_help(std::FILE* out) {
    std::fprintf(out,
                 "Usage: %s INPUT... [-lang:xx] [-groups:folders] [-o OUTPUT]\n"
                 "       [-format:FORMAT] [-codepage:N|auto] [-proximity:Ns]\n"
                 "       %s -h | --help | -? | --version\n"
                 "\n"
                 "Converts points of interest for Garmin navigators.  The inputs are read in\n"
                 "command-line order and merged into one output.  Progress, warnings and\n"
                 "errors go to standard error.\n",
                 program_command, program_command);
    print_table(out, "Inputs:", inputs);
    print_table(out, "Output:", outputs);
    print_table(out, "Parameters:", parameters);
    std::fprintf(out,
                 "\nSettings files Velmora_gpi.ini (GPI output), Velmora_speedcam.ini\n"
                 "(speed-camera lists) and Velmora_osm.ini (OpenStreetMap and Maki\n"
                 "symbols), and the icons directories icons/ and icons/speedcam/, are each\n"
                 "taken from the first of these directories that has them:\n");
    for (const help_entry& entry : lookup_order) {
        std::fprintf(out, "  %-3s %s\n", entry.term, entry.text);
    }
    print_table(out, "Exit codes:", exit_codes);
    std::fprintf(out, "\nSee velmora(1) for the formats, the settings and examples.\n");
}

void print_version(std::FILE* out) {
    std::fprintf(out, "%s %s\n", program_command, version_number);
}

}  // namespace velmora
