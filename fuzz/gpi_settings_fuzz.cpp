// The GPI settings reader on arbitrary bytes.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

#include "gpi/gpi_settings.hpp"
#include "platform/messages.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const std::string path =
        "/tmp/velmora-gpi-ini-fuzz-" + std::to_string(getpid()) + ".ini";
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) return 0;
    std::fwrite(data, 1, size, file);
    std::fclose(file);
    velmora::message_capture quiet;
    (void)velmora::read_gpi_settings(path);
    return 0;
}
