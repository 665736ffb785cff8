// ReportCartStatus over any reply: a drive whose status file holds any bytes (short, empty or
// long), a drive without a status file, or no drive at all. Whenever the 512-byte reply can be
// read the report is exactly the four lines of its first byte; otherwise it is the one error line
// and decodes nothing. Either way the status request goes out once, as one 512-byte sector.
//
// Input: byte 0 chooses the drive (0: the status file holds the rest of the input, 1: no status
// file, 2: no drive); the rest is the status file.
#include <array>
#include <cstdio>
#include <span>
#include <string>
#include <vector>

#include "drivers/status_report.hpp"
#include "fuzz/fuzz_support.hpp"

namespace {

constexpr std::size_t kReplySize = 512;

// The report for one MISC byte, written out from its fields.
std::string Report(std::uint8_t misc) {
    const unsigned mirror = misc & 0x0Fu;
    std::array<char, 128> text{};
    const char* mirrorName = mirror == 0x0   ? "4L"
                             : mirror == 0xA ? "V"
                             : mirror == 0xC ? "H"
                             : mirror == 0xF ? "4H"
                                             : nullptr;
    std::array<char, 16> unknown{};
    if (mirrorName == nullptr) {
        std::snprintf(unknown.data(), unknown.size(), "Unknow(%X)", mirror);
        mirrorName = unknown.data();
    }
    std::snprintf(text.data(), text.size(), "MISC byte: %.2X\nIRQ: %u\nVRAM/CS: %u\nMirror: %s\n",
                  static_cast<unsigned>(misc), (misc >> 5) & 1u, (misc >> 4) & 1u, mirrorName);
    return text.data();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace reader;
    if (size < 1) {
        return 0;
    }
    const unsigned drive = data[0] % 3;
    const std::vector<std::uint8_t> status(data + 1, data + size);

    ResetDeviceGlobals();
    emulator::EmulatedHost host;
    emulator::ScopedHost scoped(host);
    if (drive == 0) {
        host.AddDrive('E', platform::DriveType::Removable, {{"T-DRIVER.DMP", status}});
    } else if (drive == 1) {
        host.AddDrive('E', platform::DriveType::Removable);
    }
    DeviceDrive = 'E';

    ReportCartStatus();

    const bool readable = drive == 0 && status.size() >= kReplySize;
    const std::string expected =
        readable ? Report(status[0]) : std::string("read cartridge status error.\n");
    fuzz::Require(host.ConsoleText() == expected);
    const auto& writes = host.CommandWrites();
    fuzz::Require(writes.size() == 1 && writes[0].data.size() == kReplySize);
    fuzz::Require(writes[0].data[1] == 0x0E && writes[0].data[2] == 0x12);
    return 0;
}
