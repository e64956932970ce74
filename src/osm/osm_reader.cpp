#include "osm/osm_reader.hpp"

#include <algorithm>
#include <cmath>
#include <exception>
#include <limits>
#include <new>

#include <osmium/index/map/sparse_mem_array.hpp>
#include <osmium/io/any_input.hpp>
#include <osmium/osm/node.hpp>
#include <osmium/osm/way.hpp>

#include "platform/messages.hpp"

namespace velmora {

namespace {

using location_index =
    osmium::index::map::SparseMemArray<osmium::unsigned_object_id_type, osmium::Location>;

// A matching closed way waiting for the locations of its nodes.
struct pending_way {
    osm_poi poi;
    std::size_t first_ref = 0;  // into the reader's node-id list
    std::size_t ref_count = 0;  // the ring's nodes, the closing repetition left out
};

osmium::unsigned_object_id_type index_key(osmium::object_id_type id) {
    return static_cast<osmium::unsigned_object_id_type>(id);
}

class two_pass_reader {
  public:
    explicit two_pass_reader(const osm_read_options& options) : options_(options) {}

    // Pass one: the nodes that match, and the node ids of the closed ways that match.
    void collect_matches(const osmium::io::File& file) {
        osmium::io::Reader reader{file,
                                  osmium::osm_entity_bits::node | osmium::osm_entity_bits::way |
                                      osmium::osm_entity_bits::relation,
                                  osmium::io::read_meta::no};
        while (osmium::memory::Buffer buffer = reader.read()) {
            for (const osmium::OSMObject& object : buffer.select<osmium::OSMObject>()) {
                if (object.tags().empty()) continue;
                switch (object.type()) {
                    case osmium::item_type::node:
                        take_node(static_cast<const osmium::Node&>(object));
                        break;
                    case osmium::item_type::way:
                        take_way(static_cast<const osmium::Way&>(object));
                        break;
                    case osmium::item_type::relation:
                        if (match_osm_tags(options_.filter, object.tags()).category >= 0)
                            ++result_.relations;
                        break;
                    default:
                        break;
                }
            }
        }
        reader.close();
    }

    // Pass two: the locations of the nodes of the matching ways, and their centres.
    void place_ways(const osmium::io::File& file) {
        if (ways_.empty()) return;
        std::vector<osmium::object_id_type> needed(refs_);
        std::sort(needed.begin(), needed.end());
        needed.erase(std::unique(needed.begin(), needed.end()), needed.end());
        location_index index;
        index.reserve(needed.size());
        read_locations(file, needed, index);
        index.sort();
        std::vector<osm_point> ring;
        for (pending_way& way : ways_) {
            ring.clear();
            bool complete = true;
            for (std::size_t i = 0; i < way.ref_count && complete; ++i) {
                osmium::Location at = index.get_noexcept(index_key(refs_[way.first_ref + i]));
                complete = at.valid();
                if (complete) ring.push_back({at.lat_without_check(), at.lon_without_check()});
            }
            if (!complete) {
                ++result_.missing_nodes;
                continue;
            }
            osm_point centre = ring_centre(ring);
            way.poi.lat = centre.lat;
            way.poi.lon = centre.lon;
            result_.pois.push_back(std::move(way.poi));
            ++result_.ways;
        }
        ways_.clear();
    }

    osm_read_result take_result() { return std::move(result_); }

  private:
    void take_node(const osmium::Node& node) {
        osm_tag_match match = match_osm_tags(options_.filter, node.tags());
        if (match.category < 0) return;
        osmium::Location at = node.location();
        if (!at.valid()) {
            ++result_.out_of_range;
            return;
        }
        result_.pois.push_back(make_osm_poi(node.tags(), match, at.lat_without_check(),
                                            at.lon_without_check(), options_.poi));
        ++result_.nodes;
    }

    void take_way(const osmium::Way& way) {
        osm_tag_match match = match_osm_tags(options_.filter, way.tags());
        if (match.category < 0) return;
        const osmium::WayNodeList& nodes = way.nodes();
        if (nodes.size() < 4 || !nodes.is_closed()) {
            ++result_.open_ways;
            return;
        }
        pending_way pending{make_osm_poi(way.tags(), match, 0.0, 0.0, options_.poi), refs_.size(),
                            nodes.size() - 1};
        for (std::size_t i = 0; i + 1 < nodes.size(); ++i) refs_.push_back(nodes[i].ref());
        ways_.push_back(std::move(pending));
    }

