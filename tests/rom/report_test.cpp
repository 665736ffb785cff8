// The report as a whole: recognition of what an image is, the lines every image gets whatever its
// size or content, and the exact text for the smallest cases.
#include <gtest/gtest.h>

#include <vector>

#include "frontend/rom/n64_header.hpp"
#include "frontend/rom/rom_report.hpp"
#include "frontend/rom/sfc_header.hpp"
#include "rom/rom_test_support.hpp"
#include "tools/test_images.hpp"

namespace reader::rom {
namespace {

using test::LcgBytes;
using test::LineValue;

TEST(RecogniseImage, FromTheContent) {
    struct Case {
        const char* what;
        std::vector<std::uint8_t> image;
        ImageKind kind;
    };
    auto sfcTruncated = testimages::MakeSfcImage(false, 1, testimages::kMiB);
    sfcTruncated.resize(kSfcLoRomHeaderOffset + kSfcHeaderSize);
    std::vector<std::uint8_t> littleEndian{0x80, 0x37, 0x12, 0x40};
    ConvertN64ByteOrder(littleEndian, N64ByteOrder::BigEndian, N64ByteOrder::LittleEndian);
    std::vector<std::uint8_t> copierOnly(kSfcCopierHeaderSize, 0);
    const Case cases[] = {
        {"N64 big-endian", {0x80, 0x37, 0x12, 0x40}, ImageKind::N64},
        {"N64 byte-swapped", {0x37, 0x80, 0x40, 0x12, 0x00}, ImageKind::N64},
        {"N64 little-endian", littleEndian, ImageKind::N64},
        {"three bytes of an N64 word", {0x80, 0x37, 0x12}, ImageKind::Other},
        {"SFC LoROM", testimages::MakeSfcImage(false, 1, testimages::kMiB), ImageKind::Sfc},
        {"SFC HiROM", testimages::MakeSfcImage(true, 1, 2 * testimages::kMiB), ImageKind::Sfc},
        {"SFC LoROM ending with its header", sfcTruncated, ImageKind::Sfc},
        {"pseudo-random bytes", LcgBytes(0x20000), ImageKind::Other},
        {"nothing", {}, ImageKind::Other},
        {"a copier header alone", copierOnly, ImageKind::Other},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(RecogniseImage(c.image), c.kind) << c.what;
    }
}

TEST(ReportImage, EveryImageGetsTheCommonLines) {
    for (const std::size_t size :
         {std::size_t{0}, std::size_t{1}, std::size_t{3}, std::size_t{4}, std::size_t{63},
          std::size_t{64}, std::size_t{0xFFF}, std::size_t{0x7FE0}, std::size_t{0x10001},
          std::size_t{0x1003FF}}) {
        std::vector<std::uint8_t> image = LcgBytes(size);
        std::copy_n(kN64FirstWord.begin(), std::min(size, kN64FirstWord.size()), image.begin());
        for (const ImageKind kind : {ImageKind::Other, ImageKind::N64, ImageKind::Sfc}) {
            const std::string report = ReportImage(image, kind);
            ASSERT_FALSE(report.empty());
            EXPECT_EQ(report.back(), '\n');
            EXPECT_EQ(report.find("\n\n"), std::string::npos) << report;
            EXPECT_TRUE(LineValue(report, "Size").starts_with(std::to_string(size) + " byte"))
                << report;
            EXPECT_EQ(LineValue(report, "CRC32").size(), 8u) << report;
            EXPECT_EQ(LineValue(report, "SHA-1").size(), 40u) << report;
        }
    }
}

TEST(ReportImage, ExactTextOfSmallImages) {
    const std::vector<std::uint8_t> abc{'a', 'b', 'c'};
    EXPECT_EQ(ReportImage(abc, ImageKind::Other),
              "System: other\n"
              "Size: 3 bytes\n"
              "CRC32: 352441C2\n"
              "SHA-1: a9993e364706816aba3e25717850c26c9cd0d89d\n");
    EXPECT_EQ(ReportImage({}, ImageKind::N64),
              "System: N64\n"
              "Size: 0 bytes\n"
              "CRC32: 00000000\n"
              "SHA-1: da39a3ee5e6b4b0d3255bfef95601890afd80709\n"
              "Byte order: unknown (the image is shorter than one word), read as big-endian\n"
              "Header: incomplete (the image holds 0 of its 64 bytes)\n");
    const std::vector<std::uint8_t> one{'a'};
    EXPECT_EQ(ReportImage(one, ImageKind::Sfc),
              "System: SFC\n"
              "Size: 1 byte\n"
              "CRC32: E8B7BE43\n"
              "SHA-1: 86f7e437faa5a7fce15d1ddcb9eaeaea377667b8\n"
              "Header: none found (no plausible header at 0x7FC0 or 0xFFC0)\n"
              "Checksum: 0x0061 calculated, no header to compare with\n");
}

TEST(ReportImage, SizeLine) {
    struct Case {
        std::size_t size;
        const char* line;
    };
    const Case cases[] = {
        {1000, "1000 bytes"},
        {1024, "1024 bytes (1 KiB)"},
        {0x180000, "1572864 bytes (1.5 MiB)"},
        {0x100001, "1048577 bytes (1.0 MiB)"},
        {0x300000, "3145728 bytes (3 MiB)"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(
            LineValue(ReportImage(std::vector<std::uint8_t>(c.size), ImageKind::Other), "Size"),
            c.line);
    }
}

TEST(ReportImage, NamesTheSystemItWasAskedFor) {
    // The caller's kind decides the header lines, not the content: an SFC image reported as N64
    // gets N64 lines that say its first word is no N64 one.
    const auto sfc = testimages::MakeSfcImage(false, 2, testimages::kMiB);
    const std::string report = ReportImage(sfc, ImageKind::N64);
    EXPECT_EQ(LineValue(report, "System"), "N64");
    EXPECT_TRUE(LineValue(report, "Byte order").starts_with("unknown (first word ")) << report;
    EXPECT_EQ(LineValue(ReportImage(sfc, ImageKind::Other), "Header"), "(missing)");
}

}  // namespace
}  // namespace reader::rom
