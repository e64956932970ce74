// A GPX input carried through to the GPI writer, as a GPX -> GPI run does it: the GPX
// is read into a set, which the GPI preparation takes with the bundled icons and
// finishes (icon selection, default proximity, texts, limits, bitmaps, areas), and the
// GPI file is written into memory.  What
// the writer finished must read back with the GPI reader, every waypoint included.
// The first byte chooses the settings.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <span>
#include <string_view>

#include "driver/gpi_preparation.hpp"
#include "gpi/gpi_reader.hpp"
#include "gpi/gpi_settings.hpp"
#include "gpi/gpi_writer.hpp"
#include "gpx/gpx_reader.hpp"
#include "icons/icon_library.hpp"
#include "platform/code_page.hpp"
#include "platform/messages.hpp"

namespace {

// The bundled icons, loaded once; every input gets a copy of them.
const velmora::icon_list& bundled_icons() {
    static const std::unique_ptr<velmora::icon_list> icons = [] {
        velmora::message_capture quiet;
        return velmora::icon_library_load(VELMORA_FUZZ_ICONS_DIR "*.*");
    }();
    return *icons;
}

std::unique_ptr<velmora::icon_list> copy_of(const velmora::icon_list& icons) {
    auto copy = std::make_unique<velmora::icon_list>();
    for (const auto& entry : icons.entries) {
        auto e = std::make_unique<velmora::icon_entry>();
        e->symbol = entry->symbol;
        e->icon_id = entry->icon_id;
        e->usage = entry->usage;
        e->format = entry->format;
        if (entry->bmp) e->bmp = std::make_unique<velmora::bmp_image>(*entry->bmp);
        copy->entries.push_back(std::move(e));
    }
    return copy;
}

velmora::gpi_settings settings_for(std::uint8_t choice) {
    velmora::gpi_settings settings;
    switch (choice & 3) {
        case 1:
            settings.icon_count_limit = 3;
            break;
        case 2:
            settings.icon_count_limit = 80;
            settings.icon_limit_is_percent = true;
            break;
        default:
            break;
    }
    if (choice & 4) settings.default_proximity = 150;
    if (choice & 8) settings.proximity_symbols = {"car", "flag, red", "waypoint"};
    return settings;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    const velmora::icon_list& icons = bundled_icons();
    velmora::message_capture quiet;
    velmora::gpi_settings settings = settings_for(data[0]);

    velmora::poiset_list list;
    velmora::poiset* set = velmora::poiset_list_add(list);
    if (set == nullptr) return 0;
    set->name = "fuzz";
    velmora::gpx_read_text(std::string_view(reinterpret_cast<const char*>(data + 1), size - 1),
                           *set);
    velmora::gpi_preparation preparation(
        {&settings, {false, 1250}, {}}, [&icons](velmora::icon_library) { return copy_of(icons); });
    if ((data[0] & 16) == 0) preparation.take_set(*set, velmora::icon_library::symbols);
    int waypoints = set->count();

    char* bytes = nullptr;
    std::size_t length = 0;
    std::FILE* out = open_memstream(&bytes, &length);
    if (out == nullptr) return 0;
    auto prepared = preparation.finish(list);
    bool written =
        prepared && velmora::write_gpi(out, prepared->groups, prepared->code_page, 1700000000);
    bool closed = std::fclose(out) == 0;
    if (written && closed) {
        velmora::poiset_list back;
        bool read = velmora::read_gpi_bytes(
            std::span(reinterpret_cast<const std::uint8_t*>(bytes), length), back);
        int read_waypoints = 0;
        for (const auto& s : back.poisets) read_waypoints += s->count();
        if (!read || read_waypoints != waypoints) __builtin_trap();
    }
    std::free(bytes);
    return 0;
}
