// The KMZ archive is written as a zip stream: each entry's header, its bytes and, for the
// document (whose size and checksum are known only at its end), a data descriptor; then
// the central directory.  So the document is never held whole, and the archive can go
// to standard output as well as to a file.
#include <zlib.h>

#include <climits>
#include <cstdint>
#include <ctime>
#include <string>
#include <vector>

#include "kml/kml_writer.hpp"
#include "platform/little_endian.hpp"

namespace velmora {

namespace {

// Documents up to this size are deflated, at zlib's fastest level (an eighth of the
// size; the default level makes a tenth at almost twice the time); larger ones are
// stored, since deflating them costs more than the whole conversion (some 4 s of
// processor time for the 500 MB of a million POIs, against under 2 s for all of GPX
// output), and Google Earth reads stored entries as well.
constexpr std::uint64_t deflate_up_to = 32ull << 20;
// About the bytes of the document per placemark, to choose before it is written.
constexpr std::uint64_t bytes_per_placemark = 500;
constexpr int deflate_level = Z_BEST_SPEED;

constexpr std::uint16_t method_stored = 0;
constexpr std::uint16_t method_deflated = 8;
constexpr std::uint16_t flag_descriptor = 0x0008;
constexpr std::uint16_t flag_utf8_names = 0x0800;
constexpr std::uint16_t version_needed = 20;
constexpr std::uint16_t version_made_by = (3 << 8) | 20;  // Unix, zip 2.0
constexpr std::uint32_t regular_file_mode = 0100644u << 16;

void put16(std::string& out, std::uint32_t value) {
    out += static_cast<char>(value & 0xFF);
    out += static_cast<char>((value >> 8) & 0xFF);
}

void put32(std::string& out, std::uint32_t value) {
    put16(out, value & 0xFFFF);
    put16(out, value >> 16);
}

// The time as MS-DOS keeps it in zip entries, in UTC; 1980 at the earliest.
struct dos_time {
    std::uint16_t time = 0;
    std::uint16_t date = (1 << 5) | 1;  // 1980-01-01
};

dos_time dos_time_of(std::int64_t seconds) {
    std::time_t t = static_cast<std::time_t>(seconds);
    std::tm parts{};
    if (gmtime_r(&t, &parts) == nullptr || parts.tm_year < 80 || parts.tm_year > 207) return {};
    dos_time result;
    result.time = static_cast<std::uint16_t>((parts.tm_hour << 11) | (parts.tm_min << 5) |
                                             (parts.tm_sec / 2));
    result.date = static_cast<std::uint16_t>(((parts.tm_year - 80) << 9) |
                                             ((parts.tm_mon + 1) << 5) | parts.tm_mday);
    return result;
}

struct entry_record {
    std::string name;
    std::uint16_t method = method_stored;
    std::uint16_t flags = flag_utf8_names;
    std::uint32_t crc = 0;
    std::uint64_t compressed = 0;
    std::uint64_t size = 0;
    std::uint64_t offset = 0;
};

class zip_stream {
  public:
    zip_stream(std::FILE* stream, std::int64_t time) : stream_(stream), time_(dos_time_of(time)) {}
    zip_stream(const zip_stream&) = delete;
    zip_stream& operator=(const zip_stream&) = delete;
    ~zip_stream() {
        if (deflating_) deflateEnd(&z_);
    }

    // Starts the streamed entry (the document).
    bool begin_streamed(const std::string& name, bool deflate) {
        entry_record entry;
        entry.name = name;
        entry.method = deflate ? method_deflated : method_stored;
        entry.flags |= flag_descriptor;
        entry.offset = written_;
        entries_.push_back(entry);
        if (deflate) {
            z_ = z_stream{};
            if (deflateInit2(&z_, deflate_level, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY) !=
                Z_OK) {
                return fail("zlib can't deflate");
            }
            deflating_ = true;
        }
        return put(local_header(entries_.back()));
    }

    bool add(std::string_view bytes) {
        entry_record& entry = entries_.back();
        entry.size += bytes.size();
        entry.crc = update_crc(entry.crc, bytes);
        if (!deflating_) {
            entry.compressed += bytes.size();
            return put(bytes);
        }
        return deflate_bytes(bytes, Z_NO_FLUSH);
    }

    bool end_streamed() {
        if (deflating_ && !deflate_bytes({}, Z_FINISH)) return false;
        if (deflating_) {
            deflateEnd(&z_);
            deflating_ = false;
        }
        const entry_record& entry = entries_.back();
        std::string descriptor;
        put32(descriptor, 0x08074b50);
        put32(descriptor, entry.crc);
        put32(descriptor, static_cast<std::uint32_t>(entry.compressed));
        put32(descriptor, static_cast<std::uint32_t>(entry.size));
        return put(descriptor);
    }

    // An entry whose bytes are at hand: stored, with its sizes in its header.
    bool add_whole(const std::string& name, const std::vector<std::uint8_t>& bytes) {
        entry_record entry;
        entry.name = name;
        entry.size = entry.compressed = bytes.size();
        std::string_view view(reinterpret_cast<const char*>(bytes.data()), bytes.size());
        entry.crc = update_crc(0, view);
        entry.offset = written_;
        entries_.push_back(entry);
        return put(local_header(entry)) && put(view);
    }

