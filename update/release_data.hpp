// The release data that the update client carries: the firmware image and the checksum that the
// reader must report for each of its blocks once the block is programmed.
//
// The image is kept in the repository as update/release/firmware-315.bin and compiled into the
// program at build time; the table lives next to it as update/release/block_checksums.inc. Both
// are made by tools/make_release_data.cpp from a seed (see the README).
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

#include "commands/maintenance.hpp"

namespace reader {

// 30 blocks of 1 KB: image block k is what flash block k holds after a correct update.
inline constexpr std::size_t kFirmwareImageSize =
    static_cast<std::size_t>(kFlashBlockSize) * kFlashBlockCount;

// The identity that the new firmware presents: the first 16 bytes of the image, NUL-padded.
inline constexpr std::string_view kReleaseIdentity = "N64_KRN03_RV315";
inline constexpr std::size_t kReleaseIdentitySize = 16;

// Two checksums that no table entry may hold, so that neither can pass for a correct block: the
// value of a checksum reply that could not be read, and the checksum of an erased block.
inline constexpr std::uint16_t kUnreadBlockChecksum = 0x0000;
inline constexpr std::uint16_t kErasedBlockChecksum = 0xC084;

// The image in its stored form. ProgramFirmware combines it with the reader's serial number in
// place and restores it before it returns.
extern std::array<std::uint8_t, kFirmwareImageSize> FirmwareImage;

// The stored form as the build made it from update/release/firmware-315.bin, read-only: what
// FirmwareImage holds at program start and after every run of ProgramFirmware.
std::span<const std::uint8_t, kFirmwareImageSize> StoredFirmwareImage();

// Entry k: the CRC-16/XMODEM of image block k, as FlashBlockChecksum reports it for a correct
// block.
extern const std::array<std::uint16_t, kFlashBlockCount> BlockChecksumTable;

}  // namespace reader
