#include "gpx/gpx_encoding.hpp"

#include "gpx/xml_markup.hpp"
#include "gpx/xml_text.hpp"
#include "platform/messages.hpp"
#include "platform/paths.hpp"
#include "text/encoding.hpp"
#include "text/output_code_page.hpp"

namespace velmora {

namespace {

constexpr std::string_view utf8_bom = "\xEF\xBB\xBF";

// Byte order of a text in UTF-16, told by its byte-order mark or by "<?xml" in UTF-16;
// none for any other text.  skip is the length of the mark.
struct utf16_start {
    bool big_endian = false;
    std::size_t skip = 0;
};

std::optional<utf16_start> utf16_start_of(std::string_view text) {
    if (text.starts_with("\xFF\xFE")) return utf16_start{false, 2};
    if (text.starts_with("\xFE\xFF")) return utf16_start{true, 2};
    using namespace std::string_view_literals;
    if (text.starts_with("<\0?\0x\0m\0l\0"sv)) return utf16_start{false, 0};
    if (text.starts_with("\0<\0?\0x\0m\0l"sv)) return utf16_start{true, 0};
    return std::nullopt;
}

bool is_utf8_name(std::string_view enc) {
    std::string squeezed = squeeze_encoding_name(enc);
    return equals_ignore_case(squeezed, "utf8") || squeezed == "65001" ||
           equals_ignore_case(squeezed, "cp65001");
}

bool is_utf16_name(std::string_view enc) {
    std::string squeezed = squeeze_encoding_name(enc);
    for (std::string_view name : {"utf16", "utf16le", "utf16be", "ucs2", "1200", "1201"}) {
        if (equals_ignore_case(squeezed, name)) return true;
    }
    return false;
}

std::optional<code_page> code_page_named(const std::string& enc) {
    std::string locale_name(1, '.');
    locale_name += enc;
    if (auto page = code_page::from_locale_name(locale_name)) return page;
    if (auto name = code_page_locale_name(enc)) return code_page::from_locale_name(*name);
    report("\nError converting Encoding=\"%s\" to locale in xml file!\nUsing 1250 instead.",
           escape_controls(enc, terminal_is_utf8()).c_str());
    return code_page::create(1250);
}

}  // namespace

gpx_encoding detect_gpx_encoding(std::string_view text) {
    gpx_encoding result;
    if (auto utf16 = utf16_start_of(text)) {
        result.is_utf8 = true;
        result.decoded = utf16_to_utf8_text(text.substr(utf16->skip), utf16->big_endian);
        return result;
    }
    if (text.starts_with(utf8_bom)) {
        result.is_utf8 = true;
        return result;
    }
    std::optional<std::string> enc;
    std::size_t open = text.find("<?xml");
    std::size_t close = open == std::string_view::npos ? open : text.find("?>", open);
    if (close != std::string_view::npos) {
        std::string_view declaration = text.substr(open, close + 2 - open);
        if (auto value = xml_attribute("encoding", declaration)) {
            enc = xml_decode_references(*value, xml_text_encoding{});
        }
        // A declaration without an encoding: UTF-8 by the rules of XML, or, for bytes
        // that are no UTF-8, the code page such files were read in before.
        if (!enc) enc = is_valid_utf8(text) ? "utf-8" : "1250";
    } else if (is_valid_utf8(text)) {
        enc = "utf-8";
    }
    if (!enc) return result;  // bytes read as U+0000 to U+00FF
    if (is_utf16_name(*enc)) {
        // Text in UTF-16 was recognised above; these bytes are 8-bit whatever the
        // declaration says, as when a tool converted the file but kept its declaration.
        bool utf8 = is_valid_utf8(text);
        report(
            "\nWarning: The xml file declares Encoding=\"%s\" but is stored in 8 bits; "
            "read as %s",
            escape_controls(*enc, terminal_is_utf8()).c_str(), utf8 ? "UTF-8" : "code page 1250");
        enc = utf8 ? "utf-8" : "1250";
    }
    if (is_utf8_name(*enc)) {
        result.is_utf8 = true;
        return result;
    }
    result.page = code_page_named(*enc);
    return result;
}

}  // namespace velmora
