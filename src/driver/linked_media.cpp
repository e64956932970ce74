#include "driver/linked_media.hpp"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <limits>
#include <map>
#include <optional>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "platform/dir_search.hpp"
#include "platform/file_kind.hpp"
#include "platform/messages.hpp"
#include "platform/paths.hpp"
#include "platform/stdio_file.hpp"
#include "text/encoding.hpp"
#include "text/output_code_page.hpp"

namespace velmora {

namespace {

enum class link_kind { none, sound, picture };

constexpr char lower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool ends_with_ignore_case(std::string_view text, std::string_view end) {
    return text.size() >= end.size() &&
           equals_ignore_case(text.substr(text.size() - end.size()), end);
}

// What a link names by its extension.  Most links name none of these, or nothing at all,
// and are passed over after a look at their last bytes.
link_kind kind_by_extension(std::string_view link) {
    while (!link.empty() && (link.back() == ' ' || link.back() == '\t' || link.back() == '\r'))
        link.remove_suffix(1);
    if (link.size() < 5 || link[link.size() - 4] != '.') {
        return ends_with_ignore_case(link, ".jpeg") ? link_kind::picture : link_kind::none;
    }
    if (ends_with_ignore_case(link, ".wav") || ends_with_ignore_case(link, ".mp3"))
        return link_kind::sound;
    return ends_with_ignore_case(link, ".jpg") ? link_kind::picture : link_kind::none;
}

int hex_value(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    c = lower(c);
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

// A file URL's path with its %XX escapes decoded; a "%" without two hex digits stays.
std::string percent_decoded(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size() && hex_value(text[i + 1]) >= 0 &&
            hex_value(text[i + 2]) >= 0) {
            out += static_cast<char>(hex_value(text[i + 1]) * 16 + hex_value(text[i + 2]));
            i += 2;
        } else {
            out += text[i];
        }
    }
    return out;
}

// True when the link starts with a URL scheme ("http:", "content:"); a single letter
// before the colon is a Windows drive, no scheme.
bool has_scheme(std::string_view link) {
    std::size_t colon = link.find(':');
    if (colon == std::string_view::npos || colon < 2) return false;
    auto scheme_char = [](char c) {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
               c == '+' || c == '-' || c == '.';
    };
    return std::all_of(link.begin(), link.begin() + static_cast<std::ptrdiff_t>(colon),
                       scheme_char);
}

// The path of the local file a link names: absolute, or relative to the directory; a
// file: URL of this machine (no host or "localhost").  None for a link to elsewhere.
// Links written for Windows separate with backslashes, which become "/" in a relative
// path.
std::optional<std::string> local_path(std::string_view link, const std::string& directory) {
    while (!link.empty() && (link.front() == ' ' || link.front() == '\t')) link.remove_prefix(1);
    while (!link.empty() && (link.back() == ' ' || link.back() == '\t' || link.back() == '\r'))
        link.remove_suffix(1);
    std::string path;
    if (link.size() >= 5 && equals_ignore_case(link.substr(0, 5), "file:")) {
        std::string_view rest = link.substr(5);
        if (rest.starts_with("//")) {
            rest.remove_prefix(2);
            std::size_t slash = rest.find('/');
            if (slash == std::string_view::npos) return std::nullopt;
            std::string_view host = rest.substr(0, slash);
            if (!host.empty() && !equals_ignore_case(host, "localhost")) return std::nullopt;
            rest.remove_prefix(slash);
        }
        path = percent_decoded(rest);
    } else {
        if (has_scheme(link)) return std::nullopt;
        path = link;
        if (!path.starts_with('/')) std::replace(path.begin(), path.end(), '\\', '/');
    }
    // A zero byte (%00) would end the name before its extension.
    if (path.empty() || path.find('\0') != std::string::npos) return std::nullopt;
    if (!path.starts_with('/')) path.insert(0, directory);
    return path;
}

std::string last_component(std::string_view path) {
    std::size_t slash = path.rfind('/');
    return std::string(slash == std::string_view::npos ? path : path.substr(slash + 1));
}

bool names_tour_guide(std::string_view path) {
    std::string name = ascii_lower(last_component(path));
    return name.find("tourguide") != std::string::npos;
}

// A file read whole, or why it was not.
struct file_bytes {
    std::vector<std::uint8_t> bytes;
    std::string failure;  // empty when read
};

file_bytes read_small_file(const std::string& path, std::size_t most) {
    file_bytes result;
    if (is_directory(path.c_str())) {
        result.failure = "it is a directory";
        return result;
    }
    // A named pipe or device would make the run wait, or read without end.
    if (access(path.c_str(), F_OK) == 0 && !is_regular_file(path.c_str())) {
        result.failure = "it is no regular file";
        return result;
    }
    unique_file file(std::fopen(path.c_str(), "rb"));
    if (!file) {
        result.failure = std::string("it can't be read: ") + std::strerror(errno);
        return result;
    }
    std::optional<std::uint64_t> size = regular_file_size(file.get());
    if (!size) {
        result.failure = "it is no regular file";
        return result;
    }
    if (*size > most) {
        result.failure = "it is larger than " + std::to_string(most >> 20) + " MiB (" +
                         std::to_string(*size) + " bytes)";
        return result;
    }
    result.bytes.resize(static_cast<std::size_t>(*size));
    std::size_t got = std::fread(result.bytes.data(), 1, result.bytes.size(), file.get());
    if (got != result.bytes.size() || std::ferror(file.get()) != 0) {
        result.failure = "it can't be read whole";
        result.bytes.clear();
    }
    return result;
}

bool is_jpeg(std::span<const std::uint8_t> bytes) {
    return bytes.size() >= 3 && bytes[0] == 0xFF && bytes[1] == 0xD8 && bytes[2] == 0xFF;
}

// A clip file as the set holds it: its record's id, or none when it was refused.
struct clip_entry {
    std::optional<std::uint16_t> id;
    bool tour_guide = false;
    std::string shown;             // its name as the messages show it
    std::size_t more_refused = 0;  // POIs after the first that named it in vain
};

struct picture_entry {
    std::optional<std::uint32_t> index;
    std::string shown;
    std::size_t more_refused = 0;
};

class media_linker {
  public:
    media_linker(poiset& set, const linked_media_options& options) : set_(set), options_(options) {
        for (const poi_media& media : set.media) next_id_ = std::max(next_id_, media.id + 1u);
    }

