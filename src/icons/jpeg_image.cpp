// JPEG pictures through libjpeg(-turbo).  Its errors end in a long jump back to the
// decoding step, which holds no object with a destructor between the jump and its target.
#include <csetjmp>
#include <cstdio>

#include <jerror.h>
#include <jpeglib.h>

#include "icons/icon_image.hpp"
#include "icons/rgba_image.hpp"

namespace velmora {

namespace {

// Memory libjpeg may take for its own buffers (a progressive file keeps all of its
// coefficients); beyond it the file is refused.
constexpr long jpeg_memory_limit = 256L << 20;

struct jpeg_error_state {
    jpeg_error_mgr manager;  // first, so that libjpeg's pointer is one to this state
    std::jmp_buf jump;
    bool truncated = false;
    char message[JMSG_LENGTH_MAX] = {};
};

[[noreturn]] void jpeg_fail(j_common_ptr common) {
    auto* state = reinterpret_cast<jpeg_error_state*>(common->err);
    (*common->err->format_message)(common, state->message);
    std::longjmp(state->jump, 1);
}

// Warnings are not printed; a file that ends early is remembered as damaged.
void jpeg_note(j_common_ptr common, int level) {
    auto* state = reinterpret_cast<jpeg_error_state*>(common->err);
    if (level < 0 && common->err->msg_code == JWRN_JPEG_EOF) state->truncated = true;
}

// The decoding proper; false after an error of libjpeg.  Everything it fills lives in
// the caller's frame.
bool run_decoder(jpeg_decompress_struct& info, jpeg_error_state& errors,
                 std::span<const std::uint8_t> bytes, std::optional<rgba_image>& out,
                 std::vector<std::uint8_t>& row, std::string& why) {
    if (setjmp(errors.jump) != 0) return false;
    jpeg_create_decompress(&info);
    info.mem->max_memory_to_use = jpeg_memory_limit;
    jpeg_mem_src(&info, bytes.data(), static_cast<unsigned long>(bytes.size()));
    jpeg_read_header(&info, TRUE);
    if (!rgba_size_acceptable(info.image_width, info.image_height, why)) return true;
    // A large photo is decoded at an eighth, a quarter or half of its size while that
    // still leaves twice the icon's side, which the scaling then averages.
    JDIMENSION longer = std::max(info.image_width, info.image_height);
    unsigned denom = 8;
    while (denom > 1 && longer / denom < 2 * static_cast<JDIMENSION>(icon_image_side)) denom /= 2;
    info.scale_num = 1;
    info.scale_denom = denom;
    bool cmyk = info.jpeg_color_space == JCS_CMYK || info.jpeg_color_space == JCS_YCCK;
    info.out_color_space = cmyk ? JCS_CMYK : JCS_RGB;
    jpeg_start_decompress(&info);
    out = rgba_image_make(info.output_width, info.output_height, why);
    if (!out) return true;
    row.resize(static_cast<std::size_t>(info.output_width) *
               static_cast<std::size_t>(info.output_components));
    while (info.output_scanline < info.output_height) {
        JSAMPROW rows[1] = {row.data()};
        std::size_t y = info.output_scanline;
        if (jpeg_read_scanlines(&info, rows, 1) != 1) break;
        std::uint8_t* dest = out->pixels.data() + y * static_cast<std::size_t>(out->width) * 4;
        for (std::size_t x = 0; x < static_cast<std::size_t>(out->width); ++x, dest += 4) {
            if (cmyk) {
                // Adobe's CMYK files store the inks inverted: the value is the paper left.
                const std::uint8_t* p = &row[4 * x];
                unsigned k = p[3];
                if (!info.saw_Adobe_marker) {
                    dest[0] = static_cast<std::uint8_t>((255u - p[0]) * (255u - k) / 255u);
                    dest[1] = static_cast<std::uint8_t>((255u - p[1]) * (255u - k) / 255u);
                    dest[2] = static_cast<std::uint8_t>((255u - p[2]) * (255u - k) / 255u);
                } else {
                    dest[0] = static_cast<std::uint8_t>(p[0] * k / 255u);
                    dest[1] = static_cast<std::uint8_t>(p[1] * k / 255u);
                    dest[2] = static_cast<std::uint8_t>(p[2] * k / 255u);
                }
            } else {
                dest[0] = row[3 * x];
                dest[1] = row[3 * x + 1];
                dest[2] = row[3 * x + 2];
            }
            dest[3] = 255;
        }
    }
    jpeg_finish_decompress(&info);
    return true;
}

}  // namespace

std::optional<rgba_image> jpeg_decode_rgba(std::span<const std::uint8_t> bytes, std::string& why) {
    jpeg_decompress_struct info{};
    jpeg_error_state errors{};
    info.err = jpeg_std_error(&errors.manager);
    errors.manager.error_exit = jpeg_fail;
    errors.manager.emit_message = jpeg_note;
    std::optional<rgba_image> out;
    std::vector<std::uint8_t> row;
    why.clear();
    bool finished = run_decoder(info, errors, bytes, out, row, why);
    jpeg_destroy_decompress(&info);
    if (!finished) {
        why = std::string("damaged JPEG image (") + errors.message + ")";
        return std::nullopt;
    }
    if (!out) return std::nullopt;  // why says it
    if (errors.truncated) {
        why = "damaged JPEG image (the file ends early)";
        return std::nullopt;
    }
    return out;
}

}  // namespace velmora
