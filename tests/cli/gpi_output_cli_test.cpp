// End-to-end runs that write GPI files.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "support/test_support.hpp"

namespace velmora {
namespace {

using testing::read_file;
using testing::run_velmora;
using testing::temp_dir;
using testing::write_file;

// Sets SOURCE_DATE_EPOCH for the runs started while it lives.
class fixed_epoch {
  public:
    explicit fixed_epoch(const char* value) { setenv("SOURCE_DATE_EPOCH", value, 1); }
    ~fixed_epoch() { unsetenv("SOURCE_DATE_EPOCH"); }
    fixed_epoch(const fixed_epoch&) = delete;
    fixed_epoch& operator=(const fixed_epoch&) = delete;
};

std::uint32_t u32_at(const std::string& bytes, std::size_t at) {
    std::uint32_t value = 0;
    for (int i = 3; i >= 0; --i) {
        value = value << 8 | static_cast<unsigned char>(bytes[at + static_cast<std::size_t>(i)]);
    }
    return value;
}

TEST(GpiOutput, RunWithoutPoisWritesTheFiftyEightByteFileStampedWithTheSourceDate) {
    temp_dir dir;
    write_file(dir.file("a.gdb"), "");
    fixed_epoch epoch("1700000000");
    auto first = run_velmora({"a.gdb", "-o", "out.gpi"}, dir.path().string());
    EXPECT_EQ(first.exit_code, 0) << first.err;
    std::string bytes = read_file(dir.file("out.gpi"));
    ASSERT_EQ(bytes.size(), 58u);
    EXPECT_EQ(bytes.substr(8, 8), "GRMREC00");
    EXPECT_EQ(u32_at(bytes, 16), 1700000000u);
    EXPECT_EQ(u32_at(bytes, 46), 1250u);

    auto second = run_velmora({"a.gdb", "-O", "OUT.GPI"}, dir.path().string());
    EXPECT_EQ(second.exit_code, 0) << second.err;
    EXPECT_EQ(read_file(dir.file("OUT.GPI")), bytes);
}

}  // namespace
}  // namespace velmora
