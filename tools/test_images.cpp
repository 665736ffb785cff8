#include "tools/test_images.hpp"

#include <algorithm>
#include <array>
#include <bit>
#include <string>
#include <string_view>

#include "frontend/rom/rom_report.hpp"
#include "frontend/rom/sfc_header.hpp"
#include "link/bytes.hpp"
#include "text/text.hpp"
#include "tools/split_mix64.hpp"

namespace reader::testimages {
namespace {

using rom::N64BootCode;
using tools::SplitMix64;

void FillRandom(std::span<std::uint8_t> bytes, std::uint64_t seed) {
    SplitMix64 random(seed);
    std::uint64_t word = 0;
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        if (i % 8 == 0) {
            word = random.Next();
        }
        bytes[i] = static_cast<std::uint8_t>(word >> (8 * (i % 8)));
    }
}

void PutText(std::span<std::uint8_t> field, std::string_view text) {
    std::fill(field.begin(), field.end(), std::uint8_t{' '});
    std::copy_n(text.begin(), std::min(text.size(), field.size()), field.begin());
}

// The rest of an N64 header, made up in the usual shape.
constexpr std::size_t kN64ClockRateOffset = 0x04;
constexpr std::uint32_t kN64ClockRate = 0x0000000F;
constexpr std::size_t kN64EntryPointOffset = 0x08;
constexpr std::uint32_t kN64EntryPoint = 0x80000400;
constexpr std::size_t kN64ReleaseOffset = 0x0C;
constexpr std::uint32_t kN64Release = 0x00001447;
constexpr std::size_t kN64UnusedOffset = 0x18;  // 8 zero bytes before the title
constexpr std::size_t kN64GameCodeOffset = 0x3B;
constexpr std::string_view kN64GameCode = "NPTE";  // media, two-letter id, region
constexpr std::size_t kN64VersionOffset = 0x3F;

// The four boot code bytes that ImitateN64BootCodeCrc sets: clear of the words 6105 mixes in.
constexpr std::size_t kImitationOffset = 0xFF0;

// The rest of an SFC header, and the reset vector that follows it.
constexpr std::uint8_t kSfcCartridgeRomOnly = 0x00;
constexpr std::uint8_t kSfcRegionNorthAmerica = 0x01;
constexpr std::size_t kSfcResetVectorOffset = 0x3C;  // from the start of the header
constexpr std::uint16_t kSfcResetVector = 0x8000;
// The checksum fields before the sum: their four bytes add up to 0x1FE whatever the checksum.
constexpr std::uint16_t kSfcBlankChecksum = 0x0000;
constexpr std::uint16_t kSfcBlankComplement = 0xFFFF;

std::size_t SfcHeaderOffset(bool hiRom) {
    return hiRom ? rom::kSfcHiRomHeaderOffset : rom::kSfcLoRomHeaderOffset;
}

void StoreSfcChecksum(std::span<std::uint8_t> header, std::uint16_t checksum,
                      std::uint16_t complement) {
    link::PutLe16(header, rom::kSfcChecksumOffset, checksum);
    link::PutLe16(header, rom::kSfcComplementOffset, complement);
}

// Four bytes at `at` of `region` such that the region's CRC32 becomes `wanted`. CRC-32 is linear
// over GF(2) in the message bits for a fixed length, so the change each of the 32 bits makes is
// measured and the combination that gives the wanted change is found by elimination.
void ImposeCrc32(std::span<std::uint8_t> region, std::size_t at, std::uint32_t wanted) {
    const auto patch = region.subspan(at, 4);
    std::fill(patch.begin(), patch.end(), std::uint8_t{0});
    const std::uint32_t base = rom::Crc32(region);

    struct Basis {
        std::uint32_t change = 0;  // what the bits in `bits` change together
        std::uint32_t bits = 0;
    };
    std::array<Basis, 32> basis{};  // by highest bit of `change`
    for (std::size_t bit = 0; bit < 32; ++bit) {
        patch[bit / 8] = static_cast<std::uint8_t>(1u << (bit % 8));
        Basis vector{rom::Crc32(region) ^ base, std::uint32_t{1} << bit};
        patch[bit / 8] = 0;
        while (vector.change != 0) {
            const auto top = static_cast<std::size_t>(31 - std::countl_zero(vector.change));
            if (basis[top].change == 0) {
                basis[top] = vector;
                break;
            }
            vector.change ^= basis[top].change;
            vector.bits ^= basis[top].bits;
        }
    }
    std::uint32_t remaining = wanted ^ base;
    std::uint32_t bits = 0;
    while (remaining != 0) {
        const auto top = static_cast<std::size_t>(31 - std::countl_zero(remaining));
        if (basis[top].change == 0) {
            break;  // cannot happen: four consecutive bytes reach every CRC-32 value
        }
        remaining ^= basis[top].change;
        bits ^= basis[top].bits;
    }
    for (std::size_t i = 0; i < 4; ++i) {
        patch[i] = static_cast<std::uint8_t>(bits >> (8 * i));
    }
}

// The 12 MiB N64 image is made from the seed plus this.
constexpr std::uint64_t kTwelveMiBSeedStep = 12;

constexpr std::string_view kDatName = "Project test images";

std::string XmlEscaped(std::string_view text) {
    std::string escaped;
    for (const char c : text) {
        switch (c) {
            case '&':
                escaped += "&amp;";
                break;
            case '<':
                escaped += "&lt;";
                break;
            case '>':
                escaped += "&gt;";
                break;
            case '"':
                escaped += "&quot;";
                break;
            case '\'':
                escaped += "&apos;";
                break;
            default:
                escaped += c;
        }
    }
    return escaped;
}

// The bytes a DAT lists for an image: an N64 image in big-endian order, an SFC image without a
// copier header, anything else as it is.
std::vector<std::uint8_t> DatForm(std::span<const std::uint8_t> image) {
    switch (rom::RecogniseImage(image)) {
        case rom::ImageKind::N64: {
            std::vector<std::uint8_t> bytes(image.begin(), image.end());
            if (const auto order = rom::DetectN64ByteOrder(bytes)) {
                rom::ConvertN64ByteOrder(bytes, *order, rom::N64ByteOrder::BigEndian);
            }
            return bytes;
        }
        case rom::ImageKind::Sfc:
            return {
                image.begin() + static_cast<std::ptrdiff_t>(rom::SfcCopierHeaderSize(image.size())),
                image.end()};
        case rom::ImageKind::Other:
            break;
    }
    return {image.begin(), image.end()};
}

}  // namespace