    void run() {
        std::optional<std::string> beside;
        if (!options_.sound_beside.empty()) beside = options_.sound_beside;
        // The records of details whose Web contact names such a file, found in one pass
        // over the records (a record many waypoints share is looked at once); mostly none.
        std::vector<bool> linking_details;
        std::size_t records = options_.links_in_contacts ? set_.details.size() : 0;
        for (std::size_t d = 0; d < records; ++d) {
            for (const text_pair& pair : set_.details[d].phones) {
                if (pair.value && kind_by_extension(*pair.value) != link_kind::none &&
                    pair.key == contact_web) {
                    linking_details.resize(set_.details.size());
                    linking_details[d] = true;
                }
            }
        }
        for (std::size_t i = 0; i < set_.waypoints.size(); ++i) {
            const waypoint& w = set_.waypoints[i];
            // The common case: no link, or one that names no such file.
            bool linked = (w.link && kind_by_extension(*w.link) != link_kind::none) ||
                          (w.details < linking_details.size() && linking_details[w.details]);
            if (linked || beside) link_waypoint(i, beside);
        }
        report_repeated_refusals();
    }

  private:
    // A link of the waypoint that names a clip or picture: where it is kept, so that it
    // can go once taken.
    struct found_link {
        link_kind kind;
        std::string path;
        bool in_contacts;  // a Web contact, else the waypoint's link
        std::size_t contact = 0;
    };

    std::vector<found_link> links_of(const waypoint& w) const {
        std::vector<found_link> found;
        auto add = [&](std::string_view text, bool in_contacts, std::size_t contact) {
            link_kind kind = kind_by_extension(text);
            if (kind == link_kind::none) return;
            std::optional<std::string> utf8;
            if (!set_.is_utf8) {
                utf8 = codepage_text_to_utf8(text, set_.codepage);
                if (!utf8) return;
                text = *utf8;
            }
            if (auto path = local_path(text, options_.directory)) {
                found.push_back({kind, std::move(*path), in_contacts, contact});
            }
        };
        if (w.link) add(*w.link, false, 0);
        const waypoint_details* details = set_.details_of(w);
        if (details != nullptr && options_.links_in_contacts) {
            for (std::size_t c = 0; c < details->phones.size(); ++c) {
                const text_pair& pair = details->phones[c];
                if (pair.key == contact_web && pair.value) add(*pair.value, true, c);
            }
        }
        return found;
    }

