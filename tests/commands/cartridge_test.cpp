#include "commands/cartridge.hpp"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "support/cartridge_fixture.hpp"

namespace reader {
namespace {

using emulator::CartridgeSystem;
using testing::AsVector;
using testing::DataBytes;
using testing::ExpectedSector;
using testing::SectorAt;

class CartridgeCommandTest : public testing::CartridgeFixture {};

// --- single-sector commands against their worked values -----------------------------------------

// A sector with the given body and known checksum bytes (not computed here).
std::vector<std::uint8_t> Worked(testing::SectorBytes body, std::uint8_t high, std::uint8_t low) {
    CommandSector sector{};
    sector[0] = 0x5A;
    for (const auto& [at, value] : body) {
        sector[at] = value;
    }
    sector[510] = high;
    sector[511] = low;
    return AsVector(sector);
}

struct WorkedCommand {
    std::string name;
    std::function<int()> send;
    std::vector<std::vector<std::uint8_t>> writes;  // one sector per write
};

TEST_F(CartridgeCommandTest, SingleSectorsMatchTheWorkedValues) {
    auto& reader = Attach(emulator::kHndIdentity);
    const WorkedCommand cases[] = {
        // Two commands, two writes: the sectors differ in bytes 1..2 and their checksums only.
        {"InitHndBus",
         InitHndBus,
         {Worked({{1, 0xF0}, {2, 0x03}}, 0x27, 0x5C), Worked({{1, 0x03}, {2, 0x01}}, 0x0E, 0x00)}},
        {"InitN64Bus", InitN64Bus, {Worked({{1, 0x10}, {2, 0x01}}, 0xB3, 0x7F)}},
        {"InitSfcBus", InitSfcBus, {Worked({{1, 0x0F}, {2, 0x01}}, 0x89, 0x66)}},
        {"InitPceBus", InitPceBus, {Worked({{1, 0x11}, {2, 0x01}}, 0xD4, 0x38)}},
        {"InitNesBus mode 1",
         [] { return InitNesBus(1); },
         {Worked({{1, 0x0E}, {2, 0x01}, {4, 0x01}, {12, 0x01}}, 0xBB, 0xC3)}},
        {"InitNesBus mode 0",
         [] { return InitNesBus(0); },
         {Worked({{1, 0x0E}, {2, 0x01}}, 0xEE, 0x21)}},
        {"ReadCartStatus",
         [] {
             CommandSector reply{};
             return ReadCartStatus(reply);
         },
         {Worked({{1, 0x0E}, {2, 0x12}}, 0x78, 0x7F)}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        recorder_.Clear();
        EXPECT_NE(c.send(), 0);
        EXPECT_EQ(recorder_.Writes(), c.writes);
    }
    // The HND reader took both halves of its set-up, in order.
    EXPECT_EQ(reader.Transcript().at(0), "F0 03 HndPrepare");
    EXPECT_EQ(reader.Transcript().at(1), "03 01 InitHndBus");
    EXPECT_TRUE(reader.CartridgeReady());
}

TEST_F(CartridgeCommandTest, ModeAndControlValueSendTheirLowByteOnly) {
    auto& reader = Attach(emulator::kNesIdentity);
    struct Case {
        int value;
        std::uint8_t sent;
    };
    const Case cases[] = {{0x1FF, 0xFF}, {-1, 0xFF}, {0x100, 0x00}, {0x5A, 0x5A}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.value);
        recorder_.Clear();
        EXPECT_EQ(InitNesBus(c.value), 512);
        EXPECT_EQ(NesControl(c.value), 512);
        ASSERT_EQ(recorder_.Writes().size(), 2u);
        EXPECT_EQ(recorder_.Writes()[0],
                  AsVector(ExpectedSector({{1, 0x0E}, {2, 0x01}, {4, c.sent}, {12, c.sent}})));
        EXPECT_EQ(recorder_.Writes()[1],
                  AsVector(ExpectedSector({{1, 0x0E}, {2, 0x02}, {12, c.sent}})));
        EXPECT_EQ(reader.NesMode(), c.sent);
        EXPECT_EQ(reader.ControlValue(), c.sent);
    }
}

TEST_F(CartridgeCommandTest, SetupCommandsReportAFailedCommandFile) {
    auto& reader = Attach(emulator::kSfcIdentity);
    reader.Faults().failCommandOpenAt = 1;
    reader.Faults().failCommandOpenFromThenOn = true;
    EXPECT_EQ(InitSfcBus(), 0);
    EXPECT_EQ(InitNesBus(1), 0);
    EXPECT_EQ(NesControl(3), 0);
    EXPECT_EQ(InitHndBus(), 0);
    EXPECT_TRUE(reader.Transcript().empty());
}

// --- read handlers: the sector sent and where the data comes from -------------------------------

struct ReadCase {
    std::string_view identity;
    std::function<int()> setup;
    int (*read)(std::uint32_t, std::uint8_t*, std::uint32_t);
    std::uint32_t address;
    std::vector<std::vector<std::uint8_t>> writes;  // the sectors sent, one per write
    std::uint32_t imageAddress;                     // where the delivered bytes come from
};

TEST_F(CartridgeCommandTest, ReadHandlersSendTheirSectorAndReadTheRightPlace) {
    const auto none = std::vector<std::vector<std::uint8_t>>{};
    const ReadCase cases[] = {
        {emulator::kHndIdentity,
         InitHndBus,
         HndRead,
         0x12345678,
         {AsVector(ExpectedSector({{1, 0x03}, {2, 0x06}, {4, 0x78}, {5, 0x56}, {6, 0x34}}))},
         0x345678},
        {emulator::kN64CartIdentity,
         InitN64Bus,
         N64Read,
         0x10000000,
         {AsVector(ExpectedSector({{1, 0x10}, {2, 0x02}, {6, 0x10}}))},
         0x10000000},
        {emulator::kN64CartIdentity,
         InitN64Bus,
         N64Read,
         0x10ABCDEF,
         {AsVector(
             ExpectedSector({{1, 0x10}, {2, 0x02}, {3, 0xEF}, {4, 0xCD}, {5, 0xAB}, {6, 0x10}}))},
         0x10ABCDEF},
        {emulator::kSfcIdentity,
         InitSfcBus,
         SfcRead,
         0x7FFC00,
         {AsVector(ExpectedSector({{1, 0x0F}, {2, 0x04}}))},
         0x7FFC00},
        {emulator::kSfcIdentity,
         InitSfcBus,
         SfcRead,
         0x800000,
         {AsVector(ExpectedSector({{1, 0x0F}, {2, 0x04}, {3, 0x01}}))},
         0x800000},
        {emulator::kSfcIdentity,
         InitSfcBus,
         SfcRead,
         0xC00000,
         {AsVector(ExpectedSector({{1, 0x0F}, {2, 0x04}, {3, 0x01}}))},
         0xC00000},
        // Above 16 MiB: still bank 1, offset from the low 23 bits.
        {emulator::kSfcIdentity,
         InitSfcBus,
         SfcRead,
         0x1000000,
         {AsVector(ExpectedSector({{1, 0x0F}, {2, 0x04}, {3, 0x01}}))},
         0x800000},
        {emulator::kNesIdentity, [] { return InitNesBus(1); }, DirectRead, 0x8000, none, 0x8000},
        {emulator::kFc2Identity, [] { return InitNesBus(0); }, DirectRead, 0xFFF0, none, 0xFFF0},
        {emulator::kPceIdentity, InitPceBus, DirectRead, 0x0ABCDE, none, 0x0ABCDE},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.identity) + " at " + std::to_string(c.address));
        emulator::EmulatedHost host;
        testing::RecordingHost recorder(host);
        emulator::ScopedHost scoped(recorder);
        emulator::ReaderConfig config;
        config.fixedIdentity = std::string(c.identity);
        auto& reader = host.AttachReader('E', config);
        DeviceDrive = 'E';
        ASSERT_NE(c.setup(), 0);
        recorder.Clear();

