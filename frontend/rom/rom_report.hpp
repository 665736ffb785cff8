// The dump report of a cartridge image: size, CRC32 and SHA-1 (what dump databases list) and, for
// N64 and SFC images, the checks of the cartridge's own header. The report never fails: any image,
// however short, long or malformed, gets one.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace reader::rom {

// What an image is. The front-end knows it from the reader variant it dumped from; for a file on
// disk it is recognised from the content.
enum class ImageKind : std::uint8_t { Other, N64, Sfc };

// Byte order of an N64 image, from its first 32-bit word (80 37 12 40 as the cartridge presents
// it: big-endian; 37 80 40 12: byte-swapped; 40 12 37 80: little-endian).
enum class N64ByteOrder : std::uint8_t { BigEndian, ByteSwapped, LittleEndian };
std::optional<N64ByteOrder> DetectN64ByteOrder(std::span<const std::uint8_t> image);
// Reorders a whole image in place from one order to another (a trailing part-word is left as is).
void ConvertN64ByteOrder(std::span<std::uint8_t> image, N64ByteOrder from, N64ByteOrder to);
// "big-endian" / "byte-swapped" / "little-endian" and back. Parsing ignores case and also takes
// the usual short names of the three orders: z64 (big-endian), v64 (byte-swapped) and n64
// (little-endian).
std::string_view N64ByteOrderName(N64ByteOrder order);
std::optional<N64ByteOrder> ParseN64ByteOrder(std::string_view text);

// Recognises an image from its content: N64 by its first word in any of the three orders, SFC by
// a plausible internal header (LoROM at 0x7FC0 or HiROM at 0xFFC0, also behind a 512-byte copier
// header), else Other.
ImageKind RecogniseImage(std::span<const std::uint8_t> image);

// The SFC internal header, when one of the two places holds a plausible one: checksum and its
// complement add up to 0xFFFF, and the ROM size byte and map mode are sensible.
struct SfcHeader {
    bool hiRom;              // header at 0xFFC0 (HiROM) or 0x7FC0 (LoROM)
    std::string title;       // 21 bytes, trailing blanks removed, non-printable bytes shown as '.'
    std::uint32_t romSize;   // 1024 << (ROM size byte)
    std::uint16_t checksum;  // as stored
    std::uint16_t complement;  // as stored
    std::uint8_t mapMode;      // as stored (0x20 LoROM, 0x21 HiROM, +0x10 for fast ROM, ...)
    std::uint8_t romSizeByte;  // as stored
};
// Looks at the first 64 KiB of a cartridge (or of an image); the span may be shorter.
std::optional<SfcHeader> FindSfcHeader(std::span<const std::uint8_t> image);

// CRC-32 (zlib's crc32) and SHA-1 of an image.
std::uint32_t Crc32(std::span<const std::uint8_t> data);
std::array<std::uint8_t, 20> Sha1(std::span<const std::uint8_t> data);

// The report, as text lines each ending in '\n': the system, size, CRC32, SHA-1, and for N64 and
// SFC the header lines. Never fails: any image, however short, long or malformed, gets a report.
//
//   System: N64
//   Size: 8388608 bytes (8 MiB)
//   CRC32: 3A2F5C10
//   SHA-1: 5b1f...
//   Byte order: big-endian
//   Title: PROJECT TEST 6102
//   Boot code: 6102 (CRC32 of 0x40..0xFFF: 90BB6CB5)
//   Header checksums: OK (boot code 6102)
//
//   System: SFC
//   ...
//   Header: LoROM at 0x7FC0, map mode 0x20
//   Title: PROJECT LOROM TEST
//   ROM size: 1 MiB (size byte 0x0A)
//   Checksum: OK (0x6A1C, complement 0x95E3)
//
// The lines for each case are described in rom_report.cpp.
std::string ReportImage(std::span<const std::uint8_t> image, ImageKind kind);
// The same with the image's size, CRC32 and SHA-1 already computed (by the dump as it read, see
// hashes.hpp), so that a large image is not hashed again. Hashes of another size than the image
// are not taken: the report then computes its own.
struct ImageHashes;
std::string ReportImage(std::span<const std::uint8_t> image, ImageKind kind,
                        const ImageHashes& hashes);

// The report with its verdict: whether a header check (the N64 header checksums, the SFC
// checksum) says "bad". A front-end fails on it; an image without a header to check is not bad.
struct ImageReport {
    std::string text;
    bool headerBad = false;
};
ImageReport ReportImageWithVerdict(std::span<const std::uint8_t> image, ImageKind kind,
                                   const ImageHashes& hashes);

}  // namespace reader::rom
