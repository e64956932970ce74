#include "osm/osm_reader.hpp"

#include <sys/stat.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <exception>
#include <functional>
#include <limits>
#include <new>
#include <stdexcept>

#include <osmium/area/assembler.hpp>
#include <osmium/index/map/sparse_mem_array.hpp>
#include <osmium/io/any_input.hpp>
#include <osmium/memory/buffer.hpp>
#include <osmium/osm/area.hpp>
#include <osmium/osm/node.hpp>
#include <osmium/osm/relation.hpp>
#include <osmium/osm/way.hpp>
#include <protozero/exception.hpp>

#include "platform/messages.hpp"
#include "platform/progress.hpp"

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

// A matching multipolygon relation waiting for its member ways and their nodes.
struct pending_relation {
    osm_poi poi;
    std::size_t offset = 0;  // of the relation's copy in the reader's relation buffer
};

osmium::unsigned_object_id_type index_key(osmium::object_id_type id) {
    return static_cast<osmium::unsigned_object_id_type>(id);
}

bool is_multipolygon(const osmium::Relation& relation) {
    const char* type = relation.tags().get_value_by_key("type");
    return type != nullptr && std::string_view(type) == "multipolygon";
}

// The positions of an area ring, the closing repetition left out.
template <class Ring>
void ring_points(const Ring& ring, std::vector<osm_point>& points) {
    points.clear();
    for (const osmium::NodeRef& node : ring) {
        points.push_back(
            {node.location().lat_without_check(), node.location().lon_without_check()});
    }
    if (points.size() > 1) points.pop_back();
}

// The centroid of an assembled multipolygon: its outer rings' areas less their holes'.
std::optional<osm_point> area_centre(const osmium::Area& area) {
    std::vector<osm_point> points;
    area_centroid centroid;
    for (const osmium::OuterRing& outer : area.outer_rings()) {
        ring_points(outer, points);
        centroid.add_ring(points, false);
        for (const osmium::InnerRing& inner : area.inner_rings(outer)) {
            ring_points(inner, points);
            centroid.add_ring(points, true);
        }
    }
    return centroid.centre();
}

// The progress of one pass on a terminal: the bytes libosmium has read of the file.
progress_indicator progress_of(const osmium::io::Reader& reader) {
    return progress_indicator(
        [&reader]() -> std::optional<std::uint64_t> { return reader.offset(); },
        reader.file_size());
}

// Of the items of the same id, keeps the first, in their order: an extract joined by
// osmium cat from overlapping ones holds some objects twice.  ids are the items' ids,
// in the same order.  Gives the number of items dropped.
template <class Item>
std::size_t keep_first_of_each_id(std::vector<Item>& items,
                                  const std::vector<osmium::object_id_type>& ids) {
    // Extracts are sorted by id, so most lists have no repeats to look for.
    if (std::adjacent_find(ids.begin(), ids.end(), std::greater_equal<>{}) == ids.end()) return 0;
    std::vector<std::size_t> order(ids.size());
    for (std::size_t i = 0; i < order.size(); ++i) order[i] = i;
    std::stable_sort(order.begin(), order.end(),
                     [&ids](std::size_t a, std::size_t b) { return ids[a] < ids[b]; });
    std::vector<bool> repeated(ids.size(), false);
    for (std::size_t k = 1; k < order.size(); ++k) {
        if (ids[order[k]] == ids[order[k - 1]]) repeated[order[k]] = true;
    }
    std::size_t kept = 0;
    for (std::size_t i = 0; i < items.size(); ++i) {
        if (repeated[i]) continue;
        if (kept != i) items[kept] = std::move(items[i]);
        ++kept;
    }
    std::size_t dropped = items.size() - kept;
    items.erase(items.begin() + static_cast<std::ptrdiff_t>(kept), items.end());
    return dropped;
}

// How far libosmium had read the file when it gave up on it: bytes of the file read,
// and its size (both 0 for a file in memory).
struct read_position {
    std::uint64_t offset = 0;
    std::uint64_t size = 0;
};

// One pass over the file: libosmium's reader of some kinds of objects, with its progress
// line, noting how far it came when it fails.
class file_pass {
  public:
    file_pass(const osmium::io::File& file, osmium::osm_entity_bits::type entities,
              read_position& stopped)
        : reader_{file, entities, osmium::io::read_meta::no},
          progress_(progress_of(reader_)),
          stopped_(stopped) {}

    // The next buffer of objects; an empty one at the end.
    osmium::memory::Buffer read() {
        try {
            return reader_.read();
        } catch (...) {
            note_position();
            throw;
        }
    }
    // Ends the pass (a compressed file's last check comes here).
    void close() {
        try {
            reader_.close();
        } catch (...) {
            note_position();
            throw;
        }
    }

