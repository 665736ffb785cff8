#include "proof/power_cut_campaign.hpp"

#include <algorithm>
#include <functional>
#include <utility>

#include "commands/maintenance.hpp"
#include "drivers/system_driver.hpp"
#include "emulator/emulated_host.hpp"
#include "link/bytes.hpp"
#include "link/command_sector.hpp"
#include "link/crc16.hpp"
#include "link/discovery.hpp"
#include "platform/host.hpp"
#include "update/release_data.hpp"
#include "update/update_client.hpp"

namespace reader::proof {
namespace {

using emulator::EmulatedHost;
using emulator::ReaderFaults;
using emulator::ReaderMode;
using emulator::ReaderModel;
using SleepPhase = EmulatedHost::SleepPhase;

constexpr char kReaderLetter = 'E';
constexpr char kOtherLetter = 'F';

// The user starts the program again after this long; every restart of the reader has ended by
// then, whatever the faults made of it.
constexpr std::uint64_t kPauseBetweenRunsMs = 60'000;
constexpr int kMaxRecoveryRuns = 2;

// Index of the client's wait after the restart among its Sleeps; the 300 ms waits follow, one per
// programmed block.
constexpr std::size_t kRestartWaitIndex = 0;

// A status file of one byte: neither a two-byte checksum reply nor the identity can be read.
constexpr std::uint32_t kShortStatusLength = 1;
// The identity sits at 0x8000..0x800F: one byte short of it, and exactly up to its end.
constexpr std::uint32_t kStatusEndsInsideIdentity = 0x800F;
constexpr std::uint32_t kStatusEndsAfterIdentity = 0x8010;
constexpr std::uint32_t kIdentityVersionByte = 0x800C;  // the '3' of the version digits
constexpr std::uint32_t kIdentityLastDigit = 0x800E;

// What the client prints, as the tests of the update flow know it.
constexpr const char* kSuccessMessage = "\nUpdate firmware success.\n";
constexpr const char* kFailureMessage = "\nUpdate firmware failure.try again\n";
constexpr const char* kNotInBootloader =
    "Device(N64_KRN03_RV300) not in bootloader mode,please try again.\n";
constexpr const char* kNoReader = "Firmware update client not used for your device()\n";
constexpr const char* kPrompt = "press any key to exit.\n";

using platform::FormatText;

// Counts as printf takes them everywhere (the Windows C library knows no %zu).
unsigned Count(std::size_t count) {
    return static_cast<unsigned>(count);
}

std::string BlockFailure(std::uint32_t block) {
    return FormatText("\nUpdate block %u failure\n", static_cast<unsigned>(block));
}

bool SameBytes(std::span<const std::uint8_t> a, std::span<const std::uint8_t> b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end());
}

// One command-file write of the client, decoded from its first sector.
struct SentCommand {
    std::uint8_t operation;
    std::uint8_t mode;  // SetBootMode only
    std::uint32_t address;
};

SentCommand Decode(std::span<const std::uint8_t> write) {
    if (write.size() < kSectorSize) {
        return {0, 0, 0};
    }
    return {write[kSectorOperationOffset], write[kBootModeOffset],
            link::GetLe32(write, kFlashAddressOffset)};
}

std::uint32_t BlockOf(std::uint32_t address) {
    return (address - kFlashBase) / kFlashBlockSize;
}

// How the reader is found when the user starts the update: running the old firmware, or already in
// its bootloader with the boot flag clear because block 0 is erased (an update that was cut short
// by something the campaign does not model, such as the reader being unplugged mid-erase).
enum class Start : std::uint8_t { OldFirmware, BootloaderFlagClear };

// A reader on drive E, in a host of its own that is installed while the stage lives, watched at
// every start.
class Stage {
  public:
    explicit Stage(Start start = Start::OldFirmware)
        : installed_(host_),
          reader_(host_.AttachReader(kReaderLetter, Initial(start))),
          watch_(reader_, reader_.Flash(), StoredFirmwareImage()) {}

    EmulatedHost& Host() { return host_; }
    ReaderModel& Reader() { return reader_; }
    BrickWatch& Watch() { return watch_; }

