#include "kml/kmz_archive.hpp"

#include <zip.h>

#include <utility>

#include "platform/messages.hpp"
#include "platform/paths.hpp"

namespace velmora {

namespace {

zip_t* as_zip(void* archive) {
    return static_cast<zip_t*>(archive);
}

bool is_top_level_kml(std::string_view name) {
    if (name.find('/') != std::string_view::npos || name.find('\\') != std::string_view::npos) {
        return false;
    }
    return name.size() > 4 && equals_ignore_case(name.substr(name.size() - 4), ".kml");
}

}  // namespace

void kmz_archive::zip_closer::operator()(void* archive) const {
    if (archive != nullptr) zip_discard(as_zip(archive));
}

kmz_archive::kmz_archive(kmz_archive&&) noexcept = default;
kmz_archive& kmz_archive::operator=(kmz_archive&&) noexcept = default;
kmz_archive::~kmz_archive() = default;

bool stays_inside(std::string_view name) {
    if (name.empty() || name.front() == '/' || name.front() == '\\') return false;
    if (name.size() >= 2 && name[1] == ':') return false;
    std::size_t from = 0;
    while (from <= name.size()) {
        std::size_t end = name.find_first_of("/\\", from);
        if (end == std::string_view::npos) end = name.size();
        if (name.substr(from, end - from) == "..") return false;
        from = end + 1;
    }
    return true;
}

std::optional<kmz_archive> kmz_archive::open(std::string_view bytes, std::string_view display) {
    const std::string shown(display);
    zip_error_t error;
    zip_error_init(&error);
    zip_source_t* source = zip_source_buffer_create(bytes.data(), bytes.size(), 0, &error);
    if (source == nullptr) {
        report("\nError: The kmz file (%s) can't be read as a zip archive (%s)", shown.c_str(),
               zip_error_strerror(&error));
        zip_error_fini(&error);
        return std::nullopt;
    }
    zip_t* opened = zip_open_from_source(source, ZIP_RDONLY, &error);
    if (opened == nullptr) {
        report("\nError: The kmz file (%s) can't be read as a zip archive (%s)", shown.c_str(),
               zip_error_strerror(&error));
        zip_source_free(source);
        zip_error_fini(&error);
        return std::nullopt;
    }
    zip_error_fini(&error);
    kmz_archive archive;
    archive.zip_.reset(opened);
    archive.display_ = shown;

    zip_int64_t count = zip_get_num_entries(opened, 0);
    if (count < 0 || static_cast<std::uint64_t>(count) > kmz_max_entries) {
        report("\nError: The kmz file (%s) holds %lli entries, more than %zu; not read",
               shown.c_str(), static_cast<long long>(count), kmz_max_entries);
        return std::nullopt;
    }
    std::uint64_t expanded = 0;
    for (zip_int64_t i = 0; i < count; ++i) {
        zip_stat_t stat;
        zip_stat_init(&stat);
        auto index = static_cast<zip_uint64_t>(i);
        if (zip_stat_index(opened, index, 0, &stat) != 0 || (stat.valid & ZIP_STAT_NAME) == 0 ||
            (stat.valid & ZIP_STAT_SIZE) == 0) {
            continue;
        }
        std::string_view name = stat.name;
        expanded += stat.size;
        if (expanded > kmz_max_expanded_size ||
            expanded > kmz_max_expansion_ratio * static_cast<std::uint64_t>(bytes.size())) {
            report(
                "\nError: The kmz file (%s) would expand to more than 1 GiB or 100 times its "
                "size (%zu bytes); not read",
                shown.c_str(), bytes.size());
            return std::nullopt;
        }
        if (!name.empty() && name.back() == '/') continue;  // a directory
        if (!stays_inside(name)) {
            report(
                "\nWarning: The entry (%s) of the kmz file (%s) leads out of the archive; "
                "passed over",
                escape_controls(name, true).c_str(), shown.c_str());
            continue;
        }
        archive.entries_.push_back({std::string(name), index, stat.size});
    }
    return archive;
}

std::optional<std::string> kmz_archive::document_name() const {
    for (const entry& e : entries_)
        if (equals_ignore_case(e.name, "doc.kml")) return e.name;
    for (const entry& e : entries_)
        if (is_top_level_kml(e.name)) return e.name;
    return std::nullopt;
}

std::optional<std::string> kmz_archive::read(std::string_view name) {
    const entry* found = nullptr;
    for (const entry& e : entries_) {
        if (e.name == name) {
            found = &e;
            break;
        }
    }
    if (found == nullptr) {
        for (const entry& e : entries_) {
            if (equals_ignore_case(e.name, name)) {
                found = &e;
                break;
            }
        }
    }
    if (found == nullptr) return std::nullopt;
    zip_file_t* file = zip_fopen_index(as_zip(zip_.get()), found->index, 0);
    if (file == nullptr) {
        report("\nError: The entry (%s) of the kmz file (%s) can't be read (%s)",
               escape_controls(found->name, true).c_str(), display_.c_str(),
               zip_strerror(as_zip(zip_.get())));
        return std::nullopt;
    }
    // The size was checked against the bounds when the archive was opened; libzip
    // unpacks no more than it and checks the entry's CRC at its end.
    std::string bytes(static_cast<std::size_t>(found->size), '\0');
    std::size_t got = 0;
    bool failed = false;
    while (got < bytes.size()) {
        zip_int64_t n = zip_fread(file, bytes.data() + got, bytes.size() - got);
        if (n < 0) {
            failed = true;
            break;
        }
        if (n == 0) break;
        got += static_cast<std::size_t>(n);
    }
    if (failed || got != bytes.size()) {
        report("\nError: The entry (%s) of the kmz file (%s) can't be read (%s)",
               escape_controls(found->name, true).c_str(), display_.c_str(),
               failed ? zip_error_strerror(zip_file_get_error(file)) : "shorter than it says");
        zip_fclose(file);
        return std::nullopt;
    }
    zip_fclose(file);
    return bytes;
}

}  // namespace velmora
