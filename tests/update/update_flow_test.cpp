// The whole update, run by UpdateClient against the emulated reader in virtual time. Each test
// builds what the run must show (console, transcript, command writes, waits) from the known
// sequence of the update and compares it whole.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "commands/maintenance.hpp"
#include "link/crc16.hpp"
#include "platform/host.hpp"
#include "support/host_fixture.hpp"
#include "update/release_data.hpp"
#include "update/update_client.hpp"

namespace reader {
namespace {

using emulator::ConsolePiece;
using emulator::ReaderMode;
using Path = ConsolePiece::Path;

using platform::FormatText;

std::span<const std::uint8_t> Block(std::span<const std::uint8_t> bytes, std::size_t block) {
    return bytes.subspan(block * kFlashBlockSize, kFlashBlockSize);
}

// What one run must show, appended step by step in the order of the update.
class ExpectedRun {
  public:
    std::vector<ConsolePiece> console;
    std::vector<std::string> transcript;
    std::vector<std::pair<std::uint64_t, std::size_t>> writes;  // virtual time, bytes
    std::vector<std::uint32_t> sleeps;

    explicit ExpectedRun(std::uint64_t startMs = 0) : nowMs_(startMs) {}

    void Stream(const std::string& text) { Add(Path::Stream, text, platform::kAttributeDefault); }
    void Plain(const std::string& text) { Add(Path::Direct, text, platform::kAttributeDefault); }
    void Green(const std::string& text) { Add(Path::Direct, text, platform::kAttributeLightGreen); }
    void Red(const std::string& text) { Add(Path::Direct, text, platform::kAttributeLightRed); }

    void Command(const std::string& line) {
        transcript.push_back(line);
        writes.emplace_back(nowMs_, 512);
    }
    void Sleep(std::uint32_t ms) {
        sleeps.push_back(ms);
        nowMs_ += ms;
    }

    void EnterBootloader() {
        Green("Try to reboot device to bootloader\n");
        Plain("Please wait......\n");
        Command("F0 07 SetBootMode mode=1");
        Command("F0 FF Reboot");
        Sleep(5000);
    }

    // Programming of a reader whose flash holds `flash`; a stuck block reads with bit 0 clear.
    // Returns the flash as the run leaves it.
    std::vector<std::uint8_t> Program(std::vector<std::uint8_t> flash,
                                      std::optional<std::size_t> stuckBlock = {}) {
        const auto checksum = [&](std::size_t block) {
            std::vector<std::uint8_t> bytes(Block(flash, block).begin(), Block(flash, block).end());
            if (stuckBlock == block) {
                for (auto& b : bytes) {
                    b &= 0xFE;
                }
            }
            return link::Crc16Xmodem(bytes);
        };
        const auto checksumLine = [&](std::uint32_t address, std::uint16_t value) {
            Command(
                FormatText("F0 E2 FlashBlockChecksum address=%08X checksum=%04X", address, value));
        };
        Green("Start update firmware.\n");
        Command("F0 0A UpdateBegin");
        Command("F0 04 ReadSerial");
        Stream("SN:3A7C19E4\n");
        Command("F0 07 SetBootMode mode=1");

        checksumLine(kFlashBase, checksum(0));
        Stream(FormatText("Erase block 0 (%04X).\n", checksum(0)));
        Command(FormatText("F0 E0 EraseFlashBlock address=%08X", kFlashBase));
        std::fill_n(flash.begin(), kFlashBlockSize, std::uint8_t{0xFF});
        checksumLine(kFlashBase, checksum(0));
        Stream(FormatText("Erase block 0 finished %04X\n", checksum(0)));

        bool failed = false;
        for (int block = 29; block >= 0; --block) {
            const auto k = static_cast<std::size_t>(block);
            const std::uint32_t address = kFlashBase + 0x400u * static_cast<std::uint32_t>(k);
            checksumLine(address, checksum(k));
            if (checksum(k) == BlockChecksumTable[k]) {
                Green(FormatText("Update block %d success\r", block));
                continue;
            }
            Stream(FormatText("Update block %d (%04x)\r", block, checksum(k)));
            Command(FormatText("F0 E0 EraseFlashBlock address=%08X", address));
            Sleep(300);
            transcript.push_back(FormatText("F0 E4 WriteFlash address=%08X length=256", address));
            for (std::uint32_t chunk = 1; chunk < 4; ++chunk) {
                transcript.push_back(FormatText("F0 E4 WriteFlash address=%08X length=256",
                                                address + chunk * 0x100));
            }
            writes.emplace_back(nowMs_, 2048);
            const auto image = Block(FirmwareImage, k);
            std::copy(image.begin(), image.end(),
                      flash.begin() + static_cast<std::ptrdiff_t>(k * kFlashBlockSize));
            checksumLine(address, checksum(k));
            if (checksum(k) == BlockChecksumTable[k]) {
                Green(": success");
            } else {
                Red(FormatText("\nUpdate block %d failure\n", block));
                failed = true;
            }
        }
        if (failed) {
            Command(FormatText("F0 E0 EraseFlashBlock address=%08X", kFlashBase));
            std::fill_n(flash.begin(), kFlashBlockSize, std::uint8_t{0xFF});
            Red("\nUpdate firmware failure.try again\n");
        } else {
            Green("\nUpdate firmware success.\n");
            Command("F0 07 SetBootMode mode=0");
            Command("F0 FF Reboot");
        }
        return flash;
    }

