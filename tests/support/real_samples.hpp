#pragma once
// The real-world sample files of other producers that the tests read (paths relative to
// the sample folder, see real_file()), one table per format and one row per file, with
// what an independent reader finds in each.  The reader tests and the end-to-end runs
// go through the same rows.

namespace velmora::testing {

// The summary that a GPI file of Russian and English texts earns when read with -lang:EN.
inline constexpr const char* two_languages_read_as_en =
    "\n    languages: RU, EN; read EN where a text has it, else its first";

// A GPI file with its groups and POIs as GPSBabel reads them (with languagecode=EN for
// the files of two languages), one POI by index with its name (trailing blanks dropped)
// and position, and the messages of reading it with -lang:EN.
struct real_gpi_sample {
    const char* file;
    int sets;
    int pois;
    int sample;
    const char* name;
    double lat;
    double lon;
    const char* messages;
};

inline constexpr real_gpi_sample real_gpi_samples[] = {
    {"gpi/BORDATLAS.gpi", 1, 6936, 0, "Camperplaats Den Bosch", 51.693907, 5.279444, ""},
    {"gpi/GATSO_30.gpi", 1, 2, 0, "max@30", 48.762390, 2.419010, ""},
    {"gpi/GermanySouth.gpi", 1, 2773, 2772, "Mautturm", 48.714785, 11.260601, ""},
    {"gpi/Hollandspeedcam.gpi", 1, 441, 0, "-", 50.991825, 5.806569, ""},
    {"gpi/garmin_gpi.gpi", 1, 86, 0, "5058ROAD", 42.439993, -71.120925, ""},
    {"gpi/garmin_gpi_category~gpx.gpi", 1, 86, 0, "5058ROAD", 42.439993, -71.120925, ""},
    {"gpi/garmin_gpi_encoding.gpi", 1, 1, 0, "\x80", 50.85, 4.35, ""},
    {"gpi/garmin_gpi_position~gpx.gpi", 1, 86, 0, "5058ROAD", 42.439993, -71.120925, ""},
    // Its POIs refer to an icon it does not hold.
    {"gpi/gpi_ext-sample.gpi", 1, 9, 1, "Altenburg-Umgehung", 50.964955, 12.435919,
     "\nWarning: 9 pois of the group My points refer to an icon the group lacks (icon 1023 "
     "first); the references were dropped"},
    {"gpi/gpispeed.gpi", 1, 1, 0, "point0", 49.794688, 9.834015, ""},
    {"gpi/umsonstdraussen.gpi", 5, 78, 77, "Detten Rockt", 52.180170, 7.538500, ""},
    {"gpi/rosneftHi_res.gpi", 1, 2301, 2300,
     "\xD0\x90\xD0\x97\xD0\xA1 "
     "\xD0\xA0\xD0\xBE\xD1\x81\xD0\xBD\xD0\xB5\xD1\x84\xD1\x82\xD1\x8C",
     50.560600, 137.031876, two_languages_read_as_en},
    // The loader pads the English names with blanks to the length of the Russian ones;
    // GPSBabel shows them without.
    {"gpi/spb_metro_norm.gpi", 1, 83, 82, "SPORTIVNAYA-2", 59.947630, 30.283500,
     two_languages_read_as_en},
};

// A GPX file with the number of waypoints it holds.
struct real_gpx_sample {
    const char* file;
    int waypoints;
};

inline constexpr real_gpx_sample real_gpx_samples[] = {
    {"gpx/basecamp.gpx", 2},
    {"gpx/expertgps.gpx", 86},
    {"gpx/garmin_gpi.gpx", 86},
    {"gpx/garmin_gpi_encoding.gpx", 1},
    {"gpx/gpispeed.gpx", 1},
    {"gpx/GC7FA4.gpx", 1},
    {"gpx/GCGCA8_nasty.gpx", 1},
    {"gpx/gpxpassthrough11.gpx", 3},
    {"gpx/lowrance-utf16-test.gpx", 1},
    {"gpx/umsonstdraussen.gpx", 78},
    {"gpx/gdb-sample-v3-ilinks.gpx", 5},
    {"gpx/route.gpx", 0},
    {"gpx/multiple-links.gpx", 1},
    {"gpx/iso8859-1encoded.gpx", 8},
    {"gpx/gpx1.1_with_all_fields.gpx", 2},
    {"gpx/unicode.gpx", 6},
    {"gpx/unicode_with_bom_noencoding.gpx", 1},
    {"gpx/GATSO_30.gpx", 2},
    {"gpx/GATSO_redlight_0_EU.gpx", 6761},
    {"gpx/gc31j2h_wpts.gpx", 2},
};

}  // namespace velmora::testing