        std::vector<std::uint8_t> data(16, 0xEE);
        EXPECT_EQ(c.read(c.address, data.data(), 16), 16);
        EXPECT_EQ(recorder.Writes(), c.writes);
        EXPECT_EQ(data, Image(reader.Cartridge(), c.imageAddress, 16));
        EXPECT_EQ(reader.SectorsRejected(), 0u);
    }
}

TEST_F(CartridgeCommandTest, SfcReadStaysInTheBankOfItsStartAddress) {
    auto& reader = Attach(emulator::kSfcIdentity);
    ASSERT_EQ(InitSfcBus(), 512);
    // 2 KiB from 1 KiB below the bank boundary: only the bank's last 1 KiB exists to be read.
    std::vector<std::uint8_t> data(2048, 0xEE);
    EXPECT_EQ(SfcRead(0x7FFC00, data.data(), 2048), 1024);
    data.resize(1024);
    EXPECT_EQ(data, Image(reader.Cartridge(), 0x7FFC00, 1024));

    // The last byte of bank 0 and the first of bank 1, each read on its own.
    std::uint8_t byte = 0;
    ASSERT_EQ(SfcRead(0x7FFFFF, &byte, 1), 1);
    EXPECT_EQ(byte, emulator::CartridgeImageByte(CartridgeSystem::Sfc, 0x7FFFFF));
    ASSERT_EQ(SfcRead(0x800000, &byte, 1), 1);
    EXPECT_EQ(byte, emulator::CartridgeImageByte(CartridgeSystem::Sfc, 0x800000));
}