std::vector<std::uint8_t> MakeN64Image(N64BootCode code, std::uint64_t seed, std::size_t size) {
    std::vector<std::uint8_t> image(std::max(size, rom::kN64ChecksumEnd));
    FillRandom(image, seed ^ (std::uint64_t{static_cast<std::uint8_t>(code)} << 56));
    std::copy(rom::kN64FirstWord.begin(), rom::kN64FirstWord.end(), image.begin());
    link::PutBe32(image, kN64ClockRateOffset, kN64ClockRate);
    link::PutBe32(image, kN64EntryPointOffset, kN64EntryPoint);
    link::PutBe32(image, kN64ReleaseOffset, kN64Release);
    std::fill_n(image.begin() + kN64UnusedOffset, rom::kN64TitleOffset - kN64UnusedOffset, 0);
    const std::string title = "PROJECT TEST " + std::string(rom::N64BootCodeName(code));
    PutText(std::span(image).subspan(rom::kN64TitleOffset, rom::kN64TitleSize), title);
    std::fill_n(image.begin() + rom::kN64TitleOffset + rom::kN64TitleSize,
                kN64GameCodeOffset - rom::kN64TitleOffset - rom::kN64TitleSize, 0);
    std::copy(kN64GameCode.begin(), kN64GameCode.end(), image.begin() + kN64GameCodeOffset);
    image[kN64VersionOffset] = 0;
    rom::StoreN64Checksums(image, rom::CalculateN64Checksums(image, code));
    return image;
}

