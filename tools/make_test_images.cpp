// make-test-images: writes the project's own cartridge images into a folder.
//
//   make-test-images [--seed N] OUTPUT_DIR
//   make-test-images [--seed N] --n64-size SIZE OUTPUT_FILE
//
// The same seed always gives the same bytes (the default seed is 64). With --n64-size it writes
// one N64 image of exactly SIZE bytes (a number of bytes, or with K or M for KiB or MiB; 4 KiB to
// 64 MiB, the largest N64 cartridge ROM): big-endian, boot code 6102 (its made-up bytes given the
// CRC32 by which a report knows 6102), header checksums right, and a pseudo-random body from the
// seed and the size, so that images of different sizes differ and no block looks like what a
// reader shows past a ROM's end. An image shorter than the 1 MiB and 4 KiB the header checksums
// cover is made that long and cut, so its checksums are not its own. Otherwise the images:
//
//   n64-6101.z64 ... n64-6106.z64   N64, big-endian, header checksums right for that boot code
//                                   (6102: 8 MiB; the others 4 MiB); the boot code bytes are
//                                   made up, so a report recognises them by their checksums
//   n64-6102-12mib.z64              N64, big-endian, 12 MiB (not a power of two), boot code 6102,
//                                   content of its own (not the 8 MiB image's)
//   n64-6102.v64, n64-6102.n64      n64-6102.z64 byte-swapped and little-endian
//   sfc-lorom.sfc                   SFC LoROM, 1 MiB, header at 0x7FC0, right checksum
//   sfc-hirom.sfc                   SFC HiROM, 2 MiB, header at 0xFFC0, right checksum
//   sfc-hirom-3mib.sfc              SFC HiROM, 3 MiB (its last 1 MiB mirrored for the checksum)
//   <name>-bad-header.<ext>         each of n64-61xx.z64, sfc-lorom and sfc-hirom with its header
//                                   checksum one more than right (SFC: complement one less)
//   <name>-bad-body.<ext>           the same with one byte inverted (N64 at 0x80000, inside the
//                                   checksummed area; SFC at 0x20000)
//   project-test-images.dat         a DAT file (Logiqx XML) of the good images, with made-up game
//                                   names: size, CRC32 and SHA-1 of each (N64 in big-endian form,
//                                   so the .v64 and .n64 copies match the n64-6102.z64 entry)
#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include "text/text.hpp"
#include "tools/test_images.hpp"

namespace {

bool WriteFile(const std::filesystem::path& path, std::span<const std::uint8_t> bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    out.close();
    return static_cast<bool>(out);
}

// Writes one file and lists it with its size; false, with the reason on standard error, when it
// cannot be written.
bool WriteListed(const char* program, const std::filesystem::path& path,
                 std::span<const std::uint8_t> bytes) {
    errno = 0;
    if (!WriteFile(path, bytes)) {
        std::fprintf(stderr, "%s: cannot write %s: %s\n", program, path.string().c_str(),
                     errno != 0 ? std::strerror(errno) : "write error");
        return false;
    }
    std::printf("%-26s %9zu bytes\n", path.filename().string().c_str(), bytes.size());
    return true;
}

int Usage(const char* program) {
    std::fprintf(
        stderr,
        "usage: %s [--seed N] OUTPUT_DIR\n       %s [--seed N] --n64-size SIZE OUTPUT_FILE\n",
        program, program);
    return 2;
}

constexpr std::uint64_t kSmallestN64Image = 4 * reader::text::kKiB;  // the header and the boot code
constexpr std::uint64_t kLargestN64Image = 64 * reader::testimages::kMiB;

// "12M", "512K", "1048576": a number of bytes, or of KiB or MiB; nothing else.
std::optional<std::uint64_t> ParseSize(const char* text) {
    const auto size = reader::text::ParseNumber(text, /*allowSizeSuffix=*/true);
    if (!size || *size > kLargestN64Image) {
        return std::nullopt;
    }
    return size;
}

}  // namespace

int main(int argc, char** argv) {
    std::uint64_t seed = reader::testimages::kDefaultSeed;
    const char* outputName = nullptr;
    std::optional<std::uint64_t> n64Size;
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        if (argument == "--n64-size" && i + 1 < argc) {
            const char* text = argv[++i];
            n64Size = ParseSize(text);
            if (!n64Size || *n64Size < kSmallestN64Image) {
                std::fprintf(stderr,
                             "%s: the N64 image size is not 4K to 64M (bytes, K or M): %s\n",
                             argv[0], text);
                return 2;
            }
        } else if (argument == "--seed" && i + 1 < argc) {
            const char* number = argv[++i];
            const auto parsed = reader::text::ParseNumber(number);
            if (!parsed) {
                std::fprintf(stderr, "%s: the seed is not a number (decimal, or 0x hex): %s\n",
                             argv[0], number);
                return 2;
            }
            seed = *parsed;
        } else if (argument.starts_with("-") || outputName != nullptr) {
            return Usage(argv[0]);
        } else {
            outputName = argv[i];
        }
    }
    if (outputName == nullptr) {
        return Usage(argv[0]);
    }
    if (n64Size) {
        const auto image = reader::testimages::MakeCutN64Image(seed ^ *n64Size,
                                                               static_cast<std::size_t>(*n64Size));
        return WriteListed(argv[0], outputName, image) ? 0 : 1;
    }

    const std::filesystem::path directory = outputName;
    std::error_code error;
    std::filesystem::create_directories(directory, error);
    if (error) {
        std::fprintf(stderr, "%s: cannot create %s: %s\n", argv[0], outputName,
                     error.message().c_str());
        return 1;
    }
    const auto images = reader::testimages::MakeTestImages(seed);
    for (const auto& image : images) {
        if (!WriteListed(argv[0], directory / image.fileName, image.bytes)) {
            return 1;
        }
    }
    const std::string dat = reader::testimages::MakeTestImagesDat(images, seed);
    if (!WriteListed(argv[0], directory / reader::testimages::kTestImagesDatName,
                     std::span(reinterpret_cast<const std::uint8_t*>(dat.data()), dat.size()))) {
        return 1;
    }
    return 0;
}