TEST_F(CartridgeCommandTest, N64ReadAtAddressZeroSendsNothingAndReadsWhatIsPresented) {
    auto& reader = Attach(emulator::kN64CartIdentity);
    ASSERT_EQ(InitN64Bus(), 512);
    std::vector<std::uint8_t> data(64);
    ASSERT_EQ(N64Read(0x10000040, data.data(), 64), 64);
    recorder_.Clear();
    std::vector<std::uint8_t> again(64);
    EXPECT_EQ(N64Read(0, again.data(), 64), 64);
    EXPECT_TRUE(recorder_.Writes().empty());
    // The reader still presents the cartridge from the last address it was sent.
    EXPECT_EQ(again, Image(reader.Cartridge(), 0x10000040, 64));
}

TEST_F(CartridgeCommandTest, ReadsStillHappenWhenTheCommandIsLost) {
    auto& reader = Attach(emulator::kHndIdentity);
    ASSERT_EQ(InitHndBus(), 512);
    std::vector<std::uint8_t> data(32);
    ASSERT_EQ(HndRead(0x000100, data.data(), 32), 32);
    reader.Faults().failCommandOpenAt = 4;  // two set-up writes and one read went before
    std::vector<std::uint8_t> stale(32);
    EXPECT_EQ(HndRead(0x000200, stale.data(), 32), 32);
    EXPECT_EQ(stale, Image(reader.Cartridge(), 0x000100, 32));
}

// --- ReadCartStatus ---------------------------------------------------------------------------

TEST_F(CartridgeCommandTest, ReadCartStatusFillsTheBufferWithTheReply) {
    auto& reader = Attach(emulator::kFc2Identity, 0x3A);
    ASSERT_EQ(InitNesBus(0), 512);
    CommandSector reply{};
    reply.fill(0x77);
    EXPECT_EQ(ReadCartStatus(reply), 512);
    EXPECT_EQ(reply[0], 0x3A);
    EXPECT_TRUE(std::all_of(reply.begin() + 1, reply.end(), [](std::uint8_t b) { return b == 0; }));
    EXPECT_EQ(reader.Transcript().back(), "0E 12 ReadCartStatus misc=3A");

    // A status file cut short: no reply, the buffer holds the request sector.
    reader.Faults().statusFileLength = 0;
    EXPECT_EQ(ReadCartStatus(reply), 0);
    EXPECT_EQ(AsVector(reply), AsVector(ExpectedSector({{1, 0x0E}, {2, 0x12}})));
}

// --- write handlers ---------------------------------------------------------------------------

using WriteFn = int (*)(std::uint32_t, const std::uint8_t*, std::uint32_t);

// The sectors a write must produce, worked out from the layout of each handler.
std::vector<CommandSector> ExpectedWrite(WriteFn handler, std::uint32_t address,
                                         const std::vector<std::uint8_t>& data) {
    std::vector<CommandSector> sectors;
    if (handler == NesWriteBlock) {
        for (std::size_t start = 0; start < data.size(); start += 256) {
            const std::size_t chunk = std::min<std::size_t>(256, data.size() - start);
            const auto at = static_cast<std::uint32_t>(address + start);
            CommandSector sector{};
            sector[1] = 0x0E;
            sector[2] = 0x05;
            sector[4] = static_cast<std::uint8_t>(at & 0xFF);
            sector[5] = static_cast<std::uint8_t>((at >> 8) & 0xFF);
            sector[8] = static_cast<std::uint8_t>(chunk & 0xFF);
            sector[9] = static_cast<std::uint8_t>(chunk >> 8);
            std::copy_n(data.begin() + static_cast<std::ptrdiff_t>(start), chunk,
                        sector.begin() + 12);
            testing::Stamp(sector);
            sectors.push_back(sector);
        }
        return sectors;
    }
    for (std::size_t k = 0; k < data.size(); ++k) {
        const auto at = static_cast<std::uint32_t>(address + k);
        const auto lo = static_cast<std::uint8_t>(at & 0xFF);
        const auto mid = static_cast<std::uint8_t>((at >> 8) & 0xFF);
        const auto hi = static_cast<std::uint8_t>((at >> 16) & 0xFF);
        if (handler == NesWriteBytes) {
            sectors.push_back(ExpectedSector(
                {{1, 0x0E}, {2, 0x05}, {4, lo}, {5, mid}, {8, 0x01}, {12, data[k]}}));
        } else if (handler == PceWriteBytes) {
            sectors.push_back(
                ExpectedSector({{1, 0x11}, {2, 0x02}, {3, lo}, {4, mid}, {5, hi}, {6, data[k]}}));
        } else {
            sectors.push_back(
                ExpectedSector({{1, 0x0F}, {2, 0x03}, {3, lo}, {4, mid}, {5, hi}, {7, data[k]}}));
        }
    }
    return sectors;
}

