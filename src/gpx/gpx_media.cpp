#include "gpx/gpx_media.hpp"

#include <algorithm>
#include <optional>
#include <set>

#include "text/encoding.hpp"
#include "text/xml_chars.hpp"

namespace velmora {

namespace {

// The longest part of a file name a set's name gives, in bytes: room is left for the
// id, language and extension within the 255 bytes a name may take.
constexpr std::size_t max_set_part = 160;

bool is_safe_ascii(unsigned char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
           c == '_' || c == '.';
}

// The set's name as a part of a file name: its characters in UTF-8, each ASCII one that
// could mean something to a shell, a file system or a URL (and each that XML does not
// take) as "_"; none may start it with a dot.
std::string file_part_of(const poiset& set) {
    std::string name = set.name;
    if (!set.name_is_utf8 && !set.is_utf8) {
        name = codepage_text_to_utf8(set.name, set.codepage).value_or(std::string());
    }
    std::string part;
    const auto* p = reinterpret_cast<const unsigned char*>(name.data());
    const auto* end = p + name.size();
    while (p < end) {
        std::size_t length = *p < 0x80 ? 1 : xml_utf8_char_length(p, end);
        if (length == 0) length = 1;
        if (part.size() + length > max_set_part) break;
        if (length > 1) {
            part.append(reinterpret_cast<const char*>(p), length);
        } else {
            part.push_back(is_safe_ascii(*p) ? static_cast<char>(*p) : '_');
        }
        p += length;
    }
    if (part.empty()) part = "set";
    if (part.front() == '.') part.front() = '_';
    return part;
}

// A clip's language as two lower-case letters (or digits); other bytes become "x".
std::string language_part(const media_clip& clip) {
    std::string part;
    for (char c : clip.language) {
        auto b = static_cast<unsigned char>(c);
        if (b >= 'A' && b <= 'Z') b = static_cast<unsigned char>(b - 'A' + 'a');
        part.push_back((b >= 'a' && b <= 'z') || (b >= '0' && b <= '9') ? static_cast<char>(b)
                                                                        : 'x');
    }
    return part;
}

// A relative path as a URL path: unreserved bytes and "/" as they are, others as %XX.
std::string percent_encoded(std::string_view path) {
    static constexpr char hex[] = "0123456789ABCDEF";
    std::string out;
    for (char c : path) {
        auto b = static_cast<unsigned char>(c);
        if ((b < 0x80 && is_safe_ascii(b)) || b == '~' || b == '/') {
            out.push_back(c);
        } else {
            out.push_back('%');
            out.push_back(hex[b >> 4]);
            out.push_back(hex[b & 0x0F]);
        }
    }
    return out;
}

// The names given so far, so that none is given twice.
class name_book {
  public:
    // The name, or the name with "_2", "_3" ... before its extension when taken.
    std::string take(const std::string& stem, std::string_view extension) {
        std::string name = stem + std::string(extension);
        for (int n = 2; !taken_.insert(name).second; ++n) {
            name = stem + "_" + std::to_string(n) + std::string(extension);
        }
        return name;
    }
    // The set part, numbered apart from those of the sets before.
    std::string take_set(const std::string& part) {
        std::string name = part;
        for (int n = 2; !set_parts_.insert(name).second; ++n) {
            name = part + "_" + std::to_string(n);
        }
        return name;
    }

  private:
    std::set<std::string> taken_;
    std::set<std::string> set_parts_;
};

}  // namespace

const gpx_media_link* gpx_set_media::sound(std::uint16_t id) const {
    auto found =
        std::lower_bound(sounds.begin(), sounds.end(), id,
                         [](const auto& entry, std::uint16_t key) { return entry.first < key; });
    return found != sounds.end() && found->first == id ? &found->second : nullptr;
}

gpx_media plan_gpx_media(const poiset_list& list, std::string_view base) {
    gpx_media media;
    media.sets.resize(list.poisets.size());
    const std::string folder = std::string(base) + "_media/";
    name_book names;
    for (std::size_t s = 0; s < list.poisets.size(); ++s) {
        const poiset& set = *list.poisets[s];
        if (set.media.empty() && set.pictures.empty()) continue;
        gpx_set_media& links = media.sets[s];
        std::string set_part = names.take_set(file_part_of(set));
        auto add = [&](std::string name, std::span<const std::uint8_t> bytes,
                       std::string_view type) {
            gpx_media_link link{percent_encoded(folder + name), name, type};
            media.files.push_back({folder + name, bytes});
            return link;
        };
        for (const poi_media& record : set.media) {
            bool mp3 = record.format == media_format::mp3;
            std::string_view extension = mp3 ? ".mp3" : ".wav";
            std::string_view type = mp3 ? "audio/mpeg" : "audio/wav";
            std::optional<gpx_media_link> first;
            for (const media_clip& clip : record.clips) {
                std::string stem =
                    set_part + "_" + std::to_string(record.id) + "_" + language_part(clip);
                gpx_media_link link = add(names.take(stem, extension), clip.bytes, type);
                if (!first) first = std::move(link);
            }
            if (first) links.sounds.emplace_back(record.id, std::move(*first));
        }
        std::sort(links.sounds.begin(), links.sounds.end(),
                  [](const auto& a, const auto& b) { return a.first < b.first; });
        for (std::size_t i = 0; i < set.pictures.size(); ++i) {
            std::string stem = set_part + "_picture_" + std::to_string(i + 1);
            links.pictures.push_back(
                add(names.take(stem, ".jpg"), set.pictures[i].jpeg, "image/jpeg"));
        }
    }
    return media;
}

}  // namespace velmora
