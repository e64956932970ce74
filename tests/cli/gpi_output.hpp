#pragma once
// Reads back the GPI file that a run wrote, for the end-to-end tests.
#include <gtest/gtest.h>

#include <cstdint>
#include <span>
#include <string>

#include "gpi/gpi_reader.hpp"
#include "platform/messages.hpp"

namespace velmora::testing {

// The sets of the GPI bytes; a failed read fails the test with the reader's messages.
inline poiset_list read_gpi(const std::string& bytes) {
    poiset_list list;
    message_capture capture;
    EXPECT_TRUE(read_gpi_bytes(
        std::span(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()), list))
        << capture.text();
    return list;
}

}  // namespace velmora::testing
