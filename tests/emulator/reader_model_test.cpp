// The emulated reader's own side of the update: modes, restarts, the boot rule, NOR flash and
// the faults, driven with raw sectors so that the model is checked independently of the client.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <memory>
#include <span>
#include <optional>
#include <string>
#include <vector>

#include "emulator/emulated_host.hpp"
#include "emulator/reader_model.hpp"
#include "link/crc16.hpp"

namespace reader::emulator {
namespace {

using Bytes = std::vector<std::uint8_t>;

constexpr std::uint32_t kBlock1 = kFlashBase + 0x400;

// One stamped maintenance sector; `data` goes from byte 12 on (WriteFlash).
Bytes Sector(std::uint8_t operation, std::uint32_t address = 0, std::uint8_t mode = 0,
             const Bytes& data = {}, std::optional<std::uint16_t> length = {}) {
    Bytes sector(kModelSectorSize, 0);
    sector[0] = 0x5A;
    sector[1] = 0xF0;
    sector[2] = operation;
    for (std::size_t b = 0; b < 4; ++b) {
        sector[3 + b] = static_cast<std::uint8_t>(address >> (8 * b));
    }
    if (operation == 0x07) {
        sector[4] = mode;
    }
    if (operation == 0xE4) {
        const auto count = length.value_or(static_cast<std::uint16_t>(data.size()));
        sector[7] = static_cast<std::uint8_t>(count & 0xFF);
        sector[8] = static_cast<std::uint8_t>(count >> 8);
        std::copy(data.begin(), data.end(), sector.begin() + 12);
    }
    const std::uint16_t crc = link::Crc16Xmodem(std::span(sector).first(510));
    sector[510] = static_cast<std::uint8_t>(crc >> 8);
    sector[511] = static_cast<std::uint8_t>(crc & 0xFF);
    return sector;
}

Bytes Join(std::initializer_list<Bytes> sectors) {
    Bytes all;
    for (const auto& s : sectors) {
        all.insert(all.end(), s.begin(), s.end());
    }
    return all;
}

const Bytes kUpdateBegin = Sector(0x0A);
const Bytes kReboot = Sector(0xFF);

class ReaderModelTest : public ::testing::Test {
  protected:
    ReaderModel& Make(ReaderConfig config = {}) {
        models_.push_back(std::make_unique<ReaderModel>(clock_, 'E', std::move(config)));
        return *models_.back();
    }
    // A reader in its bootloader with its flash commands armed.
    ReaderModel& Armed(ReaderConfig config = {}) {
        config.bootFlag = true;
        auto& reader = Make(std::move(config));
        Send(reader, kUpdateBegin);
        return reader;
    }
    static std::optional<std::uint32_t> Send(ReaderModel& reader, const Bytes& bytes) {
        if (!reader.OpenCommandFile(true)) {
            return std::nullopt;
        }
        return reader.WriteCommandFile(0, bytes);
    }
    static Bytes Status(ReaderModel& reader, std::uint64_t offset, std::size_t count) {
        Bytes out(count, 0xEE);
        const auto got = reader.ReadFile("t-driver.dmp", offset, out);
        out.resize(got.value_or(0));
        return out;
    }
    static std::uint16_t Checksum(ReaderModel& reader, std::uint32_t address) {
        Send(reader, Sector(0xE2, address));
        const Bytes reply = Status(reader, 0, 2);
        return static_cast<std::uint16_t>(reply[0] | (reply[1] << 8));
    }
    static Bytes FlashBlock(const ReaderModel& reader, std::size_t block) {
        const auto flash = reader.Flash().subspan(block * kFlashBlockSize, kFlashBlockSize);
        return {flash.begin(), flash.end()};
    }

