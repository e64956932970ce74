#include "kml/kml_writer.hpp"

#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "icons/rgba_image.hpp"
#include "kml/kml_reader.hpp"
#include "platform/messages.hpp"
#include "support/test_support.hpp"

namespace velmora {
namespace {

using testing::contains;
using testing::read_file;
using testing::temp_dir;

// A picture of 2x2 pixels in a palette of two colours, the first magenta (transparent).
std::unique_ptr<icon_entry> small_icon(std::uint16_t id, const std::string& symbol,
                                       std::uint32_t colour) {
    auto entry = std::make_unique<icon_entry>();
    entry->symbol = symbol;
    entry->icon_id = id;
    entry->format = icon_format_bmp;
    entry->bmp = std::make_unique<bmp_image>();
    bmp_image& bmp = *entry->bmp;
    bmp.name = symbol + ".bmp";
    bmp.width = 2;
    bmp.height = 2;
    bmp.bits_per_pixel = 8;
    bmp.colours_used = 2;
    bmp.palette = {0x00FF00FF, colour};
    bmp.pixels = {0, 1, 0, 0, 1, 1, 0, 0};
    return entry;
}

waypoint& add_point(poiset& set, const std::string& name, double lat, double lon) {
    waypoint* w = poiset_add_waypoint(set);
    w->lat = lat;
    w->lon = lon;
    w->flags |= has_position;
    w->name = set.store(name);
    return *w;
}

// Two sets: the first with categories, an address, contacts and alerts, in UTF-8; the
// second in code page 1250 whose texts and name hold a letter beyond ASCII.
poiset_list sample_sets() {
    poiset_list list;
    poiset& food = *poiset_list_add(list);
    food.name = "Food & <Drink>";
    food.name_is_utf8 = true;
    food.is_utf8 = true;
    food.icons = std::make_unique<icon_list>();
    food.icons->entries.push_back(small_icon(0, "Restaurant", 0x000000FF));
    food.icons->entries.push_back(small_icon(1, "Flag, Blue", 0x00FF0000));

    waypoint& cafe = add_point(food, "Caf\xC3\xA9 <script>alert(1)</script>", 47.5, 19.0625);
    cafe.comment = food.store("open ]]> late");
    cafe.description = food.store("a & b\nline 2");
    cafe.symbol = food.store("Restaurant");
    cafe.flags |= has_icon | has_speed | has_proximity;
    cafe.icon_id = 0;
    cafe.speed = 50;
    cafe.proximity = 320;
    EXPECT_TRUE(food.add_to_category(cafe, "Cafes"));
    EXPECT_TRUE(food.add_to_category(cafe, "Open late"));
    waypoint_details& details = food.details_for(cafe);
    details.address.push_back({food.store(address_street), food.store("Main St")});
    details.address.push_back({food.store(address_house_number), food.store("12")});
    details.address.push_back({food.store(address_city), food.store("Budapest")});
    details.phones.push_back({food.store(contact_phone), food.store("+36 1 234")});
    details.phones.push_back({food.store(contact_email), food.store("a@b.hu")});

    waypoint& flag = add_point(food, "Flag", -33.25, -70.5);
    flag.symbol = food.store("Flag, Blue");
    flag.flags |= has_icon | has_proximity;
    flag.icon_id = 1;
    flag.proximity = 150;

    poiset& east = *poiset_list_add(list);
    east.name = "Kelet \x8A";  // Š in code page 1250
    east.codepage = code_page::create(1250);
    add_point(east, "\x8Atrand", 46.0, 18.0).description = east.store("\x9E\x65leznice");
    return list;
}

struct read_back {
    poiset_list list;
    std::string messages;
};

read_back read_kml(const std::string& document) {
    read_back back;
    message_capture capture;
    kml_read_options options;
    options.folders_as_sets = true;
    EXPECT_TRUE(kml_read(document, kml_source{"back", ""}, back.list, options));
    back.messages = capture.text();
    return back;
}

std::string category_names(const poiset& set, const waypoint& w) {
    std::string names;
    const waypoint_details* details = set.details_of(w);
    if (details == nullptr) return names;
    for (std::uint16_t c : details->categories) names += std::string(*set.categories[c]) + ";";
    return names;
}

TEST(KmlWriter, TheDocumentReadsBackWithTheFieldsOfEveryPoi) {
    poiset_list list = sample_sets();
    kml_icon_table icons = kml_icons_of(list);
    std::string document = kml_document(list, icons, {"out", "icons/", false});
    read_back back = read_kml(document);
    ASSERT_EQ(back.list.count(), 2) << back.messages;

    const poiset& food = *back.list.poisets[0];
    EXPECT_EQ(food.name, "Food & <Drink>");
    ASSERT_EQ(food.count(), 2);
    const waypoint& cafe = food.waypoints[0];
    EXPECT_EQ(*cafe.name, "Caf\xC3\xA9 <script>alert(1)</script>");
    EXPECT_EQ(*cafe.comment, "open ]]> late");
    EXPECT_EQ(*cafe.description, "a & b\nline 2");
    EXPECT_EQ(*cafe.symbol, "Restaurant");
    EXPECT_DOUBLE_EQ(cafe.lat, 47.5);
    EXPECT_DOUBLE_EQ(cafe.lon, 19.0625);
    EXPECT_EQ(cafe.flags & (has_speed | has_proximity), has_speed | has_proximity);
    EXPECT_EQ(cafe.speed, 50);
    EXPECT_EQ(cafe.proximity, 320);
    EXPECT_EQ(category_names(food, cafe), "Cafes;Open late;");
    const waypoint_details* details = food.details_of(cafe);
    ASSERT_NE(details, nullptr);
    EXPECT_EQ(find_value(details->address, address_house_number), "12");
    EXPECT_EQ(find_value(details->address, address_city), "Budapest");
    EXPECT_EQ(find_value(details->phones, contact_phone), "+36 1 234");
    EXPECT_EQ(find_value(details->phones, contact_email), "a@b.hu");

    const waypoint& flag = food.waypoints[1];
    EXPECT_EQ(*flag.symbol, "Flag, Blue");  // no id of its own: the data name it
    EXPECT_EQ(flag.flags & (has_speed | has_proximity), has_proximity);
    EXPECT_EQ(flag.proximity, 150);
    EXPECT_EQ(category_names(food, flag), "");

    // The code page's letters are UTF-8 in the document.
    const poiset& east = *back.list.poisets[1];
    EXPECT_EQ(east.name, "Kelet \xC5\xA0");
    EXPECT_EQ(*east.waypoints[0].name, "\xC5\xA0trand");
    EXPECT_EQ(*east.waypoints[0].description, "\xC5\xBE\x65leznice");
}

TEST(KmlWriter, MarkupOfTheInputsStaysTextAndTheReadableDescriptionHoldsEveryField) {
    poiset_list list = sample_sets();
    std::string document = kml_document(list, kml_icons_of(list), {"a<b", "icons/", false});
    EXPECT_TRUE(contains(document, "<name>a&lt;b</name>"));
    EXPECT_TRUE(contains(document, "<name>Food &amp; &lt;Drink&gt;</name>"));
    EXPECT_FALSE(contains(document, "<script>"));
    EXPECT_TRUE(contains(
        document,
        "<description><![CDATA[open ]]&gt; late<br>a &amp; b<br>line 2<br>Main St 12, Budapest"
        "<br>phone: +36 1 234<br>email: a@b.hu<br>speed alert 50 km/h, 320 m]]>"))
        << document;
    EXPECT_TRUE(contains(document, "proximity alert 150 m]]>"));
}

TEST(KmlWriter, APoiLiesInTheFolderOfItsFirstCategoryWithinItsSetsFolder) {
    poiset_list list = sample_sets();
    std::string document = kml_document(list, kml_icons_of(list), {"out", "icons/", false});
    auto at = [&](const std::string& text) { return document.find(text); };
    ASSERT_NE(at("<name>Cafes</name>"), std::string::npos);
    EXPECT_LT(at("<name>Food &amp;"), at("<name>Cafes</name>"));
    EXPECT_LT(at("<name>Cafes</name>"), at("<name>Caf\xC3\xA9"));
    EXPECT_EQ(at("<name>Open late</name>"), std::string::npos);  // a data value only
    EXPECT_TRUE(contains(document, "<Data name=\"category\"><value>Open late</value></Data>"));
}

TEST(KmlWriter, EachPictureIsOneSharedStyleThatItsPlacemarksName) {
    poiset_list list = sample_sets();
    kml_icon_table icons = kml_icons_of(list);
    ASSERT_EQ(icons.files.size(), 2u);
    EXPECT_EQ(icons.files[0].style_id, "Restaurant");
    EXPECT_EQ(icons.files[1].style_id, "icon2");  // "Flag, Blue" is no id
    std::string document = kml_document(list, icons, {"out", "out_icons/", false});
    EXPECT_TRUE(contains(document,
                         "<Style id=\"Restaurant\"><IconStyle><Icon><href>"
                         "out_icons/1.png</href>"));
    EXPECT_TRUE(contains(document, "<styleUrl>#icon2</styleUrl>"));
    std::string why;
    auto picture = png_decode_rgba(icons.files[0].png, why);
    ASSERT_TRUE(picture) << why;
    EXPECT_EQ(picture->width, 2);
    EXPECT_EQ(picture->pixels[3], 255);  // top row first: an opaque pixel
    EXPECT_EQ(picture->pixels[11], 0);   // the magenta pixel of the bottom row is clear
}

TEST(KmlWriter, CirclesArePlacemarksOfTheirOwnThatTheReaderLeavesOut) {
    poiset_list list = sample_sets();
    std::string document = kml_document(list, kml_icons_of(list), {"out", "icons/", true});
    EXPECT_TRUE(contains(document, "<Style id=\"proximity-circle\">"));
    read_back back = read_kml(document);
    EXPECT_EQ(back.list.poisets[0]->count(), 2);
    EXPECT_TRUE(contains(back.messages, "left out: 2")) << back.messages;
}

TEST(KmzWriter, TheArchiveHoldsTheDocumentFirstThenTheIconsAsPngFiles) {
    poiset_list list = sample_sets();
    kml_icon_table icons = kml_icons_of(list);
    kml_options options{"out", "icons/", false};
    temp_dir dir;
    std::string path = dir.file("out.kmz");
    std::FILE* file = std::fopen(path.c_str(), "wb");
    ASSERT_NE(file, nullptr);
    std::string why;
    EXPECT_TRUE(kmz_write(file, list, icons, options, 1700000000, {}, why)) << why;
    std::fclose(file);

    // The document's local header comes first; libzip reads the archive as a whole.
    std::string archive = read_file(path);
    EXPECT_EQ(archive.substr(30, 7), "doc.kml");
    // Velmora's own reader finds the document and its icons.
    poiset_list back;
    message_capture capture;
    auto result = kml_read(archive, kml_source{"out", ""}, back);
    ASSERT_TRUE(result) << capture.text();
    EXPECT_EQ(back.poisets[0]->count(), 3);  // the document is one set without -groups:folders
    ASSERT_EQ(result->icons.size(), 2u);
    for (const kml_icon& icon : result->icons) {
        ASSERT_TRUE(icon.image) << icon.href;
        std::vector<std::uint8_t> bytes(icon.image->begin(), icon.image->end());
        EXPECT_TRUE(png_decode_rgba(bytes, why)) << icon.href << ": " << why;
    }
}

}  // namespace
}  // namespace velmora
