// A host front-end in miniature: plugs in an emulated reader of each variant, identifies it,
// reads the first bytes of its ROM window through ReadSlot and checks them against the test
// cartridge, and prints a trace of the 6502 readers' start-up code. Exits with 0 when every
// variant worked.
#include <array>
#include <cstdint>
#include <cstdio>
#include <string_view>

#include "drivers/device_library.hpp"
#include "emulator/emulated_host.hpp"

namespace {

constexpr std::uint32_t kSampleSize = 16;
constexpr std::uint32_t kCodeSize = 256;
constexpr std::uint32_t kResetCode = 0x8000;

bool TryVariant(std::string_view identity) {
    using namespace reader;
    emulator::EmulatedHost host;
    host.SetEcho(&platform::NativeHost());
    emulator::ScopedHost scoped(host);
    emulator::ReaderConfig config;
    config.fixedIdentity = std::string(identity);
    auto& device = host.AttachReader('E', config);

    if (IdentifyDevice(0, 0) != 1) {
        std::printf("FAIL %s: not identified\n", std::string(identity).c_str());
        return false;
    }
    // A window that starts at 0 (or one the variant does not set) is read from its start too.
    const std::uint32_t start = SystemDriver.RomWindowStart;
    std::array<std::uint8_t, kSampleSize> sample{};
    const int got = SystemDriver.ReadSlot(start, sample.data(), kSampleSize);
    std::printf("read %08X:", static_cast<unsigned>(start));
    bool good = got == static_cast<int>(kSampleSize);
    for (std::uint32_t i = 0; i < kSampleSize; ++i) {
        std::printf(" %02X", static_cast<unsigned>(sample[i]));
        good = good && sample[i] == emulator::CartridgeImageByte(device.Cartridge(), start + i);
    }
    std::printf("\n");
    if (!good) {
        std::printf("FAIL %s: cartridge bytes differ\n", std::string(identity).c_str());
        return false;
    }

    if (SystemDriver.DisassembleSlot == TraceDisassemble && SystemDriver.ReadSlot == DirectRead) {
        std::array<std::uint8_t, kCodeSize> code{};
        if (SystemDriver.ReadSlot(kResetCode, code.data(), kCodeSize) !=
                static_cast<int>(kCodeSize) ||
            SystemDriver.DisassembleSlot(code.data(), static_cast<int>(kResetCode)) != 10) {
            std::printf("FAIL %s: no trace\n", std::string(identity).c_str());
            return false;
        }
    }
    std::fflush(stdout);
    return true;
}

}  // namespace

int main() {
    int failures = 0;
    for (const auto identity : {reader::emulator::kHndIdentity, reader::emulator::kN64CartIdentity,
                                reader::emulator::kSfcIdentity, reader::emulator::kFc2Identity,
                                reader::emulator::kNesIdentity, reader::emulator::kPceIdentity}) {
        if (!TryVariant(identity)) {
            ++failures;
        }
    }
    std::printf("%s\n", failures == 0 ? "front-end: all variants OK" : "front-end: FAILED");
    return failures == 0 ? 0 : 1;
}
