#include "driver/kml_icons.hpp"

#include <string>
#include <utility>

#include "icons/icon_image.hpp"
#include "icons/icon_library.hpp"
#include "platform/messages.hpp"
#include "platform/paths.hpp"

namespace velmora {

namespace {

constexpr std::uint32_t white = 0xFFFFFFFFu;

const icon_entry* find_symbol(const icon_list& list, std::string_view symbol) {
    for (const auto& entry : list.entries) {
        if (entry && entry->symbol && equals_ignore_case(*entry->symbol, symbol))
            return entry.get();
    }
    return nullptr;
}

// The picture of an image's bytes, as an icon of at most 8 bits; none after a message.
std::unique_ptr<bmp_image> decoded_icon(const kml_icon& icon) {
    std::string why;
    auto image = icon_image_decode(
        std::span(reinterpret_cast<const unsigned char*>(icon.image->data()), icon.image->size()),
        &why);
    if (image) {
        if (icon.colour != white) icon_image_tint(*image, icon.colour);
        return image;
    }
    // A BMP file that the BMP loader refused has been reported by it.
    if (why.empty()) why = "not an icon the BMP loader takes";
    report("\nWarning: The icon (%s) of the style (%s) can't be used: %s",
           escape_controls(icon.href, true).c_str(), escape_controls(icon.symbol, true).c_str(),
           why.c_str());
    return nullptr;
}

}  // namespace

std::unique_ptr<icon_list> kml_icon_list(std::span<const kml_icon> icons,
                                         std::unique_ptr<icon_list> library) {
    auto list = std::make_unique<icon_list>();
    for (const kml_icon& icon : icons) {
        if (!icon.image) continue;
        auto image = decoded_icon(icon);
        if (!image) continue;
        auto entry = std::make_unique<icon_entry>();
        entry->symbol = icon.symbol;
        entry->icon_id = 0;
        entry->format = icon_format_bmp;
        entry->bmp = std::move(image);
        (void)icon_list_append(*list, std::move(entry));
    }
    if (!library) return list;
    // Web images: the library's icon of the image's file name stands for the style.
    for (const kml_icon& icon : icons) {
        if (icon.web_name.empty() || find_symbol(*library, icon.symbol) != nullptr) continue;
        const icon_entry* named = find_symbol(*library, icon.web_name);
        if (named == nullptr || !named->bmp) continue;
        auto entry = std::make_unique<icon_entry>();
        entry->symbol = icon.symbol;
        entry->icon_id = 0;
        entry->format = icon_format_bmp;
        entry->bmp = std::make_unique<bmp_image>(*named->bmp);
        (void)icon_list_append(*list, std::move(entry));
    }
    icon_list own;
    own.entries.swap(list->entries);
    for (auto& entry : library->entries) {
        if (entry && entry->symbol && find_symbol(own, *entry->symbol) != nullptr) continue;
        (void)icon_list_append(own, std::move(entry));
    }
    list->entries.swap(own.entries);
    return list;
}

}  // namespace velmora