    void link_waypoint(std::size_t index, const std::optional<std::string>& beside) {
        std::vector<found_link> links = links_of(set_.waypoints[index]);
        const waypoint_details* held = set_.details_of(set_.waypoints[index]);
        bool has_sound = held != nullptr && held->sound.has_value();
        bool has_picture = held != nullptr && held->picture.has_value();
        std::vector<found_link> taken;
        // A POI whose own link names a clip that can't serve keeps a plain alert rather
        // than the clip of its file.
        bool named_sound = false;
        for (const found_link& link : links) {
            if (link.kind == link_kind::sound && !has_sound && !named_sound) {
                named_sound = true;
                if (give_sound(index, link.path)) {
                    has_sound = true;
                    taken.push_back(link);
                }
            } else if (link.kind == link_kind::picture && !has_picture) {
                if (give_picture(index, link.path)) {
                    has_picture = true;
                    taken.push_back(link);
                }
            }
        }
        if (!has_sound && !named_sound && beside) give_sound(index, *beside);
        drop_links(set_.waypoints[index], taken);
    }

    // The link is the clip or picture now, no web address to show.  The contacts go
    // from the back, so that the indexes of the others hold.
    void drop_links(waypoint& w, std::vector<found_link>& taken) {
        if (taken.empty()) return;
        std::sort(taken.begin(), taken.end(),
                  [](const found_link& a, const found_link& b) { return a.contact > b.contact; });
        for (const found_link& link : taken) {
            if (!link.in_contacts) {
                w.link = {};
                continue;
            }
            auto& phones = set_.details_for(w).phones;
            phones.erase(phones.begin() + static_cast<std::ptrdiff_t>(link.contact));
        }
    }

    std::string poi_text(std::size_t index) const {
        const waypoint& w = set_.waypoints[index];
        return display_text(w.name.value_or_empty(), set_.texts_encoding(), shown_text);
    }

    // The key under which a file is read once: its absolute path, so that "a.wav" and
    // "./a.wav" are one file.
    static std::string file_key(const std::string& path) {
        return resolve_path(path).value_or(path);
    }

    // The entry of a file, found by the path as the link gives it and then by the file's
    // absolute path; whether it is new.
    template <class Entry>
    static std::pair<Entry*, bool> entry_of(const std::string& path,
                                            std::unordered_map<std::string, Entry*>& by_path,
                                            std::map<std::string, Entry>& by_file) {
        if (auto known = by_path.find(path); known != by_path.end()) return {known->second, false};
        auto [at, added] = by_file.try_emplace(file_key(path));
        by_path.emplace(path, &at->second);
        return {&at->second, added};
    }

    // The POI whose link names a clip wants an alert, played with the clip when it can be
    // read, else a plain one.
    void give_alert(waypoint& w, bool tour_guide) const {
        double proximity =
            options_.default_proximity > 0 ? options_.default_proximity : clip_alert_proximity;
        // A Tour Guide alert's proximity is its radius.
        if (!has_alert(w) || (tour_guide && (w.flags & has_proximity) == 0)) {
            w.flags |= has_proximity;
            w.proximity = proximity;
        }
        if (tour_guide) w.flags |= tour_guide_alert;
    }

    bool give_sound(std::size_t index, const std::string& path) {
        auto [clip, added] = entry_of(path, clip_by_path_, clips_);
        if (added) {
            clip->shown = shown_file_name(path);
            clip->tour_guide = names_tour_guide(path);
            load_clip(*clip, path, index);
        } else if (!clip->id) {
            ++clip->more_refused;
        }
        waypoint& w = set_.waypoints[index];
        if (!clip->id) {
            give_alert(w, false);
            return false;
        }
        set_.details_for(w).sound = *clip->id;
        give_alert(w, clip->tour_guide);
        return true;
    }

    void load_clip(clip_entry& clip, const std::string& path, std::size_t index) {
        auto refuse = [&](const std::string& why) {
            report(
                "\nWarning: The alert sound (%s) of poi %zu (%s) in set (%s) is left out: %s; "
                "the poi keeps a plain alert",
                clip.shown.c_str(), index + 1, poi_text(index).c_str(), shown_name(set_).c_str(),
                why.c_str());
        };
        if (next_id_ > std::numeric_limits<std::uint16_t>::max()) {
            refuse("the set holds 65535 clips already");
            return;
        }
        file_bytes file = read_small_file(path, max_clip_bytes);
        if (!file.failure.empty()) {
            refuse(file.failure);
            return;
        }
        std::optional<media_format> format = clip_format(file.bytes);
        if (!format) {
            refuse(file.bytes.empty() ? "it is empty" : "it is neither a WAV nor an MP3 file");
            return;
        }
        poi_media media;
        media.id = static_cast<std::uint16_t>(next_id_++);
        media.format = *format;
        media.clips.push_back({options_.language, std::move(file.bytes)});
        clip.id = media.id;
        set_.media.push_back(std::move(media));
    }

