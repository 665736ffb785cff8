// The project's own cartridge images, for the tests of the dump report and of reader-tool: N64
// images whose header checksums are right for a chosen boot code, SFC LoROM and HiROM images whose
// header checksum is right, and broken copies of each. Every byte comes from a seed; nothing is
// taken from a real cartridge (the N64 boot code bytes are made up, so the report recognises the
// boot code by its checksums, not by its CRC32).
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "frontend/rom/n64_header.hpp"
#include "text/text.hpp"

namespace reader::testimages {

inline constexpr std::uint64_t kDefaultSeed = 64;
using text::kMiB;

// Where the broken copies have their flipped byte: inside the area the N64 header checksums
// cover, and in the body of an SFC image away from its header.
inline constexpr std::size_t kN64FlippedByteOffset = 0x80000;
inline constexpr std::size_t kSfcFlippedByteOffset = 0x20000;

// A big-endian N64 image of `size` bytes (at least the 0x101000 the checksums cover): header
// with the title "PROJECT TEST <boot code>", made-up boot code bytes, a pseudo-random body, and
// the header checksums that boot code calculates.
std::vector<std::uint8_t> MakeN64Image(rom::N64BootCode code, std::uint64_t seed, std::size_t size);
// An SFC image of `size` bytes (64 KiB to 8 MiB) with its internal header at 0x7FC0 (LoROM) or
// 0xFFC0 (HiROM): title "PROJECT LOROM TEST" or "PROJECT HIROM TEST", the ROM size byte for
// `size` rounded up to a power of two, and the right checksum and complement.
std::vector<std::uint8_t> MakeSfcImage(bool hiRom, std::uint64_t seed, std::size_t size);

// The broken copies: the first header checksum word one more than it should be; the SFC checksum
// one more and its complement one less (so that the header still looks like one); one byte
// inverted.
void BreakN64HeaderChecksum(std::span<std::uint8_t> image);
void BreakSfcHeaderChecksum(std::span<std::uint8_t> image, bool hiRom);
void FlipByte(std::span<std::uint8_t> image, std::size_t offset);

// Changes four bytes of the made-up boot code so that the CRC32 of bytes 0x40..0xFFF becomes the
// one by which the report knows `code`, and stores the checksums again. With it the tests reach
// the report's lines for a boot code named by its CRC32 without any real boot code.
void ImitateN64BootCodeCrc(std::span<std::uint8_t> image, rom::N64BootCode code);

// The 6102 image of any `size` (4 KiB and more) with its boot code named by its CRC32: made as
// long as the header checksums reach (1 MiB and 4 KiB) and cut to `size`, so that an image
// shorter than that fails its header check.
std::vector<std::uint8_t> MakeCutN64Image(std::uint64_t seed, std::size_t size);

struct TestImage {
    std::string fileName;
    std::vector<std::uint8_t> bytes;
    // The made-up game name of its entry in the DAT file ("Project Test 6102 (World)"); empty for
    // the copies that have no entry of their own: the broken ones, and the 6102 image in its other
    // byte orders, which match the .z64 entry by their big-endian form.
    std::string game{};
};

// The set that make-test-images writes (see make_test_images.cpp for the list).
std::vector<TestImage> MakeTestImages(std::uint64_t seed);

// The DAT file that make-test-images writes beside the images.
inline constexpr std::string_view kTestImagesDatName = "project-test-images.dat";

// A DAT file (Logiqx XML, the dump databases' format) of the images that have a game name: one
// game each, with one rom entry of the image's file name, size, CRC32 and SHA-1 (lower-case hex).
// The hashes are those of the form a DAT lists: an N64 image in big-endian order, an SFC image
// without a copier header. Names are escaped for XML; there is no MD5, which the project's DAT
// reader does not need. The seed goes into the header's description and version.
std::string MakeTestImagesDat(std::span<const TestImage> images, std::uint64_t seed);

}  // namespace reader::testimages
