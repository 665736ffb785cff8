// The reader variants that IdentifyDevice recognises, in the order it tries them.
#include "commands/cartridge.hpp"
#include "drivers/status_report.hpp"
#include "drivers/system_driver.hpp"
#include "drivers/trace_disassembler.hpp"

namespace reader {
namespace {

// A row's identity prefix: exactly the first 12 characters of the identity, no terminator.
consteval std::array<char, kIdentityPrefixLength> Prefix(
    const char (&text)[kIdentityPrefixLength + 1]) {
    std::array<char, kIdentityPrefixLength> prefix{};
    for (std::size_t i = 0; i < kIdentityPrefixLength; ++i) {
        prefix[i] = text[i];
    }
    return prefix;
}

// Set-up commands that take no mode, in the shape the table calls.
int SetupHnd(int /*mode*/) {
    return InitHndBus();
}
int SetupN64(int /*mode*/) {
    return InitN64Bus();
}
int SetupSfc(int /*mode*/) {
    return InitSfcBus();
}
int SetupPce(int /*mode*/) {
    return InitPceBus();
}

// ROM windows. The N64 cartridge ROM sits at 0x10000000; the 6502-family systems end their
// window at 0xFFFC, below the reset and interrupt vectors.
constexpr std::uint32_t kN64RomWindow = 0x10000000;
constexpr std::uint32_t kCpuWindowStart = 0x8000;
constexpr std::uint32_t kCpuWindowEnd = 0xFFFC;

// A handler left out keeps the NotInitialized default. The PCE row keeps the window of whatever
// reader was identified before it.
constexpr SystemInstallation kInstallRows[] = {
    {.prefix = Prefix("HND_KRN02_RV"),
     .system = "HND",
     .setup = SetupHnd,
     .read = HndRead,
     .write = NoWrite,
     .romWindowStart = 0,
     .romWindowEnd = 0},
    {.prefix = Prefix("N64_KRN20_RV"),
     .system = "N64",
     .setup = SetupN64,
     .read = N64Read,
     .write = NoWrite,
     .romWindowStart = kN64RomWindow,
     .romWindowEnd = kN64RomWindow},
    {.prefix = Prefix("SFC_KRN02_RV"),
     .system = "SFC",
     .setup = SetupSfc,
     .read = SfcRead,
     .write = SfcWriteBytes,
     .disassemble = TraceDisassemble,
     .romWindowStart = kCpuWindowStart,
     .romWindowEnd = kCpuWindowEnd},
    {.prefix = Prefix("FC2_KRN02_RV"),
     .system = "FC2",
     .setup = InitNesBus,
     .setupMode = SetupMode::FromFcFlag,
     .read = DirectRead,
     .write = NesWriteBlock,
     .control = NesControl,
     .status = ReportCartStatus,
     .disassemble = TraceDisassemble,
     .romWindowStart = kCpuWindowStart,
     .romWindowEnd = kCpuWindowEnd},
    {.prefix = Prefix("NES_KRN02_RV"),
     .system = "NES",
     .setup = InitNesBus,
     .setupMode = SetupMode::One,
     .read = DirectRead,
     .write = NesWriteBytes,
     .control = NesControl,
     .status = ReportCartStatus,
     .disassemble = TraceDisassemble,
     .romWindowStart = kCpuWindowStart,
     .romWindowEnd = kCpuWindowEnd},
    {.prefix = Prefix("PCE_KRN02_RV"),
     .system = "PCE",
     .setup = SetupPce,
     .read = DirectRead,
     .write = PceWriteBytes,
     .disassemble = TraceDisassemble,
     .keepWindow = true},
};

}  // namespace

int NoWrite(std::uint32_t /*address*/, const std::uint8_t* /*source*/, std::uint32_t /*length*/) {
    return 0;
}

const std::span<const SystemInstallation> SystemInstallTable = kInstallRows;

}  // namespace reader
