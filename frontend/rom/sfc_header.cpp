#include "frontend/rom/sfc_header.hpp"

#include <algorithm>
#include <array>
#include <bit>
#include <numeric>

#include "frontend/rom/header_text.hpp"
#include "link/bytes.hpp"

namespace reader::rom {
namespace {

constexpr std::uint8_t kMapModeFixedBits = 0xE0;  // always 001x xxxx
constexpr std::uint8_t kMapModeLayoutBits = 0x0F;
// Layouts (low four bits of the map mode) whose header sits at each place: LoROM, the larger
// LoROM variants and the SA-1; HiROM, extended HiROM and the SPC7110's.
constexpr std::array<std::uint8_t, 3> kLoRomLayouts{0x0, 0x2, 0x3};
constexpr std::array<std::uint8_t, 3> kHiRomLayouts{0x1, 0x5, 0xA};

std::optional<SfcHeader> PlausibleHeaderAt(std::span<const std::uint8_t> image, bool hiRom) {
    const std::size_t offset = hiRom ? kSfcHiRomHeaderOffset : kSfcLoRomHeaderOffset;
    if (image.size() < offset + kSfcHeaderSize) {
        return std::nullopt;
    }
    const auto header = image.subspan(offset, kSfcHeaderSize);
    SfcHeader found{};
    found.hiRom = hiRom;
    found.mapMode = header[kSfcMapModeOffset];
    found.romSizeByte = header[kSfcRomSizeOffset];
    found.checksum = link::GetLe16(header, kSfcChecksumOffset);
    found.complement = link::GetLe16(header, kSfcComplementOffset);
    if (found.checksum + found.complement != 0xFFFF) {
        return std::nullopt;
    }
    if (found.romSizeByte < kSfcSmallestRomSizeByte || found.romSizeByte > kSfcLargestRomSizeByte) {
        return std::nullopt;
    }
    const auto& layouts = hiRom ? kHiRomLayouts : kLoRomLayouts;
    const auto layout = static_cast<std::uint8_t>(found.mapMode & kMapModeLayoutBits);
    if ((found.mapMode & kMapModeFixedBits) != 0x20 ||
        std::find(layouts.begin(), layouts.end(), layout) == layouts.end()) {
        return std::nullopt;
    }
    found.romSize = std::uint32_t{1024} << found.romSizeByte;
    found.title = PrintableText(header.subspan(kSfcTitleOffset, kSfcTitleSize));
    return found;
}

// How much of a title is real text: a header found in the middle of program data rarely has one.
std::size_t PrintableCount(const std::string& title) {
    return static_cast<std::size_t>(
        std::count_if(title.begin(), title.end(), [](char c) { return c != '.'; }));
}

std::uint32_t ByteSum(std::span<const std::uint8_t> bytes) {
    return std::accumulate(bytes.begin(), bytes.end(), std::uint32_t{0});
}

// The sum modulo 2^32 of the mirrored ROM (the checksum is its low 16 bits).
std::uint32_t MirroredSum(std::span<const std::uint8_t> rom, std::size_t& mirroredSize) {
    if (rom.empty()) {
        mirroredSize = 0;
        return 0;
    }
    const std::size_t whole = std::bit_floor(rom.size());
    if (whole == rom.size()) {
        mirroredSize = whole;
        return ByteSum(rom);
    }
    std::size_t restSize = 0;
    const std::uint32_t rest = MirroredSum(rom.subspan(whole), restSize);
    mirroredSize = 2 * whole;
    // restSize is a power of two no larger than `whole`, so the repeats fill it exactly.
    return ByteSum(rom.first(whole)) + rest * static_cast<std::uint32_t>(whole / restSize);
}

}  // namespace

std::optional<SfcHeader> FindSfcHeader(std::span<const std::uint8_t> image) {
    const auto loRom = PlausibleHeaderAt(image, false);
    const auto hiRom = PlausibleHeaderAt(image, true);
    if (loRom && hiRom) {
        // Both places hold something header-like: the one with more of a title wins.
        return PrintableCount(hiRom->title) > PrintableCount(loRom->title) ? hiRom : loRom;
    }
    return loRom ? loRom : hiRom;
}

std::size_t SfcCopierHeaderSize(std::size_t imageSize) {
    return imageSize % 1024 == kSfcCopierHeaderSize ? kSfcCopierHeaderSize : 0;
}

SfcSum CalculateSfcChecksum(std::span<const std::uint8_t> rom) {
    SfcSum result{};
    result.checksum = static_cast<std::uint16_t>(MirroredSum(rom, result.mirroredSize) & 0xFFFFu);
    return result;
}

}  // namespace reader::rom