    VirtualClock clock_;
    std::vector<std::unique_ptr<ReaderModel>> models_;
};

TEST_F(ReaderModelTest, BootRuleDecidesModeAndIdentity) {
    struct Case {
        bool bootFlag;
        bool block0Erased;
        std::string bootloaderIdentity;
        ReaderMode mode;
        std::string identity;
    };
    const Case cases[] = {
        {false, false, "BOOT_N64Q2", ReaderMode::Firmware, "N64_KRN03_RV300"},
        {true, false, "BOOT_N64Q2", ReaderMode::Bootloader, "BOOT_N64Q2"},
        {false, true, "BOOT_N64Q2", ReaderMode::Bootloader, "BOOT_N64Q2"},
        {true, true, "BOOT_N64_R2_400", ReaderMode::Bootloader, "BOOT_N64_R2_400"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.identity);
        ReaderConfig config;
        config.bootFlag = c.bootFlag;
        config.bootloaderIdentity = c.bootloaderIdentity;
        config.flash = OldFirmwareFlash();
        if (c.block0Erased) {
            std::fill_n(config.flash.begin(), kFlashBlockSize, std::uint8_t{0xFF});
        }
        auto& reader = Make(config);
        EXPECT_EQ(reader.Mode(), c.mode);
        Bytes expected(c.identity.begin(), c.identity.end());
        expected.resize(kIdentitySize, 0);
        EXPECT_EQ(Status(reader, kIdentityOffset, kIdentitySize), expected);
        EXPECT_EQ(Status(reader, 0, 8), Bytes(8, 0)) << "the reply area starts empty";
    }
}

TEST_F(ReaderModelTest, FirmwareIdentityIsTheRawFirstSixteenFlashBytes) {
    ReaderConfig config;
    config.flash = OldFirmwareFlash("AB");
    config.flash[3] = 'X';  // after a NUL: still part of the identity bytes
    auto& reader = Make(config);
    EXPECT_EQ(Status(reader, kIdentityOffset, 16),
              (Bytes{'A', 'B', 0, 'X', 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
}

TEST_F(ReaderModelTest, RestartAndItsFaults) {
    struct Case {
        const char* name;
        ReaderFaults faults;
        std::uint64_t absentUntil;  // the drive is gone before this time, back at it
        char letter;
        ReaderMode mode;
    };
    const auto faults = [](auto change) {
        ReaderFaults f;
        change(f);
        return f;
    };
    const Case cases[] = {
        {"default", {}, 2000, 'E', ReaderMode::Bootloader},
        {"slow", faults([](auto& f) { f.restartMs = 7000; }), 7000, 'E', ReaderMode::Bootloader},
        {"other letter", faults([](auto& f) { f.returnLetter = 'G'; }), 2000, 'G',
         ReaderMode::Bootloader},
        {"in firmware", faults([](auto& f) { f.returnsInFirmware = true; }), 2000, 'E',
         ReaderMode::Firmware},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        clock_ = VirtualClock{};
        ReaderConfig config;
        config.faults = c.faults;
        auto& reader = Make(config);
        ASSERT_EQ(Send(reader, Sector(0x07, 0, 1)), 512u);
        ASSERT_EQ(Send(reader, kReboot), 512u);
        clock_.Advance(c.absentUntil - 1);
        EXPECT_FALSE(reader.Present());
        EXPECT_FALSE(reader.FileSize("T-DRIVER.DMP"));
        EXPECT_FALSE(reader.OpenCommandFile(true));
        clock_.Advance(1);
        EXPECT_TRUE(reader.Present());
        EXPECT_EQ(reader.Letter(), c.letter);
        EXPECT_EQ(reader.Mode(), c.mode);
        EXPECT_TRUE(reader.BootFlag());
    }

    ReaderConfig never;
    never.faults.neverReturns = true;
    auto& gone = Make(never);
    Send(gone, kReboot);
    clock_.Advance(1'000'000);
    EXPECT_FALSE(gone.Present());
}

TEST_F(ReaderModelTest, PowerCutLosesTheRestOfTheWriteButFlashAndBootFlagStay) {
    ReaderConfig config;
    config.faults.powerCutAfterSector = 4;  // UpdateBegin, SetBootMode, two erases
    auto& reader = Armed(config);
    const auto write = Join({Sector(0x07, 0, 0), Sector(0xE0, kFlashBase), Sector(0xE0, kBlock1),
                             Sector(0xE0, kBlock1 + 0x400)});
    EXPECT_FALSE(Send(reader, write)) << "the write did not complete";
    EXPECT_FALSE(reader.Present());
    EXPECT_EQ(reader.Transcript().size(), 4u);
    EXPECT_EQ(FlashBlock(reader, 1), Bytes(kFlashBlockSize, 0xFF));
    EXPECT_NE(FlashBlock(reader, 2), Bytes(kFlashBlockSize, 0xFF));
    EXPECT_FALSE(reader.BootFlag());

    // Boot flag clear, but block 0 erased: the bootloader again.
    reader.PowerOn();
    EXPECT_EQ(reader.Mode(), ReaderMode::Bootloader);
    EXPECT_EQ(Checksum(reader, kBlock1), 0u) << "flash commands need UpdateBegin after a start";
}

TEST_F(ReaderModelTest, FlashCommandsOnlyInTheArmedBootloader) {
    struct Case {
        const char* name;
        bool bootFlag;
        bool armed;
    };
    const Case cases[] = {{"firmware mode", false, true}, {"not armed", true, false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ReaderConfig config;
        config.bootFlag = c.bootFlag;
        auto& reader = Make(config);
        Send(reader, Sector(0x04));  // the serial, in the bootloader only
        if (c.armed) {
            Send(reader, kUpdateBegin);
        }
        const Bytes replyBefore = Status(reader, 0, 16);
        const Bytes flashBefore(reader.Flash().begin(), reader.Flash().end());
        Send(reader, Join({Sector(0xE0, kBlock1), Sector(0xE4, kBlock1, 0, Bytes(256, 0)),
                           Sector(0xE2, kBlock1)}));
        EXPECT_TRUE(std::equal(flashBefore.begin(), flashBefore.end(), reader.Flash().begin()));
        EXPECT_EQ(Status(reader, 0, 16), replyBefore);
        for (std::size_t i = reader.Transcript().size() - 3; i < reader.Transcript().size(); ++i) {
            EXPECT_TRUE(reader.Transcript()[i].ends_with(" ignored")) << reader.Transcript()[i];
        }
    }
}

TEST_F(ReaderModelTest, SerialNumberAndChecksumReplies) {
    auto& reader = Armed();
    Send(reader, Sector(0x04));
    EXPECT_EQ(Status(reader, 0, 10), (Bytes{0x3A, 0x7C, 0x19, 0xE4, 0x05, 0xB2, 0x6D, 0x81, 0, 0}));
    Send(reader, Sector(0xE0, kBlock1));
    Send(reader, Sector(0xE2, kBlock1));
    EXPECT_EQ(Status(reader, 0, 4), (Bytes{0x84, 0xC0, 0, 0})) << "an erased block, low byte first";
    EXPECT_EQ(Checksum(reader, kFlashBase), link::Crc16Xmodem(FlashBlock(reader, 0)));
}

TEST_F(ReaderModelTest, EraseAndNorProgramming) {
    auto& reader = Armed();
    // Erase only at a block's first address inside the 30 blocks.
    const Bytes block1 = FlashBlock(reader, 1);
    Send(reader, Join({Sector(0xE0, kBlock1 + 1), Sector(0xE0, kFlashBase + 30 * 0x400),
                       Sector(0xE0, kFlashBase - 0x400)}));
    EXPECT_EQ(FlashBlock(reader, 1), block1);

    // The serial combination comes off by flash address; a write over old data ANDs with it.
    Send(reader, Sector(0xE0, kBlock1));
    const std::array<std::uint8_t, 8> serial = {0x3A, 0x7C, 0x19, 0xE4, 0x05, 0xB2, 0x6D, 0x81};
    Bytes data(256);
    for (std::size_t i = 0; i < data.size(); ++i) {
        data[i] = static_cast<std::uint8_t>(0xF0 ^ serial[(i + 3) % 8]);
    }
    Send(reader, Sector(0xE4, kBlock1 + 3, 0, data));
    Bytes expected(kFlashBlockSize, 0xFF);
    std::fill_n(expected.begin() + 3, 256, std::uint8_t{0xF0});
    EXPECT_EQ(FlashBlock(reader, 1), expected);
    Send(reader, Sector(0xE4, kBlock1 + 3, 0, Bytes(1, 0x0F ^ serial[3])));
    expected[3] = 0x00;
    EXPECT_EQ(FlashBlock(reader, 1), expected);

    // Bad lengths are ignored; bytes outside the blocks are dropped.
    Send(reader, Join({Sector(0xE4, kBlock1, 0, Bytes(256, 0), 0),
                       Sector(0xE4, kBlock1, 0, Bytes(256, 0), 257)}));
    EXPECT_EQ(FlashBlock(reader, 1), expected);
    Send(reader, Sector(0xE0, kFlashBase + 29 * 0x400));
    Send(reader, Sector(0xE4, kFlashBase + 30 * 0x400 - 128, 0, Bytes(256, 0)));
    const Bytes last = FlashBlock(reader, 29);
    EXPECT_EQ(std::count(last.begin(), last.end(), 0xFF), 1024 - 128);
}

TEST_F(ReaderModelTest, StuckBlockNeverVerifies) {
    ReaderConfig config;
    config.faults.stuckBlock = 5;
    auto& reader = Armed(config);
    const std::uint32_t address = kFlashBase + 5 * 0x400;
    Send(reader, Sector(0xE0, address));
    EXPECT_NE(Checksum(reader, address), 0xC084);
    Bytes data(256, 0xFF);
    for (std::uint32_t chunk = 0; chunk < 4; ++chunk) {
        Send(reader, Sector(0xE4, address + chunk * 256, 0, data));
    }
    const Bytes stored = FlashBlock(reader, 5);
    EXPECT_NE(Checksum(reader, address), link::Crc16Xmodem(stored));
}

TEST_F(ReaderModelTest, RejectedSectorsAreLoggedButNotExecuted) {
    auto& reader = Make();
    Bytes badMarker = Sector(0x07, 0, 1);
    badMarker[0] = 'Y';
    Bytes badChecksum = Sector(0x07, 0, 1);
    badChecksum[511] ^= 0x01;
    Send(reader, Join({badMarker, badChecksum}));
    EXPECT_EQ(reader.SectorsRejected(), 2u);
    EXPECT_FALSE(reader.BootFlag());
    ASSERT_EQ(reader.Transcript().size(), 2u);
    EXPECT_NE(reader.Transcript()[0].find("rejected"), std::string::npos);
}

TEST_F(ReaderModelTest, CommandFileFaults) {
    ReaderConfig config;
    config.faults.failCommandOpenAt = 2;
    config.faults.failCommandWriteAt = 2;
    auto& reader = Make(config);
    EXPECT_TRUE(reader.OpenCommandFile(true));
    EXPECT_FALSE(reader.OpenCommandFile(true));
    EXPECT_TRUE(reader.OpenCommandFile(true));
    EXPECT_EQ(reader.WriteCommandFile(0, Sector(0x07, 0, 1)), 512u);
    EXPECT_FALSE(reader.WriteCommandFile(0, Sector(0x07, 0, 0)));
    EXPECT_TRUE(reader.BootFlag()) << "the failed write executed nothing";

    reader.Faults().failCommandOpenFromThenOn = true;
    EXPECT_FALSE(reader.OpenCommandFile(true));
    EXPECT_FALSE(reader.OpenCommandFile(true));
}

TEST_F(ReaderModelTest, StatusFileFaults) {
    auto& reader = Armed();
    Send(reader, Sector(0x04));
    EXPECT_EQ(reader.FileSize("T-DRIVER.DMP"), 0x10000u);
    reader.Faults().corruptStatusByte = 1;
    EXPECT_EQ(Status(reader, 0, 3), (Bytes{0x3A, 0x83, 0x19}));
    reader.Faults().statusFileLength = 4;
    EXPECT_EQ(Status(reader, 0, 8).size(), 4u) << "the reply is cut short";
    EXPECT_TRUE(Status(reader, kIdentityOffset, 16).empty());
}

TEST_F(ReaderModelTest, SectorsSplitAcrossWritesRunOnceComplete) {
    auto& reader = Armed();
    const auto both = Join({Sector(0xE0, kBlock1), Sector(0xE2, kBlock1)});
    const std::size_t before = reader.Transcript().size();
    ASSERT_TRUE(reader.OpenCommandFile(true));
    reader.WriteCommandFile(0, std::span(both).first(300));
    EXPECT_EQ(reader.Transcript().size(), before);
    reader.WriteCommandFile(300, std::span(both).subspan(300, 400));
    EXPECT_EQ(reader.Transcript().size(), before + 1);
    reader.WriteCommandFile(700, std::span(both).subspan(700));
    EXPECT_EQ(reader.Transcript().size(), before + 2);
    EXPECT_EQ(Status(reader, 0, 2), (Bytes{0x84, 0xC0}));
}

}  // namespace
}  // namespace reader::emulator
