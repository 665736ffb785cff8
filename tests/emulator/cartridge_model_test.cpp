// The emulated reader's cartridge side, seen from the host through its files.
#include <gtest/gtest.h>

#include <cstdio>
#include <set>
#include <string>
#include <vector>

#include "commands/cartridge.hpp"
#include "support/cartridge_fixture.hpp"

namespace reader {
namespace {

using emulator::CartridgeImageByte;
using emulator::CartridgeSystem;

class CartridgeModelTest : public testing::CartridgeFixture {};

struct VariantCase {
    std::string_view identity;
    CartridgeSystem system;
    std::uint64_t dataFileSize;
};

TEST_F(CartridgeModelTest, EachVariantHasItsDataWindow) {
    const VariantCase cases[] = {
        {emulator::kHndIdentity, CartridgeSystem::Hnd, 0x1000000},
        {emulator::kN64CartIdentity, CartridgeSystem::N64, 0x4000000},
        {emulator::kSfcIdentity, CartridgeSystem::Sfc, 0x800000},
        {emulator::kFc2Identity, CartridgeSystem::Fc2, 0x10000},
        {emulator::kNesIdentity, CartridgeSystem::Nes, 0x10000},
        {emulator::kPceIdentity, CartridgeSystem::Pce, 0x1000000},
        {"PCE_KRN02_RV999", CartridgeSystem::Pce, 0x1000000},
        {emulator::kOldFirmwareIdentity, CartridgeSystem::None, 0},
        {"N64_KRN20_RW100", CartridgeSystem::None, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.identity);
        emulator::EmulatedHost host;
        emulator::ReaderConfig config;
        config.fixedIdentity = std::string(c.identity);
        auto& reader = host.AttachReader('E', config);
        EXPECT_EQ(reader.Cartridge(), c.system);
        EXPECT_EQ(reader.FileSize("DUMP.ROM"), c.dataFileSize);
    }
}

TEST_F(CartridgeModelTest, TestCartridgesCarryTheirHeadersAndDifferEverywhereElse) {
    const auto image = [](CartridgeSystem system, std::uint32_t address, std::size_t count) {
        return Image(system, address, count);
    };
    EXPECT_EQ(image(CartridgeSystem::N64, 0x10000000, 4),
              (std::vector<std::uint8_t>{0x80, 0x37, 0x12, 0x40}));
    const auto title = image(CartridgeSystem::Sfc, 0x7FC0, 15);
    EXPECT_EQ(std::string(title.begin(), title.end()), "READER TEST SFC");
    for (const auto system : {CartridgeSystem::Fc2, CartridgeSystem::Nes, CartridgeSystem::Pce}) {
        // The reset vector points at a routine that ends in a jump to itself at 0x800F.
        EXPECT_EQ(image(system, 0xFFFC, 2), (std::vector<std::uint8_t>{0x00, 0x80}));
        EXPECT_EQ(image(system, 0x800A, 8),
                  (std::vector<std::uint8_t>{0xA9, 0x00, 0x8D, 0x00, 0x20, 0x4C, 0x0F, 0x80}));
    }
    // Outside the headers: neighbouring bytes differ often, and two variants differ.
    std::set<std::uint8_t> seen;
    int same = 0;
    for (std::uint32_t address = 0x20000; address < 0x20100; ++address) {
        seen.insert(CartridgeImageByte(CartridgeSystem::Hnd, address));
        same += CartridgeImageByte(CartridgeSystem::Hnd, address) ==
                CartridgeImageByte(CartridgeSystem::Pce, address);
    }
    EXPECT_GT(seen.size(), 128u);
    EXPECT_LT(same, 16);
}

TEST_F(CartridgeModelTest, CommandsBeforeTheSetUpOrOfAnotherGroupAreIgnored) {
    auto& reader = Attach(emulator::kSfcIdentity);
    std::vector<std::uint8_t> data(16);
    const std::uint8_t byte = 0x42;
    EXPECT_EQ(SfcRead(0x800000, data.data(), 16), 16);
    // The bus is not set up: the data file floats high.
    EXPECT_EQ(data, std::vector<std::uint8_t>(16, 0xFF));
    EXPECT_EQ(SfcWriteBytes(0x10, &byte, 1), 512);
    EXPECT_EQ(InitN64Bus(), 512);
    EXPECT_EQ(InitSfcBus(), 512);
    EXPECT_EQ(NesControl(1), 512);
    EXPECT_EQ(SfcRead(0x10, data.data(), 16), 16);
    EXPECT_EQ(data, Image(CartridgeSystem::Sfc, 0x10, 16));
    const std::vector<std::string> expected = {
        "0F 04 SfcRead bank=1 ignored",      "0F 03 SfcWrite address=000010 data=42 ignored",
        "10 01 InitN64Bus ignored",          "0F 01 InitSfcBus",
        "0E 02 NesControl value=01 ignored", "0F 04 SfcRead bank=0",
    };
    EXPECT_EQ(reader.Transcript(), expected);
    EXPECT_EQ(reader.SectorsRejected(), 0u);
}

TEST_F(CartridgeModelTest, TheHndBusNeedsBothSetUpSectorsInOrder) {
    auto& reader = Attach(emulator::kHndIdentity);
    CommandSector second{};
    second[1] = 0x03;
    second[2] = 0x01;
    ASSERT_EQ(SendCommands(second), 512u);
    EXPECT_FALSE(reader.CartridgeReady());
    ASSERT_EQ(InitHndBus(), 512);
    EXPECT_TRUE(reader.CartridgeReady());
    EXPECT_EQ(reader.Transcript(),
              (std::vector<std::string>{"03 01 InitHndBus ignored", "F0 03 HndPrepare",
                                        "03 01 InitHndBus"}));
}

TEST_F(CartridgeModelTest, TheNesReaderTakesOneByteASectorOnly) {
    auto& reader = Attach(emulator::kNesIdentity);
    ASSERT_EQ(InitNesBus(1), 512);
    const auto data = testing::DataBytes(2);
    EXPECT_EQ(NesWriteBlock(0x6000, data.data(), 2), 512);
    EXPECT_EQ(reader.Transcript().back(), "0E 05 NesWrite address=6000 length=2 ignored");
    EXPECT_EQ(reader.CartridgeByte(0x6000), CartridgeImageByte(CartridgeSystem::Nes, 0x6000));
}

TEST_F(CartridgeModelTest, WrittenBytesStayOnTheCartridgeAcrossAPowerCycle) {
    auto& reader = Attach(emulator::kPceIdentity);
    ASSERT_EQ(InitPceBus(), 512);
    const auto data = testing::DataBytes(3);
    ASSERT_EQ(PceWriteBytes(0x0FFFFF, data.data(), 3), 1536);
    char last[64];
    std::snprintf(last, sizeof last, "11 02 PceWrite address=100001 data=%02X",
                  static_cast<unsigned>(data[2]));
    EXPECT_EQ(reader.Transcript().back(), last);
    reader.PowerCut();
    reader.PowerOn();
    EXPECT_FALSE(reader.CartridgeReady());
    ASSERT_EQ(InitPceBus(), 512);
    std::vector<std::uint8_t> back(3);
    ASSERT_EQ(DirectRead(0x0FFFFF, back.data(), 3), 3);
    EXPECT_EQ(back, data);
}

}  // namespace
}  // namespace reader
