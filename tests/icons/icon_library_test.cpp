#include <gtest/gtest.h>

#include <filesystem>

#include "icons/bmp_fixture.hpp"
#include "icons/icon_library.hpp"
#include "platform/messages.hpp"
#include "support/test_support.hpp"

namespace velmora {
namespace {

using testing::bmp_layout;
using testing::make_bmp;

std::vector<std::string> symbols_of(const icon_list& list) {
    std::vector<std::string> out;
    for (const auto& e : list.entries) out.push_back(e->symbol.value_or("<none>"));
    return out;
}

TEST(IconListAppend, DoublesTheRoomBeforeTheLastFreeSlotIsTaken) {
    icon_list list;
    EXPECT_EQ(list.entries.capacity(), 32u);
    for (int i = 0; i < 31; ++i)
        ASSERT_TRUE(icon_list_append(list, std::make_unique<icon_entry>()));
    EXPECT_EQ(list.entries.capacity(), 32u);
    ASSERT_TRUE(icon_list_append(list, std::make_unique<icon_entry>()));
    EXPECT_EQ(list.count(), 32);
    EXPECT_EQ(list.entries.capacity(), 64u);
    EXPECT_FALSE(icon_list_append(list, nullptr));
    EXPECT_EQ(list.count(), 32);
}

TEST(IconLibraryLoad, LoadsThePicturesInNameOrderAndReportsTheRest) {
    testing::temp_dir dir;
    bmp_layout deep;
    deep.bits = 24;
    deep.palette_entries = 0;
    testing::write_file(dir.file("car.bmp"), make_bmp({}));
    testing::write_file(dir.file("Flag, Red.BMP"), make_bmp({}));
    testing::write_file(dir.file("deep.bmp"), make_bmp(deep));
    testing::write_file(dir.file("Broken.bmp"), "BM");
    testing::write_file(dir.file("readme.txt"), "text");
    testing::write_file(dir.file("README"), "text");
    testing::write_file(dir.file("logo.gif"), "GIF89a");
    testing::write_file(dir.file("logo.ICO"), "");
    std::filesystem::create_directory(dir.path() / "sub");
    std::filesystem::create_directory(dir.path() / "sub.bmp");

    message_capture capture;
    auto list = icon_library_load(dir.file("*.*"));
    ASSERT_NE(list, nullptr);
    EXPECT_EQ(symbols_of(*list), (std::vector<std::string>{"flag, red", "car", "deep"}));
    // The 24-bit picture, once refused, is converted to 8 bits.
    EXPECT_EQ(list->entries[2]->bmp->bits_per_pixel, 8);
    for (const auto& e : list->entries) {
        EXPECT_EQ(e->format, icon_format_bmp);
        EXPECT_EQ(e->icon_id, 0);
        EXPECT_EQ(e->usage, 0);
        ASSERT_NE(e->bmp, nullptr);
        EXPECT_EQ(e->bmp->width, 5);
    }
    EXPECT_EQ(list->entries[0]->bmp->name, "Flag, Red.BMP");
    EXPECT_EQ(capture.text(),
              "\nWarning: Can't load bmp file(broken.bmp)"
              "\nTeszt: Not loaded! (broken.bmp)"
              "\nWarning: type not supported: ()!"
              "\nTeszt: Not loaded! (readme)"
              "\nWarning: type not supported (yet): (.ICO)!"
              "\nTeszt: Not loaded! (logo.ICO)"
              "\nWarning: Can't load image file(logo.gif): damaged GIF image (No screen "
              "descriptor detected)"
              "\nTeszt: Not loaded! (logo.gif)"
              "\nWarning: type not supported: (.txt)!"
              "\nTeszt: Not loaded! (readme.txt)");
}

TEST(IconLibraryLoad, AcceptsThePatternFormsOfTheBuiltInDirectories) {
    testing::temp_dir dir;
    std::filesystem::create_directories(dir.path() / "icons" / "speedcam");
    testing::write_file(dir.file("icons/waypoint.bmp"), make_bmp({}));
    testing::write_file(dir.file("icons/speedcam/Speed_50.bmp"), make_bmp({}));
    testing::write_file(dir.file("icons/note.txt"), "");
    std::string base = dir.path().string() + "/";

    message_capture capture;
    auto gpx_icons = icon_library_load(base + "icons/*.*");
    ASSERT_NE(gpx_icons, nullptr);
    EXPECT_EQ(symbols_of(*gpx_icons), (std::vector<std::string>{"waypoint"}));
    EXPECT_EQ(capture.text(),
              "\nWarning: type not supported: (.txt)!\nTeszt: Not loaded! (note.txt)");

    auto cameras = icon_library_load(base + "icons/speedcam/*.*");
    ASSERT_NE(cameras, nullptr);
    EXPECT_EQ(symbols_of(*cameras), (std::vector<std::string>{"speed_50"}));

    // A pattern ending in a separator names the whole directory.
    auto whole = icon_library_load(base + "icons/speedcam/");
    ASSERT_NE(whole, nullptr);
    EXPECT_EQ(symbols_of(*whole), (std::vector<std::string>{"speed_50"}));

    capture.clear();
    auto only_bmp = icon_library_load(base + "icons/*.bmp");
    ASSERT_NE(only_bmp, nullptr);
    EXPECT_EQ(symbols_of(*only_bmp), (std::vector<std::string>{"waypoint"}));
    EXPECT_EQ(capture.text(), "");
}

TEST(IconLibraryLoad, GivesAnEmptyLibraryForAMissingDirectory) {
    testing::temp_dir dir;
    message_capture capture;
    auto list = icon_library_load(dir.file("nothing/here/*.*"));
    ASSERT_NE(list, nullptr);
    EXPECT_EQ(list->count(), 0);
    list = icon_library_load("");
    ASSERT_NE(list, nullptr);
    EXPECT_EQ(list->count(), 0);
    EXPECT_EQ(capture.text(), "");
}

TEST(IconLibraryLoad, KeepsBothFilesWhoseNamesDifferOnlyInCase) {
    testing::temp_dir dir;
    testing::write_file(dir.file("Car.bmp"), make_bmp({}));
    testing::write_file(dir.file("car.bmp"), make_bmp({}));
    auto list = icon_library_load(dir.file("*.*"));
    ASSERT_NE(list, nullptr);
    EXPECT_EQ(symbols_of(*list), (std::vector<std::string>{"car", "car"}));
    EXPECT_EQ(list->entries[0]->bmp->name, "Car.bmp");
}

TEST(IconLibraryLoad, LeavesOutPicturesTooLargeForAGpiBitmap) {
    testing::temp_dir dir;
    bmp_layout wide;
    wide.width = 70000;
    wide.height = 1;
    testing::write_file(dir.file("wide.bmp"), make_bmp(wide));
    message_capture capture;
    auto list = icon_library_load(dir.file("*.*"));
    ASSERT_NE(list, nullptr);
    EXPECT_EQ(list->count(), 0);
    EXPECT_EQ(capture.text(),
              "\nError: BMP icon can't be used: width and height must be 1 to 65535"
              "\nWarning: Can't load bmp file(wide.bmp)"
              "\nTeszt: Not loaded! (wide.bmp)");
}

TEST(IconLibraryLoad, LoadsTheBundledIcons) {
    std::string icons = testing::source_dir() + "/examples/icons/";
    message_capture capture;
    auto list = icon_library_load(icons);
    ASSERT_NE(list, nullptr);
    EXPECT_GE(list->count(), 11);
    std::vector<std::string> symbols = symbols_of(*list);
    for (const char* symbol :
         {"flag, blue", "flag, red", "flag, green", "car", "gas station", "restaurant",
          "parking area", "lodging", "scenic area", "geocache", "waypoint"}) {
        EXPECT_NE(std::find(symbols.begin(), symbols.end(), symbol), symbols.end()) << symbol;
    }
    for (const auto& e : list->entries) {
        EXPECT_EQ(e->bmp->bits_per_pixel, 8) << *e->symbol;
        EXPECT_GE(e->bmp->width, 16);
        EXPECT_LE(e->bmp->width, 24);
        EXPECT_GE(e->bmp->height, 16);
        EXPECT_LE(e->bmp->height, 24);
        EXPECT_EQ(e->bmp->palette[0], 0x00FF00FFu) << "magenta background first";
    }
    auto cameras = icon_library_load(icons + "speedcam/*.*");
    ASSERT_NE(cameras, nullptr);
    EXPECT_EQ(cameras->count(), 11);  // 30 to 130 km/h
    EXPECT_EQ(capture.text(), "");
}

}  // namespace
}  // namespace velmora
