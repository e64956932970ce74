// GeoJSON reading: what becomes a POI, the fields of generic and of OpenStreetMap-like
// properties, uMap layers, and the refusal of broken documents.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "geojson/geojson_reader.hpp"
#include "platform/messages.hpp"
#include "support/test_support.hpp"

namespace velmora {
namespace {

struct read_result {
    bool ok = false;
    poiset_list list;
    std::string messages;
};

read_result read(const std::string& text, const geojson_options& options = {}) {
    read_result result;
    message_capture capture;
    result.ok = geojson_read(text, "test.geojson", "test", options, result.list);
    result.messages = capture.text();
    return result;
}

std::string feature(const std::string& geometry, const std::string& properties) {
    return R"({"type":"Feature","properties":)" + properties + R"(,"geometry":)" + geometry + "}";
}

std::string collection(const std::vector<std::string>& features) {
    std::string text = R"({"type":"FeatureCollection","features":[)";
    for (std::size_t i = 0; i < features.size(); ++i) text += (i ? "," : "") + features[i];
    return text + "]}";
}

std::string point(double lon, double lat) {
    return R"({"type":"Point","coordinates":[)" + std::to_string(lon) + "," + std::to_string(lat) +
           "]}";
}

TEST(GeojsonPropertyNames, MapToFieldsWithoutRegardToCase) {
    const std::pair<const char*, geojson_field> table[] = {
        {"name", geojson_field::name},
        {"Title", geojson_field::name},
        {"description", geojson_field::description},
        {"DESC", geojson_field::description},
        {"comment", geojson_field::comment},
        {"cmt", geojson_field::comment},
        {"sym", geojson_field::symbol},
        {"Symbol", geojson_field::symbol},
        {"icon", geojson_field::symbol},
        {"marker-symbol", geojson_field::maki_symbol},
        {"category", geojson_field::category},
        {"address", geojson_field::street},
        {"city", geojson_field::city},
        {"phone", geojson_field::phone},
        {"website", geojson_field::web},
        {"URL", geojson_field::web},
        {"email", geojson_field::email},
        {"lat", geojson_field::none},
        {"speed", geojson_field::speed},
        {"Proximity", geojson_field::proximity},
        {"opening", geojson_field::none},
    };
    for (const auto& [name, field] : table) EXPECT_EQ(geojson_field_of(name), field) << name;
    EXPECT_TRUE(is_geojson_styling_key("_umap_options"));
    EXPECT_TRUE(is_geojson_styling_key("marker-color"));
    EXPECT_FALSE(is_geojson_styling_key("name"));
}

TEST(GeojsonFields, GenericPropertiesGiveFieldsAndTheRestDescriptionLines) {
    auto r = read(collection(
        {feature(point(13.4, 52.5),
                 R"({"title":"Café \u00e9 \ud83d\ude00","description":"Nice","ele":35,"open":true,)"
                 R"("marker-color":"#f00","cmt":"c","address":"Main St 1","phone":"+49 1",)"
                 R"("url":"https://x.example","email":"a@x.example","category":"Food","n":null,)"
                 R"("tags":["a","b"]})")}));
    ASSERT_TRUE(r.ok) << r.messages;
    ASSERT_EQ(r.list.count(), 1);
    const poiset& set = *r.list.poisets[0];
    EXPECT_EQ(set.name, "test");
    ASSERT_EQ(set.count(), 1);
    const waypoint& w = set.waypoints[0];
    EXPECT_EQ(w.name, "Café é \xF0\x9F\x98\x80");
    EXPECT_EQ(w.comment, "c");
    EXPECT_EQ(w.description, "Nice\nele: 35\nopen: true\ntags: [\"a\",\"b\"]");
    EXPECT_NEAR(w.lat, 52.5, 1e-9);
    EXPECT_NEAR(w.lon, 13.4, 1e-9);
    EXPECT_EQ(testing::details_text(set, w),
              "Street=Main St 1\nphone PhoneNo=+49 1\nphone Web=https://x.example\n"
              "phone Email=a@x.example\ncategory Food\n");
}

TEST(GeojsonFields, MakiSymbolsMapThroughTheSettingsFile) {
    osm_mapping mapping;
    mapping.maki["fuel"] = "Gas Station";
    geojson_options options;
    options.osm.mapping = &mapping;
    auto r = read(collection({feature(point(1, 2), R"({"marker-symbol":"Fuel"})"),
                              feature(point(1, 2), R"({"marker-symbol":"rocket"})")}),
                  options);
    ASSERT_TRUE(r.ok) << r.messages;
    EXPECT_EQ(r.list.poisets[0]->waypoints[0].symbol, "Gas Station");
    EXPECT_EQ(r.list.poisets[0]->waypoints[1].symbol, "rocket");
}

TEST(GeojsonFields, OpenStreetMapTagsGiveTheFieldsOfOpenStreetMapInput) {
    osm_mapping mapping;
    mapping.symbols["amenity=fuel"] = "Gas Station";
    mapping.categories["amenity=fuel"] = "Fuel stations";
    geojson_options options;
    options.osm = {"de", &mapping};
    // overpass turbo's flat form and its older nested form.
    std::string flat = R"({"@id":"node/1","amenity":"fuel","name":"Aral","name:de":"Aral DE",)"
                       R"("brand":"Aral","addr:street":"Hauptstr.","addr:housenumber":"5",)"
                       R"("opening_hours":"24/7","contact:phone":"+49 2","ele":"3"})";
    std::string nested = R"({"type":"node","id":2,"tags":{"amenity":"fuel"}})";
    auto r =
        read(collection({feature(point(8, 50), flat), feature(point(9, 51), nested)}), options);
    ASSERT_TRUE(r.ok) << r.messages;
    const poiset& set = *r.list.poisets[0];
    ASSERT_EQ(set.count(), 2);
    EXPECT_EQ(set.waypoints[0].name, "Aral DE");
    EXPECT_EQ(set.waypoints[0].symbol, "Gas Station");
    EXPECT_EQ(set.waypoints[0].comment, "24/7");
    EXPECT_EQ(set.waypoints[0].description, "Aral");  // brand; no lines of other tags
    EXPECT_EQ(testing::details_text(set, set.waypoints[0]),
              "HouseNumber=5\nStreet=Hauptstr.\nphone PhoneNo=+49 2\n");
    EXPECT_EQ(set.waypoints[1].name, "fuel");  // the tag's value, as for OSM input
    EXPECT_EQ(set.waypoints[1].symbol, "Gas Station");

    // The same -tags: filter selects features and gives their categories.
    std::string error;
    auto filter = parse_osm_tag_filter("amenity=fuel", error);
    options.filter = &*filter;
    r = read(collection({feature(point(8, 50), flat), feature(point(1, 1), R"({"shop":"x"})")}),
             options);
    ASSERT_TRUE(r.ok) << r.messages;
    ASSERT_EQ(r.list.poisets[0]->count(), 1);
    EXPECT_EQ(testing::details_text(*r.list.poisets[0], r.list.poisets[0]->waypoints[0]),
              "HouseNumber=5\nStreet=Hauptstr.\nphone PhoneNo=+49 2\ncategory Fuel stations\n");
    EXPECT_TRUE(testing::contains(r.messages, "1 features did not match the tag filter"));
}

TEST(GeojsonGeometry, PointsAndAreasBecomePoisAndLinesAreCounted) {
    // A 4 x 4 square with a 2 x 2 hole in its east half: the centroid moves west.
    std::string polygon = R"({"type":"Polygon","coordinates":[[[0,0],[4,0],[4,4],[0,4],[0,0]],)"
                          R"([[2,1],[4,1],[4,3],[2,3],[2,1]]]})";
    std::string multi_point = R"({"type":"MultiPoint","coordinates":[[1,1],[2,2]]})";
    std::string collection_geometry =
        R"({"type":"GeometryCollection","geometries":[{"type":"Point","coordinates":[5,5]},)"
        R"({"type":"LineString","coordinates":[[0,0],[1,1]]}]})";
    std::string line = R"({"type":"LineString","coordinates":[[0,0],[1,1]]})";
    auto r = read(collection(
        {feature(polygon, R"({"name":"area"})"), feature(multi_point, R"({"name":"two"})"),
         feature(collection_geometry, "{}"), feature(line, "{}"), feature("null", "{}")}));
    ASSERT_TRUE(r.ok) << r.messages;
    const poiset& set = *r.list.poisets[0];
    ASSERT_EQ(set.count(), 4);
    EXPECT_NEAR(set.waypoints[0].lon, (16.0 * 2 - 4.0 * 3) / 12.0, 1e-9);
    EXPECT_NEAR(set.waypoints[0].lat, 2.0, 1e-9);
    EXPECT_EQ(set.waypoints[1].name, "two");
    EXPECT_EQ(set.waypoints[2].name, "two");
    EXPECT_NEAR(set.waypoints[2].lat, 2.0, 1e-9);
    EXPECT_NEAR(set.waypoints[3].lon, 5.0, 1e-9);
    EXPECT_TRUE(testing::contains(r.messages, "1 features with lines"));

    EXPECT_TRUE(testing::contains(r.messages, "1 features without geometry"));
    // An area across the antimeridian is one piece, not a band around the world.
    r = read(collection({feature(R"({"type":"MultiPolygon","coordinates":[[[[179,0],[-179,0],)"
                                 R"([-179,2],[179,2],[179,0]]]]})",
                                 "{}")}));
    ASSERT_TRUE(r.ok) << r.messages;
    EXPECT_NEAR(std::abs(r.list.poisets[0]->waypoints[0].lon), 180.0, 1e-9);
    EXPECT_NEAR(r.list.poisets[0]->waypoints[0].lat, 1.0, 1e-9);
}

TEST(GeojsonGeometry, BadPositionsAreSkippedNamingTheFeature) {
    std::string million = "[1,2";
    for (int i = 0; i < 100000; ++i) million += ",0";
    million += "]";
    const char* bad[] = {"[1]", "[200,1]", "[1,95]", "[1e999,1]", "[\"1\",2]", "[1,2,3,4]", "{}"};
    std::vector<std::string> features{feature(point(1, 2), "{}")};
    for (const char* coordinates : bad)
        features.push_back(
            feature(std::string(R"({"type":"Point","coordinates":)") + coordinates + "}", "{}"));
    features.push_back(feature(R"({"type":"Point","coordinates":)" + million + "}", "{}"));
    auto r = read(collection(features));
    ASSERT_TRUE(r.ok) << r.messages;
    EXPECT_EQ(r.list.poisets[0]->count(), 1);
    EXPECT_TRUE(testing::contains(r.messages, "GeoJSON features[4] has a bad position"));
    EXPECT_TRUE(testing::contains(r.messages, "GeoJSON features[8] has a bad position"));
}

TEST(GeojsonDocuments, ASingleFeatureIsReadWhereverItsTypeStandsAndNamesTheSet) {
    auto r = read(R"({"properties":{"name":"One"},"geometry":{"type":"Point","coordinates":[1,2]},)"
                  R"("type":"Feature","name":"Doc"})");
    ASSERT_TRUE(r.ok) << r.messages;
    ASSERT_EQ(r.list.count(), 1);
    EXPECT_EQ(r.list.poisets[0]->name, "Doc");
    ASSERT_EQ(r.list.poisets[0]->count(), 1);
    EXPECT_EQ(r.list.poisets[0]->waypoints[0].name, "One");
    r = read(R"({"features":[],"type":"FeatureCollection","name":""})");
    ASSERT_TRUE(r.ok) << r.messages;
    EXPECT_EQ(r.list.poisets[0]->name, "test");  // the file's name
}

TEST(GeojsonUmap, LayersAreCategoriesOrSetsOfTheirOwn) {
    std::string umap = R"({"type":"umap","properties":{"name":"My map"},)"
                       R"("geometry":{"type":"Point","coordinates":[0,0]},"layers":[)" +
                       collection({feature(point(1, 1), R"({"name":"a"})")})
                           .insert(1, R"("_umap_options":{"name":"Food"},)") +
                       "," +
                       collection({feature(point(2, 2), R"({"name":"b"})"),
                                   feature(point(3, 3), R"({"name":"c"})")})
                           .insert(1, R"("_umap_options":{"name":"Sleep"},)") +
                       "]}";
    auto r = read(umap);
    ASSERT_TRUE(r.ok) << r.messages;
    ASSERT_EQ(r.list.count(), 1);
    const poiset& set = *r.list.poisets[0];
    EXPECT_EQ(set.name, "My map");
    ASSERT_EQ(set.count(), 3);
    EXPECT_EQ(testing::details_text(set, set.waypoints[0]), "category Food\n");
    EXPECT_EQ(testing::details_text(set, set.waypoints[2]), "category Sleep\n");

    geojson_options options;
    options.layers_as_sets = true;
    r = read(umap, options);
    ASSERT_TRUE(r.ok) << r.messages;
    ASSERT_EQ(r.list.count(), 2);
    EXPECT_EQ(r.list.poisets[0]->name, "Food");
    EXPECT_EQ(r.list.poisets[1]->name, "Sleep");
    EXPECT_EQ(r.list.poisets[1]->count(), 2);
}

TEST(GeojsonBadInput, IsRefusedWithTheReasonAndPlaceAndNothingKept) {
    const std::pair<std::string, std::string> table[] = {
        {collection({feature(point(1, 2), "{}")}).substr(0, 60), "line 1"},
        {"{\"type\":\"FeatureCollection\",\n\"features\":[}", "line 2"},
        {collection({feature(point(1, 2), "{}")}) + " x", "line 1, column 1"},
        {R"({"type":"Topology"})", "no FeatureCollection, Feature or uMap"},
        // A fault found while a layer's member is searched (once read on after it).
        {R"({"layers":[{"":: }]})", "line 1, column"},
        {R"([1,2])", "no JSON object"},
        {collection({feature(point(1, 2), R"({"a":tru})")}), "line 1"},
    };
    for (const auto& [text, phrase] : table) {
        auto r = read(text);
        EXPECT_FALSE(r.ok) << text.substr(0, 80);
        EXPECT_EQ(r.list.count(), 0);
        EXPECT_TRUE(testing::contains(r.messages, "Error: Reading the GeoJSON file (test.geojson)"))
            << r.messages;
        EXPECT_TRUE(testing::contains(r.messages, phrase)) << r.messages;
    }
}

TEST(GeojsonBadInput, DeepNestingLeavesItsFeatureOutNamingTheDepthAndPlace) {
    const std::string deep = std::string(100000, '[') + std::string(100000, ']');
    // As deep as may be: kept, as the text of the property.
    const std::string deepest =
        std::string(geojson_max_depth, '[') + std::string(geojson_max_depth, ']');
    const std::string kept = feature(point(1, 2), "{\"x\":" + deepest + "}");
    const std::string front = R"({"type":"FeatureCollection","features":[)";
    const std::pair<std::string, std::string> table[] = {
        // A member of "features"; the 65th "[" stands 64 bytes behind the first.
        {collection({deep, kept}),
         "GeoJSON features[0] nests arrays and objects more than 64 deep (line 1, column " +
             std::to_string(front.size() + 65) + "), skipped"},
        {collection({kept, feature(point(3, 4), "{\"x\":{\"y\":" + deep + "}}")}),
         "GeoJSON features[1] nests arrays and objects more than 64 deep"},
        {collection({kept, feature(point(3, 4), "{\"tags\":{\"amenity\":" + deep + "}}")}),
         "GeoJSON features[1] nests arrays and objects more than 64 deep"},
        // Members that the reading passes over, of a feature and of the document.
        {collection({kept, feature(point(3, 4), "{}").insert(1, "\"bbox\":" + deep + ",")}),
         "GeoJSON features[1] nests arrays and objects more than 64 deep"},
        {collection({kept}).insert(1, "\"crs\":\n" + deep + ","),
         "The GeoJSON file (test.geojson) nests arrays and objects more than 64 deep (line 2, "
         "column 65); that member of the document was passed over"},
    };
    for (const auto& [text, phrase] : table) {
        auto r = read(text);
        ASSERT_TRUE(r.ok) << r.messages;
        EXPECT_TRUE(testing::contains(r.messages, phrase)) << r.messages;
        ASSERT_EQ(r.list.poisets[0]->count(), 1) << r.messages;
        EXPECT_EQ(r.list.poisets[0]->waypoints[0].description, "x: " + deepest);
        EXPECT_FALSE(testing::contains(r.messages, "no Feature object")) << r.messages;
    }
}

TEST(GeojsonBadInput, BadBytesLongTextsAndRepeatedNamesAreToldOnce) {
    std::string huge(geojson_max_text + 10, 'x');
    auto r = read("\xEF\xBB\xBF" +
                  collection({feature(point(1, 2),
                                      "{\"name\":\"a\xFF"
                                      "b\",\"name\":\"c\"}"),
                              feature(point(1, 2), "{\"description\":\"" + huge + "\"}")}));
    ASSERT_TRUE(r.ok) << r.messages;
    const poiset& set = *r.list.poisets[0];
    EXPECT_EQ(set.waypoints[0].name,
              "a\xEF\xBF\xBD"
              "b");
    EXPECT_FALSE(set.waypoints[1].description);
    EXPECT_TRUE(testing::contains(r.messages, "form no UTF-8 character"));
    EXPECT_TRUE(testing::contains(r.messages, "1 texts longer than"));
    EXPECT_TRUE(testing::contains(r.messages, "1 members repeated a name"));
}

// Everything a read gave: the sets with their waypoints' texts, positions and details.
std::string described(const poiset_list& list) {
    std::string text;
    for (const auto& set : list.poisets) {
        text += "set " + set->name + "\n";
        for (const stored_text& category : set->categories)
            text += "category " + std::string(*category) + "\n";
        for (const waypoint& w : set->waypoints) {
            text += std::to_string(w.lat) + " " + std::to_string(w.lon) + " " +
                    std::string(w.name.value_or("-")) + "|" + std::string(w.symbol.value_or("-")) +
                    "|" + std::string(w.comment.value_or("-")) + "|" +
                    std::string(w.description.value_or("-")) + "\n" +
                    testing::details_text(*set, w);
        }
    }
    return text;
}

TEST(GeojsonTwoThreads, GiveWhatOneThreadGives) {
    // Several batches of features of every kind, OpenStreetMap-like and generic, with
    // features left out between them; and uMap layers, each read on two threads.
    std::vector<std::string> features;
    for (int i = 0; i < 5000; ++i) {
        const std::string n = std::to_string(i);
        switch (i % 5) {
            case 0:
                features.push_back(
                    feature(point(i % 180, 45), R"({"@id":"node/)" + n +
                                                    R"(","amenity":"fuel","name":"F )" + n +
                                                    R"(","addr:city":"C"})"));
                break;
            case 1:
                features.push_back(feature(
                    point(1, 2), R"({"tags":{"shop":"bakery","name":"B\u00e9 )" + n + R"("}})"));
                break;
            case 2:
                features.push_back(
                    feature(R"({"type":"MultiPoint","coordinates":[[1,2],[3,4],[500,1]]})",
                            R"({"title":"T )" + n + R"(","category":"K)" + std::to_string(i % 7) +
                                R"(","x":1})"));
                break;
            case 3:
                features.push_back(feature("null", "{}"));
                break;
            default:
                features.push_back(
                    feature(point(5, 6), R"({"amenity":"cafe","opening_hours":"24/7"})"));
        }
    }
    const std::string text = collection(features);
    osm_mapping mapping;
    mapping.symbols["amenity=fuel"] = "Gas Station";
    mapping.symbols["shop"] = "Shopping Center";
    std::string filter_error;
    const auto filter = parse_osm_tag_filter("amenity=fuel|cafe,shop", filter_error);
    ASSERT_TRUE(filter);
    for (const osm_tag_filter* tags : {static_cast<const osm_tag_filter*>(nullptr), &*filter}) {
        geojson_options one;
        one.osm.mapping = &mapping;
        one.filter = tags;
        geojson_options two = one;
        two.two_threads_from = 0;
        auto a = read(text, one);
        auto b = read(text, two);
        ASSERT_TRUE(a.ok) << a.messages;
        ASSERT_TRUE(b.ok) << b.messages;
        EXPECT_GT(a.list.poisets[0]->count(), 2000);
        EXPECT_EQ(described(b.list), described(a.list));
        EXPECT_EQ(b.messages, a.messages);
    }
    std::string umap = R"({"type":"umap","layers":[)";
    for (int layer = 0; layer < 3; ++layer) {
        umap += (layer ? "," : "") +
                collection(features).insert(
                    1, R"("_umap_options":{"name":"L)" + std::to_string(layer) + R"("},)");
    }
    umap += "]}";
    geojson_options two;
    two.two_threads_from = 0;
    for (bool sets : {false, true}) {
        geojson_options one;
        one.layers_as_sets = two.layers_as_sets = sets;
        auto a = read(umap, one);
        auto b = read(umap, two);
        ASSERT_TRUE(a.ok) << a.messages;
        EXPECT_EQ(described(b.list), described(a.list));
        EXPECT_EQ(b.messages, a.messages);
    }
    // A fault after the first batches ends the reading on both threads, nothing kept.
    auto broken = read(text.substr(0, text.size() / 2), two);
    EXPECT_FALSE(broken.ok);
    EXPECT_EQ(broken.list.count(), 0);
    EXPECT_TRUE(testing::contains(broken.messages, "Error: Reading the GeoJSON file"))
        << broken.messages;
}

