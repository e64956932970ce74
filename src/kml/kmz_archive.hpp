#pragma once
// KMZ files: zip archives of a KML document and the files it refers to, read in memory
// through libzip, nothing extracted.  Their size is checked before anything is
// unpacked: an archive that would expand beyond 1 GiB or beyond 100 times its own size,
// or that holds more than 65,536 entries, is refused, and entries whose names climb out
// of the archive ("../", absolute paths) are passed over.
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace velmora {

inline constexpr std::uint64_t kmz_max_expanded_size = std::uint64_t{1} << 30;
inline constexpr std::uint64_t kmz_max_expansion_ratio = 100;
inline constexpr std::size_t kmz_max_entries = 65536;

class kmz_archive {
  public:
    // The archive of those bytes, which must outlive it; none after a message naming the
    // file when it is no zip archive or breaks the bounds.
    [[nodiscard]] static std::optional<kmz_archive> open(std::string_view bytes,
                                                         std::string_view display);

    kmz_archive(kmz_archive&&) noexcept;
    kmz_archive& operator=(kmz_archive&&) noexcept;
    ~kmz_archive();

    // The name of the document: "doc.kml" at the top level, else the first ".kml" entry
    // at the top level (letters in any case); none when there is neither.
    [[nodiscard]] std::optional<std::string> document_name() const;

    // The bytes of the entry of that name (equal, else equal without regard to ASCII
    // case); none when there is no such entry, or after a message when it can't be read.
    [[nodiscard]] std::optional<std::string> read(std::string_view name);

  private:
    struct entry {
        std::string name;
        std::uint64_t index = 0;
        std::uint64_t size = 0;
    };
    struct zip_closer {
        void operator()(void* archive) const;
    };
    kmz_archive() = default;

    std::unique_ptr<void, zip_closer> zip_;
    std::vector<entry> entries_;
    std::string display_;
};

// True when an entry name or a relative reference stays inside its archive or
// directory: not absolute, no drive, no ".." part.
[[nodiscard]] bool stays_inside(std::string_view name);

}  // namespace velmora
