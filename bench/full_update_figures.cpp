// full-update-figures: the device-file operations of one full update from firmware 300, in
// process, next to the least the protocol can do with, and their ratio.
#include <cstdio>

#include "bench/full_update.hpp"
#include "commands/maintenance.hpp"
#include "link/command_sector.hpp"
#include "platform/host.hpp"

namespace {

using namespace reader;

struct Minimum {
    std::uint64_t opens;
    std::uint64_t reads;
    std::uint64_t writes;
    std::uint64_t bytesRead;
    std::uint64_t bytesWritten;
};

// The least a full update from firmware 300 (every block differs from the image) needs:
//  - replies: the identity before and after the restart (2), the serial number (1), block 0's
//    checksum before and after its first erase (2), and each block's checksum before and after it
//    is programmed (2 per block). Each is one read of the status file, and no read a drive serves
//    unbuffered is smaller than one 512-byte sector.
//  - commands: SetBootMode and Reboot into the bootloader (2), UpdateBegin and ReadSerial (2),
//    block 0's checksum, erase and checksum (3), each block's checksum, erase, write and checksum
//    (4 per block), SetBootMode and Reboot into the new firmware (2). Each is one write of the
//    command file of one 512-byte sector, but the write of a block carries its 1024 bytes in four
//    sectors of 256.
//  - opens: one per read and one per write.
// The client sends one command more than this: SetBootMode into the bootloader again as
// programming begins. An update that came from the firmware has the flag set already; one that
// found the reader in its bootloader with the flag clear needs it so that a power cut while block
// 0 is written cannot start a half-written firmware.
constexpr Minimum ProtocolMinimum() {
    constexpr std::uint64_t blocks = kFlashBlockCount;
    constexpr std::uint64_t sectorsPerBlockWrite = kFlashBlockSize / kWriteFlashChunkSize;
    Minimum minimum{};
    minimum.reads = 2 + 1 + 2 + 2 * blocks;
    minimum.writes = 2 + 2 + 3 + 4 * blocks + 2;
    minimum.opens = minimum.reads + minimum.writes;
    minimum.bytesRead = minimum.reads * platform::kUnbufferedSectorSize;
    const std::uint64_t sectors = minimum.writes - blocks + blocks * sectorsPerBlockWrite;
    minimum.bytesWritten = sectors * kSectorSize;
    return minimum;
}

void Row(const char* what, std::uint64_t measured, std::uint64_t minimum) {
    std::printf("%-16s %10llu %10llu %8.2f\n", what, static_cast<unsigned long long>(measured),
                static_cast<unsigned long long>(minimum),
                static_cast<double>(measured) / static_cast<double>(minimum));
}

}  // namespace

int main() {
    bench::FullUpdate update;
    update.Run();
    if (!update.Completed()) {
        std::fprintf(stderr, "full-update-figures: the update did not complete\n");
        return 1;
    }
    const auto& counters = update.Host().Counters();
    constexpr Minimum minimum = ProtocolMinimum();

    std::printf(
        "Full update from N64_KRN03_RV300, in process: device-file operations per update\n\n");
    std::printf("%-16s %10s %10s %8s\n", "operation", "measured", "minimum", "ratio");
    Row("opens", counters.opens, minimum.opens);
    Row("reads", counters.reads, minimum.reads);
    Row("writes", counters.writes, minimum.writes);
    Row("bytes read", counters.bytesRead, minimum.bytesRead);
    Row("bytes written", counters.bytesWritten, minimum.bytesWritten);
    std::printf("%-16s %10llu\n", "refused reads",
                static_cast<unsigned long long>(counters.refusedReads));
    return 0;
}
