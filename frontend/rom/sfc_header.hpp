// The SFC internal header and the checksum it carries.
//
// The header is 32 bytes at the end of the first 32 KiB bank as the console maps it: file offset
// 0x7FC0 for a LoROM cartridge, 0xFFC0 for a HiROM one. It holds the title, the map mode, the ROM
// size as a power of two (1024 << n bytes), and a 16-bit checksum with its complement: the sum of
// all bytes of the ROM modulo 0x10000, the checksum fields included (their four bytes always add
// up to 0x1FE, whatever the checksum, so the sum does not depend on it).
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "frontend/rom/rom_report.hpp"

namespace reader::rom {

inline constexpr std::size_t kSfcLoRomHeaderOffset = 0x7FC0;
inline constexpr std::size_t kSfcHiRomHeaderOffset = 0xFFC0;
inline constexpr std::size_t kSfcHeaderSize = 0x20;
// Fields, from the start of the header.
inline constexpr std::size_t kSfcTitleOffset = 0x00;
inline constexpr std::size_t kSfcTitleSize = 21;
inline constexpr std::size_t kSfcMapModeOffset = 0x15;
inline constexpr std::size_t kSfcCartridgeTypeOffset = 0x16;
inline constexpr std::size_t kSfcRomSizeOffset = 0x17;
inline constexpr std::size_t kSfcRamSizeOffset = 0x18;
inline constexpr std::size_t kSfcRegionOffset = 0x19;
inline constexpr std::size_t kSfcDeveloperOffset = 0x1A;
inline constexpr std::size_t kSfcVersionOffset = 0x1B;
inline constexpr std::size_t kSfcComplementOffset = 0x1C;  // little-endian
inline constexpr std::size_t kSfcChecksumOffset = 0x1E;    // little-endian

// The ROM size byte of a plausible header: 32 KiB (0x05) to 8 MiB (0x0D).
inline constexpr std::uint8_t kSfcSmallestRomSizeByte = 0x05;
inline constexpr std::uint8_t kSfcLargestRomSizeByte = 0x0D;

// Map modes: 0x20 + 0x10 for fast ROM + the layout in the low four bits.
inline constexpr std::uint8_t kSfcMapModeLoRom = 0x20;
inline constexpr std::uint8_t kSfcMapModeHiRom = 0x21;

// Some copiers put a 512-byte header of their own in front of the cartridge's content; an image
// file whose size is 512 more than a multiple of 1 KiB has one.
inline constexpr std::size_t kSfcCopierHeaderSize = 512;
std::size_t SfcCopierHeaderSize(std::size_t imageSize);

// The checksum the header should carry for the cartridge content `rom`. A ROM whose size is not a
// power of two is mirrored as the console's address decoding sees it: its largest power-of-two
// part P, then the rest repeated until it fills another P (the rest itself mirrored the same way
// when its own size is not a power of two). A 3 MiB ROM counts as its first 2 MiB and its last
// 1 MiB twice; 2.5 MiB as 2 MiB and the last 512 KiB four times.
struct SfcSum {
    std::uint16_t checksum;
    std::size_t mirroredSize;  // the size the sum covers after mirroring; 0 for an empty ROM
};
SfcSum CalculateSfcChecksum(std::span<const std::uint8_t> rom);

}  // namespace reader::rom