    // One run of the program as the user starts it, with the globals as the program starts with
    // them. Returns its console text; a run that does not leave the image in memory in its stored
    // form is noted in wrong.
    std::string Run(std::string& wrong) {
        ResetUpdateGlobals();
        host_.ClearConsole();
        host_.SetInput("\n");
        UpdateClient();
        if (!SameBytes(FirmwareImage, StoredFirmwareImage())) {
            wrong += "the image in memory is not back in its stored form; ";
        }
        return host_.ConsoleText();
    }

    // Whether the reader runs the new firmware, with every block as the release has it.
    bool RunsNewFirmware() {
        if (!reader_.Present() || reader_.Mode() != ReaderMode::Firmware ||
            reader_.PresentedIdentity() != kReleaseIdentity ||
            !SameBytes(reader_.Flash(), StoredFirmwareImage())) {
            return false;
        }
        for (std::uint32_t block = 0; block < kFlashBlockCount; ++block) {
            const auto bytes = reader_.Flash().subspan(block * kFlashBlockSize, kFlashBlockSize);
            if (link::Crc16Xmodem(bytes) != BlockChecksumTable[block]) {
                return false;
            }
        }
        return true;
    }

  private:
    static emulator::ReaderConfig Initial(Start start) {
        emulator::ReaderConfig config;
        config.flash = emulator::OldFirmwareFlash();
        if (start == Start::BootloaderFlagClear) {
            std::fill_n(config.flash.begin(), kFlashBlockSize, emulator::kErasedByte);
        }
        return config;
    }

