// The whole update, run by UpdateClient against the emulated reader in virtual time. Each run is
// written down event by event (console writes with their colour, command writes with the sectors
// the reader took, reads, waits, the key; see support/run_log.hpp) and compared whole: the three
// long runs with golden files in tests/update/golden/, read line by line against the update
// sequence when they were written, the short ones with the text in the test.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <fstream>
#include <span>
#include <string>
#include <vector>

#include "commands/maintenance.hpp"
#include "platform/host.hpp"
#include "support/client_fixture.hpp"
#include "support/run_log.hpp"
#include "update/release_data.hpp"
#include "update/update_client.hpp"

namespace reader {
namespace {

using emulator::ReaderMode;

std::span<const std::uint8_t> Block(std::span<const std::uint8_t> bytes, std::size_t block) {
    return bytes.subspan(block * kFlashBlockSize, kFlashBlockSize);
}

bool SameBytes(std::span<const std::uint8_t> a, std::span<const std::uint8_t> b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end());
}

// Runs the client once, as the program does, with every event written down.
std::string LoggedRun(emulator::EmulatedHost& host, const emulator::ReaderModel& reader) {
    testing::RunLogHost log(host, reader);
    emulator::ScopedHost scoped(log);
    UpdateClient();
    return log.Log();
}

// Compares a log with its golden file, whole. On a difference the log is also written into the
// tests' build folder as NAME.actual, for a look with diff.
void ExpectGolden(const std::string& log, const std::string& name) {
    const std::string golden = testing::ReadGoldenFile(std::string(READER_GOLDEN_DIR) + "/" + name);
    if (log != golden) {
        std::ofstream(std::string(READER_GOLDEN_ACTUAL_DIR) + "/" + name + ".actual",
                      std::ios::binary)
            << log;
    }
    ASSERT_FALSE(golden.empty()) << "cannot read the golden file " << name;
    EXPECT_EQ(log, golden) << name;
}

// The block numbers of the WriteFlash runs in a transcript, in the order they were written.
std::vector<std::uint32_t> WrittenBlocks(const std::vector<std::string>& transcript) {
    std::vector<std::uint32_t> blocks;
    for (const auto& line : transcript) {
        unsigned address = 0;
        if (std::sscanf(line.c_str(), "F0 E4 WriteFlash address=%X", &address) == 1 &&
            (address - kFlashBase) % kFlashBlockSize == 0) {
            blocks.push_back((address - kFlashBase) / kFlashBlockSize);
        }
    }
    return blocks;
}

class UpdateFlowTest : public testing::ClientFixture {
  protected:
    UpdateFlowTest() {
        host_.AddDrive('C', platform::DriveType::Fixed, {}, "SYSTEM");
        host_.SetInput("\n");
    }

    // What every run must leave: the image in memory in its stored form, no sector rejected.
    static void ExpectCleanRun(const emulator::ReaderModel& reader) {
        EXPECT_TRUE(SameBytes(FirmwareImage, StoredFirmwareImage()))
            << "the image must be back in its stored form";
        EXPECT_EQ(reader.SectorsRejected(), 0u);
    }

    // After the closing restart the reader runs the new firmware; a second run needs nothing.
    void ExpectNewFirmware(emulator::ReaderModel& reader) {
        host_.Clock().Advance(emulator::kDefaultRestartMs);
        ASSERT_EQ(reader.Mode(), ReaderMode::Firmware);
        EXPECT_EQ(reader.PresentedIdentity(), "N64_KRN03_RV315");
        EXPECT_TRUE(SameBytes(reader.Flash(), StoredFirmwareImage()));
        EXPECT_FALSE(reader.BootFlag());

        ResetRecords(reader);
        UpdateClient();
        EXPECT_EQ(host_.ConsoleText(),
                  "Device N64_KRN03_RV315 not need update firmware\npress any key to exit.\n");
        EXPECT_TRUE(reader.Transcript().empty());
    }

