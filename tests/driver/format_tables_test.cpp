#include <gtest/gtest.h>

#include <cctype>
#include <optional>
#include <string>

#include "driver/exporters.hpp"
#include "driver/input_kind.hpp"

namespace velmora {
namespace {

// Every format read from a named file is chosen by its own extension, in any letter
// case, and has a reader; a format that takes standard input is one this build reads.
TEST(InputKinds, EveryFormatReadHasItsReaderAndItsExtensionChoosesIt) {
    for (input_kind kind :
         {input_kind::gpx, input_kind::gpi, input_kind::csv, input_kind::speedcam, input_kind::kml,
          input_kind::kmz, input_kind::geojson, input_kind::osm}) {
        const input_kind_row& row = input_kind_info(kind);
        EXPECT_NE(row.reader, nullptr) << row.name;
        std::string upper(row.extension);
        for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        EXPECT_EQ(input_kind_of_extension(upper), kind) << row.name;
        if (row.from_stream) {
            EXPECT_TRUE(row.read) << row.name;
        }
    }
    for (input_kind kind : {input_kind::gdb, input_kind::xml, input_kind::unknown}) {
        EXPECT_EQ(input_kind_info(kind).reader, nullptr);
    }
    EXPECT_EQ(input_kind_info(input_kind::osm).tags, tag_filter_use::required);
    EXPECT_EQ(input_kind_info(input_kind::geojson).tags, tag_filter_use::optional);
    EXPECT_EQ(input_kind_info(input_kind::gpx).tags, tag_filter_use::none);
}

TEST(OutputFormats, AreToldByExtensionOrByFormatOption) {
    struct format_case {
        std::string ext;
        output_format by_extension;
        std::string option;
        std::optional<output_format> by_option;
    } cases[] = {
        {".gpi", output_format::gpi, "gpi", output_format::gpi},
        {".GPX", output_format::gpx, "GPX", output_format::gpx},
        {".Bmp", output_format::bmp, "bmp", std::nullopt},  // -format: can't name pictures
        {".KML", output_format::kml, "kml", output_format::kml},
        {".kmz", output_format::kmz, "Kmz", output_format::kmz},
        {".shp", output_format::none, "shp", std::nullopt},
        {".HTML", output_format::report, "html", output_format::report},
        {"", output_format::none, "", std::nullopt},
    };
    for (const format_case& c : cases) {
        EXPECT_EQ(output_format_of_extension(c.ext), c.by_extension) << c.ext;
        EXPECT_EQ(output_format_of_option(c.option), c.by_option) << c.option;
    }
    for (output_format format :
         {output_format::gpi, output_format::gpx, output_format::bmp, output_format::geojson,
          output_format::kml, output_format::kmz, output_format::report}) {
        EXPECT_EQ(output_format_of_extension(output_format_extension(format)), format);
    }
    EXPECT_EQ(output_format_place(output_format::bmp), output_place::directory);
    EXPECT_EQ(output_format_place(output_format::gpi), output_place::file);
}

}  // namespace
}  // namespace velmora
