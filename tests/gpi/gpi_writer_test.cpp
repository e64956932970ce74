#include "gpi/gpi_writer.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "driver/gpi_preparation.hpp"
#include "gpi/byte_sink.hpp"
#include "gpi/gpi_blocks.hpp"
#include "gpi/gpi_reader.hpp"
#include "gpi_walk.hpp"
#include "platform/messages.hpp"
#include "support/test_support.hpp"
#include "text/output_code_page.hpp"

namespace velmora {
namespace {

using testing::get_u16;
using testing::get_u32;
using testing::le16;
using testing::le32;
using testing::walk_gpi;

std::string read_all(std::FILE* file) {
    std::string bytes;
    std::rewind(file);
    char buffer[65536];
    std::size_t got;
    while ((got = std::fread(buffer, 1, sizeof buffer, file)) > 0) bytes.append(buffer, got);
    return bytes;
}

struct written {
    bool ok = false;
    std::string bytes;
    std::string messages;
    std::vector<gpi_group> groups;  // as the preparation made them
};

// Prepares the list for GPI output in code page 1250 and writes it, as a run does.
written write_list(poiset_list& list, std::int64_t time_stamp = 0x12345678,
                   int code_page_number = 1250, const split_policy& split = {}) {
    written result;
    std::FILE* file = std::tmpfile();
    EXPECT_NE(file, nullptr);
    if (file == nullptr) return result;
    {
        message_capture capture;
        auto groups = prepare_for_gpi(list, *output_code_page::create(code_page_number), split);
        if (groups) {
            result.groups = std::move(*groups);
            result.ok = write_gpi(file, result.groups, code_page_number, time_stamp, split);
        }
        result.messages = capture.text();
    }
    result.bytes = read_all(file);
    std::fclose(file);
    return result;
}

poiset& add_set(poiset_list& list, const std::string& name) {
    poiset* set = poiset_list_add(list);
    set->name = name;
    return *set;
}

// Collects the bytes of a block in a string, to compare them with its computed size.
class string_sink {
  public:
    void u8(std::uint8_t value) { data_.push_back(static_cast<char>(value)); }
    void u16(std::uint16_t value) {
        u8(static_cast<std::uint8_t>(value));
        u8(static_cast<std::uint8_t>(value >> 8));
    }
    void u32(std::uint32_t value) {
        u16(static_cast<std::uint16_t>(value));
        u16(static_cast<std::uint16_t>(value >> 16));
    }
    void bytes(const void* data, std::size_t size) {
        data_.append(static_cast<const char*>(data), size);
    }
    void text(std::string_view text) { data_.append(text); }

    [[nodiscard]] const std::string& data() const { return data_; }
    [[nodiscard]] std::uint64_t count() const { return data_.size(); }