  private:
    void note_position() { stopped_ = {reader_.offset(), reader_.file_size()}; }

    osmium::io::Reader reader_;
    progress_indicator progress_;
    read_position& stopped_;
};

class two_pass_reader {
  public:
    two_pass_reader(const osm_read_options& options, read_position& stopped)
        : options_(options), stopped_(stopped) {}

    // Pass one: the nodes that match, the node ids of the closed ways that match, and
    // copies of the multipolygon relations that match.
    void collect_matches(const osmium::io::File& file) {
        file_pass reader{file,
                         osmium::osm_entity_bits::node | osmium::osm_entity_bits::way |
                             osmium::osm_entity_bits::relation,
                         stopped_};
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
                        take_relation(static_cast<const osmium::Relation&>(object));
                        break;
                    default:
                        break;
                }
            }
        }
        reader.close();
        // Nodes are the only POIs so far.
        result_.nodes -= static_cast<std::int64_t>(keep_first_of_each_id(result_.pois, node_ids_));
        keep_first_of_each_id(ways_, way_ids_);
        keep_first_of_each_id(relations_, relation_ids_);
        node_ids_ = {};
        way_ids_ = {};
        relation_ids_ = {};
    }

    // Only when multipolygons matched: the member ways of those relations (which come
    // before the relations in a file), copied with the ids of their nodes.
    void collect_member_ways(const osmium::io::File& file) {
        if (relations_.empty()) return;
        std::sort(member_ids_.begin(), member_ids_.end());
        member_ids_.erase(std::unique(member_ids_.begin(), member_ids_.end()), member_ids_.end());
        file_pass reader{file, osmium::osm_entity_bits::way, stopped_};
        // Extracts joined by osmium cat hold some ways twice: the first copy counts.
        std::vector<bool> seen(member_ids_.size(), false);
        std::size_t found = 0;
        while (found < member_ids_.size()) {
            osmium::memory::Buffer buffer = reader.read();
            if (!buffer) break;
            for (const osmium::Way& way : buffer.select<osmium::Way>()) {
                auto it = std::lower_bound(member_ids_.begin(), member_ids_.end(), way.id());
                if (it == member_ids_.end() || *it != way.id()) continue;
                auto slot = static_cast<std::size_t>(it - member_ids_.begin());
                if (seen[slot]) continue;
                seen[slot] = true;
                member_offsets_.emplace_back(way.id(), member_ways_.committed());
                member_ways_.add_item(way);
                member_ways_.commit();
                for (const osmium::NodeRef& node : way.nodes()) refs_.push_back(node.ref());
                ++found;
            }
        }
        reader.close();
        std::sort(member_offsets_.begin(), member_offsets_.end(), by_id);
    }

    // The locations of the nodes of the matching ways and member ways, and the centres.
    void place_ways(const osmium::io::File& file) {
        if (ways_.empty() && relations_.empty()) return;
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
        place_relations(index);
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
        node_ids_.push_back(node.id());
        ++result_.nodes;
    }

    void take_relation(const osmium::Relation& relation) {
        osm_tag_match match = match_osm_tags(options_.filter, relation.tags());
        if (match.category < 0) return;
        if (!is_multipolygon(relation)) {
            ++result_.relations;
            return;
        }
        pending_relation pending{make_osm_poi(relation.tags(), match, 0.0, 0.0, options_.poi),
                                 relation_buffer_.committed()};
        relation_buffer_.add_item(relation);
        relation_buffer_.commit();
        for (const osmium::RelationMember& member : relation.members()) {
            if (member.type() == osmium::item_type::way) member_ids_.push_back(member.ref());
        }
        relations_.push_back(std::move(pending));
        relation_ids_.push_back(relation.id());
    }

    // Each multipolygon assembled by libosmium from its member ways, now with their node
    // locations, and placed at the centroid of its area.
    void place_relations(const location_index& index) {
        const osmium::area::AssemblerConfig config;
        osmium::memory::Buffer area_buffer{4096, osmium::memory::Buffer::auto_grow::yes};
        std::vector<const osmium::Way*> members;
        std::vector<osmium::object_id_type> endpoints;
        for (pending_relation& pending : relations_) {
            const auto& relation = relation_buffer_.get<osmium::Relation>(pending.offset);
            members.clear();
            bool complete = true;
            for (const osmium::RelationMember& member : relation.members()) {
                if (member.type() != osmium::item_type::way) continue;
                auto it = std::lower_bound(member_offsets_.begin(), member_offsets_.end(),
                                           std::make_pair(member.ref(), std::size_t{0}), by_id);
                if (it == member_offsets_.end() || it->first != member.ref()) {
                    complete = false;
                    break;
                }
                auto& way = member_ways_.get<osmium::Way>(it->second);
                for (osmium::NodeRef& node : way.nodes()) {
                    node.set_location(index.get_noexcept(index_key(node.ref())));
                }
                members.push_back(&way);
            }
            if (!complete || members.empty()) {
                ++result_.missing_members;
                continue;
            }
            area_buffer.clear();
            std::optional<osm_point> centre;
            if (rings_can_close(members, endpoints)) {
                // An assembler keeps the rings it made, pointing into the ways it was
                // given: one per relation, as libosmium's own managers have it.
                osmium::area::Assembler assembler{config};
                if (assembler(relation, members, area_buffer) && area_buffer.committed() > 0) {
                    centre = area_centre(area_buffer.get<osmium::Area>(0));
                }
            }
            if (!centre) {
                ++result_.unassembled;
                continue;
            }
            pending.poi.lat = centre->lat;
            pending.poi.lon = centre->lon;
            result_.pois.push_back(std::move(pending.poi));
            ++result_.multipolygons;
        }
        relations_.clear();
    }

    // Whether the member ways can join into closed rings: each end node is met an even
    // number of times, and there are enough segments for a ring.  The assembler is only
    // given relations that pass (it is not made for rings that stay open).
    static bool rings_can_close(const std::vector<const osmium::Way*>& members,
                                std::vector<osmium::object_id_type>& endpoints) {
        endpoints.clear();
        std::size_t segments = 0;
        for (const osmium::Way* way : members) {
            const osmium::WayNodeList& nodes = way->nodes();
            if (nodes.size() < 2) return false;
            segments += nodes.size() - 1;
            endpoints.push_back(nodes.front().ref());
            endpoints.push_back(nodes.back().ref());
        }
        if (segments < 3) return false;
        std::sort(endpoints.begin(), endpoints.end());
        for (std::size_t i = 0; i < endpoints.size(); i += 2) {
            if (endpoints[i] != endpoints[i + 1]) return false;
        }
        return true;
    }

    static bool by_id(const std::pair<osmium::object_id_type, std::size_t>& a,
                      const std::pair<osmium::object_id_type, std::size_t>& b) {
        return a.first < b.first;
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
        way_ids_.push_back(way.id());
    }

    // Reads the nodes only and keeps the locations of the needed ones.  In a file sorted
    // by id (as extracts are) the needed ids are met in order, so one cursor walks them
    // and the reading stops after the last; in other files the cursor is placed again by
    // a search wherever the ids go back.  Of a node met twice (extracts joined by osmium
    // cat) the first copy counts.
    void read_locations(const osmium::io::File& file,
                        const std::vector<osmium::object_id_type>& needed, location_index& index) {
        file_pass reader{file, osmium::osm_entity_bits::node, stopped_};
        std::vector<bool> seen(needed.size(), false);
        std::size_t cursor = 0;
        std::size_t found = 0;
        osmium::object_id_type previous = std::numeric_limits<osmium::object_id_type>::min();
        while (found < needed.size()) {
            osmium::memory::Buffer buffer = reader.read();
            if (!buffer) break;
            for (const osmium::Node& node : buffer.select<osmium::Node>()) {
                osmium::object_id_type id = node.id();
                // Ahead the cursor steps, or searches when the next id is far.
                auto from = needed.begin();
                if (id >= previous) {
                    for (int step = 0; step < 8 && cursor < needed.size() && needed[cursor] < id;
                         ++step)
                        ++cursor;
                    from += static_cast<std::ptrdiff_t>(cursor);
                }
                if (cursor >= needed.size() || needed[cursor] < id || id < previous) {
                    cursor = static_cast<std::size_t>(std::lower_bound(from, needed.end(), id) -
                                                      needed.begin());
                }
                previous = id;
                if (cursor == needed.size() || needed[cursor] != id || seen[cursor]) continue;
                std::size_t slot = cursor;
                seen[slot] = true;
                index.set(index_key(id), node.location());
                ++found;
            }
        }
        reader.close();
    }

    const osm_read_options& options_;
    read_position& stopped_;
    osm_read_result result_;
    std::vector<pending_way> ways_;
    std::vector<osmium::object_id_type> refs_;
    std::vector<pending_relation> relations_;
    osmium::memory::Buffer relation_buffer_{4096, osmium::memory::Buffer::auto_grow::yes};
    std::vector<osmium::object_id_type> member_ids_;
    osmium::memory::Buffer member_ways_{4096, osmium::memory::Buffer::auto_grow::yes};
    std::vector<std::pair<osmium::object_id_type, std::size_t>> member_offsets_;  // by id
    // The ids of the matching objects of pass one, in the order of their POIs.
    std::vector<osmium::object_id_type> node_ids_;
    std::vector<osmium::object_id_type> way_ids_;
    std::vector<osmium::object_id_type> relation_ids_;
};

