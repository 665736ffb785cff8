// SFC internal header: where it is found and what makes one plausible, the 16-bit sum with the
// mirroring of sizes that are not a power of two (against sums worked out separately), and the
// report's checksum lines on good and broken LoROM and HiROM images.
#include <gtest/gtest.h>

#include <cstdio>
#include <vector>

#include "frontend/rom/rom_report.hpp"
#include "frontend/rom/sfc_header.hpp"
#include "link/bytes.hpp"
#include "rom/rom_test_support.hpp"
#include "tools/test_images.hpp"

namespace reader::rom {
namespace {

using test::LcgBytes;
using test::LineValue;
using testimages::kMiB;

std::string Hex4(unsigned value) {
    std::array<char, 8> text{};
    std::snprintf(text.data(), text.size(), "0x%04X", value);
    return text.data();
}

TEST(SfcHeader, IsFoundInBothLayouts) {
    for (const bool hiRom : {false, true}) {
        const auto image = testimages::MakeSfcImage(hiRom, 3, hiRom ? 2 * kMiB : kMiB);
        const auto header = FindSfcHeader(image);
        ASSERT_TRUE(header.has_value()) << (hiRom ? "HiROM" : "LoROM");
        EXPECT_EQ(header->hiRom, hiRom);
        EXPECT_EQ(header->title, hiRom ? "PROJECT HIROM TEST" : "PROJECT LOROM TEST");
        EXPECT_EQ(header->romSize, image.size());
        EXPECT_EQ(header->romSizeByte, hiRom ? 0x0B : 0x0A);
        EXPECT_EQ(header->mapMode, hiRom ? 0x21 : 0x20);
        EXPECT_EQ(header->checksum + header->complement, 0xFFFF);
        EXPECT_EQ(header->checksum, CalculateSfcChecksum(image).checksum);
        // A cartridge read from its start: only the first 64 KiB are needed.
        EXPECT_TRUE(FindSfcHeader(std::span(image).first(0x10000)).has_value());
    }
}

TEST(SfcHeader, OnlyPlausibleOnesCount) {
    const auto good = testimages::MakeSfcImage(false, 4, kMiB);
    constexpr std::size_t kAt = kSfcLoRomHeaderOffset;
    struct Case {
        const char* what;
        std::size_t offset;
        std::uint8_t value;
        bool found;
    };
    const Case cases[] = {
        {"complement one bit off", kAt + kSfcComplementOffset,
         static_cast<std::uint8_t>(good[kAt + kSfcComplementOffset] ^ 0x01), false},
        {"ROM size byte 0x04", kAt + kSfcRomSizeOffset, 0x04, false},
        {"ROM size byte 0x05", kAt + kSfcRomSizeOffset, 0x05, true},
        {"ROM size byte 0x0D", kAt + kSfcRomSizeOffset, 0x0D, true},
        {"ROM size byte 0x0E", kAt + kSfcRomSizeOffset, 0x0E, false},
        {"fast LoROM", kAt + kSfcMapModeOffset, 0x30, true},
        {"SA-1 map mode", kAt + kSfcMapModeOffset, 0x23, true},
        {"HiROM map mode at the LoROM place", kAt + kSfcMapModeOffset, 0x21, false},
        {"map mode without bit 5", kAt + kSfcMapModeOffset, 0x00, false},
        {"map mode with bit 7", kAt + kSfcMapModeOffset, 0xA0, false},
    };
    for (const auto& c : cases) {
        std::vector<std::uint8_t> image = good;
        image[c.offset] = c.value;
        EXPECT_EQ(FindSfcHeader(image).has_value(), c.found) << c.what;
    }
    // The header must lie wholly inside the span.
    EXPECT_FALSE(FindSfcHeader(std::span(good).first(kAt + kSfcHeaderSize - 1)).has_value());
    EXPECT_TRUE(FindSfcHeader(std::span(good).first(kAt + kSfcHeaderSize)).has_value());
    EXPECT_FALSE(FindSfcHeader({}).has_value());
}

TEST(SfcChecksum, MirrorsSizesThatAreNotAPowerOfTwo) {
    struct Case {
        std::size_t size;
        std::uint16_t checksum;
        std::size_t mirroredSize;
    };
    // Worked out separately for LcgBytes(size).
    const Case cases[] = {
        {0, 0x0000, 0},
        {0x1234, 0x7647, 0x2000},    // 4 KiB + 0x234 bytes mirrored recursively
        {0x18000, 0xFFE2, 0x20000},  // 64 KiB + 32 KiB twice
        {0x28000, 0x36C7, 0x40000},  // 128 KiB + 32 KiB four times
        {0x30000, 0xC973, 0x40000},  // 128 KiB + (32 KiB + 32 KiB twice)
    };
    for (const auto& c : cases) {
        const SfcSum sum = CalculateSfcChecksum(LcgBytes(c.size));
        EXPECT_EQ(sum.checksum, c.checksum) << c.size << " bytes: " << Hex4(sum.checksum);
        EXPECT_EQ(sum.mirroredSize, c.mirroredSize) << c.size << " bytes";
    }
}

struct SfcLayout {
    bool hiRom;
    std::size_t size;
};

class SfcReport : public ::testing::TestWithParam<SfcLayout> {};

TEST_P(SfcReport, GoodAndBrokenImages) {
    const auto [hiRom, size] = GetParam();
    const auto good = testimages::MakeSfcImage(hiRom, 7, size);
    const std::size_t at = hiRom ? kSfcHiRomHeaderOffset : kSfcLoRomHeaderOffset;
    const unsigned checksum = link::GetLe16(good, at + kSfcChecksumOffset);
    const unsigned complement = 0xFFFFu ^ checksum;

    const std::string report = ReportImage(good, ImageKind::Sfc);
    EXPECT_EQ(LineValue(report, "Header"),
              hiRom ? "HiROM at 0xFFC0, map mode 0x21" : "LoROM at 0x7FC0, map mode 0x20");
    EXPECT_EQ(LineValue(report, "Title"), hiRom ? "PROJECT HIROM TEST" : "PROJECT LOROM TEST");
    EXPECT_EQ(LineValue(report, "Checksum"),
              "OK (" + Hex4(checksum) + ", complement " + Hex4(complement) + ")");

    auto badHeader = good;
    testimages::BreakSfcHeaderChecksum(badHeader, hiRom);
    EXPECT_EQ(LineValue(ReportImage(badHeader, ImageKind::Sfc), "Checksum"),
              "bad: calculated " + Hex4(checksum) + ", header " + Hex4((checksum + 1) & 0xFFFF) +
                  " (complement " + Hex4((complement - 1) & 0xFFFF) + ")");

    // Inverting byte b changes the sum by (255 - b) - b.
    auto badBody = good;
    testimages::FlipByte(badBody, testimages::kSfcFlippedByteOffset);
    const unsigned before = good[testimages::kSfcFlippedByteOffset];
    EXPECT_EQ(LineValue(ReportImage(badBody, ImageKind::Sfc), "Checksum"),
              "bad: calculated " + Hex4((checksum + 255 - 2 * before) & 0xFFFF) + ", header " +
                  Hex4(checksum) + " (complement " + Hex4(complement) + ")");
}

std::string LayoutTestName(const ::testing::TestParamInfo<SfcLayout>& param) {
    return (param.param.hiRom ? "HiRom" : "LoRom") + std::to_string(param.param.size / 1024) +
           "KiB";
}

INSTANTIATE_TEST_SUITE_P(BothLayouts, SfcReport,
                         ::testing::Values(SfcLayout{false, kMiB}, SfcLayout{true, 2 * kMiB},
                                           SfcLayout{false, 3 * kMiB / 2},
                                           SfcLayout{true, 3 * kMiB}),
                         LayoutTestName);

TEST(SfcReportLines, SizesMirroringAndMissingHeader) {
    const auto odd = testimages::MakeSfcImage(true, 8, 3 * kMiB);
    const std::string report = ReportImage(odd, ImageKind::Sfc);
    EXPECT_EQ(LineValue(report, "ROM size"),
              "4 MiB (size byte 0x0C), the image holds 3145728 bytes (3 MiB)");
    EXPECT_EQ(LineValue(report, "Checksum area"), "3 MiB, mirrored to 4 MiB");

    const auto even = testimages::MakeSfcImage(false, 8, kMiB);
    EXPECT_EQ(LineValue(ReportImage(even, ImageKind::Sfc), "ROM size"), "1 MiB (size byte 0x0A)");
    EXPECT_EQ(LineValue(ReportImage(even, ImageKind::Sfc), "Checksum area"), "(missing)");

    const auto noHeader = LcgBytes(0x20000);
    const std::string bare = ReportImage(noHeader, ImageKind::Sfc);
    EXPECT_EQ(LineValue(bare, "Header"), "none found (no plausible header at 0x7FC0 or 0xFFC0)");
    EXPECT_EQ(LineValue(bare, "Checksum"), Hex4(CalculateSfcChecksum(noHeader).checksum) +
                                               " calculated, no header to compare with");
    EXPECT_EQ(LineValue(bare, "Title"), "(missing)");
}

TEST(SfcReportLines, LeaveACopierHeaderOut) {
    const auto image = testimages::MakeSfcImage(false, 10, kMiB);
    std::vector<std::uint8_t> file(kSfcCopierHeaderSize + image.size(), 0xEE);
    std::copy(image.begin(), image.end(), std::span(file).subspan(kSfcCopierHeaderSize).begin());
    EXPECT_EQ(RecogniseImage(file), ImageKind::Sfc);
    const std::string report = ReportImage(file, ImageKind::Sfc);
    EXPECT_EQ(LineValue(report, "Copier header"),
              "512 bytes, left out of the header search and the checksum");
    EXPECT_EQ(LineValue(report, "Header"), "LoROM at 0x7FC0, map mode 0x20");
    EXPECT_TRUE(LineValue(report, "Checksum").starts_with("OK (")) << report;
    EXPECT_EQ(LineValue(report, "Size"), "1049088 bytes (1.0 MiB)");
}

}  // namespace
}  // namespace reader::rom
