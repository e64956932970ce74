#include "gpi_walk.hpp"

#include <initializer_list>
#include <iterator>

namespace velmora::testing {

std::uint16_t get_u16(const std::string& bytes, std::size_t at) {
    return static_cast<std::uint16_t>(static_cast<unsigned char>(bytes[at]) |
                                      static_cast<unsigned char>(bytes[at + 1]) << 8);
}

std::uint32_t get_u32(const std::string& bytes, std::size_t at) {
    return get_u16(bytes, at) | static_cast<std::uint32_t>(get_u16(bytes, at + 2)) << 16;
}

std::string le16(std::uint16_t value) {
    return {static_cast<char>(value & 0xFF), static_cast<char>(value >> 8)};
}

std::string le32(std::uint32_t value) {
    return le16(static_cast<std::uint16_t>(value)) + le16(static_cast<std::uint16_t>(value >> 16));
}

namespace {

class walker {
  public:
    explicit walker(const std::string& bytes) : b_(bytes) {}

    gpi_walk run();

  private:
    bool block(std::size_t at, std::size_t limit, gpi_block& out);
    void children(gpi_block& parent, std::size_t from);
    // The end of the multilingual string at 'at', or 0 after an error.
    std::size_t mstring(std::size_t at, std::size_t limit);
    void check_poi(gpi_block& poi);
    void check_fields(const gpi_block& block, std::initializer_list<bool> multilingual);
    void check_bitmap(const gpi_block& bitmap);
    void error(const std::string& what, std::size_t at) {
        result_.errors.push_back(what + " at " + std::to_string(at));
    }