  private:
    std::string data_;
};

waypoint& add_poi(poiset& set, double lat, double lon, std::optional<std::string> name) {
    waypoint* w = poiset_add_waypoint(set);
    w->flags = has_position;
    w->lat = lat;
    w->lon = lon;
    w->name = set.store_optional(name);
    return *w;
}

// The POI block of a waypoint of the set, which must be as long as its computed size.
std::string encode_poi(const poiset& set, const waypoint& w) {
    std::uint32_t size = poi_block_size(w, set);
    string_sink sink;
    encode_poi_block(sink, w, poi_parts_of(w, set));
    EXPECT_EQ(sink.count(), size);
    return sink.data();
}

std::string mstring(const std::string& text) {
    return le32(static_cast<std::uint32_t>(4 + text.size())) + "EN" +
           le16(static_cast<std::uint16_t>(text.size())) + text;
}

const std::string header_bytes =
    // file header
    le16(0) + le16(0) + le32(22) + "GRMREC00" + le32(0x12345678) + le16(0) + le16(6) + "my.gpi" +
    // POI header, code page 1250
    le16(1) + le16(0) + le32(12) + "POI" + le16(0) + std::string(1, '\0') + "00" + le32(1250);
const std::string end_bytes = le16(0xFFFF) + le16(0) + le32(0);

TEST(GpiFile, EmptyListGivesTheFiftyEightByteFile) {
    poiset_list list;
    written out = write_list(list);
    EXPECT_TRUE(out.ok);
    EXPECT_EQ(out.bytes.size(), 58u);
    EXPECT_EQ(out.bytes, header_bytes + end_bytes);
    // The time stamp keeps its low 32 bits.
    EXPECT_EQ(get_u32(write_list(list, 0x1'8765'4321LL).bytes, 16), 0x87654321u);
}

TEST(GpiFile, SetsWithoutWaypointsAreLeftOutWithAWarning) {
    poiset_list list;
    add_set(list, "Nothing");
    written empty = write_list(list);
    EXPECT_TRUE(empty.ok);
    EXPECT_EQ(empty.bytes, header_bytes + end_bytes);
    EXPECT_EQ(empty.messages,
              "\nWarning: Poi set (Nothing) has no pois; it is left out of the gpi file");

    add_poi(add_set(list, "Some"), 1, 2, "x");
    add_set(list, "Again nothing");
    written mixed = write_list(list);
    testing::gpi_walk walk = walk_gpi(mixed.bytes);
    EXPECT_TRUE(walk.errors.empty());
    ASSERT_EQ(walk.blocks.size(), 4u);  // header, POI header, one group, end
    EXPECT_EQ(walk.blocks[2].type, 9);
}

TEST(PoiBlock, OneByteNameWithoutSubBlocksTakesTwentyEightBytes) {
    poiset set;
    waypoint& w = add_poi(set, 0, 0, std::nullopt);
    w.lat = 90.0;
    w.lon = -180.0;
    w.name = set.store("A");
    std::string bytes = encode_poi(set, w);
    EXPECT_EQ(bytes.size(), static_cast<std::size_t>(28));
    EXPECT_EQ(bytes, le16(2) + le16(0) + le32(20) + le32(0x40000000) + le32(0x80000000) + le16(1) +
                         std::string(1, '\0') + mstring("A"));
}

TEST(PoiBlock, ProximityAlertAddsMainSizeAndATwentyByteAlertBlock) {
    poiset set;
    waypoint& w = add_poi(set, 0, 0, std::nullopt);
    w.name = set.store("A");
    w.flags = has_proximity;
    w.proximity = 99.9;
    w.speed = 50.0;  // written although has_speed is clear
    std::string bytes = encode_poi(set, w);
    EXPECT_EQ(bytes.size(), static_cast<std::size_t>(52));
    std::string alert = le16(3) + le16(0) + le32(12) + le16(99) + le16(1388) + le32(0x01000100) +
                        le16(0x0101) + "\x04\x10";
    EXPECT_EQ(bytes, le16(2) + le16(8) + le32(40) + le32(20) + le32(0) + le32(0) + le16(1) +
                         std::string(1, '\1') + mstring("A") + alert);

    w.flags = has_speed;
    EXPECT_EQ(encode_poi(set, w)[50], '\x01');
    w.flags = has_speed | has_proximity;
    EXPECT_EQ(encode_poi(set, w)[50], '\x05');
}

TEST(PoiBlock, SubBlocksFollowInTheirFixedOrder) {
    poiset set;
    waypoint& w = add_poi(set, 0, 0, std::nullopt);
    w.name = set.store("Name");
    w.flags = has_icon | has_speed;
    w.icon_id = 7;
    w.speed = 30.0;
    w.comment = set.store("note");
    w.description = set.store("long text");
    testing::add_address(set, w, "City", "Brno");
    testing::add_phone(set, w, "PhoneNo", "123");
    std::string bytes = encode_poi(set, w);
    testing::gpi_walk walk = walk_gpi(header_bytes + bytes + end_bytes);
    // The walker takes the POI block as a top-level block here.
    std::vector<int> types;
    for (const auto& block : walk.blocks) {
        if (block.type == 2) {
            for (const auto& child : block.children) types.push_back(child.type);
        }
    }
    EXPECT_EQ(types, (std::vector<int>{3, 4, 10, 14, 11, 12}));
    EXPECT_NE(bytes.find(le16(4) + le16(0) + le32(2) + le16(7)), std::string::npos);
    EXPECT_NE(bytes.find(le16(10) + le16(0) + le32(12) + mstring("note")), std::string::npos);
    EXPECT_NE(bytes.find(le16(14) + le16(0) + le32(18) + "\x01" + mstring("long text")),
              std::string::npos);
    EXPECT_EQ(bytes.size(), static_cast<std::size_t>(31 + 4 + 20 + 10 + (16 + 4) + (17 + 9) +
                                                     (10 + 12) + (10 + 5)));
}

TEST(PoiBlock, EmptyCommentAndDescriptionAreNotParts) {
    poiset set;
    waypoint& w = add_poi(set, 0, 0, std::nullopt);
    w.name = set.store("A");
    w.comment = set.store("");
    w.description = set.store("");
    std::string bytes = encode_poi(set, w);
    EXPECT_EQ(bytes.size(), static_cast<std::size_t>(28));
    EXPECT_EQ(get_u16(bytes, 2), 0);
}

std::string plain(const std::string& text) {
    return le16(static_cast<std::uint16_t>(text.size())) + text;
}

// The address or contact block that ends the POI block of a waypoint with these pairs.
struct field_case {
    const char* what;
    std::vector<std::pair<std::optional<std::string>, std::optional<std::string>>> pairs;
    std::uint16_t mask;
    std::string fields;  // behind the mask
};

std::string last_field_block(bool address, const field_case& c) {
    poiset set;
    waypoint& w = add_poi(set, 0, 0, "A");
    for (const auto& [key, value] : c.pairs) {
        if (address) {
            testing::add_address(set, w, key, value);
        } else {
            testing::add_phone(set, w, key, value);
        }
    }
    std::string bytes = encode_poi(set, w);
    return bytes.substr(31 + 1);
}

TEST(AddressBlock, EveryFieldByItsMaskBitWithPlainPostcodeAndHouseNumber) {
    const field_case cases[] = {
        {"one city", {{"City", "X"}}, 0x01, mstring("X")},
        {"all six, any order",
         {{"HouseNumber", "12a"},
          {"Street", "Main"},
          {"Postcode", "602 00"},
          {"State", "JM"},
          {"Country", "CZ"},
          {"City", "Brno"}},
         0x3F,
         mstring("Brno") + mstring("CZ") + mstring("JM") + plain("602 00") + mstring("Main") +
             plain("12a")},
        {"exact keys, first one counts, no value is no field",
         {{"Street", "Main 1"},
          {"city", "lower case is another key"},
          {"Note", "other"},
          {"Country", std::nullopt},
          {"Postcode", "12345"},
          {"Street", "second"}},
         0x18,
         plain("12345") + mstring("Main 1")},
        {"no known key", {{"Web", "x"}}, 0, ""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(last_field_block(true, c),
                  le16(11) + le16(0) + le32(static_cast<std::uint32_t>(2 + c.fields.size())) +
                      le16(c.mask) + c.fields)
            << c.what;
    }
}

TEST(PhoneBlock, ContactsByKindAndOtherNumbersFillPhoneThenPhone2) {
    const field_case cases[] = {
        {"phone", {{"PhoneNo", "+420 123"}}, 0x01, plain("+420 123")},
        {"every kind",
         {{"Web", "w.cz"}, {"Email", "a@b"}, {"Fax", "3"}, {"Phone2", "2"}, {"PhoneNo", "1"}},
         0x1F,
         plain("1") + plain("2") + plain("3") + plain("a@b") + plain("w.cz")},
        {"categories of GPX numbers",
         {{"Home", "h"}, {"Work", "w"}, {"Mobile", "m"}},
         0x03,
         plain("h") + plain("w")},
        {"a named phone keeps its field",
         {{"Mobile", "m"}, {"PhoneNo", "p"}, {"PhoneNo", "second p"}},
         0x03,
         plain("p") + plain("m")},
        {"fax alone", {{"Fax", "1"}}, 0x04, plain("1")},
        {"nothing usable", {{"Skype", std::nullopt}}, 0, ""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(last_field_block(false, c),
                  le16(12) + le16(0) + le32(static_cast<std::uint32_t>(2 + c.fields.size())) +
                      le16(c.mask) + c.fields)
            << c.what;
    }
    // The link is the web address where the contacts name none.
    poiset set;
    waypoint& linked = add_poi(set, 0, 0, "A");
    linked.link = set.store("https://a.cz");
    EXPECT_EQ(encode_poi(set, linked).substr(31 + 1),
              le16(12) + le16(0) + le32(2 + 14) + le16(0x10) + plain("https://a.cz"));
    testing::add_phone(set, linked, "Web", "b.cz");
    EXPECT_EQ(encode_poi(set, linked).substr(31 + 1),
              le16(12) + le16(0) + le32(2 + 6) + le16(0x10) + plain("b.cz"));
}

TEST(CategoryBlocks, EachPoiRefersToItsCategoriesAndTheGroupDefinesThem) {
    poiset_list list;
    poiset& set = add_set(list, "S");
    waypoint& a = add_poi(set, 1, 1, "a");
    ASSERT_TRUE(set.add_to_category(a, "Food"));
    ASSERT_TRUE(set.add_to_category(a, "Fuel"));
    waypoint& b = add_poi(set, 2, 2, "b");
    ASSERT_TRUE(set.add_to_category(b, "Fuel"));
    add_poi(set, 3, 3, "c");
    EXPECT_EQ(encode_poi(set, set.waypoints[0]).substr(31 + 1),
              le16(6) + le16(0) + le32(2) + le16(0) + le16(6) + le16(0) + le32(2) + le16(1));

    written out = write_list(list);
    ASSERT_TRUE(out.ok) << out.messages;
    testing::gpi_walk walk = walk_gpi(out.bytes);
    EXPECT_TRUE(walk.errors.empty()) << walk.errors.front();
    const testing::gpi_block& group = walk.blocks.at(2);
    ASSERT_EQ(group.children.size(), 3u);
    EXPECT_EQ(group.main_size, group.children[0].end - group.data) << "name and area";
    std::string food = le16(7) + le16(0) + le32(2 + 12) + le16(0) + mstring("Food");
    EXPECT_EQ(out.bytes.substr(group.children[1].offset, 22), food);
    EXPECT_EQ(out.bytes.substr(group.children[2].offset + 8, 2), le16(1));
    EXPECT_EQ(group.end, group.children[2].end);
}

TEST(AreaBlock, LeafOfThreeWaypointsHasRecordSizeOneHundredTwentyTwo) {
    poiset_list list;
    poiset& set = add_set(list, "S");
    add_poi(set, 10.0, 20.0, "a");
    add_poi(set, 11.0, 21.0, "bb");
    add_poi(set, -12.0, 19.0, "ccc").flags |= has_proximity;
    set.waypoints[2].proximity = 300;
    written out = write_list(list);
    ASSERT_TRUE(out.ok);
    std::size_t group = 50;
    EXPECT_EQ(get_u16(out.bytes, group), 9);
    EXPECT_EQ(get_u16(out.bytes, group + 2), 0);  // no bitmaps: no main_size
    std::size_t record_size = 35 + 28 + 29 + (31 + 3 + 20);
    EXPECT_EQ(get_u32(out.bytes, group + 4), 9 + record_size);
    std::size_t area = group + 8 + 9;
    EXPECT_EQ(out.bytes.substr(area, 35),
              le16(8) + le16(8) + le32(static_cast<std::uint32_t>(record_size - 12)) + le32(23) +
                  le32(static_cast<std::uint32_t>(semicircles(11.0))) +
                  le32(static_cast<std::uint32_t>(semicircles(21.0))) +
                  le32(static_cast<std::uint32_t>(semicircles(-12.0))) +
                  le32(static_cast<std::uint32_t>(semicircles(19.0))) + le32(0) + le16(1) + "\x01");
    EXPECT_EQ(out.bytes.size(), 50 + 8 + 9 + record_size + 8);

    // Without sub-blocks the three records take 28, 29 and 30 bytes: 122 in all.
    poiset_list plain;
    poiset& p = add_set(plain, "S");
    add_poi(p, 1, 1, "a");
    add_poi(p, 1, 1, "bb");
    add_poi(p, 1, 1, "ccc");
    written three = write_list(plain);
    EXPECT_EQ(get_u32(three.bytes, area + 4), 110u);
    EXPECT_EQ(three.bytes[area + 34], '\0');
}

// A large set with every kind of part: every length in the file agrees with its bytes,
// and every POI block is exactly as long as the size computed for it.
TEST(GpiFile, EveryBlockOfALargeSetIsAsLongAsItsComputedSize) {
    poiset_list list;
    std::uint64_t state = 12345;
    auto next = [&state]() {
        state = state * 6364136223846793005ULL + 1442695040888963407ULL;
        return static_cast<unsigned>(state >> 33);
    };
    // The last set is large enough to be encoded by two threads, in many pieces.
    constexpr split_policy two_threads{1024};
    for (int s = 0; s < 3; ++s) {
        poiset& set = add_set(list, "Set " + std::to_string(s));
        for (int i = 0; i < (s == 2 ? 4000 : 1000); ++i) {
            waypoint& w = add_poi(set, (next() % 18000) / 100.0 - 90,
                                  (next() % 36000) / 100.0 - 180, std::string(next() % 20, 'n'));
            unsigned parts = next();
            if (parts & 1) w.flags |= has_proximity, w.proximity = next() % 1000;
            if (parts & 2) w.flags |= has_speed, w.speed = next() % 200;
            if (parts & 4) w.flags |= has_icon, w.icon_id = static_cast<std::uint16_t>(next() % 9);
            if (parts & 8) w.comment = set.store(std::string(next() % 50, 'c'));
            if (parts & 16) w.description = set.store(std::string(next() % 300, 'd'));
            if (parts & 32) {
                testing::add_address(set, w, "City", std::string(next() % 9, 'y'));
                if (parts & 64) testing::add_address(set, w, "Street", "S");
            }
            if (parts & 128) testing::add_phone(set, w, "PhoneNo", "12345");
        }
    }
    written out = write_list(list, 0x12345678, 1250, two_threads);
    ASSERT_TRUE(out.ok);
    testing::gpi_walk walk = walk_gpi(out.bytes);
    EXPECT_TRUE(walk.errors.empty()) << walk.errors.front();
    EXPECT_EQ(walk.poi_count, 6000);

    // POI blocks in file order against the sizes of the waypoints in the area order.
    std::vector<std::size_t> poi_sizes;
    auto collect = [&poi_sizes](const testing::gpi_block& block, auto& self) -> void {
        if (block.type == 2) poi_sizes.push_back(block.end - block.offset);
        if (block.type == 8 || block.type == 9) {
            for (const auto& child : block.children) self(child, self);
        }
    };
    for (const auto& block : walk.blocks) collect(block, collect);
    std::vector<std::size_t> computed;
    for (const gpi_group& group : out.groups) {
        for (std::uint32_t number : group.areas.order)
            computed.push_back(poi_block_size(group.set->waypoints[number], *group.set));
    }
    EXPECT_EQ(poi_sizes, computed);
}

TEST(GpiFile, CodePageTextIsWrittenByteForByte) {
    poiset_list list;
    poiset& set = add_set(list,
                          "Vin\xED"
                          "colas");
    set.codepage = code_page::create(1252);
    add_poi(set, 1, 1, "\x80 \x99").comment = set.store("\xE9t\xE9");
    written out = write_list(list);
    EXPECT_NE(out.bytes.find(mstring("Vin\xED"
                                     "colas")),
              std::string::npos);
    EXPECT_NE(out.bytes.find(mstring("\x80 \x99")), std::string::npos);
    EXPECT_NE(out.bytes.find(mstring("\xE9t\xE9")), std::string::npos);
    EXPECT_EQ(get_u32(out.bytes, 46), 1250u);
}

TEST(GpiTextLimit, LongTextsAreCutWithAWarningNamingThePoi) {
    poiset_list list;
    poiset& set = add_set(list, "Long");
    add_poi(set, 1, 1, "first");
    waypoint& w = add_poi(set, 1, 1, "Castle");
    w.description = set.store(std::string(70000, 'd'));
    w.comment = set.store(std::string(65535, 'c'));  // just fits
    testing::add_address(set, w, "Street", std::string(65536, 's'));
    written out = write_list(list);
    ASSERT_TRUE(out.ok);
    EXPECT_TRUE(walk_gpi(out.bytes).errors.empty());
    EXPECT_EQ(w.description->size(), 65535u);
    EXPECT_EQ(w.comment->size(), 65535u);
    EXPECT_EQ(out.messages,
              "\nWarning: Description of poi 2 (Castle) in set (Long) is longer than 65535 "
              "bytes, cut to 65535 bytes"
              "\nWarning: Street of poi 2 (Castle) in set (Long) is longer than 65535 bytes, "
              "cut to 65535 bytes");
}

TEST(GpiTextLimit, UTF8GroupNameIsCutAtACharacterBoundary) {
    // In UTF-8 output the group name stays UTF-8.
    poiset_list list;
    poiset& set = add_set(list, std::string(65534, 'a') + "\xC3\xA9" + "tail");
    set.is_utf8 = true;
    add_poi(set, 1, 1, "x");
    written out = write_list(list, 0x12345678, 65001);
    ASSERT_TRUE(out.ok);
    EXPECT_TRUE(walk_gpi(out.bytes).errors.empty());
    EXPECT_EQ(set.name, std::string(65534, 'a'));
    EXPECT_NE(out.messages.find("is longer than 65535 bytes, cut to 65534 bytes"),
              std::string::npos)
        << out.messages.substr(0, 200);

    // In a code-page set every byte is a character.
    poiset_list plain;
    poiset& bytes = add_set(plain, std::string(65534, 'a') + "\xC3\xA9" + "tail");
    add_poi(bytes, 1, 1, "x");
    written cut = write_list(plain);
    EXPECT_EQ(bytes.name.size(), 65535u);
    EXPECT_TRUE(walk_gpi(cut.bytes).errors.empty());
}

TEST(GpiAlertLimit, ValuesBeyondSixteenBitsAreClampedWithAWarning) {
    poiset_list list;
    poiset& set = add_set(list, "Far");
    waypoint& w = add_poi(set, 1, 1, "Tower");
    w.flags |= has_proximity | has_speed;
    w.proximity = 70000;
    w.speed = -5;
    written out = write_list(list);
    ASSERT_TRUE(out.ok);
    std::size_t alert = out.bytes.find(le16(3) + le16(0) + le32(12));
    ASSERT_NE(alert, std::string::npos);
    EXPECT_EQ(get_u16(out.bytes, alert + 8), 65535);
    EXPECT_EQ(get_u16(out.bytes, alert + 10), 0);
    EXPECT_EQ(out.messages,
              "\nWarning: Proximity (70000.0 m) of poi 1 (Tower) in set (Far) does not fit a gpi "
              "file, written as 65535 m"
              "\nWarning: Speed (-5.0 km/h) of poi 1 (Tower) in set (Far) does not fit a gpi file, "
              "written as 0.0 km/h");
}

TEST(GpiEncoding, TextsOfUtf8SetsAreWrittenInCodePage1250) {
    poiset_list list;
    poiset& set = add_set(list, "Sk\xC3\xA1ly");  // the group name stays as it is
    set.is_utf8 = true;
    waypoint& w =
        add_poi(set, 49.2, 16.6, "\xC5\xBDlu\xC5\xA5ou\xC4\x8Dk\xC3\xBD k\xC5\xAF\xC5\x88");
    w.comment = set.store("\xE2\x82\xAC 5");                // the euro sign is 0x80 in 1250
    w.description = set.store("\xE6\x97\xA5\xE6\x9C\xAC");  // characters 1250 lacks
    w.symbol = set.store("ko\xC5\xA1");
    w.link = set.store("http://x/\xC3\xA9");
    testing::add_address(set, w, "City", "Plze\xC5\x88");
    testing::add_phone(set, w, "PhoneNo", "+420 \xC2\xB7 1");
    written out = write_list(list);
    ASSERT_TRUE(out.ok);
    EXPECT_EQ(*w.name, "\x8Elu\x9Dou\xE8k\xFD k\xF9\xF2");
    EXPECT_EQ(*w.comment, "\x80 5");
    EXPECT_EQ(*w.description, "??");
    EXPECT_EQ(*w.symbol, "ko\x9A");
    EXPECT_EQ(*w.link, "http://x/\xE9");
    EXPECT_EQ(set.details_of(w)->address[0].value, "Plze\xF2");
    EXPECT_EQ(set.details_of(w)->phones[0].value, "+420 \xB7 1");
    EXPECT_EQ(set.name, "Sk\xE1ly");
    // The set now holds its texts in the output code page, and says so.
    EXPECT_FALSE(set.is_utf8);
    EXPECT_EQ(set.codepage->number(), 1250);
    EXPECT_NE(out.bytes.find(mstring("Sk\xE1ly")), std::string::npos);
    EXPECT_NE(out.bytes.find(mstring("\x8Elu\x9Dou\xE8k\xFD k\xF9\xF2")), std::string::npos);
    EXPECT_NE(out.bytes.find(mstring("Plze\xF2")), std::string::npos);
    EXPECT_TRUE(walk_gpi(out.bytes).errors.empty());
}

TEST(GpiEncoding, LargeSetsAreConvertedWhole) {
    // Large sets are converted in two halves at once; every waypoint of both is converted.
    poiset_list list;
    poiset& set = add_set(list, "Large");
    set.is_utf8 = true;
    constexpr int count = 3000;
    for (int i = 0; i < count; ++i) {
        waypoint& w = add_poi(set, 47.0, 19.0, "\xC5\xBD" + std::to_string(i));
        if (i % 3 == 0) w.comment = set.store("\xE2\x82\xAC");
    }
    ASSERT_TRUE(prepare_for_gpi(list, *output_code_page::create(1250), {1024}).has_value());
    for (int i = 0; i < count; ++i) {
        const waypoint& w = set.waypoints[static_cast<std::size_t>(i)];
        ASSERT_EQ(*w.name, "\x8E" + std::to_string(i)) << i;
        if (i % 3 == 0) {
            ASSERT_EQ(*w.comment, "\x80") << i;
        }
    }
}

TEST(GpiEncoding, ALongUtf8TextIsMeasuredAfterConversion) {
    poiset_list list;
    poiset& set = add_set(list, "Long");
    set.is_utf8 = true;
    std::string fits, too_long;
    // 120000 bytes, 60000 characters
    for (int i = 0; i < 60000; ++i) fits += "\xC4\x8D";
    // 70000 characters; in 1250 "\xE8\x9A" pairs, which are no UTF-8 to be kept whole.
    for (int i = 0; i < 35000; ++i) too_long += "\xC4\x8D\xC5\xA1";
    add_poi(set, 1, 1, "fits").description = set.store(fits);
    add_poi(set, 1, 1, "cut").description = set.store(too_long);
    written out = write_list(list);
    ASSERT_TRUE(out.ok);
    EXPECT_EQ(*set.waypoints[0].description, std::string(60000, '\xE8'));
    EXPECT_EQ(out.messages,
              "\nWarning: Description of poi 2 (cut) in set (Long) is longer than 65535 bytes, "
              "cut to 65535 bytes");
    EXPECT_TRUE(walk_gpi(out.bytes).errors.empty());
}

poiset_list read_back(const std::string& bytes) {
    poiset_list list;
    message_capture capture;
    EXPECT_TRUE(read_gpi_bytes(
        std::span(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()), list));
    EXPECT_EQ(capture.text(), "");
    return list;
}

TEST(GpiRoundTrip, TheReaderFindsWhatTheWriterWrote) {
    poiset_list list;
    poiset& set = add_set(list, "Cams");
    for (int i = 0; i < 1000; ++i) {
        waypoint& w = add_poi(set, 45 + (i * 37 % 1000) * 0.01, 5 + (i * 91 % 1000) * 0.02,
                              "cam " + std::to_string(i));
        if (i % 2 == 0) w.flags |= has_proximity, w.proximity = 100 + i % 300;
        if (i % 3 == 0) w.flags |= has_speed, w.speed = 30 + 10 * (i % 10);
        if (i % 5 == 0) w.comment = set.store("c" + std::to_string(i));
        if (i % 7 == 0) w.description = set.store("d" + std::to_string(i));
        if (i % 11 == 0) {
            testing::add_address(set, w, "City", "Brno");
            testing::add_address(set, w, "HouseNumber", std::to_string(i));
            testing::add_address(set, w, "Postcode", "602 00");
        }
        if (i % 13 == 0) {
            testing::add_phone(set, w, "PhoneNo", "1");
            testing::add_phone(set, w, "Email", "a@b");
        }
        if (i % 4 == 0) {
            EXPECT_TRUE(set.add_to_category(w, "Cat " + std::to_string(i % 3)));
        }
        if (i % 6 == 0) {
            EXPECT_TRUE(set.add_to_category(w, "Six"));
        }
        if (i % 17 == 0) w.link = set.store("https://x.cz/" + std::to_string(i));
    }
    written out = write_list(list);
    ASSERT_TRUE(out.ok);
    poiset_list again = read_back(out.bytes);
    ASSERT_EQ(again.count(), 1);
    const poiset& read = *again.poisets[0];
    EXPECT_EQ(read.name, "Cams");
    ASSERT_EQ(read.count(), 1000);
    // Same waypoints, in the order the tree gave them.
    ASSERT_EQ(out.groups.size(), 1u);
    for (int i = 0; i < 1000; ++i) {
        const waypoint& a = set.waypoints[out.groups[0].areas.order[static_cast<std::size_t>(i)]];
        const waypoint& b = read.waypoints[static_cast<std::size_t>(i)];
        EXPECT_EQ(b.name, a.name);
        EXPECT_NEAR(b.lat, a.lat, 1e-6);
        EXPECT_NEAR(b.lon, a.lon, 1e-6);
        EXPECT_EQ(b.flags & (has_proximity | has_speed), a.flags & (has_proximity | has_speed));
        if ((a.flags & has_proximity) != 0) {
            EXPECT_EQ(b.proximity, a.proximity);
        }
        if ((a.flags & has_speed) != 0) {
            EXPECT_EQ(b.speed, a.speed);
        }
        EXPECT_EQ(b.comment.value_or(""), a.comment.value_or(""));
        EXPECT_EQ(b.description.value_or(""), a.description.value_or(""));
        EXPECT_EQ(b.link, a.link);
        // Addresses and contacts as the reader orders them (by mask bit); categories by name.
        const waypoint_details* da = set.details_of(a);
        const waypoint_details* db = read.details_of(b);
        ASSERT_EQ(da == nullptr, db == nullptr) << i;
        if (da == nullptr) continue;
        for (auto list_of : {&waypoint_details::address, &waypoint_details::phones}) {
            std::vector<std::string> want;
            std::vector<std::string> got;
            for (const text_pair& p : da->*list_of)
                want.push_back(std::string(*p.key) + "=" + std::string(*p.value));
            for (const text_pair& p : db->*list_of)
                got.push_back(std::string(*p.key) + "=" + std::string(*p.value));
            std::sort(want.begin(), want.end());
            std::sort(got.begin(), got.end());
            EXPECT_EQ(got, want) << i;
        }
        std::vector<std::string> want;
        std::vector<std::string> got;
        for (std::uint16_t c : da->categories) want.push_back(std::string(*set.categories[c]));
        for (std::uint16_t c : db->categories) got.push_back(std::string(*read.categories[c]));
        EXPECT_EQ(got, want) << i;
    }
    EXPECT_EQ(read.categories.size(), 4u);
}

TEST(GpiRoundTrip, AFileReadTwiceIsWrittenTwiceToTheSameBytes) {
    poiset_list list;
    for (int s = 0; s < 2; ++s) {
        poiset& set = add_set(list, "Group " + std::to_string(s));
        for (int i = 0; i < 700; ++i) {
            waypoint& w = add_poi(set, (i * 7919 % 997) * 0.001, (i * 104729 % 991) * 0.001,
                                  "p" + std::to_string(i % 50));
            if (i % 4 == 0) w.flags |= has_proximity, w.proximity = 250;
        }
    }
    written original = write_list(list);
    poiset_list first = read_back(original.bytes);
    poiset_list second = read_back(original.bytes);
    written a = write_list(first);
    written b = write_list(second);
    ASSERT_TRUE(a.ok);
    EXPECT_EQ(a.bytes, b.bytes);
    EXPECT_EQ(a.bytes.size(), original.bytes.size());
    EXPECT_TRUE(walk_gpi(a.bytes).errors.empty());
}

// The bytes of the media blocks in each group, found by the blocks' framing alone (the
// walker checks only the layout this writer produces): behind the group's name, a flagged
// block ends its length behind its main_size field, another behind its header.
std::vector<std::string> media_blocks(const std::string& bytes) {
    auto end_of = [&](std::size_t at) {
        return at + ((get_u16(bytes, at + 2) & 8) != 0 ? 12 : 8) + get_u32(bytes, at + 4);
    };
    std::vector<std::string> found;
    for (std::size_t group = 0; group + 8 <= bytes.size(); group = end_of(group)) {
        if (get_u16(bytes, group) != 9) continue;
        std::size_t name = group + ((get_u16(bytes, group + 2) & 8) != 0 ? 12 : 8);
        std::size_t end = end_of(group);
        for (std::size_t at = name + 4 + get_u32(bytes, name); at + 8 <= end; at = end_of(at)) {
            if (get_u16(bytes, at) == 18) found.push_back(bytes.substr(at, end_of(at) - at));
        }
    }
    return found;
}

// The files of Garmin's loader that carry a clip: GPI -> GPI keeps the media records
// byte for byte, behind the bitmaps, and every POI.
TEST(GpiRoundTrip, MediaRecordsOfRealFilesAreWrittenBackByteForByte) {
    for (const char* sample : {"gpi/rosneftHi_res.gpi", "gpi/spb_metro_norm.gpi"}) {
        VELMORA_REQUIRE_REAL(path, sample);
        const std::string original = testing::read_file(path);
        poiset_list list;
        {
            message_capture capture;
            ASSERT_TRUE(read_gpi_bytes(
                std::span(reinterpret_cast<const std::uint8_t*>(original.data()), original.size()),
                list))
                << capture.text();
        }
        ASSERT_EQ(list.count(), 1) << sample;
        int pois = list.poisets[0]->count();
        ASSERT_EQ(list.poisets[0]->media.size(), 1u) << sample;
        written out = write_list(list);
        ASSERT_TRUE(out.ok) << sample << out.messages;
        testing::gpi_walk walk = walk_gpi(out.bytes);
        EXPECT_TRUE(walk.errors.empty()) << sample << walk.errors.at(0);
        EXPECT_EQ(walk.poi_count, pois) << sample;
        std::vector<std::string> before = media_blocks(original);
        ASSERT_EQ(before.size(), 1u) << sample;
        EXPECT_EQ(before.at(0).size(), 12u + 3u + 4u + 2u * (6u + 96166u)) << sample;
        EXPECT_EQ(media_blocks(out.bytes), before) << sample;
    }
}

TEST(AlertBlock, ASoundTakesTheLastTwoBytesAndATourGuideAlertItsKind) {
    poiset set;
    set.media.push_back(poi_media{0x0203, media_format::mp3, {}});
    waypoint& w = add_poi(set, 0, 0, "A");
    w.flags |= has_proximity;
    w.proximity = 30;
    struct alert_case {
        std::uint32_t flags;
        std::optional<std::uint16_t> sound;
        std::string last_four;  // bytes 8 to 11 of the alert
    };
    const alert_case cases[] = {
        {0, std::nullopt, "\x01\x01\x04\x10"},
        {0, 0x0203, "\x01\x01\x03\x02"},
        {tour_guide_alert, 0x0203, "\x01\x02\x03\x02"},
        {tour_guide_alert, std::nullopt, "\x01\x02\x04\x10"},
        // An id an alert can't name, as its high byte marks a built-in sound.
        {0, 0x1004, "\x01\x01\x04\x10"},
    };
    for (const alert_case& c : cases) {
        w.flags = (w.flags & ~tour_guide_alert) | c.flags;
        set.details_for(w).sound = c.sound;
        std::string bytes = encode_poi(set, w);
        std::size_t alert = bytes.find(le16(3) + le16(0) + le32(12));
        ASSERT_NE(alert, std::string::npos);
        EXPECT_EQ(bytes.substr(alert + 8, 4), le16(30) + le16(0));
        EXPECT_EQ(bytes.substr(alert + 16, 4), c.last_four);
    }
    // Without an alert there is nothing to play it.
    w.flags &= ~has_proximity;
    set.details_for(w).sound = 0x0203;
    EXPECT_EQ(encode_poi(set, w).find(le16(3) + le16(0) + le32(12)), std::string::npos);
}

// Bitmaps from hand-made entries, written through the group writer.
struct group_output {
    bool ok = false;
    std::string bytes;
    std::string messages;
};

gpi_bitmap make_bitmap(std::uint16_t id, std::uint16_t width, std::uint16_t height,
                       std::uint16_t bpp, std::uint32_t palette_count) {
    gpi_bitmap b;
    b.icon_id = id;
    b.width = width;
    b.height = height;
    b.bits_per_pixel = bpp;
    b.palette_count = palette_count;
    b.transparent_colour = 0x00FF00FF;
    std::size_t image = static_cast<std::size_t>(gpi_bitmap_row_size(width, bpp)) * height;
    for (std::size_t i = 0; i < image; ++i) b.pixels.push_back(static_cast<std::uint8_t>(i));
    for (std::uint32_t i = 0; i < palette_count; ++i) b.palette.push_back(i * 0x010101u);
    return b;
}

void add_entry(icon_list& icons, std::uint16_t id, std::int32_t format,
               std::unique_ptr<gpi_bitmap> bitmap) {
    auto entry = std::make_unique<icon_entry>();
    entry->icon_id = id;
    entry->format = format;
    entry->bitmap = std::move(bitmap);
    icons.entries.push_back(std::move(entry));
}

// Writes the group "G" of one POI "p" with the icons, which it takes over.
group_output write_group(icon_list& icons, std::FILE* file = nullptr) {
    poiset set;
    set.name = "G";
    add_poi(set, 0, 0, "p").flags = 0;
    gpi_group group;
    group.set = &set;
    group.areas = area_index_build(set.waypoints).value();
    group.bitmaps = std::make_unique<icon_list>(std::move(icons));
    group_output out;
    bool own = file == nullptr;
    if (own) file = std::tmpfile();
    {
        file_sink sink(file);
        message_capture capture;
        out.ok = write_poi_group(sink, group);
        out.ok = sink.finish() && out.ok;
        out.messages = capture.text();
    }
    if (own) {
        out.bytes = read_all(file);
        std::fclose(file);
    }
    return out;
}

TEST(BitmapBlock, SixteenBySixteenAtEightBitsTakesThirteenHundredTwentyFourBytes) {
    icon_list icons;
    add_entry(icons, 1, icon_format_gpi,
              std::make_unique<gpi_bitmap>(make_bitmap(1, 16, 16, 8, 256)));
    group_output out = write_group(icons);
    ASSERT_TRUE(out.ok);
    EXPECT_EQ(out.messages, "");
    // Group: header with main_size, name, area of one POI (35 + 28), then the bitmap.
    EXPECT_EQ(get_u16(out.bytes, 2), 8);
    EXPECT_EQ(get_u32(out.bytes, 4), 9u + 63u + 1324u);
    EXPECT_EQ(get_u32(out.bytes, 8), 9u);
    std::size_t at = 12 + 9 + 63;
    ASSERT_EQ(out.bytes.size(), at + 1324);
    EXPECT_EQ(out.bytes.substr(at, 44), le16(5) + le16(0) + le32(1316) + le16(1) + le16(16) +
                                            le16(16) + le16(16) + le16(8) + le16(0) + le32(256) +
                                            le32(44) + le32(256) + le32(0x00FF00FF) + le32(1) +
                                            le32(300));
    EXPECT_EQ(static_cast<unsigned char>(out.bytes[at + 44 + 255]), 255);
    EXPECT_EQ(out.bytes.substr(at + 44 + 256 + 4 * 2, 4), le32(0x020202));
    testing::gpi_walk walk = walk_gpi(header_bytes + out.bytes + end_bytes);
    EXPECT_TRUE(walk.errors.empty()) << walk.errors.front();
}

TEST(BitmapBlock, TwentyFourBitsAndOddWidthsPadTheRows) {
    icon_list icons;
    add_entry(icons, 2, icon_format_gpi,
              std::make_unique<gpi_bitmap>(make_bitmap(2, 16, 16, 24, 0)));
    add_entry(icons, 3, icon_format_gpi, std::make_unique<gpi_bitmap>(make_bitmap(3, 15, 2, 8, 4)));
    group_output out = write_group(icons);
    ASSERT_TRUE(out.ok);
    std::size_t first = 12 + 9 + 63;
    EXPECT_EQ(get_u16(out.bytes, first + 14), 48);
    EXPECT_EQ(get_u32(out.bytes, first + 20), 768u);
    std::size_t second = first + 44 + 768;
    EXPECT_EQ(get_u16(out.bytes, second + 14), 16);
    EXPECT_EQ(get_u32(out.bytes, second + 20), 32u);
    EXPECT_EQ(out.bytes.size(), second + 44 + 32 + 16);
    EXPECT_TRUE(walk_gpi(header_bytes + out.bytes + end_bytes).errors.empty());
}

TEST(BitmapBlock, UnusableEntriesAreSkippedAndTheLengthsAgree) {
    icon_list icons;
    add_entry(icons, no_icon_id, icon_format_gpi,
              std::make_unique<gpi_bitmap>(make_bitmap(9, 8, 8, 8, 2)));  // no number: silent
    add_entry(icons, 4, icon_format_bmp, nullptr);                        // a BMP picture
    auto short_pixels = std::make_unique<gpi_bitmap>(make_bitmap(5, 8, 8, 8, 2));
    short_pixels->pixels.resize(10);
    add_entry(icons, 5, icon_format_gpi, std::move(short_pixels));
    auto unnumbered = std::make_unique<gpi_bitmap>(make_bitmap(no_icon_id, 4, 4, 8, 0));
    add_entry(icons, 6, icon_format_gpi, std::move(unnumbered));  // written, with a warning
    group_output out = write_group(icons);
    ASSERT_TRUE(out.ok);
    EXPECT_EQ(out.messages,
              "\nWarning: Unexpected icon format (1) while wrinint gpi!.. skipped (Filepos 0x0)"
              "\nWarning: Icon (5) lacks pixel or palette data for its size; it is left out of "
              "the gpi file"
              "\nWarning: Unexpected icon format (1) while writing gpi icons! ...Skipped "
              "(Filepos 0x54)"
              "\nWarning: Unexpected undefined icon_id (65535) while writing icons into gpi "
              "file. (Filepos 0x54)");
    EXPECT_EQ(out.bytes.size(), 12u + 9 + 63 + 44 + 16);
    EXPECT_TRUE(walk_gpi(header_bytes + out.bytes + end_bytes).errors.empty());

    // Entries, but none usable: main_size is there, no bitmap block.
    icon_list useless;
    add_entry(useless, no_icon_id, icon_format_gpi, nullptr);
    group_output bare = write_group(useless);
    EXPECT_EQ(get_u16(bare.bytes, 2), 8);
    EXPECT_EQ(bare.bytes.size(), 12u + 9 + 63);
    EXPECT_TRUE(walk_gpi(header_bytes + bare.bytes + end_bytes).errors.empty());
}

std::FILE* open_full_device() {
    std::FILE* file = std::fopen("/dev/full", "wb");
    return file;
}

TEST(GpiWriteErrors, AnyFailedWriteMakesTheWriterFail) {
    std::FILE* small = open_full_device();
    if (small == nullptr) GTEST_SKIP() << "/dev/full not available";
    {
        message_capture capture;
        EXPECT_FALSE(write_gpi(small, {}, 1250, 0));
    }
    std::fclose(small);

    std::FILE* large = open_full_device();
    poiset_list list;
    poiset& set = add_set(list, "Big");
    // Enough waypoints for the writing to be shared by two threads.
    constexpr split_policy two_threads{1024};
    for (int i = 0; i < 3000; ++i) {
        add_poi(set, i * 0.001, i * 0.002, "poi").comment = set.store("comment");
    }
    message_capture capture;
    auto groups = prepare_for_gpi(list, *output_code_page::create(1250), two_threads);
    ASSERT_TRUE(groups.has_value());
    EXPECT_FALSE(write_gpi(large, *groups, 1250, 0, two_threads));
    EXPECT_NE(capture.text().find("\nError: Write error at poi_block!"), std::string::npos);
    std::fclose(large);

    // A bitmap larger than the writer's buffer fails while it is written.
    std::FILE* full = open_full_device();
    icon_list icons;
    add_entry(icons, 1, icon_format_gpi,
              std::make_unique<gpi_bitmap>(make_bitmap(1, 255, 255, 24, 0)));
    EXPECT_FALSE(write_group(icons, full).ok);
    std::fclose(full);
}

}  // namespace
}  // namespace velmora
