// Maintenance and flash commands: the sectors as they reach the command file, and their results.
#include <gtest/gtest.h>

#include <functional>
#include <initializer_list>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "commands/maintenance.hpp"
#include "link/crc16.hpp"
#include "support/host_fixture.hpp"

namespace reader {
namespace {

using Bytes = std::vector<std::uint8_t>;

// A complete 512-byte sector: 'Z', the given non-zero bytes, zeros, then bytes 510 and 511.
Bytes Sector(std::initializer_list<std::pair<std::size_t, std::uint8_t>> body, std::uint8_t high,
             std::uint8_t low) {
    Bytes sector(512, 0);
    sector[0] = 0x5A;
    for (const auto& [at, value] : body) {
        sector[at] = value;
    }
    sector[510] = high;
    sector[511] = low;
    return sector;
}

class MaintenanceTest : public testing::HostFixture {
  protected:
    // A removable drive E whose status file holds the given reply at offset 0.
    void PlainReader(Bytes reply) {
        reply.resize(0x10000, 0);
        host_.AddDrive('E', platform::DriveType::Removable, {{"T-DRIVER.DMP", std::move(reply)}});
        DeviceDrive = 'E';
    }
    const Bytes& LastWrite() const { return host_.CommandWrites().back().data; }
};

TEST_F(MaintenanceTest, SingleSectorsAsTheyReachTheCommandFile) {
    struct Case {
        const char* name;
        std::function<int()> send;
        Bytes sector;
    };
    // send() gives 512 when the command reported success (ReadSerial 1, the checksum read back).
    const Case cases[] = {
        {"Reboot", [] { return Reboot(); }, Sector({{1, 0xF0}, {2, 0xFF}}, 0x76, 0x5B)},
        {"UpdateBegin", [] { return UpdateBegin(); }, Sector({{1, 0xF0}, {2, 0x0A}}, 0xB2, 0xE2)},
        {"SetBootMode 1", [] { return SetBootMode(1); },
         Sector({{1, 0xF0}, {2, 0x07}, {4, 0x01}}, 0x09, 0x71)},
        {"SetBootMode 0", [] { return SetBootMode(0); },
         Sector({{1, 0xF0}, {2, 0x07}}, 0xB3, 0x12)},
        {"SetBootMode 0x7E", [] { return SetBootMode(0x7E); },
         Sector({{1, 0xF0}, {2, 0x07}}, 0xB3, 0x12)},
        {"SetBootMode 0x81", [] { return SetBootMode(0x81); },
         Sector({{1, 0xF0}, {2, 0x07}, {4, 0x01}}, 0x09, 0x71)},
        {"EraseFlashBlock", [] { return EraseFlashBlock(0x8004000); },
         Sector({{1, 0xF0}, {2, 0xE0}, {4, 0x40}, {6, 0x08}}, 0x44, 0x8C)},
        {"ReadSerial", [] { return ReadSerial(std::array<std::uint8_t, 8>{}.data(), 8) * 512; },
         Sector({{1, 0xF0}, {2, 0x04}}, 0x54, 0x36)},
        {"FlashBlockChecksum", [] { return FlashBlockChecksum(0x8004000) == 0x0201 ? 512 : 0; },
         Sector({{1, 0xF0}, {2, 0xE2}, {4, 0x40}, {6, 0x08}}, 0x0E, 0xAB)},
    };
    PlainReader({0x01, 0x02});
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(c.send(), 512);
        EXPECT_EQ(LastWrite(), c.sector);
    }
}

TEST_F(MaintenanceTest, RepliesAndTheirFailures) {
    PlainReader({0x34, 0x12, 0x56, 0x78, 0x9A, 0xBC, 0xDE, 0xF0, 0x11});
    EXPECT_EQ(FlashBlockChecksum(0x8004000), 0x1234);
    std::array<std::uint8_t, 8> serial{};
    EXPECT_EQ(ReadSerial(serial.data(), 8), 1);
    EXPECT_EQ(serial,
              (std::array<std::uint8_t, 8>{0x34, 0x12, 0x56, 0x78, 0x9A, 0xBC, 0xDE, 0xF0}));

    // A removable drive without a status file: the command goes out, the reply cannot be read.
    host_.AddDrive('E', platform::DriveType::Removable);
    EXPECT_EQ(FlashBlockChecksum(0x8004000), 0);
    EXPECT_EQ(ReadSerial(serial.data(), 8), 0);
    EXPECT_EQ(host_.CommandWrites().back().result, 512u);
}

TEST_F(MaintenanceTest, NothingIsReadAfterACommandThatCouldNotBeWritten) {
    // A reader whose command file cannot be opened, but whose status file reads fine.
    auto& reader = AttachN64Reader('E');
    reader.Faults().failCommandOpenAt = 1;
    reader.Faults().failCommandOpenFromThenOn = true;
    DeviceDrive = 'E';
    std::array<std::uint8_t, 8> serial{};
    const std::pair<const char*, std::function<int()>> cases[] = {
        {"SetBootMode", [] { return SetBootMode(1); }},
        {"Reboot", [] { return Reboot(); }},
        {"UpdateBegin", [] { return UpdateBegin(); }},
        {"EraseFlashBlock", [] { return EraseFlashBlock(0x8004000); }},
        {"ReadSerial", [&] { return ReadSerial(serial.data(), 8); }},
        {"WriteFlash",
         [] { return WriteFlash(0x8004000, std::array<std::uint8_t, 4>{}.data(), 4); }},
    };
    for (const auto& [name, send] : cases) {
        EXPECT_EQ(send(), 0) << name;
    }
    EXPECT_EQ(host_.Counters().opens, 0u) << "no status file read";
    EXPECT_TRUE(reader.Transcript().empty());
}

TEST_F(MaintenanceTest, WriteFlashPutsEveryChunkInOneWrite) {
    struct Case {
        std::uint32_t address;
        std::uint32_t length;
        std::vector<std::pair<std::uint32_t, std::uint32_t>> chunks;  // address, length
    };
    const Case cases[] = {
        {0x800B400, 1024, {{0x800B400, 256}, {0x800B500, 256}, {0x800B600, 256}, {0x800B700, 256}}},
        {0x8004000, 300, {{0x8004000, 256}, {0x8004100, 44}}},
        {0x8004000, 1, {{0x8004000, 1}}},
        {0xFFFFFF80, 257, {{0xFFFFFF80, 256}, {0x00000080, 1}}},  // the address wraps
    };
    PlainReader({});
    for (const auto& c : cases) {
        SCOPED_TRACE(c.length);
        Bytes source(c.length);
        for (std::size_t i = 0; i < source.size(); ++i) {
            source[i] = static_cast<std::uint8_t>(i * 7 + 1);
        }
        const auto writesBefore = host_.CommandWrites().size();
        EXPECT_EQ(WriteFlash(c.address, source.data(), c.length),
                  static_cast<int>(512 * c.chunks.size()));
        ASSERT_EQ(host_.CommandWrites().size(), writesBefore + 1);
        const Bytes& written = LastWrite();
        ASSERT_EQ(written.size(), 512 * c.chunks.size());

        Bytes expected(written.size(), 0);
        std::size_t offset = 0;
        for (std::size_t k = 0; k < c.chunks.size(); ++k) {
            const auto [address, length] = c.chunks[k];
            const std::span<std::uint8_t> sector(expected.data() + 512 * k, 512);
            sector[0] = 0x5A;
            sector[1] = 0xF0;
            sector[2] = 0xE4;
            for (int b = 0; b < 4; ++b) {
                sector[3 + static_cast<std::size_t>(b)] =
                    static_cast<std::uint8_t>(address >> (8 * b));
            }
            sector[7] = static_cast<std::uint8_t>(length & 0xFF);
            sector[8] = static_cast<std::uint8_t>(length >> 8);
            std::copy_n(source.begin() + static_cast<std::ptrdiff_t>(offset), length,
                        sector.begin() + 12);
            offset += length;
            const std::uint16_t crc = link::Crc16Xmodem(sector.first(510));
            sector[510] = static_cast<std::uint8_t>(crc >> 8);
            sector[511] = static_cast<std::uint8_t>(crc & 0xFF);
        }
        EXPECT_EQ(written, expected);
    }
}

TEST_F(MaintenanceTest, WriteFlashLengthsThatSendNothingOrAnEmptyFile) {
    auto& reader = AttachN64Reader('E');
    DeviceDrive = 'E';
    const std::array<std::uint8_t, 4> data{};

    // Zero bytes: the command file is created empty, and the result is 0.
    EXPECT_EQ(WriteFlash(0x8004000, data.data(), 4), 512);
    EXPECT_EQ(WriteFlash(0x8004000, data.data(), 0), 0);
    ASSERT_EQ(host_.CommandWrites().size(), 2u);
    EXPECT_TRUE(host_.CommandWrites().back().data.empty());
    EXPECT_EQ(reader.FileSize("CMD.CMD"), 0u);

    // Lengths whose sectors would not fit the byte count, or no source: nothing is sent.
    const std::pair<std::uint32_t, const std::uint8_t*> refused[] = {
        {0xFFFFFFFF, data.data()}, {0x80000000, data.data()}, {4, nullptr}};
    for (const auto& [length, source] : refused) {
        EXPECT_EQ(WriteFlash(0x8004000, source, length), 0) << length;
    }
    EXPECT_EQ(host_.CommandWrites().size(), 2u);
}

}  // namespace
}  // namespace reader
