// The release data carried by the program, and the serial-number combination of the image.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <set>
#include <span>
#include <vector>

#include "commands/maintenance.hpp"
#include "drivers/trace_disassembler.hpp"
#include "link/crc16.hpp"
#include "link/discovery.hpp"
#include "support/client_fixture.hpp"
#include "update/release_data.hpp"
#include "update/update_client.hpp"

namespace reader {
namespace {

TEST(ReleaseData, ImageIsTheCommittedBinary) {
    std::ifstream file(READER_RELEASE_DIR "/firmware-315.bin", std::ios::binary);
    ASSERT_TRUE(file) << "cannot open the committed image";
    const std::vector<std::uint8_t> onDisk(std::istreambuf_iterator<char>(file), {});
    ASSERT_EQ(onDisk.size(), FirmwareImage.size());
    EXPECT_TRUE(std::equal(onDisk.begin(), onDisk.end(), FirmwareImage.begin()));
}

TEST(ReleaseData, ImagePresentsTheNewFirmwareIdentity) {
    const std::string identity(FirmwareImage.begin(), FirmwareImage.begin() + 16);
    EXPECT_EQ(identity, std::string("N64_KRN03_RV315") + '\0');
}

TEST(ReleaseData, TableHoldsTheChecksumOfEveryBlockAndNoValueThatCouldPassByAccident) {
    std::set<std::uint16_t> seen;
    for (std::size_t block = 0; block < kFlashBlockCount; ++block) {
        SCOPED_TRACE(block);
        const auto bytes = std::span<const std::uint8_t>(FirmwareImage).subspan(block * 1024, 1024);
        EXPECT_EQ(BlockChecksumTable[block], link::Crc16Xmodem(bytes));
        EXPECT_NE(BlockChecksumTable[block], 0x0000) << "a checksum that could not be read";
        EXPECT_NE(BlockChecksumTable[block], 0xC084) << "an erased block";
        EXPECT_TRUE(seen.insert(BlockChecksumTable[block]).second)
            << "a stale reply of another block could pass for this one";
    }
}

class SerialKeyTest : public testing::ClientFixture {
  protected:
    const std::span<const std::uint8_t, kFirmwareImageSize> stored_ = StoredFirmwareImage();
};

TEST_F(SerialKeyTest, EachByteIsCombinedWithTheSerialByteOfItsPositionModuloEight) {
    SerialKey = {0x3A, 0x7C, 0x19, 0xE4, 0x05, 0xB2, 0x6D, 0x81};
    ApplySerialKey();
    struct Case {
        std::size_t at;
        std::uint8_t serialByte;
    };
    const Case cases[] = {{0, 0x3A}, {8, 0x3A}, {7, 0x81}, {1025, 0x7C}, {30'719, 0x81}};
    for (const auto& c : cases) {
        EXPECT_EQ(FirmwareImage[c.at], stored_[c.at] ^ c.serialByte) << "byte " << c.at;
    }
    std::size_t changed = 0;
    for (std::size_t k = 0; k < FirmwareImage.size(); ++k) {
        changed += FirmwareImage[k] != stored_[k] ? 1u : 0u;
    }
    EXPECT_EQ(changed, FirmwareImage.size()) << "no serial byte is 0, so every byte changes";
}

TEST_F(SerialKeyTest, IsItsOwnInverseAndAZeroSerialChangesNothing) {
    const std::array<std::array<std::uint8_t, kSerialKeySize>, 3> serials = {{
        {0x3A, 0x7C, 0x19, 0xE4, 0x05, 0xB2, 0x6D, 0x81},
        {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF},
        {},
    }};
    for (const auto& serial : serials) {
        SerialKey = serial;
        ApplySerialKey();
        const bool zero = std::all_of(serial.begin(), serial.end(), [](auto b) { return b == 0; });
        EXPECT_EQ(std::ranges::equal(FirmwareImage, stored_), zero);
        ApplySerialKey();
        EXPECT_TRUE(std::ranges::equal(FirmwareImage, stored_));
    }
}

// What a run of the client leaves behind, undone in one call: the next run starts as a new
// program would.
TEST_F(SerialKeyTest, ResetPutsTheWholeProgramBackAsItStarts) {
    AttachN64Reader('E');
    ASSERT_EQ(FindDevice(0, nullptr), 1);
    SerialKey = {0x3A, 0x7C, 0x19, 0xE4, 0x05, 0xB2, 0x6D, 0x81};
    ApplySerialKey();
    TraceMemory[0x8000] = 0xEA;
    ASSERT_FALSE(std::ranges::equal(FirmwareImage, stored_));

    ResetUpdateGlobals();

    EXPECT_TRUE(std::ranges::equal(FirmwareImage, stored_));
    EXPECT_EQ(SerialKey, (std::array<std::uint8_t, kSerialKeySize>{}));
    EXPECT_EQ(DeviceDrive, 0);
    EXPECT_EQ(Identity(), "");
    EXPECT_EQ(TraceMemory[0x8000], 0);
}

}  // namespace
}  // namespace reader