    void Prompt() { Stream("press any key to exit.\n"); }

  private:
    // Consecutive pieces of one path and colour run together, as on the console.
    void Add(Path path, const std::string& text, std::uint16_t attribute) {
        if (!console.empty() && console.back().path == path &&
            console.back().attribute == attribute) {
            console.back().text += text;
        } else {
            console.push_back(ConsolePiece{path, text, attribute});
        }
    }

    std::uint64_t nowMs_;
};

// The two lines that come before any command of the bootloader entry.
void Announce(ExpectedRun& expected) {
    expected.Green("Try to reboot device to bootloader\n");
    expected.Plain("Please wait......\n");
}

class UpdateFlowTest : public testing::HostFixture {
  protected:
    UpdateFlowTest() : stored_(FirmwareImage) {
        host_.AddDrive('C', platform::DriveType::Fixed, {}, "SYSTEM");
        host_.SetInput("\n");
    }

    // Compares the run with what was expected, whole, and checks that the image in memory is
    // back in its stored form.
    void ExpectRun(const emulator::ReaderModel& reader, const ExpectedRun& expected) {
        EXPECT_EQ(host_.Console(), expected.console);
        EXPECT_EQ(reader.Transcript(), expected.transcript);
        EXPECT_EQ(host_.Sleeps(), expected.sleeps);
        std::vector<std::pair<std::uint64_t, std::size_t>> writes;
        for (const auto& write : host_.CommandWrites()) {
            writes.emplace_back(write.atMs, write.data.size());
        }
        EXPECT_EQ(writes, expected.writes);
        EXPECT_EQ(reader.SectorsRejected(), 0u);
        EXPECT_EQ(FirmwareImage, stored_) << "the image must be back in its stored form";
        EXPECT_EQ(host_.KeysRead(), 1u);
    }

    // After the closing restart the reader runs the new firmware; a second run needs nothing.
    void ExpectNewFirmware(emulator::ReaderModel& reader) {
        host_.Clock().Advance(emulator::kDefaultRestartMs);
        ASSERT_EQ(reader.Mode(), ReaderMode::Firmware);
        EXPECT_EQ(reader.PresentedIdentity(), "N64_KRN03_RV315");
        EXPECT_TRUE(std::equal(reader.Flash().begin(), reader.Flash().end(), stored_.begin()));
        EXPECT_FALSE(reader.BootFlag());

        reader.ClearTranscript();
        host_.ClearConsole();
        host_.SetInput("\n");
        UpdateClient();
        EXPECT_EQ(host_.ConsoleText(),
                  "Device N64_KRN03_RV315 not need update firmware\npress any key to exit.\n");
        EXPECT_TRUE(reader.Transcript().empty());
    }

    void ResetRecords(emulator::ReaderModel& reader) {
        reader.ClearTranscript();
        host_.ClearConsole();
        host_.SetInput("\n");
    }

