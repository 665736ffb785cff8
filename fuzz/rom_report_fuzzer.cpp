// The dump report and its parts over any file: recognition, the SFC header search, byte-order
// detection and conversion, and the report for each kind of image. Whatever the bytes, nothing
// crashes and:
//   - an image is recognised as N64 exactly when its first word is one, and as SFC when (after a
//     copier header) a plausible header is found;
//   - a header found is plausible: checksum and complement add up to 0xFFFF, the ROM size is
//     1024 << its size byte within 0x05..0x0D, the title is at most 21 printable characters;
//   - converting between any two byte orders and back gives the input, and an image whose order
//     was detected is detected in its new order after the conversion (checked on the first
//     4 KiB and three bytes);
//   - every report starts with the system, size, CRC32 and SHA-1 lines of the image, is made of
//     "name: value" lines each ending in '\n', and carries the lines of its kind.
#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "frontend/rom/n64_header.hpp"
#include "frontend/rom/rom_report.hpp"
#include "frontend/rom/sfc_header.hpp"

namespace {

using namespace reader::rom;

// A broken invariant ends the run with a crash, which libFuzzer reports with the input.
void Require(bool condition) {
    if (!condition) {
        std::abort();
    }
}

constexpr std::array kOrders{N64ByteOrder::BigEndian, N64ByteOrder::ByteSwapped,
                             N64ByteOrder::LittleEndian};
constexpr std::array kKinds{ImageKind::Other, ImageKind::N64, ImageKind::Sfc};

void CheckHeader(const SfcHeader& header) {
    Require(header.checksum + header.complement == 0xFFFF);
    Require(header.romSizeByte >= kSfcSmallestRomSizeByte &&
            header.romSizeByte <= kSfcLargestRomSizeByte);
    Require(header.romSize == std::uint32_t{1024} << header.romSizeByte);
    Require(header.title.size() <= kSfcTitleSize);
    for (const char c : header.title) {
        Require(c >= 0x20 && c < 0x7F);
    }
    Require(header.title.empty() || header.title.back() != ' ');
}

void CheckByteOrders(std::span<const std::uint8_t> image) {
    const auto detected = DetectN64ByteOrder(image);
    for (const N64ByteOrder from : kOrders) {
        Require(ParseN64ByteOrder(N64ByteOrderName(from)) == from);
        for (const N64ByteOrder to : kOrders) {
            std::vector<std::uint8_t> copy(image.begin(), image.end());
            ConvertN64ByteOrder(copy, from, to);
            if (detected == from) {
                Require(DetectN64ByteOrder(copy) == to);
            }
            ConvertN64ByteOrder(copy, to, from);
            Require(std::equal(copy.begin(), copy.end(), image.begin(), image.end()));
        }
    }
}

// "CRC32: ...\nSHA-1: ...\n" of the image.
std::string HashLines(std::span<const std::uint8_t> image) {
    std::array<char, 16> crc{};
    std::snprintf(crc.data(), crc.size(), "%08X", static_cast<unsigned>(Crc32(image)));
    std::string sha1;
    for (const std::uint8_t byte : Sha1(image)) {
        std::array<char, 3> pair{};
        std::snprintf(pair.data(), pair.size(), "%02x", static_cast<unsigned>(byte));
        sha1 += pair.data();
    }
    return std::string("CRC32: ") + crc.data() + "\nSHA-1: " + sha1 + "\n";
}

bool HasLine(const std::string& report, std::string_view start) {
    return report.find("\n" + std::string(start)) != std::string::npos;
}

void CheckReport(std::span<const std::uint8_t> image, ImageKind kind, const std::string& hashes) {
    const std::string report = ReportImage(image, kind);
    const std::string system = kind == ImageKind::N64   ? "System: N64\n"
                               : kind == ImageKind::Sfc ? "System: SFC\n"
                                                        : "System: other\n";
    const std::string size =
        "Size: " + std::to_string(image.size()) + (image.size() == 1 ? " byte" : " bytes");
    // The size line may go on with the size in KiB or MiB.
    Require(report.starts_with(system + size));
    const std::size_t sizeEnd = report.find('\n', system.size());
    Require(report.compare(sizeEnd + 1, hashes.size(), hashes) == 0);

    Require(!report.empty() && report.back() == '\n');
    std::size_t lines = 0;
    for (std::size_t at = 0; at < report.size(); ++lines) {
        const std::size_t end = report.find('\n', at);
        const std::string_view line(report.data() + at, end - at);
        const std::size_t colon = line.find(": ");
        Require(colon != std::string_view::npos && colon > 0 && colon + 2 < line.size());
        at = end + 1;
    }
    if (kind == ImageKind::Other) {
        Require(lines == 4);
    } else if (kind == ImageKind::N64) {
        Require(HasLine(report, "Byte order: "));
        Require((image.size() < kN64HeaderSize) == HasLine(report, "Header: incomplete"));
        Require((image.size() < kN64HeaderSize) != HasLine(report, "Header checksums: "));
    } else {
        Require(HasLine(report, "Header: "));
        Require(HasLine(report, "Checksum: "));
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::span<const std::uint8_t> image(data, size);

    const ImageKind kind = RecogniseImage(image);
    const bool n64 = DetectN64ByteOrder(image).has_value();
    const auto header = FindSfcHeader(image);
    if (header) {
        CheckHeader(*header);
    }
    const auto content = FindSfcHeader(image.subspan(SfcCopierHeaderSize(size)));
    if (content) {
        CheckHeader(*content);
    }
    Require((kind == ImageKind::N64) == n64);
    Require((kind == ImageKind::Sfc) == (!n64 && content.has_value()));

    // The conversions on a part of the image keep the runs quick: the first 4 KiB and a
    // part-word of three bytes (all of a smaller image, whatever its part-word).
    CheckByteOrders(image.first(std::min<std::size_t>(size, 4096 + 3)));
    const std::string hashes = HashLines(image);
    for (const ImageKind reportKind : kKinds) {
        CheckReport(image, reportKind, hashes);
    }
    return 0;
}
