// End-to-end runs that choose the code page of GPI output and carry texts of every
// encoding into it.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "cli/gpi_output.hpp"
#include "support/test_support.hpp"

namespace velmora {
namespace {

using testing::file_exists;
using testing::read_file;
using testing::read_gpi;
using testing::run_from;
using testing::run_program;
using testing::run_velmora;
using testing::temp_dir;
using testing::write_file;

// A GPX file of one waypoint whose name is given in the bytes of the encoding declared.
std::string one_waypoint_gpx(const std::string& encoding, const std::string& name) {
    std::string declaration =
        encoding.empty() ? "" : "<?xml version=\"1.0\" encoding=\"" + encoding + "\"?>\n";
    return declaration +
           "<gpx version=\"1.1\" creator=\"test\"><wpt lat=\"47.5\" lon=\"19.05\"><name>" + name +
           "</name><desc>" + name + "</desc></wpt></gpx>\n";
}

std::uint32_t header_code_page(const std::string& gpi) {
    std::uint32_t value = 0;
    for (int i = 3; i >= 0; --i) {
        value = value << 8 | static_cast<unsigned char>(gpi[46 + static_cast<std::size_t>(i)]);
    }
    return value;
}

// Name and description of the first waypoint, and the first group's name, as the file
// holds them.
struct first_texts {
    std::string group;
    std::string name;
    std::string description;
};

first_texts first_texts_of(const std::string& gpi) {
    poiset_list list = read_gpi(gpi);
    first_texts texts;
    if (list.poisets.empty() || list.poisets[0]->waypoints.empty()) {
        ADD_FAILURE() << "no waypoint in the gpi file";
        return texts;
    }
    const poiset& set = *list.poisets[0];
    texts.group = set.name;
    texts.name = std::string(set.waypoints[0].name.value_or_empty());
    texts.description = std::string(set.waypoints[0].description.value_or_empty());
    return texts;
}

// The first waypoint name as GPSBabel reads the file, in UTF-8; none without GPSBabel.
std::optional<std::string> gpsbabel_name(const temp_dir& dir, const std::string& gpi) {
    const char* exe = "/usr/bin/gpsbabel";
    if (!std::filesystem::exists(exe)) return std::nullopt;
    auto result =
        run_program(exe, "gpsbabel", {"-i", "garmin_gpi", "-f", gpi, "-o", "gpx", "-F", "-"},
                    dir.path().string());
    EXPECT_EQ(result.exit_code, 0) << result.err;
    std::size_t open = result.out.find("<name>");
    std::size_t close = result.out.find("</name>", open);
    if (open == std::string::npos || close == std::string::npos) return std::string();
    return result.out.substr(open + 6, close - open - 6);
}

const std::string cafe_utf8 = "Caf\u00E8 Espa\u00F1a";
const std::string cafe_latin1 =
    "Caf\xE8 Espa\xF1"
    "a";
const std::string moscow_utf8 = "\u041C\u043E\u0441\u043A\u0432\u0430";
const std::string moscow_1251 = "\xCC\xEE\xF1\xEA\xE2\xE0";

TEST(CodePageCli, TextsOfEveryEncodingReachTheChosenCodePage) {
    temp_dir dir;
    write_file(dir.file("latin1.gpx"), one_waypoint_gpx("ISO-8859-1", cafe_latin1));
    write_file(dir.file("utf8.gpx"), one_waypoint_gpx("", cafe_utf8 + " \u0151"));
    write_file(dir.file("cyrillic.gpx"), one_waypoint_gpx("windows-1251", moscow_1251));
    struct run_case {
        const char* input;
        const char* code_page;  // -codepage: value, or empty for none
        std::uint32_t header;
        std::string name;      // bytes in the output
        int lost;              // characters reported as "?" (for name and description)
        std::string gpsbabel;  // what GPSBabel reads, in UTF-8
    };
    const run_case cases[] = {
        {"latin1.gpx", "", 1250, "Caf? Espa?a", 4, "Caf? Espa?a"},
        {"latin1.gpx", "auto", 1252, cafe_latin1, 0, cafe_utf8},
        {"latin1.gpx", "UTF-8", 65001, cafe_utf8, 0, cafe_utf8},
        {"utf8.gpx", "65001", 65001, cafe_utf8 + " \u0151", 0, cafe_utf8 + " \u0151"},
        {"utf8.gpx", "AUTO", 65001, cafe_utf8 + " \u0151", 0, cafe_utf8 + " \u0151"},
        {"cyrillic.gpx", "1252", 1252, "??????", 12, "??????"},
        {"cyrillic.gpx", "auto", 1251, moscow_1251, 0, moscow_utf8},
    };
    for (const run_case& c : cases) {
        SCOPED_TRACE(std::string(c.input) + " -codepage:" + c.code_page);
        std::vector<std::string> args{c.input, "-o", "out.gpi"};
        if (*c.code_page != '\0') args.push_back(std::string("-codepage:") + c.code_page);
        auto result = run_velmora(args, dir.path().string());
        ASSERT_EQ(result.exit_code, 0) << result.err;
        std::string gpi = read_file(dir.file("out.gpi"));
        EXPECT_EQ(header_code_page(gpi), c.header);
        first_texts texts = first_texts_of(gpi);
        EXPECT_EQ(texts.name, c.name);
        EXPECT_EQ(texts.description, c.name);
        std::string warning = "\nWarning: " + std::to_string(c.lost) +
                              " characters have no place in code page " + std::to_string(c.header) +
                              " and were written as \"?\"";
        EXPECT_EQ(result.err.find(warning) != std::string::npos, c.lost > 0) << result.err;
        if (auto read = gpsbabel_name(dir, dir.file("out.gpi"))) {
            EXPECT_EQ(*read, c.gpsbabel);
        }
    }
}

TEST(CodePageCli, GpiInputsAndFileNamesAreConvertedToo) {
    temp_dir dir;
    write_file(dir.file("K\u00E1v\u00E9z\u00F3.gpx"),
               one_waypoint_gpx("windows-1251", moscow_1251));
    auto cyrillic = run_velmora({"K\u00E1v\u00E9z\u00F3.gpx", "-o", "in1251.gpi", "-codepage:1251"},
                                dir.path().string());
    ASSERT_EQ(cyrillic.exit_code, 0) << cyrillic.err;
    // The group name is the file's, which code page 1251 lacks.
    EXPECT_EQ(first_texts_of(read_file(dir.file("in1251.gpi"))).group, "K?v?z?");

    auto kept =
        run_velmora({"in1251.gpi", "-o", "auto.gpi", "-codepage:auto"}, dir.path().string());
    ASSERT_EQ(kept.exit_code, 0) << kept.err;
    std::string gpi = read_file(dir.file("auto.gpi"));
    EXPECT_EQ(header_code_page(gpi), 1251u);
    EXPECT_EQ(first_texts_of(gpi).name, moscow_1251);

    auto utf8 =
        run_velmora({"in1251.gpi", "-o", "utf8.gpi", "-codepage:utf8"}, dir.path().string());
    ASSERT_EQ(utf8.exit_code, 0) << utf8.err;
    EXPECT_EQ(first_texts_of(read_file(dir.file("utf8.gpi"))).name, moscow_utf8);

    auto latin = run_velmora({"K\u00E1v\u00E9z\u00F3.gpx", "-o", "group.gpi"}, dir.path().string());
    ASSERT_EQ(latin.exit_code, 0) << latin.err;
    EXPECT_EQ(first_texts_of(read_file(dir.file("group.gpi"))).group, "K\xE1v\xE9z\xF3");
}

TEST(CodePageCli, Utf16GpxIsRead) {
    temp_dir dir;
    std::u16string text =
        u"<?xml version=\"1.0\" encoding=\"UTF-16\"?><gpx><wpt lat=\"1\" lon=\"2\">"
        u"<name>\u041C\u043E\u0441\u043A\u0432\u0430</name></wpt></gpx>";
    std::string bytes = "\xFF\xFE";
    for (char16_t u : text) {
        bytes.push_back(static_cast<char>(u & 0xFF));
        bytes.push_back(static_cast<char>(u >> 8));
    }
    write_file(dir.file("wide.gpx"), bytes);
    auto result =
        run_velmora({"wide.gpx", "-o", "out.gpi", "-codepage:65001"}, dir.path().string());
    ASSERT_EQ(result.exit_code, 0) << result.err;
    EXPECT_EQ(first_texts_of(read_file(dir.file("out.gpi"))).name, moscow_utf8);
}

TEST(CodePageCli, CommandLineWinsOverTheSettingsAndUnknownValuesEndTheRunBeforeImport) {
    temp_dir dir;
    write_file(dir.file("in.gpx"), one_waypoint_gpx("ISO-8859-1", cafe_latin1));
    struct setting_case {
        std::string ini_value;  // CodePage= in the settings file, or empty for none
        std::string option;     // -codepage:..., or empty
        int exit_code;
        std::uint32_t header;
    };
    const setting_case cases[] = {
        {"1252", "", 0, 1252},
        {"utf-8", "-codepage:1257", 0, 1257},
        {"auto", "", 0, 1252},
        {"1251x", "", 1, 0},
        {"1252", "-codepage:1249", 1, 0},
        {"", "-codepage:", 1, 0},
        {"", "-CodePage:Latin1", 1, 0},
    };
    for (const setting_case& c : cases) {
        SCOPED_TRACE(c.ini_value + " " + c.option);
        std::filesystem::remove(dir.file("out.gpi"));
        write_file(
            dir.file("Velmora_gpi.ini"),
            c.ini_value.empty() ? "" : "[GpiExportSettings]\nCodePage=" + c.ini_value + "\n");
        std::vector<std::string> args{"in.gpx", "-o", "out.gpi"};
        if (!c.option.empty()) args.push_back(c.option);
        auto result = run_from(dir, args);
        EXPECT_EQ(result.exit_code, c.exit_code) << result.err;
        if (c.exit_code != 0) {
            EXPECT_NE(result.err.find("\nFatal: Unknown code page"), std::string::npos)
                << result.err;
            EXPECT_EQ(result.err.find("Importing"), std::string::npos) << result.err;
            EXPECT_FALSE(file_exists(dir.file("out.gpi")));
            continue;
        }
        EXPECT_EQ(header_code_page(read_file(dir.file("out.gpi"))), c.header);
    }
}

// Texts of input files reach the terminal as readable characters where it takes UTF-8,
// and never with their control characters (an escape sequence, a C1 control).
TEST(CodePageCli, MessagesShowInputTextsSafelyInTheTerminalsCharacterSet) {
    struct input_case {
        const char* file;
        std::string bytes;
        const char* utf8_shown;  // the text in the message on a UTF-8 terminal
    };
    const std::vector<input_case> cases = {
        {"bad.gpx",
         "<?xml version=\"1.0\" encoding=\"windows-1250\"?>\n<gpx><wpt lat=\"x\" lon=\"19\">"
         "<name>K\xE1v\xE9z\xF3 \x9B</name></wpt></gpx>\n",
         "(K\u00E1v\u00E9z\u00F3 \u203A)"},
        {"c1.gpx", "<gpx><wpt lat=\"47\" lon=\"\xC2\x9B[2J\"><name>\xC3\xA9</name></wpt></gpx>\n",
         "(\u00E9) has an invalid position (lat=\"47\" lon=\"\\x9B[2J\")"},
        {"cams.txt", "X,Y,TYPE,SPEED,DIRTYPE,DIRECTION\n19,47\x1B]0;\xE9\x07\n",
         "\"19,47\\x1B]0;\u00E9\\x07\""},
        {"list.csv",
         "19.1,\"4\xC2\x9B"
         "7\",Name\n",
         "\"4\\x9B7\")"},
    };
    for (const input_case& c : cases) {
        SCOPED_TRACE(c.file);
        testing::temp_dir dir;
        write_file(dir.file(c.file), c.bytes);
        write_file(dir.file("Velmora_speedcam.ini"), "");
        for (const char* locale : {"C.UTF-8", "C"}) {
            SCOPED_TRACE(locale);
            testing::run_options options;
            options.env = {{"LC_ALL", locale}};
            auto result = run_from(dir, {c.file, "-o", "out.gpx"}, options);
            EXPECT_EQ(result.err.find('\x1B'), std::string::npos) << result.err;
            EXPECT_EQ(result.err.find('\x07'), std::string::npos) << result.err;
            EXPECT_EQ(result.err.find("\xC2\x9B"), std::string::npos) << result.err;
            EXPECT_EQ(result.err.find('\x9B'), std::string::npos) << result.err;
            if (std::string(locale) == "C.UTF-8") {
                EXPECT_TRUE(testing::contains(result.err, c.utf8_shown)) << result.err;
            }
        }
    }
}

}  // namespace
}  // namespace velmora