    const std::string& b_;
    gpi_walk result_;
};

gpi_walk walker::run() {
    std::size_t at = 0;
    bool ended = false;
    while (at < b_.size() && !ended) {
        gpi_block top;
        if (!block(at, b_.size(), top)) break;
        at = top.end;
        ended = top.type == 0xFFFF;
        result_.blocks.push_back(std::move(top));
    }
    if (!ended) error("no end block", at);
    if (at != b_.size()) error("bytes after the end block", at);
    return std::move(result_);
}

bool walker::block(std::size_t at, std::size_t limit, gpi_block& out) {
    if (limit - at < 8) {
        error("truncated block header", at);
        return false;
    }
    out.offset = at;
    out.type = get_u16(b_, at);
    out.flags = get_u16(b_, at + 2);
    out.length = get_u32(b_, at + 4);
    bool main_size = (out.flags & 0x0008) != 0;
    out.data = at + 8 + (main_size ? 4 : 0);
    if (main_size) {
        if (limit - at < 12) {
            error("truncated main_size", at);
            return false;
        }
        out.main_size = get_u32(b_, at + 8);
    }
    switch (out.type) {
        case 2:
        case 8:
        case 9:
        case 18:
            out.end = out.data + out.length;
            break;
        default:
            out.end = at + 8 + out.length;
    }
    if (out.end > limit) {
        error("block of type " + std::to_string(out.type) + " runs past its parent", at);
        return false;
    }
    switch (out.type) {
        case 0:
            if (out.length != 22 || b_.compare(at + 8, 8, "GRMREC00") != 0)
                error("file header", at);
            break;
        case 1:
            if (out.length != 12 || b_.compare(at + 8, 3, "POI") != 0) error("poi header", at);
            break;
        case 9: {
            std::size_t name_end = mstring(out.data, out.end);
            if (name_end == 0) return true;
            children(out, name_end);
            if (out.children.empty() || out.children[0].type != 8) {
                error("group without area", at);
                break;
            }
            // The main part holds the name, or the name and the area (with categories).
            if (main_size && out.main_size != name_end - out.data &&
                out.main_size != out.children[0].end - out.data) {
                error("group main_size", at);
            }
            // Categories, then bitmaps, then media.
            for (std::size_t i = 1; i < out.children.size(); ++i) {
                int type = out.children[i].type;
                int before = out.children[i - 1].type;
                if ((type != 7 && type != 5 && type != 18) || (type == 7 && before == 5) ||
                    (type != 18 && before == 18)) {
                    error("group child after the area", at);
                }
            }
            break;
        }
        case 8: {
            if (out.flags != 8 || out.main_size != 23) error("area header", at);
            children(out, out.data + 23);
            bool leaf = !out.children.empty() && out.children[0].type == 2;
            for (const gpi_block& child : out.children) {
                if (child.type != (leaf ? 2 : 8)) error("mixed area children", child.offset);
            }
            break;
        }
        case 2:
            ++result_.poi_count;
            check_poi(out);
            break;
        case 3:
            if (out.length != 12) error("alert length", at);
            break;
        case 4:
            if (out.length != 2) error("icon reference length", at);
            break;
        case 10:
            if (mstring(at + 8, out.end) != out.end) error("comment framing", at);
            break;
        case 14:
            if (out.length < 1 || static_cast<unsigned char>(b_[at + 8]) != 1 ||
                mstring(at + 9, out.end) != out.end) {
                error("description framing", at);
            }
            break;
        case 6:
            if (out.length != 2 || out.flags != 0) error("category reference length", at);
            break;
        case 7:
            if (out.flags != 0 || out.length < 2 || mstring(at + 10, out.end) != out.end)
                error("category framing", at);
            break;
        case 11:
            // City, country, state, postal code (plain), street, house number (plain).
            check_fields(out, {true, true, true, false, true, false});
            break;
        case 12:
            check_fields(out, {false, false, false, false, false});
            break;
        case 5:
            check_bitmap(out);
            break;
        case 13:
            // A zero byte, the picture's length, a JPEG of that length.
            if (out.flags != 0 || out.length < 5 + 3 || b_[at + 8] != 0 ||
                get_u32(b_, at + 9) != out.length - 5 ||
                b_.compare(at + 13, 3, "\xFF\xD8\xFF") != 0) {
                error("picture framing", at);
            }
            break;
        case 0xFFFF:
            if (out.length != 0 || out.flags != 0) error("end block", at);
            break;
        case 18: {
            // Id and format, then the size of the clips, each a language, a length and
            // the bytes, filling the block.
            std::size_t clips = out.data + 3;
            if (!main_size || out.main_size != 3 || out.end < clips + 4 ||
                get_u32(b_, clips) != out.end - clips - 4) {
                error("media block", at);
                break;
            }
            std::size_t clip = clips + 4;
            while (clip < out.end && out.end - clip >= 6 &&
                   get_u32(b_, clip + 2) <= out.end - clip - 6) {
                clip += 6 + get_u32(b_, clip + 2);
            }
            if (clip != out.end || clip == clips + 4) error("media clips", at);
            break;
        }
        default:
            error("unexpected block type " + std::to_string(out.type), at);
    }
    return true;
}

void walker::children(gpi_block& parent, std::size_t from) {
    std::size_t at = from;
    while (at < parent.end) {
        gpi_block child;
        if (!block(at, parent.end, child)) return;
        at = child.end;
        parent.children.push_back(std::move(child));
    }
    if (at != parent.end) error("children do not fill their parent", parent.offset);
}

std::size_t walker::mstring(std::size_t at, std::size_t limit) {
    if (limit < at || limit - at < 8) {
        error("truncated string", at);
        return 0;
    }
    std::uint32_t total = get_u32(b_, at);
    std::uint16_t n = get_u16(b_, at + 6);
    if (b_.compare(at + 4, 2, "EN") != 0 || total != 4u + n || limit - at < 8u + n) {
        error("bad string", at);
        return 0;
    }
    return at + 8 + n;
}

void walker::check_poi(gpi_block& poi) {
    bool main_size = (poi.flags & 0x0008) != 0;
    std::size_t name_end = mstring(poi.data + 11, poi.end);
    if (name_end == 0) return;
    if (!main_size) {
        if (name_end != poi.end) error("poi without sub-blocks has extra bytes", poi.offset);
        return;
    }
    if (poi.main_size != name_end - poi.data) error("poi main_size", poi.offset);
    children(poi, name_end);
    if (poi.children.empty()) error("poi with main_size but no sub-block", poi.offset);
    // Category references may repeat.
    static const int order[] = {3, 4, 6, 10, 14, 11, 12, 13};
    constexpr std::size_t kinds = std::size(order);
    std::size_t rank = 0;
    for (const gpi_block& child : poi.children) {
        while (rank < kinds && order[rank] != child.type) ++rank;
        if (rank == kinds) error("sub-block out of order", child.offset);
        if (child.type != 6) ++rank;
    }
}

void walker::check_fields(const gpi_block& block, std::initializer_list<bool> multilingual) {
    if (block.flags != 0 || block.length < 2) {
        error("field block header", block.offset);
        return;
    }
    std::uint16_t mask = get_u16(b_, block.data);
    std::size_t at = block.data + 2;
    if (mask >> multilingual.size() != 0) error("unknown field bits", block.offset);
    unsigned bit = 0;
    for (bool is_multilingual : multilingual) {
        if ((mask & (1u << bit++)) == 0) continue;
        if (is_multilingual) {
            at = mstring(at, block.end);
        } else if (block.end - at >= 2 && block.end - at - 2 >= get_u16(b_, at)) {
            at += 2 + get_u16(b_, at);
        } else {
            error("bad plain string", at);
            at = 0;
        }
        if (at == 0) return;
    }
    if (at != block.end) error("field block framing", block.offset);
}

void walker::check_bitmap(const gpi_block& bitmap) {
    std::size_t at = bitmap.offset;
    if (bitmap.end - at < 44) {
        error("short bitmap", at);
        return;
    }
    std::uint32_t image_size = get_u32(b_, at + 20);
    std::uint32_t palette_count = get_u32(b_, at + 28);
    std::uint16_t row_size = get_u16(b_, at + 14);
    std::uint16_t height = get_u16(b_, at + 10);
    if (image_size != static_cast<std::uint32_t>(row_size) * height || get_u32(b_, at + 24) != 44 ||
        get_u32(b_, at + 40) != image_size + 44 ||
        bitmap.end - at != 44u + image_size + 4u * palette_count) {
        error("bitmap framing", at);
    }
}

}  // namespace

gpi_walk walk_gpi(const std::string& bytes) {
    return walker(bytes).run();
}

}  // namespace velmora::testing
