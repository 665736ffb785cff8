// The N64 cartridge header and its two checksum words.
//
// At power-on the console's boot code reads the 1 MiB of the cartridge that follows the first
// 4 KiB (0x1000..0x100FFF) as big-endian 32-bit words, runs them through a small mix of sums,
// exclusive-ors and rotations, and refuses to start the game unless the two results equal the
// words at 0x10 and 0x14 of the header. Each boot code chip starts the mix from its own seed and
// some finish it differently, so the check needs to know which boot code the cartridge carries;
// the boot code itself (bytes 0x40..0xFFF) is named from its CRC32.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "frontend/rom/rom_report.hpp"

namespace reader::rom {

inline constexpr std::size_t kN64FirstChecksumOffset = 0x10;
inline constexpr std::size_t kN64SecondChecksumOffset = 0x14;
inline constexpr std::size_t kN64TitleOffset = 0x20;
inline constexpr std::size_t kN64TitleSize = 20;
// The game code: media type, two-character game id and region ("NSME").
inline constexpr std::size_t kN64GameCodeOffset = 0x3B;
inline constexpr std::size_t kN64GameCodeSize = 4;
inline constexpr std::size_t kN64HeaderSize = 0x40;
// The boot code follows the header and fills the rest of the first 4 KiB.
inline constexpr std::size_t kN64BootCodeOffset = 0x40;
inline constexpr std::size_t kN64BootCodeEnd = 0x1000;
// The part of the image that the header checksums cover.
inline constexpr std::size_t kN64ChecksumStart = 0x1000;
inline constexpr std::size_t kN64ChecksumLength = 0x100000;
inline constexpr std::size_t kN64ChecksumEnd = kN64ChecksumStart + kN64ChecksumLength;

// The first word of every N64 cartridge as it presents itself (big-endian).
inline constexpr std::array<std::uint8_t, 4> kN64FirstWord{0x80, 0x37, 0x12, 0x40};

enum class N64BootCode : std::uint8_t { Boot6101, Boot6102, Boot6103, Boot6105, Boot6106 };
inline constexpr std::array kN64BootCodes{N64BootCode::Boot6101, N64BootCode::Boot6102,
                                          N64BootCode::Boot6103, N64BootCode::Boot6105,
                                          N64BootCode::Boot6106};

// "6101", "6102", ...
std::string_view N64BootCodeName(N64BootCode code);
// The CRC32 of the bytes 0x40..0xFFF of each boot code, and the boot code with a given one.
std::uint32_t N64BootCodeCrc(N64BootCode code);
std::optional<N64BootCode> N64BootCodeFromCrc(std::uint32_t crc);

struct N64Checksums {
    std::uint32_t first;   // the word at 0x10
    std::uint32_t second;  // the word at 0x14
    friend bool operator==(const N64Checksums&, const N64Checksums&) = default;
};

// The two words the boot code calculates over a big-endian image; the bytes an image lacks up to
// 0x100FFF count as zero. 6101 and 6102 calculate the same.
N64Checksums CalculateN64Checksums(std::span<const std::uint8_t> image, N64BootCode code);
// The two words stored at 0x10 and 0x14 of a big-endian image (missing bytes count as zero).
N64Checksums StoredN64Checksums(std::span<const std::uint8_t> image);
// Writes the two words into the header of a big-endian image of at least 0x18 bytes.
void StoreN64Checksums(std::span<std::uint8_t> image, N64Checksums checksums);

// What the first 4 KiB of an N64 cartridge say about it (a reader shows them without a dump),
// read big-endian whatever order the image is in.
struct N64HeaderSummary {
    std::optional<N64ByteOrder> order;         // nothing when the first word is no N64 marker
    std::string title;                         // printable ASCII ('.' for other bytes), blanks cut
    std::string gameCode;                      // the four letters and digits at 0x3B, else empty
    std::optional<std::uint32_t> bootCodeCrc;  // of 0x40..0xFFF, when the image reaches 0x1000
    std::optional<N64BootCode> bootCode;       // the boot code that CRC32 names
};
N64HeaderSummary SummariseN64Header(std::span<const std::uint8_t> image);

}  // namespace reader::rom
