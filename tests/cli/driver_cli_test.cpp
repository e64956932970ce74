// End-to-end runs of the built program: the command line, naming of the output, the
// import loop and the refusals of the export.
#include <gtest/gtest.h>

#include <filesystem>

#include "platform/version.hpp"
#include "support/test_support.hpp"

namespace velmora {
namespace {

using testing::file_exists;
using testing::read_file;
using testing::run_velmora;
using testing::temp_dir;
using testing::write_file;

constexpr const char* usage =
    "\nExpected: Velmora \"inpfile-list\" [-inpparams] [-o \"outfile\" [-outparams]]";

TEST(CommandLine, WithoutArgumentsPrintsBannerAndUsageAndFails) {
    temp_dir dir;
    auto result = run_velmora({}, dir.path().string());
    EXPECT_EQ(result.exit_code, 1);
    EXPECT_EQ(result.err.rfind("\nVelmora " VELMORA_PROGRAM_VERSION "\n", 0), 0u) << result.err;
    EXPECT_NE(result.err.find(usage), std::string::npos);
    EXPECT_TRUE(result.out.empty());
}

TEST(CommandLine, OutputNamedBeforeAnyInputLeavesNoInput) {
    temp_dir dir;
    auto result = run_velmora({"-o", "out.gpi", "a.gpx"}, dir.path().string());
    EXPECT_EQ(result.exit_code, 1);
    EXPECT_NE(result.err.find("\n0---> out.gpi"), std::string::npos) << result.err;
    EXPECT_NE(result.err.find("\nUnexpected command-line param: (a.gpx). No parameter expected "
                              "after oputput file name!" +
                              std::string(usage)),
              std::string::npos);
    EXPECT_NE(result.err.find("\nFatal: No input file was specified!"), std::string::npos);
    EXPECT_FALSE(file_exists(dir.file("out.gpi")));
}

TEST(CommandLine, AnOutputOptionWithoutANameFallsBackToTheAutomaticName) {
    temp_dir dir;
    for (const auto& args :
         {std::vector<std::string>{"a.gpx", "-o"}, std::vector<std::string>{"a.gpx", "-o:x.gpi"},
          std::vector<std::string>{"a.gpx", "-o", "-o", "b.gpi"}}) {
        auto result = run_velmora(args, dir.path().string());
        EXPECT_NE(result.err.find("\n<-1. a.gpx"), std::string::npos) << result.err;
        EXPECT_NE(result.err.find("\nAutomatic output file\n---> a.gpi"), std::string::npos)
            << result.err;
        EXPECT_EQ(result.err.find("---> x.gpi"), std::string::npos);
        EXPECT_EQ(result.err.find("---> b.gpi"), std::string::npos);
    }
    auto twice = run_velmora({"a.gpx", "-o", "-o", "b.gpi"}, dir.path().string());
    EXPECT_NE(twice.err.find("\nUnexpected command-line param: (b.gpi)"), std::string::npos);
}

TEST(CommandLine, AutomaticNameComesFromTheFirstInputOnly) {
    temp_dir dir;
    auto gpi_first = run_velmora({"in.gpi", "other.gpx"}, dir.path().string());
    EXPECT_NE(gpi_first.err.find("\nAutomatic output file\n---> in.gpx"), std::string::npos)
        << gpi_first.err;
    auto txt_first = run_velmora({"cams.TXT", "x.gpi"}, dir.path().string());
    EXPECT_NE(txt_first.err.find("\nAutomatic output file\n---> cams.gpi"), std::string::npos)
        << txt_first.err;
}

TEST(CommandLine, ExtensionsAndOptionsIgnoreLetterCase) {
    temp_dir dir;
    auto result = run_velmora({"a.GPX", "b.gpx", "-O", "OUT.GPI"}, dir.path().string());
    EXPECT_NE(result.err.find("\n<-1. a.GPX\n<-2. b.gpx\n2---> OUT.GPI"), std::string::npos)
        << result.err;
    EXPECT_EQ(result.err.find("Automatic output file"), std::string::npos);
}

TEST(CommandLine, UnknownOptionsAreReportedAndIgnored) {
    temp_dir dir;
    auto result =
        run_velmora({"a.gpx", "-inpparams", "-o", "x.gpx", "-outparams"}, dir.path().string());
    EXPECT_NE(result.err.find("\nUnexpected option found: (-inpparams), ignored"),
              std::string::npos);
    EXPECT_NE(result.err.find("\nUnexpected option found: (-outparams), ignored"),
              std::string::npos);
    EXPECT_NE(result.err.find("\n1---> x.gpx"), std::string::npos);
}

TEST(ImportLoop, MissingInputIsReportedAndSkipped) {
    temp_dir dir;
    write_file(dir.file("b.gdb"), "");
    auto result = run_velmora({"missing.gpx", "b.gdb", "-o", "out.gpi"}, dir.path().string());
    std::string missing = dir.file("missing.gpx");
    EXPECT_NE(
        result.err.find("\n\nImporting... (1. missing.gpx)\nError opening input file (" + missing +
                        "). Igonre it! (No such file or directory)\n\nImporting... (2. "
                        "b.gdb)"),
        std::string::npos)
        << result.err;
    EXPECT_NE(
        result.err.find("\nInput file format (.gdb) not supported (yet)!\n    Velmora reads "),
        std::string::npos)
        << result.err;
    EXPECT_NE(result.err.find(" -o gpx -F " + dir.file("b.gpx") + "\n    imported 0 pois "),
              std::string::npos)
        << result.err;
}

TEST(ImportLoop, UnknownInputFormatsImportNothing) {
    temp_dir dir;
    write_file(dir.file("notes.xyz"), "<xyz/>");
    write_file(dir.file("README"), "text");
    auto result = run_velmora({"notes.xyz", "README", "-o", "out.gpx"}, dir.path().string());
    EXPECT_NE(result.err.find("\nInput file format (.xyz) not supported!\n    Velmora reads "),
              std::string::npos)
        << result.err;
    EXPECT_NE(result.err.find("\nInput file format () not supported!\n    Velmora reads "),
              std::string::npos)
        << result.err;
    EXPECT_EQ(result.exit_code, 1);
}

TEST(Export, UnsupportedOutputFormatFailsBeforeTheImportWithoutTouchingTheFile) {
    temp_dir dir;
    write_file(dir.file("a.gdb"), "");
    auto fresh = run_velmora({"a.gdb", "-o", "out.shp"}, dir.path().string());
    EXPECT_EQ(fresh.exit_code, 1);
    EXPECT_NE(fresh.err.find("\n1---> out.shp\nOutput file format (.shp) not supported!"),
              std::string::npos)
        << fresh.err;
    EXPECT_EQ(fresh.err.find("Importing..."), std::string::npos) << fresh.err;
    EXPECT_FALSE(file_exists(dir.file("out.shp")));

    write_file(dir.file("out.shp"), "keep me");
    auto existing = run_velmora({"a.gdb", "-o", "out.shp"}, dir.path().string());
    EXPECT_EQ(existing.exit_code, 1);
    EXPECT_EQ(read_file(dir.file("out.shp")), "keep me");

    auto gdb = run_velmora({"a.gdb", "-o", "out.gdb"}, dir.path().string());
    EXPECT_EQ(gdb.exit_code, 1);
    EXPECT_NE(gdb.err.find("\nOutput file format (.gdb) not supported (yet)!"), std::string::npos);
    EXPECT_FALSE(file_exists(dir.file("out.gdb")));
}

TEST(Export, StandardOutputNeedsAFormatBeforeAnyInputIsRead) {
    temp_dir dir;
    write_file(dir.file("a.gdb"), "");
    for (const char* console : {"stdout", "CON", "-"}) {
        auto result = run_velmora({"a.gdb", "-o", console}, dir.path().string());
        EXPECT_EQ(result.exit_code, 1);
        EXPECT_NE(result.err.find("\nFatal: Standard output needs the output format: "
                                  "-format:gpi, -format:gpx or -format:geojson"),
                  std::string::npos)
            << result.err;
        EXPECT_EQ(result.err.find("Importing"), std::string::npos) << result.err;
        EXPECT_TRUE(result.out.empty());
        EXPECT_FALSE(file_exists(dir.file(console)));
    }
    auto unknown = run_velmora({"a.gdb", "-o", "-", "-format:shp"}, dir.path().string());
    EXPECT_EQ(unknown.exit_code, 1);
    EXPECT_NE(unknown.err.find("\nFatal: Unknown output format (-format:shp)"), std::string::npos)
        << unknown.err;
}

TEST(Names, OverlongInputNameEndsTheRunWhenItCannotBeSplit) {
    temp_dir dir;
    std::string name(260, 'n');
    auto result = run_velmora({name + ".gpx"}, dir.path().string());
    EXPECT_EQ(result.exit_code, 1);
    EXPECT_NE(result.err.find("FATAL: Error splitting input filespec!"), std::string::npos)
        << result.err;
}

TEST(Names, AutomaticNameThatGrowsTooLongCannotBeJoined) {
    temp_dir dir;
    std::string name(245, 'n');  // 249 bytes with ".gpx": fits; with "_velmora.gpi" it does not
    auto result = run_velmora({name + ".gpx"}, dir.path().string());
    EXPECT_EQ(result.exit_code, 1);
    EXPECT_NE(result.err.find("FATAL: Error joining output filespec! (Too long?)"),
              std::string::npos)
        << result.err;
}

TEST(Names, OverlongPathCannotBeResolved) {
    temp_dir dir;
    std::string deep;
    for (int i = 0; i < 40; ++i) deep += std::string(120, 'd') + "/";
    auto input = run_velmora({deep + "a.gpx"}, dir.path().string());
    EXPECT_EQ(input.exit_code, 1);
    EXPECT_NE(input.err.find("\nFatal: Error processing input filename (" + deep + "a.gpx)"),
              std::string::npos);
    auto output = run_velmora({"a.gpx", "-o", deep + "b.gpx"}, dir.path().string());
    EXPECT_EQ(output.exit_code, 1);
    EXPECT_NE(output.err.find("\nFatal: Error processing output filename (" + deep + "b.gpx)"),
              std::string::npos);
}

TEST(Names, ControlCharactersOfFileNamesReachTheTerminalEscaped) {
    temp_dir dir;
    // A name that would retitle the terminal, and one that would clear it.
    const std::string title = "in\x1B]0;owned\x07";
    const std::string clear = "out\x1B[2J";
    write_file(dir.file(title + ".gpx"),
               "<gpx><wpt lat=\"47\" lon=\"19\"><name>A</name></wpt></gpx>");
    auto result = run_velmora({title + ".gpx", "missing\x1B[5m.gpx", "-o", clear + ".gpx"},
                              dir.path().string());
    EXPECT_EQ(result.exit_code, 2) << result.err;
    EXPECT_EQ(result.err.find_first_of("\x1B\x07"), std::string::npos) << result.err;
    const std::string shown_title = "in\\x1B]0;owned\\x07.gpx";
    for (const std::string& line : std::vector<std::string>{
             "\n<-1. " + shown_title, "\n\nImporting... (1. " + shown_title + ")",
             "\n2---> out\\x1B[2J.gpx",
             "\nError opening input file (" + dir.file("missing\\x1B[5m.gpx") + "). Igonre it!",
             "\nWarning: 1 of 2 inputs left out: 2. missing\\x1B[5m.gpx\n"}) {
        EXPECT_NE(result.err.find(line), std::string::npos) << line << result.err;
    }
    EXPECT_TRUE(file_exists(dir.file(clear + ".gpx")));
}

TEST(Streams, StandardOutputStaysEmpty) {
    temp_dir dir;
    auto result = run_velmora({"a.gpx", "-o", "b.gpx"}, dir.path().string());
    EXPECT_TRUE(result.out.empty());
}

}  // namespace
}  // namespace velmora