// Whether libosmium gave up because of the file's bytes (damaged or cut-short data,
// compressed or not), rather than the system or the file's kind.
bool is_damaged_data(const std::exception& e) {
    if (const auto* gzip = dynamic_cast<const osmium::gzip_error*>(&e))
        return gzip->system_errno == 0;
    if (const auto* bzip2 = dynamic_cast<const osmium::bzip2_error*>(&e))
        return bzip2->system_errno == 0;
    // A value libosmium can't take (a coordinate or id that is no number) is a range_error.
    return dynamic_cast<const protozero::exception*>(&e) != nullptr ||
           dynamic_cast<const std::range_error*>(&e) != nullptr ||
           dynamic_cast<const osmium::pbf_error*>(&e) != nullptr ||
           dynamic_cast<const osmium::xml_error*>(&e) != nullptr ||
           dynamic_cast<const osmium::o5m_error*>(&e) != nullptr ||
           dynamic_cast<const osmium::opl_error*>(&e) != nullptr;
}

// The system's reason of a compression library's failed read, when it has one.
int system_errno_of(const std::exception& e) {
    if (const auto* gzip = dynamic_cast<const osmium::gzip_error*>(&e)) return gzip->system_errno;
    if (const auto* bzip2 = dynamic_cast<const osmium::bzip2_error*>(&e))
        return bzip2->system_errno;
    return 0;
}

