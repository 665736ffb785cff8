// Discovery of the reader: which drive it sits on and what it says it is.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace reader {

// The reader presents its identity at this offset of T-DRIVER.DMP.
inline constexpr std::uint32_t kIdentityOffset = 0x8000;
inline constexpr std::size_t kIdentityLength = 16;
inline constexpr std::size_t kIdentityBufferSize = 256;
inline constexpr std::size_t kVolumeLabelSize = 256;

// The scan covers drives D to Z; A, B and C are only probed when named.
inline constexpr int kFirstScannedDrive = 3;  // 'D' - 'A'
inline constexpr int kLastScannedDrive = 25;  // 'Z' - 'A'

// The drive letter of the reader: zero at start, set by every probe to the letter it tries.
extern char DeviceDrive;

// The 16 identity bytes at the start of a zeroed 256-byte buffer: byte 16 is never written, so
// the identity is always a terminated text of at most 16 characters.
extern std::array<char, kIdentityBufferSize> DeviceIdentity;

// Receives the volume label of each removable drive probed, empty when it has none (or the label
// cannot be had). Nothing reads it.
extern std::array<char, kVolumeLabelSize> VolumeLabel;

// Tests one drive letter: a removable drive whose status file yields the 16 identity bytes. With
// an expected identity, the first three bytes must agree as well. Returns 1 or 0.
int ProbeDrive(char letter, const char* expected);

// Only the low 8 bits of letter count. A letter probes that drive alone; 0 scans D to Z and stops
// at the first drive that qualifies. Returns 1 when found, 0 otherwise.
int FindDevice(int letter, const char* expected);

}  // namespace reader
