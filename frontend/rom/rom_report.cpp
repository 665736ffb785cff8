// The dump report. Every image gets the same first four lines:
//
//   System: N64 | SFC | other
//   Size: <bytes> bytes[ (<size>: 4 KiB, 1.5 MiB)]
//   CRC32: <8 upper-case hex digits>
//   SHA-1: <40 lower-case hex digits>
//
// N64 images go on with the byte order, then (from a big-endian view of the image) the header:
//
//   Byte order: big-endian | byte-swapped | little-endian
//             | unknown (first word 00 11 22 33), read as big-endian
//   Title: <title> | (blank)
//   Boot code: 6102 (CRC32 of 0x40..0xFFF: 90BB6CB5)
//            | unknown (CRC32 of 0x40..0xFFF: 1234ABCD)
//   Checksum area: 0x1000..0x100FFF, the image ends at 0x<end>: the missing bytes count as zero
//   Header checksums: OK (boot code 6102)
//                   | bad: calculated 1234ABCD 5678EF01, header 1234ABCE 5678EF01 (boot code 6102)
//
// The "Checksum area" line appears only for an image that ends inside that area. A boot code
// that its CRC32 does not name is recognised by trying each boot code's checksums instead:
//
//   Header checksums: OK (boot code 6103, recognised by its checksums)
//                   | bad: calculated 1234ABCD 5678EF01, header 1234ABCE 5678EF01 (for boot code
//                     6101/6102; the boot code is unknown and no boot code's checksums match)
//
// (6101 and 6102 calculate alike, so their checksums alone cannot tell them apart; the bad line
// shows the calculation of the most common boot code.) An image shorter than the 64 bytes of
// the header ends after the byte order with "Header: incomplete (...)".
//
// SFC images (after a copier header, when the size shows one) go on with the internal header:
//
//   Copier header: 512 bytes, left out of the header search and the checksum
//   Header: LoROM at 0x7FC0, map mode 0x20 | none found (no plausible header at 0x7FC0 or 0xFFC0)
//   Title: <title> | (blank)
//   ROM size: 4 MiB (size byte 0x0C)[, the image holds 3145728 bytes (3 MiB)]
//   Checksum area: 3 MiB, mirrored to 4 MiB
//   Checksum: OK (0x1234, complement 0xEDCB)
//           | bad: calculated 0x1234, header 0x1235 (complement 0xEDCA)
//           | 0x1234 calculated, no header to compare with
//
// "Checksum area" appears only for a ROM whose size is not a power of two (see sfc_header.hpp).
#include "frontend/rom/rom_report.hpp"

#include <algorithm>
#include <array>
#include <bit>
#include <string>
#include <vector>

#include "frontend/rom/hashes.hpp"
#include "frontend/rom/header_text.hpp"
#include "frontend/rom/n64_header.hpp"
#include "frontend/rom/sfc_header.hpp"
#include "text/text.hpp"