    bool finish() {
        std::uint64_t directory_start = written_;
        std::string directory;
        for (const entry_record& entry : entries_) {
            put32(directory, 0x02014b50);
            put16(directory, version_made_by);
            common_fields(directory, entry, true);
            put16(directory, 0);  // comment
            put16(directory, 0);  // disk
            put16(directory, 0);  // internal attributes
            put32(directory, regular_file_mode);
            put32(directory, static_cast<std::uint32_t>(entry.offset));
            directory += entry.name;
        }
        if (!put(directory)) return false;
        std::string end;
        put32(end, 0x06054b50);
        put16(end, 0);
        put16(end, 0);
        put16(end, static_cast<std::uint32_t>(entries_.size()));
        put16(end, static_cast<std::uint32_t>(entries_.size()));
        put32(end, static_cast<std::uint32_t>(directory.size()));
        put32(end, static_cast<std::uint32_t>(directory_start));
        put16(end, 0);
        if (entries_.size() > 0xFFFF) return fail("too many entries for a zip archive");
        return put(end);
    }

    [[nodiscard]] const std::string& why() const { return why_; }

  private:
    static std::uint32_t update_crc(std::uint32_t crc, std::string_view bytes) {
        const auto* p = reinterpret_cast<const Bytef*>(bytes.data());
        std::size_t left = bytes.size();
        while (left > 0) {
            auto n = static_cast<uInt>(std::min<std::size_t>(left, UINT_MAX));
            crc = static_cast<std::uint32_t>(crc32(crc, p, n));
            p += n;
            left -= n;
        }
        return crc;
    }

    void common_fields(std::string& out, const entry_record& entry, bool sizes) const {
        put16(out, version_needed);
        put16(out, entry.flags);
        put16(out, entry.method);
        put16(out, time_.time);
        put16(out, time_.date);
        bool known = sizes || (entry.flags & flag_descriptor) == 0;
        put32(out, known ? entry.crc : 0);
        put32(out, known ? static_cast<std::uint32_t>(entry.compressed) : 0);
        put32(out, known ? static_cast<std::uint32_t>(entry.size) : 0);
        put16(out, static_cast<std::uint32_t>(entry.name.size()));
        put16(out, 0);  // extra field
    }

    [[nodiscard]] std::string local_header(const entry_record& entry) const {
        std::string out;
        put32(out, 0x04034b50);
        common_fields(out, entry, false);
        out += entry.name;
        return out;
    }

    // Pieces of the document are about a megabyte, far below what avail_in counts.
    bool deflate_bytes(std::string_view bytes, int flush) {
        z_.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(bytes.data()));
        z_.avail_in = static_cast<uInt>(bytes.size());
        buffer_.resize(1 << 18);
        do {
            z_.next_out = reinterpret_cast<Bytef*>(buffer_.data());
            z_.avail_out = static_cast<uInt>(buffer_.size());
            int result = deflate(&z_, flush);
            if (result == Z_STREAM_ERROR) return fail("zlib failed to deflate");
            std::size_t made = buffer_.size() - z_.avail_out;
            entries_.back().compressed += made;
            if (!put(std::string_view(buffer_.data(), made))) return false;
            if (result == Z_STREAM_END) return true;
        } while (flush == Z_FINISH || z_.avail_out == 0);
        return true;
    }

    bool put(std::string_view bytes) {
        if (written_ + bytes.size() > 0xFFFFFFFFull) {
            return fail("the archive would pass the 4 GiB a zip archive holds");
        }
        if (std::fwrite(bytes.data(), 1, bytes.size(), stream_) != bytes.size()) return false;
        written_ += bytes.size();
        return true;
    }

    bool fail(const char* reason) {
        if (why_.empty()) why_ = reason;
        return false;
    }

    std::FILE* stream_;
    dos_time time_;
    std::vector<entry_record> entries_;
    std::uint64_t written_ = 0;
    z_stream z_{};
    bool deflating_ = false;
    std::string buffer_;
    std::string why_;
};

}  // namespace

bool kmz_write(std::FILE* stream, const poiset_list& list, const kml_icon_table& icons,
               const kml_options& options, std::int64_t time, const split_policy& split,
               std::string& why) {
    std::uint64_t placemarks = 0;
    for (const auto& set : list.poisets) placemarks += set->waypoints.size();
    zip_stream zip(stream, time);
    bool deflate = placemarks * bytes_per_placemark <= deflate_up_to;
    bool written = zip.begin_streamed("doc.kml", deflate) &&
                   kml_produce(
                       list, icons, options, split,
                       [](void* context, std::string_view piece) {
                           return static_cast<zip_stream*>(context)->add(piece);
                       },
                       &zip) &&
                   zip.end_streamed();
    for (std::size_t i = 0; written && i < icons.files.size(); ++i) {
        written = zip.add_whole(options.icon_folder + icons.files[i].name, icons.files[i].png);
    }
    written = written && zip.finish();
    why = zip.why();
    return written;
}

}  // namespace velmora
