// libFuzzer entry point for the GPX reader: any bytes are read as a GPX file, and what
// was read is written out again.  The bytes are read a second time as large files are,
// by two threads that split the text at a place the input chooses, and both readings
// must give the same document and the same messages.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "gpx/gpx_reader.hpp"
#include "gpx/gpx_writer.hpp"
#include "platform/messages.hpp"

namespace {

// The GPX document and the messages of one reading.
std::string reading_of(std::string_view text, std::size_t parallel_from) {
    velmora::message_capture capture;
    velmora::poiset_list list;
    velmora::poiset* set = velmora::poiset_list_add(list);
    if (set == nullptr) return {};
    velmora::gpx_read_text(text, *set, parallel_from);
    std::string out = velmora::gpx_document(list);
    return capture.text() + "\n--\n" + out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string_view text(reinterpret_cast<const char*>(data), size);
    std::string one_thread = reading_of(text, SIZE_MAX);
    // The last byte, when there is one, says from which size on the text is split.
    std::size_t parallel_from = size == 0 ? 0 : data[size - 1] % (size + 1);
    if (reading_of(text, parallel_from) != one_thread) std::abort();
    return 0;
}