    EmulatedHost host_;
    emulator::ScopedHost installed_;
    ReaderModel& reader_;
    BrickWatch watch_;
};

// What a clean full update from firmware 300 sends and waits: the campaign's cases are laid out
// along it.
struct Reference {
    std::vector<std::string> sectors;    // one transcript line per command sector
    std::vector<SentCommand> commands;   // one per write of the command file
    std::vector<std::uint32_t> waits;    // every Sleep, in milliseconds
    std::vector<std::uint32_t> written;  // the block of each WriteFlash, in the order written
    bool completed = false;
};

Reference ReferenceRun(Start start) {
    Reference reference;
    Stage stage(start);
    std::string wrong;
    const std::string text = stage.Run(wrong);
    stage.Host().Clock().Advance(kPauseBetweenRunsMs);
    reference.completed = wrong.empty() && text.find(kSuccessMessage) != std::string::npos &&
                          stage.RunsNewFirmware() && !stage.Watch().Bricked();
    reference.sectors = stage.Reader().Transcript();
    for (const auto& write : stage.Host().CommandWrites()) {
        reference.commands.push_back(Decode(write.data));
        if (reference.commands.back().operation == kOpWriteFlash) {
            reference.written.push_back(BlockOf(reference.commands.back().address));
        }
    }
    reference.waits = stage.Host().Sleeps();
    return reference;
}

using Arrange = std::function<void(EmulatedHost&, ReaderModel&)>;

struct FaultCase {
    std::string group;
    std::string name;
    Arrange arrange;
    // Texts the faulted run must print.
    std::vector<std::string> messages;
    // The reader must be without power when the faulted run ends: the cut did happen.
    bool leavesPowerOff = false;
    Start start = Start::OldFirmware;
    // The client's process is stopped during the run: it prints nothing more, so the run ends
    // without the exit prompt, and the stop must have happened.
    bool stopsProcess = false;
};

// The messages of a run in which the command-file write at index (0-based, of the reference
// run's writes) is lost; with fromThenOn, every later one too. Each lost command has the effect
// its step of the update gives it: the four commands before programming stop the run with their
// own message; a lost checksum request leaves the previous reply in the status file; a lost erase
// leaves the old content under the new (the reader programs by clearing bits); a lost write
// leaves the block erased.
std::vector<std::string> MessagesForLostCommand(const Reference& reference, std::size_t index,
                                                bool fromThenOn) {
    const auto& commands = reference.commands;
    const SentCommand& lost = commands[index];
    const bool afterProgramming =
        (lost.operation == kOpSetBootMode && lost.mode == kBootIntoFirmware) ||
        (lost.operation == kOpReboot && index > 0 &&
         commands[index - 1].operation == kOpSetBootMode &&
         commands[index - 1].mode == kBootIntoFirmware);
    if (afterProgramming) {
        // The success has been printed before these two go out.
        return {kSuccessMessage};
    }
    // The boot flag set again as programming begins: an update from the firmware has set it
    // already, so losing it changes nothing; losing every command from it on fails every block.
    const bool bootFlagGuard = lost.operation == kOpSetBootMode &&
                               lost.mode == kBootIntoBootloader && index > 0 &&
                               commands[index - 1].operation == kOpReadSerial;
    if (bootFlagGuard) {
        return {fromThenOn ? kFailureMessage : kSuccessMessage};
    }
    switch (lost.operation) {
        case kOpSetBootMode:
            return {"set bootloader error.\n"};
        case kOpReboot:
            return {"set reboot error.\n"};
        case kOpUpdateBegin:
            return {"update init error.\n"};
        case kOpReadSerial:
            return {"read serial number error.\n"};
        default:
            break;
    }
    if (fromThenOn) {
        // Nothing reaches the reader any more: no block can verify.
        return {kFailureMessage};
    }
    const std::uint32_t block = BlockOf(lost.address);
    const bool nextIsWrite =
        index + 1 < commands.size() && commands[index + 1].operation == kOpWriteFlash;
    const bool previousWasWrite = index > 0 && commands[index - 1].operation == kOpWriteFlash;
    switch (lost.operation) {
        case kOpFlashBlockChecksum:
            // The check after a write reads the reply of the check before the erase: the old
            // content's checksum, a mismatch. A lost check before a block reads the reply of an
            // earlier command, which differs from this block's entry: the block is programmed.
            return previousWasWrite ? std::vector<std::string>{BlockFailure(block), kFailureMessage}
                                    : std::vector<std::string>{kSuccessMessage};
        case kOpEraseFlashBlock:
            // Block 0 was erased before the loop, so losing its second erase costs nothing; the
            // erase of block 0 before the loop is made good by the one in the loop.
            return nextIsWrite && block != 0
                       ? std::vector<std::string>{BlockFailure(block), kFailureMessage}
                       : std::vector<std::string>{kSuccessMessage};
        case kOpWriteFlash:
            return {BlockFailure(block), kFailureMessage};
        default:
            return {};
    }
}

// A power cut after every command sector of an update that starts in the bootloader with the
// boot flag clear: nothing but the boot flag the client sets keeps a half-written block 0 from
// being started.
std::vector<FaultCase> BootloaderPowerCutCases(const Reference& reference) {
    std::vector<FaultCase> cases;
    for (std::size_t n = 1; n <= reference.sectors.size(); ++n) {
        cases.push_back(
            {"power cut after a sector, in bootloader",
             FormatText("after sector %u: %s", static_cast<unsigned>(n),
                        reference.sectors[n - 1].c_str()),
             [n](EmulatedHost&, ReaderModel& reader) { reader.Faults().powerCutAfterSector = n; },
             {},
             true,
             Start::BootloaderFlagClear});
    }
    return cases;
}

// The client's process stopped right after every command sector of a full update from 300, as a
// closed console window or Ctrl-C would stop it, while the reader keeps its power: the rest of that
// write is lost, nothing the process does afterwards reaches the reader or the console, and the
// reader goes on from whatever it had received. Then the user starts the program again.
std::vector<FaultCase> HostStopCases(const Reference& reference) {
    std::vector<FaultCase> cases;
    for (std::size_t n = 1; n <= reference.sectors.size(); ++n) {
        cases.push_back({"host stopped after a command sector",
                         FormatText("after sector %u: %s", static_cast<unsigned>(n),
                                    reference.sectors[n - 1].c_str()),
                         [n](EmulatedHost& host, ReaderModel&) { host.StopProcessAfterSector(n); },
                         {},
                         false,
                         Start::OldFirmware,
                         true});
    }
    return cases;
}

std::vector<FaultCase> PowerCutCases(const Reference& reference) {
    std::vector<FaultCase> cases;
    for (std::size_t n = 1; n <= reference.sectors.size(); ++n) {
        cases.push_back(
            {"power cut after a command sector",
             FormatText("after sector %u: %s", static_cast<unsigned>(n),
                        reference.sectors[n - 1].c_str()),
             [n](EmulatedHost&, ReaderModel& reader) { reader.Faults().powerCutAfterSector = n; },
             {},
             true});
    }
    for (std::size_t wait = 0; wait < reference.waits.size(); ++wait) {
        const bool restartWait = wait == kRestartWaitIndex;
        const std::uint32_t block = restartWait ? 0 : reference.written.at(wait - 1);
        const std::string what =
            restartWait ? FormatText("wait %u: %u ms after the restart",
                                     static_cast<unsigned>(wait), reference.waits[wait])
                        : FormatText("wait %u: %u ms before the write of block %u",
                                     static_cast<unsigned>(wait), reference.waits[wait], block);
        const Arrange cutDuringWait = [wait](EmulatedHost& host, ReaderModel& reader) {
            host.SetSleepObserver(
                [wait, &reader](std::size_t index, std::uint32_t, SleepPhase phase) {
                    if (index == wait && phase == SleepPhase::Begins) {
                        reader.PowerCut();
                    }
                });
        };
        const Arrange blipDuringWait = [wait](EmulatedHost& host, ReaderModel& reader) {
            host.SetSleepObserver(
                [wait, &reader](std::size_t index, std::uint32_t, SleepPhase phase) {
                    if (index == wait) {
                        phase == SleepPhase::Begins ? reader.PowerCut() : reader.PowerOn();
                    }
                });
        };
        // Back before the wait is over, the reader has started afresh: its bootloader ignores
        // the flash commands until the next UpdateBegin, so the block cannot verify.
        const std::vector<std::string> blockFails = {BlockFailure(block), kFailureMessage};
        cases.push_back({"power cut in a wait, back after the run", what, cutDuringWait,
                         restartWait ? std::vector<std::string>{kNotInBootloader} : blockFails,
                         true});
        cases.push_back({"power cut in a wait, back before it ends", what, blipDuringWait,
                         restartWait ? std::vector<std::string>{kSuccessMessage} : blockFails,
                         false});
    }
    return cases;
}

std::vector<FaultCase> RestartCases() {
    const std::string group = "restart slow, elsewhere or wrong";
    const auto restartTakes = [](std::uint32_t ms) {
        return [ms](EmulatedHost&, ReaderModel& reader) { reader.Faults().restartMs = ms; };
    };
    return {
        {group, "restart takes 4999 ms", restartTakes(kRestartWaitMs - 1), {kSuccessMessage}},
        {group, "restart takes 5000 ms", restartTakes(kRestartWaitMs), {kSuccessMessage}},
        {group, "restart takes 5001 ms", restartTakes(kRestartWaitMs + 1), {kNotInBootloader}},
        {group, "restart takes 12000 ms", restartTakes(12'000), {kNotInBootloader}},
        {group,
         "back under drive F",
         [](EmulatedHost&, ReaderModel& reader) { reader.Faults().returnLetter = kOtherLetter; },
         {kNotInBootloader}},
        {group,
         "never back",
         [](EmulatedHost&, ReaderModel& reader) { reader.Faults().neverReturns = true; },
         {kNotInBootloader}},
        {group,
         "back in its firmware",
         [](EmulatedHost&, ReaderModel& reader) { reader.Faults().returnsInFirmware = true; },
         {kNotInBootloader}},
    };
}

std::vector<FaultCase> CommandFileCases(const Reference& reference) {
    std::vector<FaultCase> cases;
    const std::size_t count = reference.commands.size();
    for (std::uint32_t n = 1; n <= count; ++n) {
        const auto messages = MessagesForLostCommand(reference, n - 1, false);
        cases.push_back(
            {"command file open fails once", FormatText("open %u fails", n),
             [n](EmulatedHost&, ReaderModel& reader) { reader.Faults().failCommandOpenAt = n; },
             messages});
        cases.push_back(
            {"command file write fails once", FormatText("write %u fails", n),
             [n](EmulatedHost&, ReaderModel& reader) { reader.Faults().failCommandWriteAt = n; },
             messages});
    }
    // Every open fails from one on: the first eleven (the start, block 0, block 29), the middle
    // of the loop and the last three.
    std::vector<std::uint32_t> from;
    for (std::uint32_t n = 1; n <= std::min<std::size_t>(count, 11); ++n) {
        from.push_back(n);
    }
    from.push_back(static_cast<std::uint32_t>(count / 2));
    for (std::size_t n = count >= 2 ? count - 2 : 1; n <= count; ++n) {
        from.push_back(static_cast<std::uint32_t>(n));
    }
    for (const std::uint32_t n : from) {
        cases.push_back({"command file fails from one open on",
                         FormatText("opens %u and later fail", n),
                         [n](EmulatedHost&, ReaderModel& reader) {
                             reader.Faults().failCommandOpenAt = n;
                             reader.Faults().failCommandOpenFromThenOn = true;
                         },
                         MessagesForLostCommand(reference, n - 1, true)});
    }
    return cases;
}

std::vector<FaultCase> StatusFileCases() {
    const std::string group = "status file cut short or misread";
    const auto statusEndsAt = [](std::uint32_t length) {
        return [length](EmulatedHost&, ReaderModel& reader) {
            reader.Faults().statusFileLength = length;
        };
    };
    // The status file is cut short from one of the client's waits on.
    const auto statusShortFromWait = [](std::size_t wait) {
        return [wait](EmulatedHost& host, ReaderModel& reader) {
            host.SetSleepObserver(
                [wait, &reader](std::size_t index, std::uint32_t, SleepPhase phase) {
                    if (index == wait && phase == SleepPhase::Begins) {
                        reader.Faults().statusFileLength = kShortStatusLength;
                    }
                });
        };
    };
    const auto byteReadsInverted = [](std::uint32_t offset) {
        return [offset](EmulatedHost&, ReaderModel& reader) {
            reader.Faults().corruptStatusByte = offset;
        };
    };
    return {
        {group, "status file of 1 byte", statusEndsAt(kShortStatusLength), {kNoReader}},
        {group,
         "status file ends inside the identity",
         statusEndsAt(kStatusEndsInsideIdentity),
         {kNoReader}},
        {group,
         "status file ends with the identity",
         statusEndsAt(kStatusEndsAfterIdentity),
         {kSuccessMessage}},
        {group,
         "status file of 1 byte from the restart on",
         statusShortFromWait(0),
         {kNotInBootloader}},
        {group,
         "status file of 1 byte from the write of block 29 on",
         statusShortFromWait(1),
         {BlockFailure(29), kFailureMessage}},
        // The serial number comes back with a wrong byte and every checksum with a wrong half.
        {group,
         "reply byte 0 reads inverted",
         byteReadsInverted(0),
         {"SN:C57C19E4\n", kFailureMessage}},
        {group,
         "reply byte 1 reads inverted",
         byteReadsInverted(1),
         {"SN:3A8319E4\n", kFailureMessage}},
        {group,
         "identity byte 0 reads inverted",
         byteReadsInverted(static_cast<std::uint32_t>(kIdentityOffset)),
         {"Firmware update client not used for your device(\xB1"
          "64_KRN03_RV300)\n"}},
        {group,
         "identity byte 12 reads inverted",
         byteReadsInverted(kIdentityVersionByte),
         {"Firmware update client not used for your device(N64_KRN03_RV\xCC"
          "00)\n"}},
        // Version 30 instead of 300: still older than 315, so the update goes ahead.
        {group,
         "identity byte 14 reads inverted",
         byteReadsInverted(kIdentityLastDigit),
         {kSuccessMessage}},
    };
}

std::vector<FaultCase> StuckBlockCases() {
    const std::string group = "flash block never verifies";
    std::vector<FaultCase> cases;
    for (std::uint32_t block = 1; block < kFlashBlockCount; ++block) {
        cases.push_back(
            {group,
             FormatText("block %u has stuck bits", block),
             [block](EmulatedHost&, ReaderModel& reader) { reader.Faults().stuckBlock = block; },
             {BlockFailure(block), kFailureMessage}});
    }
    // Block 0 holds the firmware's identity: with stuck bits from the start the old firmware
    // names itself wrongly and is turned away; going bad while the reader restarts, the block
    // fails in the loop.
    cases.push_back({group,
                     "block 0 has stuck bits",
                     [](EmulatedHost&, ReaderModel& reader) { reader.Faults().stuckBlock = 0; },
                     {"Firmware update client not used for your device(N64^JRN02^RV200)\n"}});
    cases.push_back({group,
                     "block 0 has stuck bits from the restart on",
                     [](EmulatedHost& host, ReaderModel& reader) {
                         host.SetSleepObserver(
                             [&reader](std::size_t index, std::uint32_t, SleepPhase phase) {
                                 if (index == kRestartWaitIndex && phase == SleepPhase::Begins) {
                                     reader.Faults().stuckBlock = 0;
                                 }
                             });
                     },
                     {BlockFailure(0), kFailureMessage}});
    return cases;
}

CaseOutcome RunCase(const FaultCase& fault) {
    CaseOutcome outcome{fault.group, fault.name, 0, false, {}, {}};
    Stage stage(fault.start);
    EmulatedHost& host = stage.Host();
    ReaderModel& reader = stage.Reader();

    // The faulted run.
    fault.arrange(host, reader);
    const std::string text = stage.Run(outcome.wrong);
    if (fault.stopsProcess) {
        if (!host.ProcessStopped()) {
            outcome.wrong += "the process was never stopped; ";
        }
    } else if (!text.ends_with(kPrompt)) {
        outcome.wrong += "the run did not end at the exit prompt; ";
    }
    for (const auto& message : fault.messages) {
        if (text.find(message) == std::string::npos) {
            outcome.wrong += "no \"" + message + "\"; ";
        }
    }
    if (text.find(kSuccessMessage) != std::string::npos &&
        !SameBytes(reader.Flash(), StoredFirmwareImage())) {
        outcome.wrong += "success claimed over a flash that is not the image; ";
    }
    if (fault.leavesPowerOff && reader.Powered()) {
        outcome.wrong += "the power was never cut; ";
    }

    // The user puts things right: the fault goes, the program is started afresh, the power comes
    // back, and a reader that is still not there is unplugged and plugged in again.
    host.StartProcess();
    host.SetSleepObserver(nullptr);
    reader.Faults() = ReaderFaults{};
    host.Clock().Advance(kPauseBetweenRunsMs);
    if (!reader.Powered()) {
        reader.PowerOn();
    }
    if (!reader.Present()) {
        reader.PowerCut();
        reader.PowerOn();
    }
    for (int run = 1; run <= kMaxRecoveryRuns; ++run) {
        (void)stage.Run(outcome.wrong);
        host.Clock().Advance(kPauseBetweenRunsMs);
        if (stage.RunsNewFirmware()) {
            outcome.runsToRecover = run;
            break;
        }
    }
    stage.Watch().CheckNow();
    outcome.bricked = stage.Watch().Bricked();
    outcome.brickedHow = stage.Watch().What();
    return outcome;
}

}  // namespace

// --- BrickWatch ----------------------------------------------------------------------------------

BrickWatch::BrickWatch(emulator::ReaderModel& reader, std::span<const std::uint8_t> oldFirmware,
                       std::span<const std::uint8_t> releaseImage)
    : reader_(reader),
      oldFirmware_(oldFirmware.begin(), oldFirmware.end()),
      releaseImage_(releaseImage.begin(), releaseImage.end()) {
    reader_.SetBootObserver([this](ReaderMode mode, std::span<const std::uint8_t> flash) {
        ++starts_;
        Check(mode, flash);
    });
}

BrickWatch::~BrickWatch() {
    reader_.SetBootObserver(nullptr);
}

void BrickWatch::CheckNow() {
    if (reader_.Present()) {
        Check(reader_.Mode(), reader_.Flash());
    }
}

void BrickWatch::Check(ReaderMode mode, std::span<const std::uint8_t> flash) {
    if (mode != ReaderMode::Firmware || !what_.empty() || SameBytes(flash, oldFirmware_) ||
        SameBytes(flash, releaseImage_)) {
        return;
    }
    std::size_t fresh = 0;
    std::string neither;
    for (std::uint32_t block = 0; block < kFlashBlockCount; ++block) {
        const auto at = static_cast<std::size_t>(block) * kFlashBlockSize;
        const auto bytes = flash.subspan(at, kFlashBlockSize);
        if (SameBytes(bytes, std::span(releaseImage_).subspan(at, kFlashBlockSize))) {
            ++fresh;
        } else if (!SameBytes(bytes, std::span(oldFirmware_).subspan(at, kFlashBlockSize))) {
            neither += FormatText(" %u", block);
        }
    }
    what_ =
        FormatText("started its firmware with %u of %u blocks new", Count(fresh), kFlashBlockCount);
    if (!neither.empty()) {
        what_ += ", and neither old nor new:";
        what_ += neither;
    }
}

// --- the campaign --------------------------------------------------------------------------------

std::vector<CaseOutcome> RunPowerCutCampaign() {
    std::vector<CaseOutcome> outcomes;

    const Reference reference = ReferenceRun(Start::OldFirmware);
    const Reference fromBootloader = ReferenceRun(Start::BootloaderFlagClear);
    if (!reference.completed || !fromBootloader.completed) {
        outcomes.push_back({"clean update",
                            "full update from firmware 300",
                            0,
                            false,
                            {},
                            "a clean update did not complete; "});
        ResetUpdateGlobals();
        return outcomes;
    }

    std::vector<FaultCase> cases = PowerCutCases(reference);
    for (auto&& more :
         {BootloaderPowerCutCases(fromBootloader), HostStopCases(reference), RestartCases(),
          CommandFileCases(reference), StatusFileCases(), StuckBlockCases()}) {
        cases.insert(cases.end(), more.begin(), more.end());
    }
    for (const auto& fault : cases) {
        outcomes.push_back(RunCase(fault));
    }
    ResetUpdateGlobals();
    return outcomes;
}

std::vector<GroupTotals> Tally(std::span<const CaseOutcome> outcomes) {
    std::vector<GroupTotals> rows;
    GroupTotals total{"total"};
    for (const auto& outcome : outcomes) {
        auto row = std::find_if(rows.begin(), rows.end(),
                                [&](const GroupTotals& r) { return r.group == outcome.group; });
        if (row == rows.end()) {
            rows.push_back(GroupTotals{outcome.group});
            row = rows.end() - 1;
        }
        for (GroupTotals* counts : {&*row, &total}) {
            ++counts->tried;
            counts->afterOneRun += outcome.runsToRecover == 1 ? 1u : 0u;
            counts->afterTwoRuns += outcome.runsToRecover == 2 ? 1u : 0u;
            counts->notRecovered += outcome.runsToRecover == 0 ? 1u : 0u;
            counts->bricked += outcome.bricked ? 1u : 0u;
            counts->wrong += outcome.wrong.empty() ? 0u : 1u;
        }
    }
    rows.push_back(total);
    return rows;
}

std::string FormatTable(std::span<const GroupTotals> totals) {
    std::string table = FormatText("%-42s %6s %8s %8s %9s %8s %8s\n", "case", "tried", "after 1",
                                   "after 2", "not rec.", "bricked", "wrong");
    for (const auto& row : totals) {
        if (row.group == "total") {
            table += std::string(95, '-') + "\n";
        }
        table += FormatText("%-42s %6u %8u %8u %9u %8u %8u\n", row.group.c_str(), Count(row.tried),
                            Count(row.afterOneRun), Count(row.afterTwoRuns),
                            Count(row.notRecovered), Count(row.bricked), Count(row.wrong));
    }
    return table;
}

}  // namespace reader::proof
