#include <gtest/gtest.h>

#include <cstdio>

#include "support/test_support.hpp"
#include "text/line_text.hpp"

namespace velmora {
namespace {

using pieces = std::vector<std::string>;

TEST(SplitText, GivesOneMorePieceThanSeparators) {
    EXPECT_EQ(split_text("a,,b", ","), (pieces{"a", "", "b"}));
    EXPECT_EQ(split_text("a,", ","), (pieces{"a", ""}));
    EXPECT_EQ(split_text("", ","), (pieces{""}));
    EXPECT_EQ(split_text(",", ","), (pieces{"", ""}));
    EXPECT_EQ(split_text("flag, red,car", ","), (pieces{"flag", " red", "car"}));
    EXPECT_EQ(split_text("key=value=more", "="), (pieces{"key", "value", "more"}));
    EXPECT_EQ(split_text("a::b", "::"), (pieces{"a", "b"}));
}

TEST(SplitText, RefusesAnEmptySeparator) {
    EXPECT_FALSE(split_text("a,b", "").has_value());
}

TEST(SkipBlanks, SkipsSpacesAndTabsOnly) {
    EXPECT_EQ(skip_blanks(" \t x y"), "x y");
    EXPECT_EQ(skip_blanks("\nx"), "\nx");
    EXPECT_EQ(skip_blanks("   "), "");
    EXPECT_EQ(skip_blanks(""), "");
}

TEST(BracketName, TakesTheTextBetweenTheFirstBrackets) {
    EXPECT_EQ(bracket_name("[GpiExportSettings] trailing"), "GpiExportSettings");
    EXPECT_EQ(bracket_name("[]"), "");
    EXPECT_EQ(bracket_name("x[a]b]"), "a");
    EXPECT_FALSE(bracket_name("[GpiExportSettings").has_value());
    EXPECT_FALSE(bracket_name("]a[").has_value());
    EXPECT_FALSE(bracket_name("plain").has_value());
}

TEST(CleanSettingsLine, DropsBlanksCommentAndLineEnd) {
    EXPECT_EQ(clean_settings_line("   DefaultProximity=200 ; metres \r\n"), "DefaultProximity=200");
    EXPECT_EQ(clean_settings_line("\tIconSpec=a;b\n"), "IconSpec=a");
    EXPECT_EQ(clean_settings_line("; only a comment\n"), "");
    EXPECT_EQ(clean_settings_line("IconCountLimit = 20"), "IconCountLimit = 20");
}

TEST(ReadBoundedLine, SplitsOverlongLinesAndKeepsTheLastLineWithoutLineFeed) {
    testing::temp_dir dir;
    std::string long_line(2000, 'x');
    testing::write_file(dir.file("lines.txt"), "one\n" + long_line + "\nlast");
    std::FILE* f = std::fopen(dir.file("lines.txt").c_str(), "rb");
    ASSERT_NE(f, nullptr);
    std::string line;
    std::vector<std::string> lines;
    while (read_bounded_line(f, line)) lines.push_back(line);
    std::fclose(f);
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(lines[0], "one\n");
    EXPECT_EQ(lines[1], std::string(max_line_bytes, 'x'));
    EXPECT_EQ(lines[2], std::string(2000 - max_line_bytes, 'x') + "\n");
    EXPECT_EQ(lines[3], "last");
}

}  // namespace
}  // namespace velmora