    std::array<std::uint8_t, kFirmwareImageSize> stored_;
};

TEST_F(UpdateFlowTest, FullUpdateFromFirmware300) {
    auto& reader = AttachN64Reader('E');
    const std::vector<std::uint8_t> oldFlash(reader.Flash().begin(), reader.Flash().end());

    UpdateClient();

    ExpectedRun expected;
    expected.EnterBootloader();
    expected.Program(oldFlash);
    expected.Prompt();
    ExpectRun(reader, expected);
    ExpectNewFirmware(reader);
}

TEST_F(UpdateFlowTest, ReaderAlreadyInItsBootloaderIsProgrammedAtOnce) {
    struct Case {
        std::string bootloaderIdentity;
        bool bootFlag;  // otherwise block 0 is erased
    };
    const Case cases[] = {
        {"BOOT_N64Q2", true},
        {"BOOT_N64Q2", false},
        {"BOOT_N64_R2_400", true},
        {"BOOT_N64_R2_499", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.bootloaderIdentity + (c.bootFlag ? " boot flag" : " block 0 erased"));
        emulator::EmulatedHost host;
        emulator::ScopedHost scoped(host);
        ResetUpdateGlobals();
        emulator::ReaderConfig config;
        config.flash = emulator::OldFirmwareFlash();
        if (!c.bootFlag) {
            std::fill_n(config.flash.begin(), kFlashBlockSize, std::uint8_t{0xFF});
        }
        config.bootFlag = c.bootFlag;
        config.bootloaderIdentity = c.bootloaderIdentity;
        auto& reader = host.AttachReader('E', config);
        ASSERT_EQ(reader.Mode(), ReaderMode::Bootloader);

        UpdateClient();

        ExpectedRun expected;
        expected.Program(config.flash);
        expected.Prompt();
        EXPECT_EQ(host.Console(), expected.console);
        EXPECT_EQ(reader.Transcript(), expected.transcript);
        EXPECT_EQ(host.Sleeps(), expected.sleeps);
        EXPECT_EQ(FirmwareImage, stored_);
        host.Clock().Advance(emulator::kDefaultRestartMs);
        EXPECT_EQ(reader.PresentedIdentity(), "N64_KRN03_RV315");
    }
}

TEST_F(UpdateFlowTest, OnlyBlockZeroIsWrittenWhenTheOthersAreCorrect) {
    // What an update interrupted after block 1 leaves: blocks 1..29 new, block 0 erased.
    emulator::ReaderConfig config;
    config.flash.assign(stored_.begin(), stored_.end());
    std::fill_n(config.flash.begin(), kFlashBlockSize, std::uint8_t{0xFF});
    auto& reader = host_.AttachReader('E', config);

    UpdateClient();

    ExpectedRun expected;
    expected.Program(config.flash);
    expected.Prompt();
    ExpectRun(reader, expected);
    EXPECT_EQ(host_.Sleeps(), std::vector<std::uint32_t>{300});
    ExpectNewFirmware(reader);
}

TEST_F(UpdateFlowTest, ABlockThatNeverVerifiesLeavesTheReaderInItsBootloader) {
    auto& reader = AttachN64Reader('E');
    reader.Faults().stuckBlock = 17;
    const std::vector<std::uint8_t> oldFlash(reader.Flash().begin(), reader.Flash().end());

    UpdateClient();

    ExpectedRun expected;
    expected.EnterBootloader();
    const auto flashAfter = expected.Program(oldFlash, 17);
    expected.Prompt();
    ExpectRun(reader, expected);
    EXPECT_TRUE(std::equal(flashAfter.begin(), flashAfter.end(), reader.Flash().begin()));
    EXPECT_TRUE(reader.BootFlag());
    host_.Clock().Advance(60'000);
    EXPECT_EQ(reader.Mode(), ReaderMode::Bootloader);

    // The block works again: the next run finds the bootloader and completes.
    reader.Faults().stuckBlock.reset();
    ResetRecords(reader);
    UpdateClient();
    ExpectedRun second;
    second.Program(flashAfter);
    second.Prompt();
    EXPECT_EQ(host_.Console(), second.console);
    EXPECT_EQ(reader.Transcript(), second.transcript);
    ExpectNewFirmware(reader);
}

TEST_F(UpdateFlowTest, ReaderNotBackInItsBootloader) {
    struct Case {
        const char* name;
        void (*fault)(emulator::ReaderFaults&);
    };
    const Case cases[] = {
        {"restart slower than the wait", [](auto& f) { f.restartMs = 5001; }},
        {"back under another letter", [](auto& f) { f.returnLetter = 'F'; }},
        {"never back", [](auto& f) { f.neverReturns = true; }},
        {"back in firmware mode", [](auto& f) { f.returnsInFirmware = true; }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        emulator::EmulatedHost host;
        emulator::ScopedHost scoped(host);
        ResetUpdateGlobals();
        emulator::ReaderConfig config;
        c.fault(config.faults);
        auto& reader = host.AttachReader('E', config);

        UpdateClient();

        ExpectedRun expected;
        expected.EnterBootloader();
        expected.Red("Device(N64_KRN03_RV300) not in bootloader mode,please try again.\n");
        expected.Prompt();
        EXPECT_EQ(host.Console(), expected.console);
        EXPECT_EQ(reader.Transcript(), expected.transcript);
        EXPECT_EQ(host.Sleeps(), expected.sleeps);
        EXPECT_EQ(FirmwareImage, stored_);
    }
}

TEST_F(UpdateFlowTest, CommandFileFailures) {
    struct Case {
        const char* name;
        std::uint32_t failingWrite;  // 1-based
        void (*expect)(ExpectedRun&);
    };
    const Case cases[] = {
        {"SetBootMode", 1,
         [](ExpectedRun& e) {
             Announce(e);
             e.Red("set bootloader error.\n");
         }},
        {"Reboot", 2,
         [](ExpectedRun& e) {
             Announce(e);
             e.transcript.push_back("F0 07 SetBootMode mode=1");
             e.Red("set reboot error.\n");
         }},
        {"UpdateBegin", 3,
         [](ExpectedRun& e) {
             e.EnterBootloader();
             e.Green("Start update firmware.\n");
             e.Red("update init error.\n");
         }},
        {"ReadSerial", 4,
         [](ExpectedRun& e) {
             e.EnterBootloader();
             e.Green("Start update firmware.\n");
             e.transcript.push_back("F0 0A UpdateBegin");
             e.Red("read serial number error.\n");
         }},
    };
    for (const auto& c : cases) {
        for (const bool openFails : {true, false}) {  // otherwise the write fails
            SCOPED_TRACE(std::string(c.name) + (openFails ? ": open fails" : ": write fails"));
            emulator::EmulatedHost host;
            emulator::ScopedHost scoped(host);
            ResetUpdateGlobals();
            emulator::ReaderConfig config;
            (openFails ? config.faults.failCommandOpenAt : config.faults.failCommandWriteAt) =
                c.failingWrite;
            auto& reader = host.AttachReader('E', config);

            UpdateClient();

            ExpectedRun expected;
            c.expect(expected);
            expected.Prompt();
            EXPECT_EQ(host.Console(), expected.console);
            EXPECT_EQ(reader.Transcript(), expected.transcript);
            EXPECT_EQ(host.CommandWrites().size(), c.failingWrite) << "nothing sent afterwards";
            EXPECT_TRUE(std::equal(reader.Flash().begin(), reader.Flash().end(),
                                   emulator::OldFirmwareFlash().begin()));
            EXPECT_EQ(FirmwareImage, stored_);
        }
    }
}

TEST_F(UpdateFlowTest, SerialReplyCutShort) {
    emulator::ReaderConfig config;
    config.bootFlag = true;
    auto& reader = host_.AttachReader('E', config);
    ASSERT_EQ(IdentifyDevice(0, 0), 0);
    ASSERT_TRUE(IsBootloaderIdentity());
    reader.Faults().statusFileLength = 4;  // the 8-byte serial cannot be read whole

    ProgramFirmware();

    ExpectedRun expected;
    expected.Green("Start update firmware.\n");
    expected.Red("read serial number error.\n");
    EXPECT_EQ(host_.Console(), expected.console);
    EXPECT_EQ(reader.Transcript(),
              (std::vector<std::string>{"F0 0A UpdateBegin", "F0 04 ReadSerial"}));
    EXPECT_EQ(FirmwareImage, stored_);
}

TEST_F(UpdateFlowTest, PowerCutInTheBlockLoopNeverBricksTheReader) {
    auto& reader = AttachN64Reader('E');
    // Sectors: SetBootMode, Reboot, UpdateBegin, ReadSerial, SetBootMode, three for block 0, then
    // block 29 (checksum, erase, four writes, checksum) and block 28 up to its second write sector.
    reader.Faults().powerCutAfterSector = 8 + 7 + 4;

    UpdateClient();

    EXPECT_EQ(reader.Transcript().size(), 19u);
    EXPECT_EQ(reader.Transcript().back(), "F0 E4 WriteFlash address=0800B100 length=256");
    const std::string text = host_.ConsoleText();
    EXPECT_NE(text.find("\nUpdate block 28 failure\n"), std::string::npos);
    EXPECT_NE(text.find("\nUpdate block 0 failure\n"), std::string::npos);
    EXPECT_TRUE(text.ends_with("\nUpdate firmware failure.try again\npress any key to exit.\n"));
    EXPECT_EQ(FirmwareImage, stored_);

    // Power comes back: block 0 is erased, so the reader starts into its bootloader whatever the
    // boot flag says, and the next run completes.
    reader.Faults().powerCutAfterSector.reset();
    reader.PowerOn();
    EXPECT_EQ(reader.Mode(), ReaderMode::Bootloader);
    const std::vector<std::uint8_t> flashAfterCut(reader.Flash().begin(), reader.Flash().end());
    ResetRecords(reader);
    UpdateClient();
    ExpectedRun expected(host_.Clock().NowMs());
    expected.Program(flashAfterCut);
    expected.Prompt();
    EXPECT_EQ(host_.Console(), expected.console);
    EXPECT_EQ(reader.Transcript(), expected.transcript);
    ExpectNewFirmware(reader);
}

}  // namespace
}  // namespace reader
