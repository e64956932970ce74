// libFuzzer entry point for the GPX reader: any bytes are read as a GPX file, and what
// was read is written out again.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "gpx/gpx_reader.hpp"
#include "gpx/gpx_writer.hpp"
#include "platform/messages.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    velmora::message_capture capture;
    velmora::poiset_list list;
    velmora::poiset* set = velmora::poiset_list_add(list);
    if (set == nullptr) return 0;
    velmora::gpx_read_text(std::string_view(reinterpret_cast<const char*>(data), size), *set);
    (void)velmora::gpx_document(list);
    return 0;
}
