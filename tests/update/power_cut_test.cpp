// The power-cut campaign as a test: no interruption of an update from firmware 300 (a power cut,
// a fault of the reader, or the client's process stopped) may leave a reader that starts a
// half-written firmware, and every case must end, within two further runs of the client, with the
// reader running the new firmware.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <map>
#include <string>
#include <vector>

#include "commands/maintenance.hpp"
#include "emulator/emulated_host.hpp"
#include "link/device_files.hpp"
#include "link/discovery.hpp"
#include "platform/host.hpp"
#include "proof/power_cut_campaign.hpp"
#include "update/release_data.hpp"
#include "update/update_client.hpp"

namespace reader {
namespace {

using emulator::ReaderMode;

TEST(PowerCutCampaign, NoCaseBricksTheReaderAndEveryCaseRecoversWithinTwoRuns) {
    const std::vector<proof::CaseOutcome> outcomes = proof::RunPowerCutCampaign();

    std::map<std::string, std::size_t> perGroup;
    for (const auto& outcome : outcomes) {
        ++perGroup[outcome.group];
        SCOPED_TRACE(outcome.group + " / " + outcome.name);
        EXPECT_FALSE(outcome.bricked) << outcome.brickedHow;
        EXPECT_NE(outcome.runsToRecover, 0) << "not running the new firmware after two runs";
        EXPECT_EQ(outcome.wrong, "");
    }

    // A full update from 300 sends 220 command sectors: SetBootMode, Reboot, UpdateBegin,
    // ReadSerial, SetBootMode again, block 0's checksum, erase and checksum, then 7 for each of
    // the 30 blocks (checksum, erase, four write sectors, checksum), then SetBootMode and Reboot.
    // It waits 31 times: once after the restart and once before each block's write.
    EXPECT_EQ(perGroup["power cut after a command sector"], 220u);
    // From the bootloader the first two sectors (SetBootMode, Reboot) are not needed.
    EXPECT_EQ(perGroup["power cut after a sector, in bootloader"], 218u);
    // The client stopped after each sector of the update from 300, the reader powered.
    EXPECT_EQ(perGroup["host stopped after a command sector"], 220u);
    EXPECT_EQ(perGroup["power cut in a wait, back after the run"], 31u);
    EXPECT_EQ(perGroup["power cut in a wait, back before it ends"], 31u);
    EXPECT_EQ(perGroup["flash block never verifies"], 31u);
    // One case per write of the command file (130 writes), for a failing open and a failing write.
    EXPECT_EQ(perGroup["command file open fails once"], 130u);
    EXPECT_EQ(perGroup["command file write fails once"], 130u);
    EXPECT_GT(perGroup["restart slow, elsewhere or wrong"], 0u);
    EXPECT_GT(perGroup["status file cut short or misread"], 0u);
    EXPECT_GT(perGroup["command file fails from one open on"], 0u);

    const auto totals = proof::Tally(outcomes);
    ASSERT_FALSE(totals.empty());
    EXPECT_EQ(totals.back().group, "total");
    EXPECT_EQ(totals.back().tried, outcomes.size());
    EXPECT_EQ(totals.back().bricked, 0u);
}

// What the campaign's host-stopped group rests on: a process stopped inside a write of several
// sectors gets the sectors up to the chosen one to the reader, and after that nothing it does
// reaches the reader, the clock or the console; a new process reaches them again.
TEST(HostStop, NothingAfterTheChosenSectorReachesAnything) {
    ResetUpdateGlobals();
    emulator::EmulatedHost host;
    emulator::ScopedHost scoped(host);
    emulator::ReaderConfig config;
    config.bootFlag = true;
    auto& reader = host.AttachReader('E', config);
    ASSERT_EQ(reader.Mode(), ReaderMode::Bootloader);
    DeviceDrive = 'E';
    const std::vector<std::uint8_t> block(kFlashBlockSize, 0x42);

    host.StopProcessAfterSector(3);
    ASSERT_EQ(UpdateBegin(), 512);
    EXPECT_EQ(WriteFlash(kFlashBase, block.data(), kFlashBlockSize), 0);
    EXPECT_TRUE(host.ProcessStopped());
    const std::vector<std::string> received = {
        "F0 0A UpdateBegin",
        "F0 E4 WriteFlash address=08004000 length=256",
        "F0 E4 WriteFlash address=08004100 length=256",
    };
    EXPECT_EQ(reader.Transcript(), received);

    const std::uint64_t now = host.Clock().NowMs();
    std::array<std::uint8_t, 2> reply{};
    EXPECT_EQ(EraseFlashBlock(kFlashBase), 0);
    EXPECT_EQ(StatusRead(0, reply.data(), 2), 0u);
    EXPECT_EQ(FindDevice(0, nullptr), 0);
    host.Sleep(300);
    platform::StreamPrintf("gone\n");
    EXPECT_EQ(host.ReadKey(), -1);
    EXPECT_EQ(reader.Transcript(), received);
    EXPECT_EQ(host.Clock().NowMs(), now);
    EXPECT_EQ(host.ConsoleText(), "");
    EXPECT_TRUE(reader.Present()) << "the reader keeps running";

    host.StartProcess();
    EXPECT_EQ(FindDevice(0, nullptr), 1);
    EXPECT_EQ(EraseFlashBlock(kFlashBase), 512);
    EXPECT_EQ(reader.Transcript().back(), "F0 E0 EraseFlashBlock address=08004000");
}

// The watch that the campaign's verdict rests on: a reader started over each flash, with the
// boot flag as given, is or is not a bricked reader.
TEST(BrickWatch, TellsAHalfWrittenFirmwareFromAReaderThatIsSafe) {
    const std::vector<std::uint8_t> oldFirmware = emulator::OldFirmwareFlash();
    const std::vector<std::uint8_t> image(FirmwareImage.begin(), FirmwareImage.end());
    constexpr std::size_t kBlock = kFlashBlockSize;

    const auto withBlock = [&](std::size_t block, std::vector<std::uint8_t> from) {
        std::vector<std::uint8_t> flash = image;
        std::copy_n(from.begin() + static_cast<std::ptrdiff_t>(block * kBlock), kBlock,
                    flash.begin() + static_cast<std::ptrdiff_t>(block * kBlock));
        return flash;
    };
    std::vector<std::uint8_t> erased(image.size(), 0xFF);
    // Block 0 with its first 256-byte chunk written and the rest still erased.
    std::vector<std::uint8_t> halfBlock0 = withBlock(0, erased);
    std::copy_n(image.begin(), 256, halfBlock0.begin());

    struct Case {
        const char* name;
        std::vector<std::uint8_t> flash;
        bool bootFlag;
        ReaderMode startsIn;
        bool bricked;
    };
    const Case cases[] = {
        {"the old firmware", oldFirmware, false, ReaderMode::Firmware, false},
        {"the release image", image, false, ReaderMode::Firmware, false},
        {"new but for one old block", withBlock(5, oldFirmware), false, ReaderMode::Firmware, true},
        {"new but for one erased block", withBlock(17, erased), false, ReaderMode::Firmware, true},
        {"block 0 half written", halfBlock0, false, ReaderMode::Firmware, true},
        {"block 0 half written, boot flag set", halfBlock0, true, ReaderMode::Bootloader, false},
        {"block 0 erased", withBlock(0, erased), false, ReaderMode::Bootloader, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        emulator::EmulatedHost host;
        emulator::ReaderConfig config;
        config.bootFlag = c.bootFlag;
        config.flash = c.flash;
        auto& reader = host.AttachReader('E', config);
        proof::BrickWatch watch(reader, oldFirmware, image);

        reader.PowerCut();
        reader.PowerOn();

        EXPECT_EQ(watch.Starts(), 1u);
        EXPECT_EQ(reader.Mode(), c.startsIn);
        EXPECT_EQ(watch.Bricked(), c.bricked) << watch.What();
    }
}

}  // namespace
}  // namespace reader
