#include "drivers/system_driver.hpp"

#include <algorithm>
#include <string>

#include "drivers/trace_disassembler.hpp"
#include "link/discovery.hpp"
#include "platform/host.hpp"

namespace reader {

SystemDriverTable SystemDriver{};

namespace {

// The row installed by the last IdentifyDevice; nullptr while the defaults are in the slots.
const SystemInstallation* g_installed = nullptr;

// Where the notices go: by default the active host's standard output stream, like the
// library's reports.
void StreamNotice(const char* text, void* /*context*/) {
    platform::StreamPrintf("%s", text);
}

NoticeSink g_noticeSink = StreamNotice;
void* g_noticeContext = nullptr;

void PrintNotInitialized() {
    platform::StreamPrintf("please init device first\n");
    platform::StreamPrintf("get more infomation,type h[enter].\n");
}

void InstallDefaults() {
    g_installed = nullptr;
    SystemDriver.ReadSlot = static_cast<ReadHandler>(NotInitialized);
    SystemDriver.WriteSlot = static_cast<WriteHandler>(NotInitialized);
    SystemDriver.ControlSlot = static_cast<ControlHandler>(NotInitialized);
    SystemDriver.StatusSlot = static_cast<StatusHandler>(NotInitialized);
    SystemDriver.DisassembleSlot = static_cast<DisassembleHandler>(NotInitialized);
    SystemDriver.SpareSlot = static_cast<SpareHandler>(NotInitialized);
}

int SetupModeValue(SetupMode rule, int fcMode) {
    switch (rule) {
        case SetupMode::One:
            return 1;
        case SetupMode::FromFcFlag:
            return fcMode != 0 ? 1 : 0;
        case SetupMode::None:
            break;
    }
    return 0;
}

void Install(const SystemInstallation& row, int fcMode) {
    // The set-up command goes out before any handler of the system can be called; its result is
    // not examined.
    if (row.setup != nullptr) {
        (void)row.setup(SetupModeValue(row.setupMode, fcMode));
    }
    if (row.read != nullptr) {
        SystemDriver.ReadSlot = row.read;
    }
    if (row.write != nullptr) {
        SystemDriver.WriteSlot = row.write;
    }
    if (row.control != nullptr) {
        SystemDriver.ControlSlot = row.control;
    }
    if (row.status != nullptr) {
        SystemDriver.StatusSlot = row.status;
    }
    if (row.disassemble != nullptr) {
        SystemDriver.DisassembleSlot = row.disassemble;
    }
    if (!row.keepWindow) {
        SystemDriver.RomWindowStart = row.romWindowStart;
        SystemDriver.RomWindowEnd = row.romWindowEnd;
    }
}

}  // namespace

int NotInitialized(std::uint32_t, std::uint8_t*, std::uint32_t) {
    PrintNotInitialized();
    return 0;
}

int NotInitialized(std::uint32_t, const std::uint8_t*, std::uint32_t) {
    PrintNotInitialized();
    return 0;
}

int NotInitialized(int) {
    PrintNotInitialized();
    return 0;
}

int NotInitialized(const std::uint8_t*, int) {
    PrintNotInitialized();
    return 0;
}

void NotInitialized() {
    PrintNotInitialized();
}

int IdentifyDevice(int letter, int fcMode) {
    InstallDefaults();
    if (FindDevice(letter, nullptr) == 0) {
        return 0;
    }
    const auto match = std::find_if(
        SystemInstallTable.begin(), SystemInstallTable.end(), [](const SystemInstallation& row) {
            return std::equal(row.prefix.begin(), row.prefix.end(), DeviceIdentity.begin());
        });
    if (match == SystemInstallTable.end()) {
        return 0;
    }
    Install(*match, fcMode);
    g_installed = &*match;
    const std::string notice = platform::FormatText("Init %s OK\n", DeviceIdentity.data());
    g_noticeSink(notice.c_str(), g_noticeContext);
    return 1;
}

void SetNoticeSink(NoticeSink sink, void* context) {
    g_noticeSink = sink != nullptr ? sink : StreamNotice;
    g_noticeContext = sink != nullptr ? context : nullptr;
}

const SystemInstallation* InstalledSystem() {
    return g_installed;
}

bool SlotOffered(DriverSlot slot) {
    if (g_installed == nullptr) {
        return false;
    }
    switch (slot) {
        case DriverSlot::Read:
            return g_installed->read != nullptr;
        case DriverSlot::Write:
            return g_installed->write != nullptr && g_installed->write != NoWrite;
        case DriverSlot::Control:
            return g_installed->control != nullptr;
        case DriverSlot::Status:
            return g_installed->status != nullptr;
        case DriverSlot::Disassemble:
            return g_installed->disassemble != nullptr;
    }
    return false;
}

void ResetDeviceGlobals() {
    DeviceDrive = 0;
    DeviceIdentity.fill(0);
    VolumeLabel.fill(0);
    SystemDriver = {};
    g_installed = nullptr;
    TraceMemory.fill(0);
    TraceLineCount = 0;
}

}  // namespace reader
