#include <gtest/gtest.h>

#include <string_view>
#include <vector>

#include "link/command_sector.hpp"
#include "link/crc16.hpp"
#include "support/host_fixture.hpp"

namespace reader {
namespace {

TEST(Crc16, CheckValueAndTableStart) {
    constexpr std::string_view check = "123456789";
    const std::vector<std::uint8_t> bytes(check.begin(), check.end());
    EXPECT_EQ(link::Crc16Xmodem(bytes), 0x31C3);
    EXPECT_EQ(link::Crc16Xmodem({}), 0x0000);
}

TEST(Crc16, TableMatchesBitwiseReference) {
    for (unsigned i = 0; i < 256; ++i) {
        unsigned reg = i << 8;
        for (int bit = 0; bit < 8; ++bit) {
            reg = (reg & 0x8000u) != 0 ? ((reg << 1) ^ 0x1021u) : (reg << 1);
        }
        EXPECT_EQ(link::kCrc16Table[i], reg & 0xFFFFu) << "entry " << i;
    }
}

struct WorkedSector {
    std::uint8_t group;
    std::uint8_t operation;
    std::uint8_t high;
    std::uint8_t low;
};

TEST(SectorChecksum, WorkedValues) {
    const WorkedSector cases[] = {
        {0x00, 0x00, 0x0A, 0xCA},  // marker alone
        {0xF0, 0xFF, 0x76, 0x5B},  // restart
    };
    for (const auto& c : cases) {
        CommandSector sector{};
        sector[1] = c.group;
        sector[2] = c.operation;
        StampSectors(sector);
        EXPECT_EQ(sector[0], 0x5A);
        EXPECT_EQ(sector[510], c.high);
        EXPECT_EQ(sector[511], c.low);
    }
}

class SendCommandsTest : public testing::HostFixture {
  protected:
    void SetUp() override {
        reader_ = &AttachN64Reader('E');
        DeviceDrive = 'E';
    }
    emulator::ReaderModel* reader_ = nullptr;
};

TEST_F(SendCommandsTest, StampsMarkerAndChecksumWhateverTheBuilderLeft) {
    CommandSector sector{};
    sector[0] = 0x00;
    sector[510] = 0x12;
    sector[511] = 0x34;
    EXPECT_EQ(SendCommands(sector), 512u);
    EXPECT_EQ(sector[0], 0x5A);
    EXPECT_EQ(sector[510], 0x0A);
    EXPECT_EQ(sector[511], 0xCA);

    // Sent again after a change: the checksum is that of the new content.
    sector[1] = 0xF0;
    sector[2] = 0xFF;
    EXPECT_EQ(SendCommands(sector), 512u);
    EXPECT_EQ(sector[510], 0x76);
    EXPECT_EQ(sector[511], 0x5B);
    EXPECT_EQ(reader_->SectorsRejected(), 0u);
    EXPECT_EQ(reader_->Transcript().back(), "F0 FF Reboot");
}

TEST_F(SendCommandsTest, TwoSectorsGoOutInOneWriteEachWithItsOwnChecksum) {
    std::vector<std::uint8_t> buffer(1024, 0);
    buffer[512 + 1] = 0xF0;
    buffer[512 + 2] = 0xFF;
    host_.ResetCounters();
    EXPECT_EQ(SendCommands(buffer, 1024), 1024u);
    EXPECT_EQ(host_.Counters().writes, 1u);
    EXPECT_EQ(buffer[510], 0x0A);
    EXPECT_EQ(buffer[511], 0xCA);
    EXPECT_EQ(buffer[512], 0x5A);
    EXPECT_EQ(buffer[1022], 0x76);
    EXPECT_EQ(buffer[1023], 0x5B);
    EXPECT_EQ(reader_->SectorsReceived(), 2u);
}

TEST_F(SendCommandsTest, ZeroLengthTruncatesTheCommandFileAndReturnsZero) {
    std::vector<std::uint8_t> buffer(512, 0);
    ASSERT_EQ(SendCommands(buffer, 512), 512u);
    ASSERT_EQ(reader_->FileSize("CMD.CMD"), 512u);
    EXPECT_EQ(SendCommands(buffer, 0), 0u);
    EXPECT_EQ(reader_->FileSize("CMD.CMD"), 0u);
}

TEST_F(SendCommandsTest, RefusesPartialSectorsAndLengthsPastTheBuffer) {
    struct Case {
        std::size_t bufferSize;
        std::uint32_t length;
    };
    const Case cases[] = {{512, 511}, {1024, 513}, {512, 1024}, {0, 512}};
    for (const auto& c : cases) {
        std::vector<std::uint8_t> buffer(c.bufferSize, 0x11);
        host_.ResetCounters();
        EXPECT_EQ(SendCommands(buffer, c.length), 0u) << c.bufferSize << "/" << c.length;
        EXPECT_EQ(host_.Counters().writes, 0u);
        // Nothing stamped either.
        for (const auto byte : buffer) {
            ASSERT_EQ(byte, 0x11);
        }
    }
}

TEST_F(SendCommandsTest, NoDeviceOnTheDriveGivesZero) {
    DeviceDrive = 'Q';
    CommandSector sector{};
    EXPECT_EQ(SendCommands(sector), 0u);
    DeviceDrive = 'E';
    reader_->Faults().failCommandOpenAt = 1;
    EXPECT_EQ(SendCommands(sector), 0u);
}

}  // namespace
}  // namespace reader
