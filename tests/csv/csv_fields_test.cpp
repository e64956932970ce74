#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "csv/csv_fields.hpp"

namespace velmora {
namespace {

struct expected_record {
    long long line;
    std::vector<std::string> fields;
    std::size_t field_count = 0;  // 0: as many as fields
    bool unterminated = false;
};

void expect_records(std::string_view text, const std::vector<expected_record>& expected) {
    SCOPED_TRACE(::testing::Message() << "text: " << ::testing::PrintToString(std::string(text)));
    csv_record_reader reader(text, 4);
    csv_record record;
    std::size_t i = 0;
    while (reader.next(record)) {
        ASSERT_LT(i, expected.size()) << "one record too many, at line " << record.line;
        const expected_record& want = expected[i];
        EXPECT_EQ(record.line, want.line) << "record " << i;
        EXPECT_EQ(std::vector<std::string>(record.fields.begin(), record.fields.end()), want.fields)
            << "record " << i;
        EXPECT_EQ(record.field_count, want.field_count ? want.field_count : want.fields.size())
            << "record " << i;
        EXPECT_EQ(record.unterminated, want.unterminated) << "record " << i;
        ++i;
    }
    EXPECT_EQ(i, expected.size());
}

TEST(CsvFields, SplitsLinesAndFieldsWithEveryLineEnd) {
    expect_records("", {});
    expect_records("a,b,c\n", {{1, {"a", "b", "c"}}});
    expect_records("a,b\r\nc,d\re\nf", {{1, {"a", "b"}}, {2, {"c", "d"}}, {3, {"e"}}, {4, {"f"}}});
    expect_records("a,,\n\n,b", {{1, {"a", "", ""}}, {2, {""}}, {3, {"", "b"}}});
}

TEST(CsvFields, ReadsQuotedFieldsAsRfc4180AndAsRealFilesWriteThem) {
    // Garmin's own example: a comma inside the quoted comment.
    expect_records(
        "-94.76416,38.81227,Garmin,\"1200 E. 151st Street Olathe,KS 66062\"\r\n",
        {{1, {"-94.76416", "38.81227", "Garmin", "1200 E. 151st Street Olathe,KS 66062"}}});
    // Doubled quotes, an empty quoted field, a quoted number.
    expect_records("\"say \"\"hi\"\"\",\"\",\"47.5\"", {{1, {"say \"hi\"", "", "47.5"}}});
    expect_records("\"\"\"\",\"a\"\"\"", {{1, {"\"", "a\""}}});
    // Backslash-escaped quotes, also before a comma inside the field.
    expect_records("3.8,43.6,\"max @50\",\"GRABELS \\\"Avenue, face\\\", 2\"\n",
                   {{1, {"3.8", "43.6", "max @50", "GRABELS \"Avenue, face\", 2"}}});
    // A backslash before anything else stays.
    expect_records("\"C:\\dir\",x", {{1, {"C:\\dir", "x"}}});
    // Bare quotes inside a quoted field are text; so is a quote inside an unquoted one.
    expect_records("\"Bar \"Zum Hirsch\" Ost\",5 \"x\" y",
                   {{1, {"Bar \"Zum Hirsch\" Ost", "5 \"x\" y"}}});
}

TEST(CsvFields, DropsBlanksAroundFieldsButNotInsideQuotes) {
    expect_records(" 1 ,\t2\t, \"  name \" , plain text  \n",
                   {{1, {"1", "2", "  name ", "plain text"}}});
    expect_records("\"a\"   \r\n  \"b\"", {{1, {"a"}}, {2, {"b"}}});
}

TEST(CsvFields, QuotedLineBreaksCountTowardsTheNextRecordsLine) {
    expect_records("1,2,\"two\nlines\",\"and\r\nmore\"\n3,4\n",
                   {{1, {"1", "2", "two\nlines", "and\r\nmore"}}, {4, {"3", "4"}}});
}

TEST(CsvFields, AQuoteThatNeverClosesEndsWithItsLineAndReadingGoesOn) {
    expect_records("1,2,\"open name,x\n3,4,c\n",
                   {{1, {"1", "2", "open name,x"}, 3, true}, {2, {"3", "4", "c"}}});
    // Every later quote that can't close either is found without scanning again.
    expect_records("1,\"a\n2,\"b \"\"x\n3,\"\",y\n",
                   {{1, {"1", "a"}, 2, true}, {2, {"2", "b \"\"x"}, 2, true}, {3, {"3", "", "y"}}});
    // At the very end of the text.
    expect_records("5,6,\"", {{1, {"5", "6", ""}, 3, true}});
    std::string many;
    for (int i = 0; i < 1000; ++i) many += "1,2,\"x\n";
    csv_record_reader reader(many, 4);
    csv_record record;
    long long records = 0;
    while (reader.next(record)) {
        ++records;
        EXPECT_TRUE(record.unterminated);
        EXPECT_EQ(record.line, records);
    }
    EXPECT_EQ(records, 1000);
}

TEST(CsvFields, KeepsTheFirstFieldsAndCountsTheRest) {
    std::string wide = "a,b,c,d";
    for (int i = 0; i < 100000; ++i) wide += ",\"e\"\"\"";
    wide += "\nx";
    csv_record_reader reader(wide, 4);
    csv_record record;
    ASSERT_TRUE(reader.next(record));
    EXPECT_EQ(record.field_count, 100004u);
    EXPECT_EQ(std::vector<std::string>(record.fields.begin(), record.fields.end()),
              (std::vector<std::string>{"a", "b", "c", "d"}));
    ASSERT_TRUE(reader.next(record));
    EXPECT_EQ(record.line, 2);
}

TEST(CsvFields, CutsOverlongFields) {
    const std::string big(csv_max_field_bytes + 10, 'n');
    for (const std::string& text :
         {big + ",1", "\"" + big + "\",1", "\"\"\"" + big + "\",1", "1,\"" + big}) {
        csv_record_reader reader(text, 4);
        csv_record record;
        ASSERT_TRUE(reader.next(record));
        EXPECT_TRUE(record.capped);
        std::size_t longest = 0;
        for (std::string_view f : record.fields) longest = std::max(longest, f.size());
        EXPECT_EQ(longest, csv_max_field_bytes);
    }
}

}  // namespace
}  // namespace velmora
