// make-release-data: makes the update client's release data from a seed.
//
//   make-release-data SEED OUTPUT_DIR
//
// writes OUTPUT_DIR/firmware-315.bin (the 30,720-byte image in its stored form) and
// OUTPUT_DIR/block_checksums.inc (the 30 block checksums, ready to be included into an array
// initialiser). The committed files were made with
//
//   ./build/debug/tools/make-release-data 315 update/release
//
// The same seed always gives the same bytes. The image opens with the identity that the new
// firmware presents ("N64_KRN03_RV315" and a NUL); the rest is a pseudo-random body. Every block's
// checksum is kept clear of 0 (a checksum reply that could not be read) and of 0xC084 (an erased
// block), and no two blocks share a checksum, so a stale reply left by another block can never
// pass for a correct one: where a block falls on such a value, its last byte is stepped until it
// does not.
#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <span>
#include <string>
#include <vector>

#include "link/crc16.hpp"
#include "text/text.hpp"
#include "tools/split_mix64.hpp"
#include "update/release_data.hpp"

namespace {

using reader::kFirmwareImageSize;
using reader::kFlashBlockCount;
using reader::kFlashBlockSize;
using reader::tools::SplitMix64;

constexpr const char* kImageFileName = "firmware-315.bin";
constexpr const char* kTableFileName = "block_checksums.inc";
constexpr std::size_t kTableValuesPerLine = 6;

bool Acceptable(std::uint16_t checksum, std::span<const std::uint16_t> taken) {
    return checksum != reader::kUnreadBlockChecksum && checksum != reader::kErasedBlockChecksum &&
           std::find(taken.begin(), taken.end(), checksum) == taken.end();
}

struct ReleaseData {
    std::vector<std::uint8_t> image;
    std::array<std::uint16_t, kFlashBlockCount> table{};
};

ReleaseData Make(std::uint64_t seed) {
    ReleaseData data;
    data.image.resize(kFirmwareImageSize);
    SplitMix64 random(seed);
    for (auto& byte : data.image) {
        byte = static_cast<std::uint8_t>(random.Next() >> 56);
    }
    std::fill_n(data.image.begin(), reader::kReleaseIdentitySize, std::uint8_t{0});
    std::copy(reader::kReleaseIdentity.begin(), reader::kReleaseIdentity.end(), data.image.begin());

    for (std::size_t block = 0; block < kFlashBlockCount; ++block) {
        const auto bytes = std::span(data.image).subspan(block * kFlashBlockSize, kFlashBlockSize);
        const auto taken = std::span<const std::uint16_t>(data.table).first(block);
        std::uint16_t checksum = reader::link::Crc16Xmodem(bytes);
        while (!Acceptable(checksum, taken)) {
            ++bytes.back();
            checksum = reader::link::Crc16Xmodem(bytes);
        }
        data.table[block] = checksum;
    }
    return data;
}

bool WriteImage(const std::filesystem::path& path, std::span<const std::uint8_t> image) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(image.data()),
              static_cast<std::streamsize>(image.size()));
    return static_cast<bool>(out);
}

bool WriteTable(const std::filesystem::path& path, std::uint64_t seed,
                std::span<const std::uint16_t> table) {
    std::ofstream out(path, std::ios::trunc);
    out << "// Made by tools/make_release_data.cpp with seed " << seed
        << "; do not edit by hand.\n"
           "// Entry k is the CRC-16/XMODEM of block k (bytes k * 1024 .. k * 1024 + 1023) of\n"
           "// firmware-315.bin, as the reader reports it for a correctly programmed block.\n";
    for (std::size_t i = 0; i < table.size(); ++i) {
        const bool lineEnd = (i + 1) % kTableValuesPerLine == 0 || i + 1 == table.size();
        out << reader::text::Hex(table[i], 4) << ',' << (lineEnd ? "\n" : " ");
    }
    return static_cast<bool>(out);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s SEED OUTPUT_DIR\n", argv[0]);
        return 2;
    }
    const auto seed = reader::text::ParseNumber(argv[1]);
    if (!seed) {
        std::fprintf(stderr, "%s: not a number (decimal, or 0x hex): %s\n", argv[0], argv[1]);
        return 2;
    }
    const std::filesystem::path directory = argv[2];
    const ReleaseData data = Make(*seed);
    if (!WriteImage(directory / kImageFileName, data.image) ||
        !WriteTable(directory / kTableFileName, *seed, data.table)) {
        std::fprintf(stderr, "%s: cannot write into %s\n", argv[0], argv[2]);
        return 1;
    }
    std::printf("%s and %s written to %s\n", kImageFileName, kTableFileName, argv[2]);
    return 0;
}