std::vector<std::uint8_t> MakeCutN64Image(std::uint64_t seed, std::size_t size) {
    auto image = MakeN64Image(N64BootCode::Boot6102, seed, size);
    ImitateN64BootCodeCrc(image, N64BootCode::Boot6102);
    image.resize(size);
    return image;
}

std::vector<std::uint8_t> MakeSfcImage(bool hiRom, std::uint64_t seed, std::size_t size) {
    std::vector<std::uint8_t> image(std::max<std::size_t>(size, 0x10000));
    FillRandom(image, seed ^ (hiRom ? 0x5F0000ull : 0x5E0000ull));
    const auto header = std::span(image).subspan(SfcHeaderOffset(hiRom), rom::kSfcHeaderSize);
    PutText(header.subspan(rom::kSfcTitleOffset, rom::kSfcTitleSize),
            hiRom ? "PROJECT HIROM TEST" : "PROJECT LOROM TEST");
    header[rom::kSfcMapModeOffset] = hiRom ? rom::kSfcMapModeHiRom : rom::kSfcMapModeLoRom;
    header[rom::kSfcCartridgeTypeOffset] = kSfcCartridgeRomOnly;
    const auto sizeByte = std::bit_width(std::bit_ceil(image.size()) / 1024) - 1;
    header[rom::kSfcRomSizeOffset] = static_cast<std::uint8_t>(sizeByte);
    header[rom::kSfcRamSizeOffset] = 0;
    header[rom::kSfcRegionOffset] = kSfcRegionNorthAmerica;
    header[rom::kSfcDeveloperOffset] = 0;
    header[rom::kSfcVersionOffset] = 0;
    link::PutLe16(image, SfcHeaderOffset(hiRom) + kSfcResetVectorOffset, kSfcResetVector);
    StoreSfcChecksum(header, kSfcBlankChecksum, kSfcBlankComplement);
    const std::uint16_t checksum = rom::CalculateSfcChecksum(image).checksum;
    StoreSfcChecksum(header, checksum, static_cast<std::uint16_t>(~checksum));
    return image;
}

void BreakN64HeaderChecksum(std::span<std::uint8_t> image) {
    rom::N64Checksums checksums = rom::StoredN64Checksums(image);
    ++checksums.first;
    rom::StoreN64Checksums(image, checksums);
}

void BreakSfcHeaderChecksum(std::span<std::uint8_t> image, bool hiRom) {
    const auto header = image.subspan(SfcHeaderOffset(hiRom), rom::kSfcHeaderSize);
    const std::uint16_t checksum = link::GetLe16(header, rom::kSfcChecksumOffset);
    const std::uint16_t complement = link::GetLe16(header, rom::kSfcComplementOffset);
    StoreSfcChecksum(header, static_cast<std::uint16_t>(checksum + 1),
                     static_cast<std::uint16_t>(complement - 1));
}

void FlipByte(std::span<std::uint8_t> image, std::size_t offset) {
    image[offset] = static_cast<std::uint8_t>(~image[offset]);
}

void ImitateN64BootCodeCrc(std::span<std::uint8_t> image, N64BootCode code) {
    const auto bootCode =
        image.subspan(rom::kN64BootCodeOffset, rom::kN64BootCodeEnd - rom::kN64BootCodeOffset);
    ImposeCrc32(bootCode, kImitationOffset - rom::kN64BootCodeOffset, rom::N64BootCodeCrc(code));
    rom::StoreN64Checksums(image, rom::CalculateN64Checksums(image, code));
}

