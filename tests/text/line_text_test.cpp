#include <gtest/gtest.h>

#include <cstdio>
#include <utility>

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

TEST(BoundedLineReader, SplitsOverlongLinesAndKeepsTheLastLineWithoutLineFeed) {
    testing::temp_dir dir;
    std::string long_line(2000, 'x');
    testing::write_file(dir.file("lines.txt"), "one\n" + long_line + "\nlast");
    std::FILE* f = std::fopen(dir.file("lines.txt").c_str(), "rb");
    ASSERT_NE(f, nullptr);
    bounded_line_reader reader(f);
    std::vector<std::string> lines;
    while (auto line = reader.next()) lines.emplace_back(*line);
    std::fclose(f);
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(lines[0], "one\n");
    EXPECT_EQ(lines[1], std::string(max_line_bytes, 'x'));
    EXPECT_EQ(lines[2], std::string(2000 - max_line_bytes, 'x') + "\n");
    EXPECT_EQ(lines[3], "last");
}

// Lines cut where the reading of single bytes cuts them: after a line feed, or after
// max_line_bytes bytes without one.
std::vector<std::string> lines_of(std::string_view text) {
    std::vector<std::string> lines;
    std::string line;
    for (char c : text) {
        line.push_back(c);
        if (c == '\n' || line.size() == max_line_bytes) lines.push_back(std::exchange(line, {}));
    }
    if (!line.empty()) lines.push_back(line);
    return lines;
}

TEST(BoundedLineReader, LinesAcrossTheChunksReadAreWhole) {
    // Lines of every length up to past the limit, over several of the reader's chunks.
    std::string text;
    for (std::size_t length = 0; text.size() < 600000; length = (length + 7) % 1100) {
        text.append(length, static_cast<char>('a' + length % 26));
        text.append(length % 3 == 0 ? "\r\n" : "\n");
    }
    text.append(1500, 'z');
    testing::temp_dir dir;
    testing::write_file(dir.file("lines.txt"), text);
    std::FILE* f = std::fopen(dir.file("lines.txt").c_str(), "rb");
    ASSERT_NE(f, nullptr);
    bounded_line_reader reader(f);
    std::vector<std::string> lines;
    while (auto line = reader.next()) lines.emplace_back(*line);
    EXPECT_FALSE(std::ferror(f));
    std::fclose(f);
    EXPECT_TRUE(lines == lines_of(text));
}

}  // namespace
}  // namespace velmora
