// Maintenance and flash commands: they act on the reader itself rather than on a cartridge.
//
// With them the host chooses whether the reader starts into its bootloader or its normal
// firmware, restarts it, prepares the bootloader for programming, fetches the serial number, and
// erases, checksums and programs the reader's flash. Every command is group 0xF0; each is built in
// a zeroed sector (or, for WriteFlash, one buffer of sectors) and handed to SendCommands, which
// stamps the marker and the checksum. The two replies are read from T-DRIVER.DMP at offset 0 at
// once after the command, with no wait and no retry: the reader has them in place by the time the
// write of CMD.CMD returns.
//
// Results follow the library's rule: non-zero for success, 0 for failure. Nothing is printed.
#pragma once

#include <cstddef>
#include <cstdint>

namespace reader {

// Command codes: byte 1 is the group, byte 2 the operation.
inline constexpr std::uint8_t kMaintenanceGroup = 0xF0;
inline constexpr std::uint8_t kOpReadSerial = 0x04;
inline constexpr std::uint8_t kOpSetBootMode = 0x07;
inline constexpr std::uint8_t kOpUpdateBegin = 0x0A;
inline constexpr std::uint8_t kOpEraseFlashBlock = 0xE0;
inline constexpr std::uint8_t kOpFlashBlockChecksum = 0xE2;
inline constexpr std::uint8_t kOpWriteFlash = 0xE4;
inline constexpr std::uint8_t kOpReboot = 0xFF;

// Parameter positions inside a maintenance sector.
inline constexpr std::size_t kBootModeOffset = 4;          // SetBootMode: 1 bootloader, 0 firmware
inline constexpr std::size_t kFlashAddressOffset = 3;      // bytes 3..6, little-endian
inline constexpr std::size_t kWriteFlashLengthOffset = 7;  // bytes 7..8, little-endian
inline constexpr std::size_t kWriteFlashDataOffset = 12;   // bytes 9..11 stay zero
inline constexpr std::uint32_t kWriteFlashChunkSize = 256;

// SetBootMode flags: only bit 0 counts. The reader's other boot-mode form (a marker in bytes
// 3..6) is not offered; bits 1..7 are ignored.
inline constexpr std::uint8_t kBootIntoBootloader = 0x01;
inline constexpr std::uint8_t kBootIntoFirmware = 0x00;
inline constexpr std::uint8_t kBootModeFlagMask = 0x01;

// Replies in T-DRIVER.DMP.
inline constexpr std::uint32_t kReplyOffset = 0;
inline constexpr std::uint32_t kBlockChecksumReplyLength = 2;  // low byte, then high byte

// The reader's flash as the update sees it: 30 blocks of 1 KB from 0x8004000, in the reader's own
// 32-bit address space.
inline constexpr std::uint32_t kFlashBase = 0x8004000;
inline constexpr std::uint32_t kFlashBlockSize = 0x400;
inline constexpr std::uint32_t kFlashBlockCount = 30;

constexpr std::uint32_t FlashBlockAddress(std::uint32_t block) {
    return kFlashBase + block * kFlashBlockSize;
}

// Records which program the reader starts at its next restart. Returns the bytes written (512) or
// 0.
int SetBootMode(std::uint8_t flags);

// Restarts the reader: its drive vanishes and comes back with the program chosen by the boot rule.
// Returns the bytes written (512) or 0.
int Reboot();

// Arms the bootloader's flash commands. Returns the bytes written (512) or 0.
int UpdateBegin();

// Fetches the reader's serial number: length bytes from offset 0 of the status file. Returns 1
// when the command was written and the reply read, 0 otherwise (no read after a failed write).
int ReadSerial(std::uint8_t* destination, std::uint32_t length);

// Erases the 1 KB block that begins at address. Returns the bytes written (512) or 0.
int EraseFlashBlock(std::uint32_t address);

// The reader's 16-bit checksum of the 1 KB block at address, or 0 when the reply cannot be read.
// A command that could not be written is not detected: the reply area is read in any case.
int FlashBlockChecksum(std::uint32_t address);

// Programs length bytes at address: one sector per chunk of at most 256 bytes, all sectors in one
// write of the command file. Returns the bytes written (512 per sector) or 0. A length of 0 leaves
// the command file empty and returns 0; a length whose sectors would not fit a 32-bit byte count,
// a missing source, or a buffer that cannot be had sends nothing and returns 0.
int WriteFlash(std::uint32_t address, const std::uint8_t* source, std::uint32_t length);

}  // namespace reader
