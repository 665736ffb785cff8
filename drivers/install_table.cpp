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

constexpr bool kStoresWindow = false;
constexpr bool kKeepsWindow = true;

}  // namespace

int NoWrite(std::uint32_t /*address*/, const std::uint8_t* /*source*/, std::uint32_t /*length*/) {
    return 0;
}

// Null handlers keep the NotInitialized default. The PCE row keeps the window of whatever reader
// was identified before it.
const std::array<SystemInstallation, kSystemCount> SystemInstallTable{{
    {Prefix("HND_KRN02_RV"), "HND", SetupHnd, SetupMode::None, HndRead, NoWrite, nullptr, nullptr,
     nullptr, kStoresWindow, 0, 0},
    {Prefix("N64_KRN20_RV"), "N64", SetupN64, SetupMode::None, N64Read, NoWrite, nullptr, nullptr,
     nullptr, kStoresWindow, kN64RomWindow, kN64RomWindow},
    {Prefix("SFC_KRN02_RV"), "SFC", SetupSfc, SetupMode::None, SfcRead, SfcWriteBytes, nullptr,
     nullptr, TraceDisassemble, kStoresWindow, kCpuWindowStart, kCpuWindowEnd},
    {Prefix("FC2_KRN02_RV"), "FC2", InitNesBus, SetupMode::FromFcFlag, DirectRead, NesWriteBlock,
     NesControl, ReportCartStatus, TraceDisassemble, kStoresWindow, kCpuWindowStart, kCpuWindowEnd},
    {Prefix("NES_KRN02_RV"), "NES", InitNesBus, SetupMode::One, DirectRead, NesWriteBytes,
     NesControl, ReportCartStatus, TraceDisassemble, kStoresWindow, kCpuWindowStart, kCpuWindowEnd},
    {Prefix("PCE_KRN02_RV"), "PCE", SetupPce, SetupMode::None, DirectRead, PceWriteBytes, nullptr,
     nullptr, TraceDisassemble, kKeepsWindow, 0, 0},
}};

}  // namespace reader