    bool give_picture(std::size_t index, const std::string& path) {
        auto [picture, added] = entry_of(path, picture_by_path_, pictures_);
        if (added) {
            picture->shown = shown_file_name(path);
            load_picture(*picture, path, index);
        } else if (!picture->index) {
            ++picture->more_refused;
        }
        if (!picture->index) return false;
        set_.details_for(set_.waypoints[index]).picture = *picture->index;
        return true;
    }

    void load_picture(picture_entry& picture, const std::string& path, std::size_t index) {
        file_bytes file = read_small_file(path, max_picture_bytes);
        std::string why = file.failure;
        if (why.empty() && !is_jpeg(file.bytes))
            why = file.bytes.empty() ? "it is empty" : "it is no JPEG file";
        if (!why.empty()) {
            report("\nWarning: The picture (%s) of poi %zu (%s) in set (%s) is left out: %s",
                   picture.shown.c_str(), index + 1, poi_text(index).c_str(),
                   shown_name(set_).c_str(), why.c_str());
            return;
        }
        picture.index = static_cast<std::uint32_t>(set_.pictures.size());
        set_.pictures.push_back({std::move(file.bytes)});
    }

    // A file named by many POIs is reported with the first; the others are counted.
    void report_repeated_refusals() const {
        for (const auto& [key, clip] : clips_) {
            if (clip.more_refused == 0) continue;
            report(
                "\nWarning: %zu more pois of set (%s) name the alert sound (%s); they keep "
                "a plain alert",
                clip.more_refused, shown_name(set_).c_str(), clip.shown.c_str());
        }
        for (const auto& [key, picture] : pictures_) {
            if (picture.more_refused == 0) continue;
            report("\nWarning: %zu more pois of set (%s) name the picture (%s); they have none",
                   picture.more_refused, shown_name(set_).c_str(), picture.shown.c_str());
        }
    }

    poiset& set_;
    const linked_media_options& options_;
    std::uint32_t next_id_ = 1;
    // By the file's absolute path, in its order for the messages; the entries don't
    // move, so that the maps by the paths as the links give them can point to them.
    std::map<std::string, clip_entry> clips_;
    std::map<std::string, picture_entry> pictures_;
    std::unordered_map<std::string, clip_entry*> clip_by_path_;
    std::unordered_map<std::string, picture_entry*> picture_by_path_;
};

}  // namespace

void attach_linked_media(poiset& set, const linked_media_options& options) {
    media_linker(set, options).run();
}

std::string sound_beside(const std::string& input_path) {
    std::optional<path_parts> parts = split_path(input_path);
    if (!parts || parts->fname.empty()) return {};
    std::string dir = parts->drive + parts->dir;
    for (const dir_entry& entry : find_entries(dir + "*.*")) {
        if (entry.is_directory) continue;
        std::optional<path_parts> candidate = split_path(entry.name);
        if (!candidate || !equals_ignore_case(candidate->fname, parts->fname)) continue;
        if (equals_ignore_case(candidate->ext, ".wav") ||
            equals_ignore_case(candidate->ext, ".mp3"))
            return dir + entry.name;
    }
    return {};
}

std::optional<media_format> clip_format(std::span<const std::uint8_t> bytes) {
    auto starts = [&](std::size_t at, std::string_view text) {
        return bytes.size() >= at + text.size() &&
               std::equal(text.begin(), text.end(), bytes.begin() + static_cast<std::ptrdiff_t>(at),
                          [](char c, std::uint8_t b) { return static_cast<std::uint8_t>(c) == b; });
    };
    if (starts(0, "RIFF") && starts(8, "WAVE")) return media_format::wav;
    if (starts(0, "ID3")) return media_format::mp3;
    // An MPEG audio frame: eleven sync bits and a layer other than the reserved 00 (which
    // AAC's ADTS frames hold).
    if (bytes.size() >= 2 && bytes[0] == 0xFF && (bytes[1] & 0xE0) == 0xE0 &&
        (bytes[1] & 0x06) != 0)
        return media_format::mp3;
    return std::nullopt;
}

}  // namespace velmora
