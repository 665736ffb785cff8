// N64 header checks. The checksum words are compared with values worked out separately for a
// fixed pseudo-random image (rom_test_support.hpp's LcgBytes, which any tool can reproduce); the
// report is run on the project's test images, good and broken, for every boot code, with made-up
// boot code bytes (recognised by their checksums) and with boot code bytes given the CRC32 of a
// known boot code (named by it), in every byte order.
#include <gtest/gtest.h>

#include <cstdio>
#include <vector>

#include "frontend/rom/n64_header.hpp"
#include "frontend/rom/rom_report.hpp"
#include "rom/rom_test_support.hpp"
#include "tools/test_images.hpp"

namespace reader::rom {

void PrintTo(const N64Checksums& checksums, std::ostream* out) {
    std::array<char, 24> text{};
    std::snprintf(text.data(), text.size(), "%08X %08X", checksums.first, checksums.second);
    *out << text.data();
}

namespace {

using test::LcgBytes;
using test::LineValue;

struct KnownAnswer {
    std::size_t size;
    N64BootCode code;
    N64Checksums checksums;
};

TEST(N64Checksums, MatchValuesWorkedOutSeparately) {
    const KnownAnswer cases[] = {
        {kN64ChecksumEnd, N64BootCode::Boot6101, {0xD281E972, 0x3DDD1241}},
        {kN64ChecksumEnd, N64BootCode::Boot6102, {0xD281E972, 0x3DDD1241}},
        {kN64ChecksumEnd, N64BootCode::Boot6103, {0xCA63E4F0, 0x268D0C84}},
        {kN64ChecksumEnd, N64BootCode::Boot6105, {0x38F547CB, 0xA87C7109}},
        {kN64ChecksumEnd, N64BootCode::Boot6106, {0x5566B944, 0x051A6BCD}},
        // Shorter images count as zero-padded, also within a word.
        {0x9003, N64BootCode::Boot6102, {0xCCC86139, 0xDE41EDAD}},
        {0x9003, N64BootCode::Boot6103, {0xD78E5C40, 0x7C58CA21}},
        {0x9003, N64BootCode::Boot6105, {0xEA2AEE83, 0xED433C80}},
        {0x9003, N64BootCode::Boot6106, {0x55455F64, 0x026CE0AB}},
        {0x1082, N64BootCode::Boot6105, {0xAFC439F9, 0x428BD9E7}},  // mid-round of 6105's table
        {0x100FFD, N64BootCode::Boot6102, {0xD290396C, 0x2D63646C}},
        {0x100FFD, N64BootCode::Boot6105, {0x38F54735, 0x03AFFE5C}},
        // Nothing to checksum: the seed, through each final step; 6105 still mixes in its own
        // boot code words.
        {0x1000, N64BootCode::Boot6102, {0xF8CA4DDC, 0x303A4DDC}},
        {0x1000, N64BootCode::Boot6105, {0xDF26F436, 0xAC326436}},
        {0x40, N64BootCode::Boot6105, {0xDF26F436, 0xDF26F436}},
        {0, N64BootCode::Boot6106, {0x04100F9E, 0x89F80F9E}},
    };
    for (const auto& c : cases) {
        const std::vector<std::uint8_t> image = LcgBytes(c.size);
        const N64Checksums got = CalculateN64Checksums(image, c.code);
        EXPECT_EQ(got, c.checksums) << N64BootCodeName(c.code) << ", " << c.size << " bytes";
    }
    // One word that clears the accumulator which the following zero words then fill from the sum.
    std::vector<std::uint8_t> clearing(kN64ChecksumStart);
    clearing.insert(clearing.end(), {0x93, 0x77, 0x3E, 0x32});
    EXPECT_EQ(CalculateN64Checksums(clearing, N64BootCode::Boot6102),
              (N64Checksums{0x1F36B23D, 0xA52C4018}));
    // Bytes beyond 0x100FFF play no part.
    std::vector<std::uint8_t> longer = LcgBytes(kN64ChecksumEnd + 16);
    longer.back() ^= 0xFF;
    EXPECT_EQ(CalculateN64Checksums(longer, N64BootCode::Boot6103),
              (N64Checksums{0xCA63E4F0, 0x268D0C84}));
}

TEST(N64BootCode, IsNamedFromTheCrcOfItsBytes) {
    for (const N64BootCode code : kN64BootCodes) {
        EXPECT_EQ(N64BootCodeFromCrc(N64BootCodeCrc(code)), code) << N64BootCodeName(code);
    }
    EXPECT_EQ(N64BootCodeCrc(N64BootCode::Boot6102), 0x90BB6CB5u);
    EXPECT_EQ(N64BootCodeFromCrc(0x12345678), std::nullopt);
}

std::string Hex8(std::uint32_t value) {
    std::array<char, 9> text{};
    std::snprintf(text.data(), text.size(), "%08X", value);
    return text.data();
}

std::string Pair(N64Checksums checksums) {
    return Hex8(checksums.first) + ' ' + Hex8(checksums.second);
}

// The image just covers the checksummed area, to keep the many reports quick.
constexpr std::size_t kImageSize = kN64ChecksumEnd;

class N64Report : public ::testing::TestWithParam<N64BootCode> {};

TEST_P(N64Report, GoodAndBrokenImagesWithMadeUpBootCode) {
    const N64BootCode code = GetParam();
    const std::vector<std::uint8_t> good = testimages::MakeN64Image(code, 5, kImageSize);
    const bool shared = code == N64BootCode::Boot6101 || code == N64BootCode::Boot6102;
    const std::string family = shared ? "6101/6102" : std::string(N64BootCodeName(code));

    for (const N64ByteOrder order :
         {N64ByteOrder::BigEndian, N64ByteOrder::ByteSwapped, N64ByteOrder::LittleEndian}) {
        std::vector<std::uint8_t> image = good;
        ConvertN64ByteOrder(image, N64ByteOrder::BigEndian, order);
        const std::string report = ReportImage(image, ImageKind::N64);
        EXPECT_EQ(LineValue(report, "Byte order"), N64ByteOrderName(order));
        EXPECT_EQ(LineValue(report, "Title"), "PROJECT TEST " + std::string(N64BootCodeName(code)));
        EXPECT_TRUE(LineValue(report, "Boot code").starts_with("unknown (CRC32 of 0x40..0xFFF: "))
            << report;
        EXPECT_EQ(LineValue(report, "Header checksums"),
                  "OK (boot code " + family + ", recognised by its checksums)")
            << report;
        EXPECT_EQ(LineValue(report, "Checksum area"), "(missing)");
    }

    std::vector<std::uint8_t> badHeader = good;
    testimages::BreakN64HeaderChecksum(badHeader);
    std::vector<std::uint8_t> badBody = good;
    testimages::FlipByte(badBody, testimages::kN64FlippedByteOffset);
    for (const auto* broken : {&badHeader, &badBody}) {
        // Unknown boot code and no checksums that match: bad, with the 6101/6102 calculation.
        const std::string line =
            LineValue(ReportImage(*broken, ImageKind::N64), "Header checksums");
        const std::string expected =
            "bad: calculated " + Pair(CalculateN64Checksums(*broken, N64BootCode::Boot6102)) +
            ", header " + Pair(StoredN64Checksums(*broken)) +
            " (for boot code 6101/6102; the boot code is unknown and no boot code's checksums "
            "match)";
        EXPECT_EQ(line, expected);
    }
    // The header's own calculation for the broken header: one less in the first word.
    const N64Checksums stored = StoredN64Checksums(good);
    EXPECT_EQ(StoredN64Checksums(badHeader), (N64Checksums{stored.first + 1, stored.second}));
}

TEST_P(N64Report, GoodAndBrokenImagesWithAKnownBootCodeCrc) {
    const N64BootCode code = GetParam();
    const std::string name(N64BootCodeName(code));
    std::vector<std::uint8_t> good = testimages::MakeN64Image(code, 6, kImageSize);
    testimages::ImitateN64BootCodeCrc(good, code);
    const N64Checksums right = StoredN64Checksums(good);

    std::vector<std::uint8_t> swapped = good;
    ConvertN64ByteOrder(swapped, N64ByteOrder::BigEndian, N64ByteOrder::ByteSwapped);
    for (const auto* image : {&good, &swapped}) {
        const std::string report = ReportImage(*image, ImageKind::N64);
        EXPECT_EQ(LineValue(report, "Boot code"),
                  name + " (CRC32 of 0x40..0xFFF: " + Hex8(N64BootCodeCrc(code)) + ")");
        EXPECT_EQ(LineValue(report, "Header checksums"), "OK (boot code " + name + ")");
    }

    std::vector<std::uint8_t> badHeader = good;
    testimages::BreakN64HeaderChecksum(badHeader);
    EXPECT_EQ(LineValue(ReportImage(badHeader, ImageKind::N64), "Header checksums"),
              "bad: calculated " + Pair(right) + ", header " +
                  Pair({right.first + 1, right.second}) + " (boot code " + name + ")");

    std::vector<std::uint8_t> badBody = good;
    testimages::FlipByte(badBody, testimages::kN64FlippedByteOffset);
    const std::string line = LineValue(ReportImage(badBody, ImageKind::N64), "Header checksums");
    EXPECT_TRUE(line.starts_with("bad: calculated ")) << line;
    EXPECT_TRUE(line.ends_with(", header " + Pair(right) + " (boot code " + name + ")")) << line;
}

std::string BootCodeTestName(const ::testing::TestParamInfo<N64BootCode>& param) {
    return "Boot" + std::string(N64BootCodeName(param.param));
}

INSTANTIATE_TEST_SUITE_P(EveryBootCode, N64Report, ::testing::ValuesIn(kN64BootCodes),
                         BootCodeTestName);

TEST(N64ReportOfShortImages, CountTheMissingBytesAsZero) {
    // An image that ends inside the checksummed area, with the checksums worked out separately
    // for its zero-padded form (see MatchValuesWorkedOutSeparately).
    std::vector<std::uint8_t> image = LcgBytes(0x9003);
    std::copy(kN64FirstWord.begin(), kN64FirstWord.end(), image.begin());
    StoreN64Checksums(image, {0xCCC86139, 0xDE41EDAD});
    const std::string report = ReportImage(image, ImageKind::N64);
    EXPECT_EQ(LineValue(report, "Checksum area"),
              "0x1000..0x100FFF, the image ends at 0x9003: the missing bytes count as zero");
    EXPECT_EQ(LineValue(report, "Header checksums"),
              "OK (boot code 6101/6102, recognised by its checksums)");
}

TEST(N64ReportOfShortImages, SayWhatIsMissing) {
    struct Case {
        std::size_t size;
        const char* line;
        const char* value;
    };
    const Case cases[] = {
        {0, "Byte order", "unknown (the image is shorter than one word), read as big-endian"},
        {3, "Byte order", "unknown (the image is shorter than one word), read as big-endian"},
        {0, "Header", "incomplete (the image holds 0 of its 64 bytes)"},
        {63, "Header", "incomplete (the image holds 63 of its 64 bytes)"},
        {64, "Header", "(missing)"},
        {64, "Boot code", "incomplete (the image ends at 0x40, before 0x1000)"},
        {0xFFF, "Boot code", "incomplete (the image ends at 0xFFF, before 0x1000)"},
        {0x1000, "Checksum area",
         "0x1000..0x100FFF, the image ends at 0x1000: the missing bytes count as zero"},
    };
    for (const auto& c : cases) {
        std::vector<std::uint8_t> image = LcgBytes(c.size);
        std::copy_n(kN64FirstWord.begin(), std::min(c.size, kN64FirstWord.size()), image.begin());
        EXPECT_EQ(LineValue(ReportImage(image, ImageKind::N64), c.line), c.value)
            << c.size << " bytes";
    }
}

TEST(N64ReportOfForeignImages, ReadsThemAsBigEndianAndSaysSo) {
    // A front-end that dumped from the N64 reader reports the image as N64 whatever it holds.
    std::vector<std::uint8_t> image =
        testimages::MakeN64Image(N64BootCode::Boot6103, 9, kImageSize);
    image[3] = 0x41;
    const std::string report = ReportImage(image, ImageKind::N64);
    EXPECT_EQ(LineValue(report, "Byte order"),
              "unknown (first word 80 37 12 41), read as big-endian");
    EXPECT_EQ(LineValue(report, "Title"), "PROJECT TEST 6103");
    // The first word is not checksummed: the checks still pass.
    EXPECT_EQ(LineValue(report, "Header checksums"),
              "OK (boot code 6103, recognised by its checksums)");
}

}  // namespace
}  // namespace reader::rom
