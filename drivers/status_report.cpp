#include "drivers/status_report.hpp"

#include "commands/cartridge.hpp"
#include "link/command_sector.hpp"
#include "platform/host.hpp"

namespace reader {

void PrintCartStatus(std::uint8_t misc) {
    platform::StreamPrintf("MISC byte: %.2X\n", static_cast<unsigned>(misc));
    platform::StreamPrintf("IRQ: %d\n", (misc >> kMiscIrqBit) & 1);
    platform::StreamPrintf("VRAM/CS: %d\n", (misc >> kMiscVramCsBit) & 1);
    const unsigned mirror = misc & kMiscMirrorMask;
    switch (mirror) {
        case kMirrorFourScreenLow:
            platform::StreamPrintf("Mirror: 4L\n");
            break;
        case kMirrorVertical:
            platform::StreamPrintf("Mirror: V\n");
            break;
        case kMirrorHorizontal:
            platform::StreamPrintf("Mirror: H\n");
            break;
        case kMirrorFourScreenHigh:
            platform::StreamPrintf("Mirror: 4H\n");
            break;
        default:
            platform::StreamPrintf("Mirror: Unknow(%X)\n", mirror);
            break;
    }
}

void ReportCartStatus() {
    CommandSector buffer{};
    if (ReadCartStatus(buffer) == 0) {
        // The buffer still holds the request sector; its first byte is the sector marker, not a
        // status, so there is nothing to decode.
        platform::StreamPrintf("read cartridge status error.\n");
        return;
    }
    PrintCartStatus(buffer[cartridge::kCartStatusOffset]);
}

}  // namespace reader