struct WriteCase {
    std::string name;
    WriteFn handler;
    std::uint32_t address;
    std::size_t length;
    std::size_t sectors;
};

TEST_F(CartridgeCommandTest, WriteHandlersSendEverySectorInOneWrite) {
    Attach(emulator::kFc2Identity);
    const WriteCase cases[] = {
        {"NesWriteBytes 3 at 8000", NesWriteBytes, 0x8000, 3, 3},
        {"NesWriteBytes wraps at FFFF", NesWriteBytes, 0xFFFF, 2, 2},
        {"NesWriteBlock 600 at 8000", NesWriteBlock, 0x8000, 600, 3},
        {"NesWriteBlock exactly 256", NesWriteBlock, 0x8000, 256, 1},
        {"NesWriteBlock 257", NesWriteBlock, 0xC000, 257, 2},
        {"NesWriteBlock wraps at FFFF", NesWriteBlock, 0xFF80, 300, 2},
        {"PceWriteBytes wraps at FFFFFF", PceWriteBytes, 0xFFFFFF, 2, 2},
        {"PceWriteBytes bits 24..31 dropped", PceWriteBytes, 0x12345678, 1, 1},
        {"SfcWriteBytes 4 at 7FFFFE", SfcWriteBytes, 0x7FFFFE, 4, 4},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const auto data = DataBytes(c.length);
        recorder_.Clear();
        EXPECT_EQ(c.handler(c.address, data.data(), static_cast<std::uint32_t>(c.length)),
                  static_cast<int>(c.sectors * 512));
        ASSERT_EQ(recorder_.Writes().size(), 1u);
        const auto& write = recorder_.Writes()[0];
        ASSERT_EQ(write.size(), c.sectors * 512);
        const auto expected = ExpectedWrite(c.handler, c.address, data);
        ASSERT_EQ(expected.size(), c.sectors);
        for (std::size_t k = 0; k < c.sectors; ++k) {
            SCOPED_TRACE("sector " + std::to_string(k));
            EXPECT_EQ(SectorAt(write, k), AsVector(expected[k]));
        }
    }
}

TEST_F(CartridgeCommandTest, BlockWriteOfSixHundredBytesHasTheWorkedLayout) {
    Attach(emulator::kFc2Identity);
    const auto data = DataBytes(600);
    ASSERT_EQ(NesWriteBlock(0x8000, data.data(), 600), 1536);
    const auto& write = recorder_.Writes().at(0);
    const std::uint8_t addresses[3][2] = {{0x00, 0x80}, {0x00, 0x81}, {0x00, 0x82}};
    const std::uint8_t lengths[3][2] = {{0x00, 0x01}, {0x00, 0x01}, {0x58, 0x00}};
    for (std::size_t k = 0; k < 3; ++k) {
        const auto sector = SectorAt(write, k);
        EXPECT_EQ(sector[4], addresses[k][0]);
        EXPECT_EQ(sector[5], addresses[k][1]);
        EXPECT_EQ(sector[8], lengths[k][0]);
        EXPECT_EQ(sector[9], lengths[k][1]);
    }
    const auto last = SectorAt(write, 2);
    EXPECT_TRUE(
        std::all_of(last.begin() + 100, last.begin() + 510, [](std::uint8_t b) { return b == 0; }));
}

TEST_F(CartridgeCommandTest, ZeroLengthLeavesAnEmptyCommandFile) {
    auto& reader = Attach(emulator::kFc2Identity);
    const WriteFn handlers[] = {NesWriteBlock, NesWriteBytes, PceWriteBytes, SfcWriteBytes};
    const std::uint8_t byte = 0x42;
    for (const WriteFn handler : handlers) {
        ASSERT_EQ(NesControl(1), 512);
        ASSERT_EQ(reader.FileSize("CMD.CMD"), 512u);
        recorder_.Clear();
        EXPECT_EQ(handler(0x8000, &byte, 0), 0);
        ASSERT_EQ(recorder_.Writes().size(), 1u);
        EXPECT_TRUE(recorder_.Writes()[0].empty());
        EXPECT_EQ(reader.FileSize("CMD.CMD"), 0u);
    }
}