namespace reader::rom {
namespace {

// 6101 and 6102 share their checksums; when the boot code is unknown, these are tried in turn.
constexpr std::array kChecksumFamilies{N64BootCode::Boot6102, N64BootCode::Boot6103,
                                       N64BootCode::Boot6105, N64BootCode::Boot6106};

void AddLine(std::string& report, std::string_view name, std::string_view value) {
    report.append(name).append(": ").append(value).push_back('\n');
}

std::string TitleText(const std::string& title) {
    return title.empty() ? std::string("(blank)") : title;
}

// The name of a boot code's checksums: 6101 and 6102 cannot be told apart by them.
std::string FamilyName(N64BootCode code) {
    return code == N64BootCode::Boot6102 ? std::string("6101/6102")
                                         : std::string(N64BootCodeName(code));
}

void ReportCommon(std::string& report, std::span<const std::uint8_t> image, ImageKind kind,
                  const ImageHashes& hashes) {
    const char* system = kind == ImageKind::N64 ? "N64" : kind == ImageKind::Sfc ? "SFC" : "other";
    AddLine(report, "System", system);
    AddLine(report, "Size", text::ByteCountText(image.size()));
    AddLine(report, "CRC32", text::HexDigits(hashes.crc32, 8));
    AddLine(report, "SHA-1", text::HexBytes(hashes.sha1, text::Letters::Lower));
}

std::string ChecksumPair(N64Checksums checksums) {
    return text::HexDigits(checksums.first, 8) + ' ' + text::HexDigits(checksums.second, 8);
}

// Returns whether the checksums are bad.
bool ReportN64Checksums(std::string& report, std::span<const std::uint8_t> image,
                        std::optional<N64BootCode> bootCode) {
    const N64Checksums stored = StoredN64Checksums(image);
    if (bootCode) {
        const N64Checksums calculated = CalculateN64Checksums(image, *bootCode);
        const std::string name(N64BootCodeName(*bootCode));
        AddLine(report, "Header checksums",
                calculated == stored ? "OK (boot code " + name + ")"
                                     : "bad: calculated " + ChecksumPair(calculated) + ", header " +
                                           ChecksumPair(stored) + " (boot code " + name + ")");
        return calculated != stored;
    }
    for (const N64BootCode family : kChecksumFamilies) {
        if (CalculateN64Checksums(image, family) == stored) {
            AddLine(report, "Header checksums",
                    "OK (boot code " + FamilyName(family) + ", recognised by its checksums)");
            return false;
        }
    }
    const N64BootCode common = kChecksumFamilies.front();
    AddLine(report, "Header checksums",
            "bad: calculated " + ChecksumPair(CalculateN64Checksums(image, common)) + ", header " +
                ChecksumPair(stored) + " (for boot code " + FamilyName(common) +
                "; the boot code is unknown and no boot code's checksums match)");
    return true;
}

// Returns whether a header check says bad.
bool ReportN64(std::string& report, std::span<const std::uint8_t> image) {
    const auto order = DetectN64ByteOrder(image);
    if (order) {
        AddLine(report, "Byte order", N64ByteOrderName(*order));
    } else if (image.size() < kN64FirstWord.size()) {
        AddLine(report, "Byte order",
                "unknown (the image is shorter than one word), read as big-endian");
    } else {
        AddLine(report, "Byte order",
                "unknown (first word " + text::HexDigits(image[0], 2) + ' ' +
                    text::HexDigits(image[1], 2) + ' ' + text::HexDigits(image[2], 2) + ' ' +
                    text::HexDigits(image[3], 2) + "), read as big-endian");
    }
    if (image.size() < kN64HeaderSize) {
        AddLine(report, "Header",
                "incomplete (the image holds " + std::to_string(image.size()) + " of its " +
                    std::to_string(kN64HeaderSize) + " bytes)");
        return false;
    }

    // Everything the header checks read lies in the first 0x101000 bytes: a big-endian copy of
    // those is all an image in another order needs.
    std::span<const std::uint8_t> bigEndian = image.first(std::min(image.size(), kN64ChecksumEnd));
    std::vector<std::uint8_t> reordered;
    if (order && *order != N64ByteOrder::BigEndian) {
        reordered.assign(bigEndian.begin(), bigEndian.end());
        ConvertN64ByteOrder(reordered, *order, N64ByteOrder::BigEndian);
        bigEndian = reordered;
    }

    AddLine(report, "Title",
            TitleText(PrintableText(bigEndian.subspan(kN64TitleOffset, kN64TitleSize))));

    std::optional<N64BootCode> bootCode;
    if (bigEndian.size() < kN64BootCodeEnd) {
        AddLine(report, "Boot code",
                "incomplete (the image ends at " + text::Hex(bigEndian.size()) + ", before " +
                    text::Hex(kN64BootCodeEnd) + ")");
    } else {
        const std::uint32_t crc =
            Crc32(bigEndian.subspan(kN64BootCodeOffset, kN64BootCodeEnd - kN64BootCodeOffset));
        bootCode = N64BootCodeFromCrc(crc);
        const std::string name = bootCode ? std::string(N64BootCodeName(*bootCode)) : "unknown";
        AddLine(report, "Boot code",
                name + " (CRC32 of " + text::Hex(kN64BootCodeOffset) + ".." +
                    text::Hex(kN64BootCodeEnd - 1) + ": " + text::HexDigits(crc, 8) + ")");
    }

    if (image.size() < kN64ChecksumEnd) {
        AddLine(report, "Checksum area",
                text::Hex(kN64ChecksumStart) + ".." + text::Hex(kN64ChecksumEnd - 1) +
                    ", the image ends at " + text::Hex(image.size()) +
                    ": the missing bytes count as zero");
    }
    return ReportN64Checksums(report, bigEndian, bootCode);
}

// Returns whether the checksum is bad.
bool ReportSfc(std::string& report, std::span<const std::uint8_t> image) {
    const std::size_t copier = SfcCopierHeaderSize(image.size());
    if (copier != 0) {
        AddLine(report, "Copier header",
                std::to_string(copier) + " bytes, left out of the header search and the checksum");
    }
    const auto rom = image.subspan(copier);
    const auto header = FindSfcHeader(rom);
    if (header) {
        AddLine(report, "Header",
                std::string(header->hiRom ? "HiROM" : "LoROM") + " at " +
                    text::Hex(header->hiRom ? kSfcHiRomHeaderOffset : kSfcLoRomHeaderOffset) +
                    ", map mode " + text::Hex(header->mapMode, 2));
        AddLine(report, "Title", TitleText(header->title));
        std::string romSize = text::SizeText(header->romSize) + " (size byte " +
                              text::Hex(header->romSizeByte, 2) + ")";
        if (rom.size() != header->romSize) {
            romSize += ", the image holds " + text::ByteCountText(rom.size());
        }
        AddLine(report, "ROM size", romSize);
    } else {
        AddLine(report, "Header",
                "none found (no plausible header at " + text::Hex(kSfcLoRomHeaderOffset) + " or " +
                    text::Hex(kSfcHiRomHeaderOffset) + ")");
    }

    const SfcSum sum = CalculateSfcChecksum(rom);
    if (sum.mirroredSize != rom.size()) {
        AddLine(report, "Checksum area",
                text::SizeText(rom.size()) + ", mirrored to " + text::SizeText(sum.mirroredSize));
    }
    if (!header) {
        AddLine(report, "Checksum",
                text::Hex(sum.checksum, 4) + " calculated, no header to compare with");
        return false;
    }
    if (sum.checksum == header->checksum) {
        AddLine(report, "Checksum",
                "OK (" + text::Hex(header->checksum, 4) + ", complement " +
                    text::Hex(header->complement, 4) + ")");
        return false;
    }
    AddLine(report, "Checksum",
            "bad: calculated " + text::Hex(sum.checksum, 4) + ", header " +
                text::Hex(header->checksum, 4) + " (complement " +
                text::Hex(header->complement, 4) + ")");
    return true;
}

}  // namespace

ImageKind RecogniseImage(std::span<const std::uint8_t> image) {
    if (DetectN64ByteOrder(image)) {
        return ImageKind::N64;
    }
    if (FindSfcHeader(image.subspan(SfcCopierHeaderSize(image.size())))) {
        return ImageKind::Sfc;
    }
    return ImageKind::Other;
}

std::string ReportImage(std::span<const std::uint8_t> image, ImageKind kind) {
    return ReportImageWithVerdict(image, kind, HashImage(image)).text;
}

std::string ReportImage(std::span<const std::uint8_t> image, ImageKind kind,
                        const ImageHashes& hashes) {
    return ReportImageWithVerdict(image, kind, hashes).text;
}

ImageReport ReportImageWithVerdict(std::span<const std::uint8_t> image, ImageKind kind,
                                   const ImageHashes& hashes) {
    // Hashes of another size belong to another image: computed afresh.
    if (hashes.size != image.size()) {
        return ReportImageWithVerdict(image, kind, HashImage(image));
    }
    ImageReport report;
    ReportCommon(report.text, image, kind, hashes);
    if (kind == ImageKind::N64) {
        report.headerBad = ReportN64(report.text, image);
    } else if (kind == ImageKind::Sfc) {
        report.headerBad = ReportSfc(report.text, image);
    }
    return report;
}

}  // namespace reader::rom