TEST(GeojsonSets, FeaturesNamingASetGoIntoItOnOneThreadOrTwo) {
    // Runs of sets as GeoJSON output writes them, a name coming back after another, and
    // features without a name (or an empty one) that stay in the file's set.
    std::vector<std::string> features;
    for (int i = 0; i < 9000; ++i) {
        const char* set = i < 4000   ? "Caf\u00e9s"
                          : i < 6000 ? "Fuel"
                          : i < 8990 ? "Caf\u00e9s"
                                     : "";
        features.push_back(feature(
            point(1, 2), R"({"name":"p","set":")" + std::string(set) + R"(","category":"K"})"));
    }
    features.push_back(feature(point(1, 2), R"({"name":"q"})"));
    const std::string text = collection(features);
    geojson_options two;
    two.two_threads_from = 0;
    auto a = read(text);
    auto b = read(text, two);
    ASSERT_TRUE(a.ok) << a.messages;
    ASSERT_EQ(a.list.count(), 3);
    const std::pair<const char*, int> expected[] = {
        {"test", 11}, {"Caf\xC3\xA9s", 6990}, {"Fuel", 2000}};
    for (std::size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(a.list.poisets[i]->name, expected[i].first);
        EXPECT_EQ(a.list.poisets[i]->count(), expected[i].second);
    }
    EXPECT_EQ(testing::details_text(*a.list.poisets[2], a.list.poisets[2]->waypoints[0]),
              "category K\n");
    EXPECT_EQ(described(b.list), described(a.list));

    // Every feature naming its set leaves no set of the file; in uMap layers the
    // property is no set.
    a = read(collection({feature(point(1, 2), R"({"set":"A"})")}));
    ASSERT_EQ(a.list.count(), 1);
    EXPECT_EQ(a.list.poisets[0]->name, "A");
    a = read(R"({"type":"umap","layers":[)" + collection({features[0]}) + "]}");
    ASSERT_EQ(a.list.count(), 1);
    EXPECT_EQ(a.list.poisets[0]->name, "test");
}

TEST(GeojsonRealFiles, OverpassAndUmapExportsRead) {
    VELMORA_REQUIRE_REAL(fuel, "geojson/fuel.geojson");
    osm_mapping mapping;
    mapping.symbols["amenity=fuel"] = "Gas Station";
    geojson_options options;
    options.osm.mapping = &mapping;
    auto r = read(testing::read_file(fuel), options);
    ASSERT_TRUE(r.ok) << r.messages;
    ASSERT_EQ(r.list.poisets[0]->count(), 14);
    for (const waypoint& w : r.list.poisets[0]->waypoints) EXPECT_EQ(w.symbol, "Gas Station");

    VELMORA_REQUIRE_REAL(umap, "geojson/data.umap");
    r = read(testing::read_file(umap));
    ASSERT_TRUE(r.ok) << r.messages;
    ASSERT_EQ(r.list.count(), 1);
    EXPECT_EQ(r.list.poisets[0]->count(), 33);
    EXPECT_EQ(r.list.poisets[0]->categories.size(), 3u);
}

}  // namespace
}  // namespace velmora