    // Reads the nodes only and keeps the locations of the needed ones.  In a file sorted
    // by id (as extracts are) the needed ids are met in order, so one cursor walks them
    // and the reading stops after the last; other files fall back to a search per node.
    static void read_locations(const osmium::io::File& file,
                               const std::vector<osmium::object_id_type>& needed,
                               location_index& index) {
        osmium::io::Reader reader{file, osmium::osm_entity_bits::node, osmium::io::read_meta::no};
        std::size_t cursor = 0;
        std::size_t found = 0;
        osmium::object_id_type previous = std::numeric_limits<osmium::object_id_type>::min();
        while (found < needed.size()) {
            osmium::memory::Buffer buffer = reader.read();
            if (!buffer) break;
            for (const osmium::Node& node : buffer.select<osmium::Node>()) {
                osmium::object_id_type id = node.id();
                bool wanted = false;
                if (id >= previous) {
                    while (cursor < needed.size() && needed[cursor] < id) ++cursor;
                    wanted = cursor < needed.size() && needed[cursor] == id;
                } else {
                    wanted = std::binary_search(needed.begin(), needed.end(), id);
                }
                previous = id;
                if (wanted) {
                    index.set(index_key(id), node.location());
                    ++found;
                }
            }
        }
        reader.close();
    }

    const osm_read_options& options_;
    osm_read_result result_;
    std::vector<pending_way> ways_;
    std::vector<osmium::object_id_type> refs_;
};

// Reads the file that make_file gives; libosmium's errors (a file it can't open, an
// unknown format or compression, corrupt or truncated data) become the message.
template <class MakeFile>
std::optional<osm_read_result> read_osm(MakeFile make_file, const std::string& display,
                                        const osm_read_options& options) {
    try {
        const osmium::io::File file = make_file();
        two_pass_reader reader(options);
        reader.collect_matches(file);
        reader.place_ways(file);
        return reader.take_result();
    } catch (const std::bad_alloc&) {
        throw;
    } catch (const std::exception& e) {
        report("\nError: Reading the OSM file (%s) failed: %s", display.c_str(), e.what());
        return std::nullopt;
    }
}

}  // namespace

osm_point ring_centre(const std::vector<osm_point>& ring) {
    if (ring.empty()) return {};
    // Relative to the first point, so that the products keep their precision.
    const osm_point origin = ring.front();
    double area2 = 0.0;
    double sum_lat = 0.0;
    double sum_lon = 0.0;
    double mean_lat = 0.0;
    double mean_lon = 0.0;
    for (std::size_t i = 0; i < ring.size(); ++i) {
        const osm_point& a = ring[i];
        const osm_point& b = ring[(i + 1) % ring.size()];
        double ax = a.lon - origin.lon, ay = a.lat - origin.lat;
        double bx = b.lon - origin.lon, by = b.lat - origin.lat;
        double cross = ax * by - bx * ay;
        area2 += cross;
        sum_lon += (ax + bx) * cross;
        sum_lat += (ay + by) * cross;
        mean_lat += ay;
        mean_lon += ax;
    }
    const double n = static_cast<double>(ring.size());
    if (std::fabs(area2) < 1e-14) return {origin.lat + mean_lat / n, origin.lon + mean_lon / n};
    return {origin.lat + sum_lat / (3.0 * area2), origin.lon + sum_lon / (3.0 * area2)};
}

std::optional<osm_read_result> read_osm_file(const std::string& path,
                                             const osm_read_options& options) {
    return read_osm([&] { return osmium::io::File{path}; }, path, options);
}

std::optional<osm_read_result> read_osm_bytes(std::string_view bytes, const std::string& format,
                                              const std::string& display,
                                              const osm_read_options& options) {
    return read_osm(
        [&] {
            return osmium::io::File{bytes.data(), bytes.size(), format};
        },
        display, options);
}

}  // namespace velmora
