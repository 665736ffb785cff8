// The cartridge status report of the NES and FC2 readers: the cartridge's MISC byte and the three
// fields that matter to a user, printed on the standard output stream.
#pragma once

#include <cstdint>

namespace reader {

// Fields of the MISC byte. Bits 7 and 6 are not interpreted; they show in the hex value only.
inline constexpr unsigned kMiscIrqBit = 5;
inline constexpr unsigned kMiscVramCsBit = 4;
inline constexpr std::uint8_t kMiscMirrorMask = 0x0F;

// Mirroring codes the report names.
inline constexpr std::uint8_t kMirrorFourScreenLow = 0x0;
inline constexpr std::uint8_t kMirrorVertical = 0xA;
inline constexpr std::uint8_t kMirrorHorizontal = 0xC;
inline constexpr std::uint8_t kMirrorFourScreenHigh = 0xF;

// Prints the four report lines for one MISC byte.
void PrintCartStatus(std::uint8_t misc);

// The StatusSlot handler: asks the reader for the MISC byte and prints the report. When the reply
// cannot be read it prints "read cartridge status error.\n" instead.
void ReportCartStatus();

}  // namespace reader
