#include <gtest/gtest.h>

#include <array>
#include <memory>
#include <vector>

#include "link/device_files.hpp"
#include "support/host_fixture.hpp"
#include "support/placed_buffer.hpp"

namespace reader {
namespace {

using testing::Pattern;
using testing::PatternByte;
using testing::PlacedBuffer;

class ReplyReadTest : public testing::HostFixture {
  protected:
    static constexpr std::size_t kFileSize = 0x10000;
    void SetUp() override {
        host_.AddDrive('E', platform::DriveType::Removable, {{"T-DRIVER.DMP", Pattern(kFileSize)}});
    }
};

struct ReadCase {
    const char* what;
    std::uint32_t offset;
    std::uint32_t count;
    std::size_t misalignment;  // of the destination
    std::uint32_t result;
    std::uint32_t firstByteFrom;  // the file offset the caller's byte 0 comes from
    // Where the one read that reaches the device starts: the reader serves whole 1024-byte
    // blocks, so always the start of the block that holds the offset.
    std::uint32_t readFrom;
};

TEST_F(ReplyReadTest, DeliversTheBytesThatBeginAtTheOffset) {
    const ReadCase cases[] = {
        {"1 byte at 0", 0, 1, 0, 1, 0, 0},
        {"identity", 0x8000, 16, 0, 16, 0x8000, 0x8000},
        {"16 bytes inside a block", 0x8005, 16, 0, 16, 0x8005, 0x8000},
        {"16 bytes at a sector boundary inside a block", 0x8200, 16, 0, 16, 0x8200, 0x8000},
        {"the last byte of a block", 0x83FF, 1, 0, 1, 0x83FF, 0x8000},
        {"small request across a block edge", 1023, 1023, 0, 1023, 1023, 0},
        {"small request, odd destination", 0x8005, 16, 3, 16, 0x8005, 0x8000},
        {"1024 aligned", 0, 1024, 0, 1024, 0, 0},
        {"1024 inside a block", 0x8005, 1024, 0, 1024, 0x8005, 0x8000},
        {"1024 at a sector boundary inside a block", 0x8200, 1024, 0, 1024, 0x8200, 0x8000},
        {"large, odd count", 0x400, 1500, 0, 1500, 0x400, 0x400},
        {"large, misaligned destination", 0x800, 4096, 1, 4096, 0x800, 0x800},
        {"large, destination on 512 only", 0x800, 2048, 512, 2048, 0x800, 0x800},
        {"large, running past the end", kFileSize - 1024 + 5, 2048, 0, 1019, kFileSize - 1019,
         kFileSize - 1024},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        PlacedBuffer buffer(c.count, c.misalignment);
        const std::size_t readsBefore = host_.UnbufferedReads().size();
        ASSERT_EQ(ReplyRead("E:\\T-DRIVER.DMP", buffer.data(), c.count, c.offset), c.result);
        for (std::uint32_t i = 0; i < c.result; ++i) {
            ASSERT_EQ(buffer.data()[i], PatternByte(c.firstByteFrom + i)) << "byte " << i;
        }
        ASSERT_EQ(host_.UnbufferedReads().size(), readsBefore + 1) << "one read per request";
        EXPECT_EQ(host_.UnbufferedReads().back().position, c.readFrom);
    }
    EXPECT_EQ(host_.Counters().refusedReads, 0u);
}

TEST_F(ReplyReadTest, AlignedLargeRequestReadsStraightIntoTheCallersBuffer) {
    PlacedBuffer buffer(2048, 0);
    host_.ResetCounters();
    ASSERT_EQ(ReplyRead("E:\\T-DRIVER.DMP", buffer.data(), 2048, 0x1000), 2048u);
    EXPECT_EQ(host_.Counters().bytesRead, 2048u);
    EXPECT_EQ(host_.Counters().reads, 1u);
}

TEST_F(ReplyReadTest, SmallRequestsAlwaysReadTwoBlocksFromABlockBoundary) {
    std::array<std::uint8_t, 16> out{};
    host_.ResetCounters();
    ASSERT_EQ(ReplyRead("E:\\T-DRIVER.DMP", out.data(), 16, 0x8005), 16u);
    EXPECT_EQ(host_.Counters().bytesRead, 2048u);
}

TEST_F(ReplyReadTest, FailuresGiveZero) {
    std::array<std::uint8_t, 16> out{};
    PlacedBuffer large(1024, 0);
    EXPECT_EQ(ReplyRead("E:\\T-DRIVER.DMP", nullptr, 16, 0), 0u);
    EXPECT_EQ(host_.Counters().opens, 0u) << "a null destination opens nothing";
    EXPECT_EQ(ReplyRead("E:\\MISSING.DMP", out.data(), 16, 0), 0u);
    EXPECT_EQ(ReplyRead("Q:\\T-DRIVER.DMP", out.data(), 16, 0), 0u);
    EXPECT_EQ(ReplyRead("E:\\T-DRIVER.DMP", out.data(), 0, 0), 0u) << "0 bytes is a failure";
    EXPECT_EQ(ReplyRead("E:\\T-DRIVER.DMP", large.data(), 1024, kFileSize), 0u);
}

TEST_F(ReplyReadTest, ShortFileNeverHandsOutBytesItDidNotDeliver) {
    // A status file that ends inside the identity, 8 bytes into the block at 0x8000.
    host_.AddDrive('F', platform::DriveType::Removable, {{"T-DRIVER.DMP", Pattern(0x8008)}});
    const struct {
        const char* what;
        std::uint32_t offset;
        std::uint32_t count;
        std::uint32_t result;
    } cases[] = {
        {"the identity, cut short", 0x8000, 16, 0},
        {"up to the end of the file", 0x8000, 8, 8},
        {"inside the block, up to the end", 0x8006, 2, 2},
        {"inside the block, past the end", 0x8006, 4, 0},
        {"the last byte and one more", 0x8007, 2, 0},
        {"beyond the end", 0x9000, 16, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        std::array<std::uint8_t, 16> out{};
        out.fill(0xEE);
        EXPECT_EQ(ReplyRead("F:\\T-DRIVER.DMP", out.data(), c.count, c.offset), c.result);
        for (std::uint32_t i = 0; i < c.result; ++i) {
            EXPECT_EQ(out[i], PatternByte(c.offset + i)) << "byte " << i;
        }
    }
}

TEST_F(ReplyReadTest, StatusAndDataReadUseTheReadersDrive) {
    host_.AddDrive(
        'G', platform::DriveType::Removable,
        {{"T-DRIVER.DMP", Pattern(4096)}, {"DUMP.ROM", std::vector<std::uint8_t>(4096, 0x42)}});
    DeviceDrive = 'G';
    std::array<std::uint8_t, 4> out{};
    ASSERT_EQ(StatusRead(10, out.data(), 4), 4u);
    EXPECT_EQ(out[0], PatternByte(10));
    ASSERT_EQ(DataRead(3000, out.data(), 4), 4u);
    EXPECT_EQ(out[3], 0x42);
}

}  // namespace
}  // namespace reader