// Reads the file that make_file gives; libosmium's errors (a file it can't open, an
// unknown format or compression, corrupt or truncated data) become the message.
template <class MakeFile>
std::optional<osm_read_result> read_osm(MakeFile make_file, const std::string& display,
                                        const osm_read_options& options) {
    read_position stopped;
    try {
        const osmium::io::File file = make_file();
        two_pass_reader reader(options, stopped);
        reader.collect_matches(file);
        reader.collect_member_ways(file);
        reader.place_ways(file);
        return reader.take_result();
    } catch (const std::bad_alloc&) {
        throw;
    } catch (const std::exception& e) {
        if (!is_damaged_data(e)) {
            if (int error = system_errno_of(e); error != 0) {
                report("\nError: Reading the OSM file (%s) failed: %s (%s)",
                       shown_file_name(display).c_str(), e.what(), std::strerror(error));
            } else {
                report("\nError: Reading the OSM file (%s) failed: %s",
                       shown_file_name(display).c_str(), e.what());
            }
        } else {
            // Where libosmium keeps count of the bytes it has read of the file.
            std::string where;
            if (stopped.offset > 0 && stopped.size > 0) {
                where = "; reading stopped after " + std::to_string(stopped.offset) + " of its " +
                        std::to_string(stopped.size) + " bytes";
            }
            report(
                "\nError: Reading the OSM file (%s) failed: the file is damaged or cut short%s "
                "(%s)",
                shown_file_name(display).c_str(), where.c_str(), e.what());
        }
        return std::nullopt;
    }
}

// What kind of thing a path names that is not a file that can be read twice; none for a
// regular file, and for a path that names nothing or a directory (opening it tells why).
const char* unreadable_twice_kind(const std::string& path) {
    struct stat status {};
    if (::stat(path.c_str(), &status) != 0) return nullptr;
    if (S_ISFIFO(status.st_mode)) return "a named pipe";
    if (S_ISCHR(status.st_mode) || S_ISBLK(status.st_mode)) return "a device";
    if (S_ISSOCK(status.st_mode)) return "a socket";
    return nullptr;
}

}  // namespace

bool osm_input_can_be_read_twice(const std::string& path) {
    const char* kind = unreadable_twice_kind(path);
    if (kind == nullptr) return true;
    report(
        "\nError: Reading the OSM file (%s) failed: it is %s, not a file; OpenStreetMap input "
        "is read in two passes, so it must be a file that can be read twice (save it to a "
        "file first)",
        shown_file_name(path).c_str(), kind);
    return false;
}

std::optional<osm_read_result> read_osm_file(const std::string& path,
                                             const osm_read_options& options) {
    if (!osm_input_can_be_read_twice(path)) return std::nullopt;
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