TEST_F(CartridgeCommandTest, OversizedOrSourcelessWritesSendNothing) {
    auto& reader = Attach(emulator::kFc2Identity);
    const std::uint8_t byte = 0x42;
    struct Case {
        std::string name;
        WriteFn handler;
        const std::uint8_t* source;
        std::uint32_t length;
    };
    // Byte-wise: 0x400000 bytes would be 2 GiB of sectors, more than the signed result can count;
    // 0x800000 bytes would wrap the 32-bit byte count to 0. The block form reaches the same
    // limits only with the largest lengths.
    const Case cases[] = {
        {"NesWriteBytes 0x400000", NesWriteBytes, &byte, 0x400000},
        {"PceWriteBytes 0x800000", PceWriteBytes, &byte, 0x800000},
        {"SfcWriteBytes 0xFFFFFFFF", SfcWriteBytes, &byte, 0xFFFFFFFF},
        {"NesWriteBlock 0x80000000", NesWriteBlock, &byte, 0x80000000},
        {"NesWriteBlock 0xFFFFFFFF", NesWriteBlock, &byte, 0xFFFFFFFF},
        {"NesWriteBytes without source", NesWriteBytes, nullptr, 4},
        {"NesWriteBlock without source", NesWriteBlock, nullptr, 4},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        recorder_.Clear();
        EXPECT_EQ(c.handler(0x8000, c.source, c.length), 0);
        EXPECT_TRUE(recorder_.Writes().empty());
    }
    EXPECT_TRUE(reader.Transcript().empty());
}

TEST_F(CartridgeCommandTest, WriteHandlersPassAFailedCommandFileOn) {
    auto& reader = Attach(emulator::kFc2Identity);
    reader.Faults().failCommandWriteAt = 1;
    const auto data = DataBytes(8);
    EXPECT_EQ(NesWriteBlock(0x8000, data.data(), 8), 0);
}

// --- the written bytes land on the cartridge --------------------------------------------------

struct RoundTrip {
    std::string_view identity;
    std::function<int()> setup;
    WriteFn write;
    int (*read)(std::uint32_t, std::uint8_t*, std::uint32_t);
    std::uint32_t address;
    std::size_t length;
};

TEST_F(CartridgeCommandTest, WrittenBytesReadBackThroughTheSystemsReadHandler) {
    const RoundTrip cases[] = {
        {emulator::kFc2Identity, [] { return InitNesBus(1); }, NesWriteBlock, DirectRead, 0x6000,
         700},
        {emulator::kNesIdentity, [] { return InitNesBus(1); }, NesWriteBytes, DirectRead, 0x6000,
         40},
        {emulator::kPceIdentity, InitPceBus, PceWriteBytes, DirectRead, 0x1F0000, 40},
        {emulator::kSfcIdentity, InitSfcBus, SfcWriteBytes, SfcRead, 0x80FFF0, 40},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.identity);
        emulator::EmulatedHost host;
        emulator::ScopedHost scoped(host);
        emulator::ReaderConfig config;
        config.fixedIdentity = std::string(c.identity);
        auto& reader = host.AttachReader('E', config);
        DeviceDrive = 'E';
        ASSERT_NE(c.setup(), 0);
        const auto data = DataBytes(c.length, 0x90);
        ASSERT_NE(c.write(c.address, data.data(), static_cast<std::uint32_t>(c.length)), 0);
        std::vector<std::uint8_t> back(c.length);
        ASSERT_EQ(c.read(c.address, back.data(), static_cast<std::uint32_t>(c.length)),
                  static_cast<int>(c.length));
        EXPECT_EQ(back, data);
        EXPECT_EQ(reader.SectorsRejected(), 0u);
        // Around the written range the cartridge is untouched.
        EXPECT_EQ(reader.CartridgeByte(c.address - 1),
                  emulator::CartridgeImageByte(reader.Cartridge(), c.address - 1));
        EXPECT_EQ(reader.CartridgeByte(c.address + static_cast<std::uint32_t>(c.length)),
                  emulator::CartridgeImageByte(reader.Cartridge(),
                                               c.address + static_cast<std::uint32_t>(c.length)));
    }
}

}  // namespace
}  // namespace reader