std::vector<TestImage> MakeTestImages(std::uint64_t seed) {
    std::vector<TestImage> images;
    // An image under its game's name, then its copy with a broken header checksum and its copy
    // with a flipped byte (neither in the DAT file).
    const auto addWithBrokenCopies = [&images](const std::string& stem, const std::string& ext,
                                               const std::vector<std::uint8_t>& image,
                                               const std::string& game, auto breakHeader,
                                               std::size_t flipAt) {
        images.push_back({stem + ext, image, game});
        images.push_back({stem + "-bad-header" + ext, image});
        breakHeader(images.back().bytes);
        images.push_back({stem + "-bad-body" + ext, image});
        FlipByte(images.back().bytes, flipAt);
    };

    std::vector<std::uint8_t> n64Main;
    for (const N64BootCode code : rom::kN64BootCodes) {
        // The most common boot code at a common cartridge size, the others at the smallest.
        const bool main = code == N64BootCode::Boot6102;
        const std::vector<std::uint8_t> image = MakeN64Image(code, seed, (main ? 8 : 4) * kMiB);
        const std::string name(rom::N64BootCodeName(code));
        addWithBrokenCopies("n64-" + name, ".z64", image, "Project Test " + name + " (World)",
                            BreakN64HeaderChecksum, kN64FlippedByteOffset);
        if (main) {
            n64Main = image;
        }
    }
    // A size that is not a power of two, from a seed of its own so that its first 8 MiB are not
    // the 8 MiB image's.
    images.push_back({"n64-6102-12mib.z64",
                      MakeN64Image(N64BootCode::Boot6102, seed + kTwelveMiBSeedStep, 12 * kMiB),
                      "Project Test 6102 12 MiB (World)"});
    // The 6102 image in the two other byte orders.
    for (const auto& [order, name] : {std::pair{rom::N64ByteOrder::ByteSwapped, "n64-6102.v64"},
                                      std::pair{rom::N64ByteOrder::LittleEndian, "n64-6102.n64"}}) {
        images.push_back({name, n64Main});
        rom::ConvertN64ByteOrder(images.back().bytes, rom::N64ByteOrder::BigEndian, order);
    }

    for (const bool hiRom : {false, true}) {
        addWithBrokenCopies(
            hiRom ? "sfc-hirom" : "sfc-lorom", ".sfc",
            MakeSfcImage(hiRom, seed, (hiRom ? 2 : 1) * kMiB),
            std::string("Project Test ") + (hiRom ? "HiROM" : "LoROM") + " (World)",
            [hiRom](std::span<std::uint8_t> image) { BreakSfcHeaderChecksum(image, hiRom); },
            kSfcFlippedByteOffset);
    }
    // A size that is not a power of two: its last 1 MiB counts twice in the checksum.
    images.push_back({"sfc-hirom-3mib.sfc", MakeSfcImage(true, seed, 3 * kMiB),
                      "Project Test HiROM 3 MiB (World)"});
    return images;
}

std::string MakeTestImagesDat(std::span<const TestImage> images, std::uint64_t seed) {
    const std::string made = "made by make-test-images from seed " + std::to_string(seed);
    std::string dat = "<?xml version=\"1.0\"?>\n<datafile>\n\t<header>\n";
    dat += "\t\t<name>" + XmlEscaped(kDatName) + "</name>\n";
    dat +=
        "\t\t<description>" + XmlEscaped(std::string(kDatName) + ", " + made) + "</description>\n";
    dat += "\t\t<version>" + XmlEscaped("seed " + std::to_string(seed)) + "</version>\n";
    dat += "\t</header>\n";
    for (const TestImage& image : images) {
        if (image.game.empty()) {
            continue;
        }
        const std::vector<std::uint8_t> listed = DatForm(image.bytes);
        const std::string game = XmlEscaped(image.game);
        dat += "\t<game name=\"" + game + "\">\n";
        dat += "\t\t<description>" + game + "</description>\n";
        dat += "\t\t<rom name=\"" + XmlEscaped(image.fileName) + "\" size=\"" +
               std::to_string(listed.size()) + "\" crc=\"" +
               text::HexDigits(rom::Crc32(listed), 8, text::Letters::Lower) + "\" sha1=\"" +
               text::HexBytes(rom::Sha1(listed), text::Letters::Lower) + "\"/>\n";
        dat += "\t</game>\n";
    }
    dat += "</datafile>\n";
    return dat;
}

}  // namespace reader::testimages
