// Command sectors: every command travels as one or more 512-byte sectors written to CMD.CMD.
//
//   byte 0        marker 'Z' (0x5A), set by the sender
//   bytes 1..2    command group and operation
//   bytes 3..509  parameters, laid out per command, unused bytes 0
//   bytes 510..511 CRC-16/XMODEM of bytes 0..509, high byte first
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

namespace reader {

inline constexpr std::size_t kSectorSize = 512;
inline constexpr std::size_t kSectorMarkerOffset = 0;
inline constexpr std::size_t kSectorGroupOffset = 1;
inline constexpr std::size_t kSectorOperationOffset = 2;
inline constexpr std::size_t kSectorChecksumOffset = 510;  // high byte, then low byte at 511
inline constexpr std::uint8_t kSectorMarker = 0x5A;        // 'Z'

using CommandSector = std::array<std::uint8_t, kSectorSize>;

// What a command reports is a signed 32-bit count of the bytes it wrote (or delivered), so one
// write of the command file carries at most kMaxSectorsPerWrite sectors: a run of sectors stays
// below 2 GiB. Longer requests are refused before anything is built or sent.
inline constexpr std::uint32_t kMaxCountResult = 0x7FFFFFFF;
inline constexpr std::uint32_t kMaxSectorsPerWrite = kMaxCountResult / kSectorSize;

// The checksum over bytes 0..509 of one sector.
std::uint16_t SectorChecksum(std::span<const std::uint8_t, kSectorSize> sector);

// Sets the marker and the checksum of every sector in buffer (whose size is whole sectors).
void StampSectors(std::span<std::uint8_t> buffer);

// Stamps the first length bytes of buffer (length a whole number of sectors, at most the buffer's
// size) and writes them to the command file in one create-truncate-write. Returns the bytes
// written, or 0 when the length is not whole sectors or exceeds the buffer (nothing stamped or
// written), or when the command file cannot be opened or written. A length of 0 leaves the
// command file empty and returns 0.
std::uint32_t SendCommands(std::span<std::uint8_t> buffer, std::uint32_t length);

// The usual single-sector form.
inline std::uint32_t SendCommands(CommandSector& sector) {
    return SendCommands(sector, kSectorSize);
}

}  // namespace reader
