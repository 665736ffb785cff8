#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "commands/cartridge.hpp"
#include "drivers/status_report.hpp"
#include "drivers/system_driver.hpp"
#include "drivers/trace_disassembler.hpp"
#include "support/cartridge_fixture.hpp"

namespace reader {
namespace {

const auto kDefaultRead = static_cast<ReadHandler>(NotInitialized);
const auto kDefaultWrite = static_cast<WriteHandler>(NotInitialized);
const auto kDefaultControl = static_cast<ControlHandler>(NotInitialized);
const auto kDefaultStatus = static_cast<StatusHandler>(NotInitialized);
const auto kDefaultDisassemble = static_cast<DisassembleHandler>(NotInitialized);
const auto kDefaultSpare = static_cast<SpareHandler>(NotInitialized);

constexpr const char* kNotInitializedText =
    "please init device first\nget more infomation,type h[enter].\n";

class InstallTest : public testing::CartridgeFixture {
  protected:
    void ExpectDefaults() {
        EXPECT_EQ(SystemDriver.ReadSlot, kDefaultRead);
        EXPECT_EQ(SystemDriver.WriteSlot, kDefaultWrite);
        EXPECT_EQ(SystemDriver.ControlSlot, kDefaultControl);
        EXPECT_EQ(SystemDriver.StatusSlot, kDefaultStatus);
        EXPECT_EQ(SystemDriver.DisassembleSlot, kDefaultDisassemble);
        EXPECT_EQ(SystemDriver.SpareSlot, kDefaultSpare);
    }
};

struct Row {
    std::string_view identity;
    int fcMode;
    std::vector<std::string> setup;  // the transcript of the set-up
    ReadHandler read;
    WriteHandler write;
    ControlHandler control;
    StatusHandler status;
    DisassembleHandler disassemble;
    std::uint32_t windowStart;
    std::uint32_t windowEnd;
};

TEST_F(InstallTest, EveryVariantIsRecognisedSetUpAndInstalled) {
    // The window starts from values no row stores, so a row that keeps the window shows it.
    const Row rows[] = {
        {emulator::kHndIdentity,
         0,
         {"F0 03 HndPrepare", "03 01 InitHndBus"},
         HndRead,
         NoWrite,
         kDefaultControl,
         kDefaultStatus,
         kDefaultDisassemble,
         0,
         0},
        {emulator::kN64CartIdentity,
         0,
         {"10 01 InitN64Bus"},
         N64Read,
         NoWrite,
         kDefaultControl,
         kDefaultStatus,
         kDefaultDisassemble,
         0x10000000,
         0x10000000},
        {emulator::kSfcIdentity,
         0,
         {"0F 01 InitSfcBus"},
         SfcRead,
         SfcWriteBytes,
         kDefaultControl,
         kDefaultStatus,
         TraceDisassemble,
         0x8000,
         0xFFFC},
        {emulator::kFc2Identity,
         0,
         {"0E 01 InitNesBus mode=0"},
         DirectRead,
         NesWriteBlock,
         NesControl,
         ReportCartStatus,
         TraceDisassemble,
         0x8000,
         0xFFFC},
        {emulator::kFc2Identity,
         7,
         {"0E 01 InitNesBus mode=1"},
         DirectRead,
         NesWriteBlock,
         NesControl,
         ReportCartStatus,
         TraceDisassemble,
         0x8000,
         0xFFFC},
        {emulator::kNesIdentity,
         0,
         {"0E 01 InitNesBus mode=1"},
         DirectRead,
         NesWriteBytes,
         NesControl,
         ReportCartStatus,
         TraceDisassemble,
         0x8000,
         0xFFFC},
        {emulator::kNesIdentity,
         1,
         {"0E 01 InitNesBus mode=1"},
         DirectRead,
         NesWriteBytes,
         NesControl,
         ReportCartStatus,
         TraceDisassemble,
         0x8000,
         0xFFFC},
        {emulator::kPceIdentity,
         0,
         {"11 01 InitPceBus"},
         DirectRead,
         PceWriteBytes,
         kDefaultControl,
         kDefaultStatus,
         TraceDisassemble,
         0xAAAA,
         0xBBBB},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(std::string(row.identity) + " flag " + std::to_string(row.fcMode));
        emulator::EmulatedHost host;
        emulator::ScopedHost scoped(host);
        emulator::ReaderConfig config;
        config.fixedIdentity = std::string(row.identity);
        auto& reader = host.AttachReader('F', config);
        ResetDeviceGlobals();
        SystemDriver.RomWindowStart = 0xAAAA;
        SystemDriver.RomWindowEnd = 0xBBBB;

        EXPECT_EQ(IdentifyDevice(0, row.fcMode), 1);
        EXPECT_EQ(reader.Transcript(), row.setup);
        EXPECT_TRUE(reader.CartridgeReady());
        EXPECT_EQ(host.ConsoleText(), "Init " + std::string(row.identity) + " OK\n");
        EXPECT_EQ(SystemDriver.ReadSlot, row.read);
        EXPECT_EQ(SystemDriver.WriteSlot, row.write);
        EXPECT_EQ(SystemDriver.ControlSlot, row.control);
        EXPECT_EQ(SystemDriver.StatusSlot, row.status);
        EXPECT_EQ(SystemDriver.DisassembleSlot, row.disassemble);
        EXPECT_EQ(SystemDriver.SpareSlot, kDefaultSpare);
        EXPECT_EQ(SystemDriver.RomWindowStart, row.windowStart);
        EXPECT_EQ(SystemDriver.RomWindowEnd, row.windowEnd);

        // Through the slot, the reader delivers its cartridge from the window start on.
        std::vector<std::uint8_t> data(32, 0xEE);
        const std::uint32_t at = row.windowStart == 0xAAAA ? 0x8000 : row.windowStart;
        EXPECT_EQ(SystemDriver.ReadSlot(at, data.data(), 32), 32);
        EXPECT_EQ(data, Image(reader.Cartridge(), at, 32));
    }
}

TEST_F(InstallTest, AFrontEndLearnsTheVariantAndTheSlotsItOffers) {
    using enum DriverSlot;
    struct Offer {
        std::string_view identity;
        std::string_view system;
        std::vector<DriverSlot> offered;
    };
    const Offer offers[] = {
        {emulator::kHndIdentity, "HND", {Read}},
        {emulator::kN64CartIdentity, "N64", {Read}},
        {emulator::kSfcIdentity, "SFC", {Read, Write, Disassemble}},
        {emulator::kFc2Identity, "FC2", {Read, Write, Control, Status, Disassemble}},
        {emulator::kNesIdentity, "NES", {Read, Write, Control, Status, Disassemble}},
        {emulator::kPceIdentity, "PCE", {Read, Write, Disassemble}},
    };
    for (const auto& offer : offers) {
        SCOPED_TRACE(offer.identity);
        emulator::EmulatedHost host;
        emulator::ScopedHost scoped(host);
        emulator::ReaderConfig config;
        config.fixedIdentity = std::string(offer.identity);
        auto& reader = host.AttachReader('E', config);
        ASSERT_EQ(IdentifyDevice(0, 0), 1);
        ASSERT_NE(InstalledSystem(), nullptr);
        EXPECT_EQ(InstalledSystem()->system, offer.system);
        std::vector<DriverSlot> offered;
        for (const auto slot : {Read, Write, Control, Status, Disassemble}) {
            if (SlotOffered(slot)) {
                offered.push_back(slot);
            }
        }
        EXPECT_EQ(offered, offer.offered);

        // Once the reader is gone, nothing is installed and nothing is offered.
        reader.PowerCut();
        EXPECT_EQ(IdentifyDevice(0, 0), 0);
        EXPECT_EQ(InstalledSystem(), nullptr);
        for (const auto slot : {Read, Write, Control, Status, Disassemble}) {
            EXPECT_FALSE(SlotOffered(slot));
        }
    }
}

TEST_F(InstallTest, ResetPutsTheLibraryBackAsAProgramStarts) {
    Attach(emulator::kNesIdentity);
    ASSERT_EQ(IdentifyDevice(0, 0), 1);
    const std::array<std::uint8_t, 256> code{0xEA};
    ASSERT_EQ(SystemDriver.DisassembleSlot(code.data(), 0x1000), 10);

    ResetDeviceGlobals();
    EXPECT_EQ(DeviceDrive, 0);
    EXPECT_EQ(std::string(DeviceIdentity.data()), "");
    EXPECT_EQ(SystemDriver.ReadSlot, nullptr);
    EXPECT_EQ(SystemDriver.RomWindowStart, 0u);
    EXPECT_EQ(SystemDriver.RomWindowEnd, 0u);
    EXPECT_EQ(InstalledSystem(), nullptr);
    EXPECT_EQ(TraceMemory[0x1000], 0);
}

TEST_F(InstallTest, AnyTailAfterTheTwelveCharacterPrefixIsAccepted) {
    auto& reader = Attach("NES_KRN02_RVxyz!");
    ASSERT_EQ(IdentifyDevice(0, 0), 1);
    EXPECT_EQ(host_.ConsoleText(), "Init NES_KRN02_RVxyz! OK\n");
    EXPECT_EQ(reader.Transcript(), std::vector<std::string>{"0E 01 InitNesBus mode=1"});
}

// The "Init" notice goes to the front-end's sink while one is installed, and back to the
// standard output stream once it is taken away; resetting the device's globals keeps the sink.
TEST_F(InstallTest, TheInitNoticeGoesWhereTheFrontEndDirectsIt) {
    Attach(emulator::kSfcIdentity);
    std::string sunk;
    const NoticeSink sink = [](const char* text, void* context) {
        *static_cast<std::string*>(context) += text;
    };
    struct Step {
        bool installed;
        const char* console;
        const char* sunk;
    };
    for (const Step step : {Step{true, "", "Init SFC_KRN02_RV100 OK\n"},
                            Step{false, "Init SFC_KRN02_RV100 OK\n", ""}}) {
        SetNoticeSink(step.installed ? sink : nullptr, &sunk);
        ResetDeviceGlobals();
        host_.ClearConsole();
        sunk.clear();
        EXPECT_EQ(IdentifyDevice(0, 0), 1);
        EXPECT_EQ(host_.ConsoleText(), step.console);
        EXPECT_EQ(sunk, step.sunk);
    }
}

TEST_F(InstallTest, IdentitiesOutsideTheTableInstallNothing) {
    for (const std::string identity :
         {"nes_KRN02_RV100", "NES_KRN02_RW100", "N64_KRN03_RV315", "BOOT_N64Q2", "NES_KRN02_R"}) {
        SCOPED_TRACE(identity);
        emulator::EmulatedHost host;
        emulator::ScopedHost scoped(host);
        emulator::ReaderConfig config;
        config.fixedIdentity = identity;
        auto& reader = host.AttachReader('E', config);
        EXPECT_EQ(IdentifyDevice(0, 1), 0);
        EXPECT_TRUE(reader.Transcript().empty());
        EXPECT_TRUE(host.ConsoleText().empty());
        EXPECT_EQ(std::string(DeviceIdentity.data()), identity);
        ExpectDefaults();
    }
}

TEST_F(InstallTest, ReadersThatCannotWriteSendAndPrintNothing) {
    for (const auto identity : {emulator::kHndIdentity, emulator::kN64CartIdentity}) {
        SCOPED_TRACE(identity);
        emulator::EmulatedHost host;
        testing::RecordingHost recorder(host);
        emulator::ScopedHost scoped(recorder);
        emulator::ReaderConfig config;
        config.fixedIdentity = std::string(identity);
        host.AttachReader('E', config);
        ASSERT_EQ(IdentifyDevice(0, 0), 1);
        recorder.Clear();
        host.ClearConsole();
        const auto data = testing::DataBytes(16);
        EXPECT_EQ(SystemDriver.WriteSlot(0x10000000, data.data(), 16), 0);
        EXPECT_TRUE(recorder.Writes().empty());
        EXPECT_TRUE(host.ConsoleText().empty());
    }
}

TEST_F(InstallTest, PceKeepsTheWindowOfTheReaderIdentifiedBeforeIt) {
    // First an SFC reader, then (after it is unplugged) a PCE reader.
    host_.AttachReader('E', [] {
        emulator::ReaderConfig config;
        config.fixedIdentity = std::string(emulator::kSfcIdentity);
        return config;
    }());
    ASSERT_EQ(IdentifyDevice('E', 0), 1);
    host_.Reader(0).PowerCut();
    host_.AttachReader('G', [] {
        emulator::ReaderConfig config;
        config.fixedIdentity = std::string(emulator::kPceIdentity);
        return config;
    }());
    ASSERT_EQ(IdentifyDevice(0, 0), 1);
    EXPECT_EQ(SystemDriver.RomWindowStart, 0x8000u);
    EXPECT_EQ(SystemDriver.RomWindowEnd, 0xFFFCu);

    // The slots the PCE reader leaves alone tell the user to initialise the device.
    host_.ClearConsole();
    SystemDriver.ControlSlot(1);
    SystemDriver.StatusSlot();
    EXPECT_EQ(host_.ConsoleText(), std::string(kNotInitializedText) + kNotInitializedText);
}

TEST_F(InstallTest, PceAsTheFirstReaderHasAnEmptyWindow) {
    Attach(emulator::kPceIdentity);
    ASSERT_EQ(IdentifyDevice(0, 0), 1);
    EXPECT_EQ(SystemDriver.RomWindowStart, 0u);
    EXPECT_EQ(SystemDriver.RomWindowEnd, 0u);
}

TEST_F(InstallTest, AFailedSecondIdentificationLeavesDefaultsAndTheWindow) {
    auto& reader = Attach(emulator::kSfcIdentity);
    ASSERT_EQ(IdentifyDevice(0, 0), 1);
    reader.PowerCut();
    host_.ClearConsole();
    EXPECT_EQ(IdentifyDevice(0, 0), 0);
    EXPECT_TRUE(host_.ConsoleText().empty());
    ExpectDefaults();
    EXPECT_EQ(SystemDriver.RomWindowStart, 0x8000u);
    EXPECT_EQ(SystemDriver.RomWindowEnd, 0xFFFCu);
}

TEST_F(InstallTest, ASecondIdentificationSendsTheSetUpAgain) {
    auto& reader = Attach(emulator::kFc2Identity);
    ASSERT_EQ(IdentifyDevice(0, 1), 1);
    ASSERT_EQ(IdentifyDevice('E', 0), 1);
    EXPECT_EQ(reader.Transcript(),
              (std::vector<std::string>{"0E 01 InitNesBus mode=1", "0E 01 InitNesBus mode=0"}));
    EXPECT_EQ(reader.NesMode(), 0);
}

TEST_F(InstallTest, TheInstalledSlotsWorkTheirReader) {
    auto& reader = Attach(emulator::kFc2Identity, 0x2C);
    ASSERT_EQ(IdentifyDevice(0, 1), 1);
    host_.ClearConsole();

    EXPECT_EQ(SystemDriver.ControlSlot(0x1A5), 512);
    EXPECT_EQ(reader.ControlValue(), 0xA5);

    SystemDriver.StatusSlot();
    EXPECT_EQ(host_.ConsoleText(), "MISC byte: 2C\nIRQ: 1\nVRAM/CS: 0\nMirror: H\n");

    // Write a routine into cartridge RAM, read it back and disassemble it.
    const std::vector<std::uint8_t> routine = {0xA9, 0x01, 0x8D, 0x00, 0x60, 0x60};
    EXPECT_EQ(SystemDriver.WriteSlot(0x6000, routine.data(), 6), 512);
    std::array<std::uint8_t, 256> code{};
    ASSERT_EQ(SystemDriver.ReadSlot(0x6000, code.data(), 256), 256);
    EXPECT_TRUE(std::equal(routine.begin(), routine.end(), code.begin()));
    host_.ClearConsole();
    EXPECT_EQ(SystemDriver.DisassembleSlot(code.data(), 0x6000), 10);
    const std::string text = host_.ConsoleText();
    EXPECT_EQ(text.substr(0, text.find('\n')), "6000  A9 01     LDA #$01                  ");
    EXPECT_EQ(reader.SectorsRejected(), 0u);
}

}  // namespace
}  // namespace reader