    // The user runs the program again: a fresh start of its globals, the records cleared.
    void ResetRecords(emulator::ReaderModel& reader) {
        ResetUpdateGlobals();
        reader.ClearTranscript();
        host_.ClearConsole();
        host_.SetInput("\n");
    }
};

TEST_F(UpdateFlowTest, FullUpdateFromFirmware300) {
    auto& reader = AttachN64Reader('E');

    ExpectGolden(LoggedRun(host_, reader), "update_from_300.txt");
    ExpectCleanRun(reader);
    ExpectNewFirmware(reader);
}

// A reader that an earlier, interrupted update left in its bootloader (block 0 erased, the other
// blocks still old), whichever bootloader it runs and whatever became of the boot flag: the same
// programming, with no restart first.
TEST_F(UpdateFlowTest, ReaderAlreadyInItsBootloaderIsProgrammedAtOnce) {
    struct Case {
        std::string bootloaderIdentity;
        bool bootFlag;
    };
    const Case cases[] = {
        {"BOOT_N64Q2", true},
        {"BOOT_N64Q2", false},
        {"BOOT_N64_R2_400", true},
        {"BOOT_N64_R2_499", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.bootloaderIdentity + (c.bootFlag ? ", boot flag set" : ", flag clear"));
        emulator::EmulatedHost host;
        emulator::ScopedHost scoped(host);
        ResetUpdateGlobals();
        host.AddDrive('C', platform::DriveType::Fixed, {}, "SYSTEM");
        host.SetInput("\n");
        emulator::ReaderConfig config;
        config.flash = emulator::OldFirmwareFlash();
        std::fill_n(config.flash.begin(), kFlashBlockSize, emulator::kErasedByte);
        config.bootFlag = c.bootFlag;
        config.bootloaderIdentity = c.bootloaderIdentity;
        auto& reader = host.AttachReader('E', config);
        ASSERT_EQ(reader.Mode(), ReaderMode::Bootloader);

        ExpectGolden(LoggedRun(host, reader), "update_from_bootloader.txt");
        ExpectCleanRun(reader);
        host.Clock().Advance(emulator::kDefaultRestartMs);
        EXPECT_EQ(reader.PresentedIdentity(), "N64_KRN03_RV315");
        EXPECT_TRUE(SameBytes(reader.Flash(), StoredFirmwareImage()));
    }
}

TEST_F(UpdateFlowTest, OnlyBlockZeroIsWrittenWhenTheOthersAreCorrect) {
    // What an update interrupted after block 1 leaves: blocks 1..29 new, block 0 erased.
    emulator::ReaderConfig config;
    config.flash.assign(StoredFirmwareImage().begin(), StoredFirmwareImage().end());
    std::fill_n(config.flash.begin(), kFlashBlockSize, emulator::kErasedByte);
    auto& reader = host_.AttachReader('E', config);

    UpdateClient();

    std::string progress;
    for (int block = 29; block >= 1; --block) {
        progress += platform::FormatText("Update block %d success\r", block);
    }
    EXPECT_EQ(host_.ConsoleText(),
              "Start update firmware.\nSN:3A7C19E4\n"
              "Erase block 0 (C084).\nErase block 0 finished C084\n" +
                  progress +
                  "Update block 0 (c084)\r: success"
                  "\nUpdate firmware success.\npress any key to exit.\n");
    EXPECT_EQ(WrittenBlocks(reader.Transcript()), std::vector<std::uint32_t>{0});
    EXPECT_EQ(host_.Sleeps(), std::vector<std::uint32_t>{300});
    ExpectCleanRun(reader);
    ExpectNewFirmware(reader);
}

// Block 17 has stuck bits: it never reads back as written, the run goes on to block 0, erases block
// 0 again and leaves the reader in its bootloader. The stuck bits spoil only how the block reads:
// once it works again, the next run finds every block but block 0 correct and writes block 0 only.
TEST_F(UpdateFlowTest, ABlockThatNeverVerifiesLeavesTheReaderInItsBootloader) {
    auto& reader = AttachN64Reader('E');
    reader.Faults().stuckBlock = 17;

    testing::RunLogHost log(host_, reader);
    {
        emulator::ScopedHost scoped(log);
        UpdateClient();
        ExpectCleanRun(reader);

        const auto flash = reader.Flash();
        EXPECT_TRUE(std::all_of(flash.begin(), flash.begin() + kFlashBlockSize, [](std::uint8_t b) {
            return b == emulator::kErasedByte;
        })) << "block 0 erased again";
        for (std::size_t block = 1; block < kFlashBlockCount; ++block) {
            EXPECT_TRUE(SameBytes(Block(flash, block), Block(StoredFirmwareImage(), block)))
                << "block " << block;
        }
        EXPECT_TRUE(reader.BootFlag());
        host_.Clock().Advance(60'000);
        EXPECT_EQ(reader.Mode(), ReaderMode::Bootloader);

        reader.Faults().stuckBlock.reset();
        log.Note("block 17 works again; the user runs the program again");
        ResetRecords(reader);
        UpdateClient();
    }
    ExpectGolden(log.Log(), "block_never_verifies.txt");
    ExpectCleanRun(reader);
    ExpectNewFirmware(reader);
}

// The first run identifies the reader, restarts it, waits, and probes drive E once; a reader that
// is not there (yet), or not in its bootloader, ends the run with the identity last read.
TEST_F(UpdateFlowTest, ReaderNotBackInItsBootloader) {
    struct Case {
        const char* name;
        void (*fault)(emulator::ReaderFaults&);
        bool backOnE;  // the probe after the wait reads an identity
    };
    const Case cases[] = {
        {"restart slower than the wait", [](auto& f) { f.restartMs = 5001; }, false},
        {"back under another letter", [](auto& f) { f.returnLetter = 'F'; }, false},
        {"never back", [](auto& f) { f.neverReturns = true; }, false},
        {"back in firmware mode", [](auto& f) { f.returnsInFirmware = true; }, true},
    };
    const std::string identityRead = "read E:\\T-DRIVER.DMP 2048 bytes from 0x8000 -> 2048\n";
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        emulator::EmulatedHost host;
        emulator::ScopedHost scoped(host);
        ResetUpdateGlobals();
        host.SetInput("\n");
        emulator::ReaderConfig config;
        c.fault(config.faults);
        auto& reader = host.AttachReader('E', config);

        EXPECT_EQ(LoggedRun(host, reader),
                  identityRead +
                      "direct green \"Try to reboot device to bootloader\\n\"\n"
                      "direct plain \"Please wait......\\n\"\n"
                      "write E:\\CMD.CMD 512 bytes at 0 ms -> 512\n"
                      "    F0 07 SetBootMode mode=1\n"
                      "write E:\\CMD.CMD 512 bytes at 0 ms -> 512\n"
                      "    F0 FF Reboot\n"
                      "sleep 5000 ms\n" +
                      (c.backOnE ? identityRead : "") +
                      "direct red \"Device(N64_KRN03_RV300) not in bootloader mode,please try "
                      "again.\\n\"\n"
                      "stream plain \"press any key to exit.\\n\"\n"
                      "key -> 10\n");
        ExpectCleanRun(reader);
    }
}

// The four commands before the first flash command stop the run with their own message when the
// command file cannot be opened or written; nothing is sent after them.
TEST_F(UpdateFlowTest, CommandFileFailures) {
    const std::string identityRead = "read E:\\T-DRIVER.DMP 2048 bytes from 0x8000 -> 2048\n";
    const std::string announce =
        "direct green \"Try to reboot device to bootloader\\n\"\n"
        "direct plain \"Please wait......\\n\"\n";
    const std::string bootFlagSent =
        "write E:\\CMD.CMD 512 bytes at 0 ms -> 512\n"
        "    F0 07 SetBootMode mode=1\n";
    const std::string restarted = bootFlagSent +
                                  "write E:\\CMD.CMD 512 bytes at 0 ms -> 512\n"
                                  "    F0 FF Reboot\n"
                                  "sleep 5000 ms\n" +
                                  identityRead + "direct green \"Start update firmware.\\n\"\n";
    const std::string prompt =
        "stream plain \"press any key to exit.\\n\"\n"
        "key -> 10\n";
    struct Case {
        const char* name;
        std::uint32_t failingWrite;  // 1-based
        std::string log;
    };
    const Case cases[] = {
        {"SetBootMode", 1,
         identityRead + announce + "write E:\\CMD.CMD 512 bytes at 0 ms -> failed\n" +
             "direct red \"set bootloader error.\\n\"\n" + prompt},
        {"Reboot", 2,
         identityRead + announce + bootFlagSent +
             "write E:\\CMD.CMD 512 bytes at 0 ms -> failed\n" +
             "direct red \"set reboot error.\\n\"\n" + prompt},
        {"UpdateBegin", 3,
         identityRead + announce + restarted +
             "write E:\\CMD.CMD 512 bytes at 5000 ms -> failed\n" +
             "direct red \"update init error.\\n\"\n" + prompt},
        {"ReadSerial", 4,
         identityRead + announce + restarted + "write E:\\CMD.CMD 512 bytes at 5000 ms -> 512\n" +
             "    F0 0A UpdateBegin\n" + "write E:\\CMD.CMD 512 bytes at 5000 ms -> failed\n" +
             "direct red \"read serial number error.\\n\"\n" + prompt},
    };
    for (const auto& c : cases) {
        for (const bool openFails : {true, false}) {  // otherwise the write fails
            SCOPED_TRACE(std::string(c.name) + (openFails ? ": open fails" : ": write fails"));
            emulator::EmulatedHost host;
            emulator::ScopedHost scoped(host);
            ResetUpdateGlobals();
            host.SetInput("\n");
            emulator::ReaderConfig config;
            (openFails ? config.faults.failCommandOpenAt : config.faults.failCommandWriteAt) =
                c.failingWrite;
            auto& reader = host.AttachReader('E', config);

            EXPECT_EQ(LoggedRun(host, reader), c.log);
            EXPECT_TRUE(SameBytes(reader.Flash(), emulator::OldFirmwareFlash()));
            ExpectCleanRun(reader);
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

    testing::RunLogHost log(host_, reader);
    {
        emulator::ScopedHost scoped(log);
        ProgramFirmware();
    }
    EXPECT_EQ(log.Log(),
              "direct green \"Start update firmware.\\n\"\n"
              "write E:\\CMD.CMD 512 bytes at 0 ms -> 512\n"
              "    F0 0A UpdateBegin\n"
              "write E:\\CMD.CMD 512 bytes at 0 ms -> 512\n"
              "    F0 04 ReadSerial\n"
              "read E:\\T-DRIVER.DMP 2048 bytes from 0x0 -> 4\n"
              "direct red \"read serial number error.\\n\"\n");
    ExpectCleanRun(reader);
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
    ExpectCleanRun(reader);

    // Power comes back: block 0 is erased, so the reader starts into its bootloader whatever the
    // boot flag says, and the next run completes. Block 29 was finished before the cut and is
    // left alone; block 28, half written, and every block below it are programmed.
    reader.Faults().powerCutAfterSector.reset();
    reader.PowerOn();
    EXPECT_EQ(reader.Mode(), ReaderMode::Bootloader);
    ResetRecords(reader);
    UpdateClient();
    std::vector<std::uint32_t> below29(29);
    for (std::uint32_t k = 0; k < 29; ++k) {
        below29[k] = 28 - k;
    }
    EXPECT_EQ(WrittenBlocks(reader.Transcript()), below29);
    EXPECT_NE(host_.ConsoleText().find("Update block 29 success\r"), std::string::npos);
    EXPECT_TRUE(
        host_.ConsoleText().ends_with("\nUpdate firmware success.\npress any key to exit.\n"));
    ExpectCleanRun(reader);
    ExpectNewFirmware(reader);
}

}  // namespace
}  // namespace reader
