// Hashes as the dump reads: the image hasher over chunks of every size pattern and every pair of
// presented and wanted byte orders must write exactly the converted image and report exactly the
// one-shot hashes of it and of its big-endian form; the report takes those hashes as its own.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "frontend/rom/hashes.hpp"
#include "frontend/rom/n64_header.hpp"
#include "frontend/rom/rom_report.hpp"
#include "rom/rom_test_support.hpp"

namespace reader::rom {
namespace {

using test::LcgBytes;

// A big-endian N64 image whose size is no multiple of a word: it ends in a part-word.
std::vector<std::uint8_t> BigEndianImage(std::size_t size) {
    std::vector<std::uint8_t> image = LcgBytes(size);
    std::copy_n(kN64FirstWord.begin(), std::min(size, kN64FirstWord.size()), image.begin());
    return image;
}

std::vector<std::uint8_t> InOrder(std::vector<std::uint8_t> image, N64ByteOrder order) {
    ConvertN64ByteOrder(image, N64ByteOrder::BigEndian, order);
    return image;
}

void Append(std::vector<std::uint8_t>& out, ArrangedBytes part) {
    out.insert(out.end(), part.held.begin(), part.held.end());
    out.insert(out.end(), part.chunk.begin(), part.chunk.end());
}

// Chunk sizes, repeated until the image is used up.
struct Split {
    const char* what;
    std::vector<std::size_t> sizes;
};

const std::vector<Split> kSplits{
    {"one chunk", {1 << 20}},     {"single bytes", {1}},
    {"three bytes", {3}},         {"odd sizes across words", {5, 7, 2, 9, 1, 6}},
    {"a block and a byte", {65}}, {"large and odd", {4099, 1, 2, 8191}},
};

struct OrderCase {
    std::optional<N64ByteOrder> presentedGiven;  // nothing: the hasher reads it off the image
    N64ByteOrder presented;
    N64ByteOrder wanted;
};

TEST(ImageHasher, WritesTheConvertedImageAndHashesItOnceForEveryOrderAndSplit) {
    constexpr std::array kOrders{N64ByteOrder::BigEndian, N64ByteOrder::ByteSwapped,
                                 N64ByteOrder::LittleEndian};
    std::vector<OrderCase> orders;
    for (const auto presented : kOrders) {
        for (const auto wanted : kOrders) {
            orders.push_back({presented, presented, wanted});
            orders.push_back({std::nullopt, presented, wanted});
        }
    }
    const std::vector<std::uint8_t> bigEndian = BigEndianImage(10007);
    for (const auto& order : orders) {
        const std::vector<std::uint8_t> presented = InOrder(bigEndian, order.presented);
        const std::vector<std::uint8_t> expected = InOrder(bigEndian, order.wanted);
        for (const Split& split : kSplits) {
            SCOPED_TRACE(std::string(split.what) + ", presented " +
                         std::string(N64ByteOrderName(order.presented)) +
                         (order.presentedGiven ? " (given)" : " (read off)") + ", wanted " +
                         std::string(N64ByteOrderName(order.wanted)));
            std::vector<std::uint8_t> reading = presented;
            ImageHasher hasher(order.presentedGiven, order.wanted);
            std::vector<std::uint8_t> written;
            for (std::size_t at = 0, step = 0; at < reading.size(); ++step) {
                const std::size_t size =
                    std::min(split.sizes[step % split.sizes.size()], reading.size() - at);
                Append(written, hasher.Add(std::span(reading).subspan(at, size)));
                at += size;
            }
            Append(written, hasher.Finish());

            EXPECT_EQ(written, expected);
            EXPECT_EQ(hasher.Presented(), order.presented);
            const ImageDigests digests = hasher.Digests();
            EXPECT_EQ(digests.file, HashImage(expected));
            EXPECT_EQ(digests.fileOrder, order.wanted);
            EXPECT_EQ(digests.listed.has_value(), order.wanted != N64ByteOrder::BigEndian);
            if (digests.listed) {
                EXPECT_EQ(*digests.listed, HashImage(bigEndian));
                EXPECT_EQ(digests.listedForm, DatForm::BigEndian);
            }
            // The same digests as the ones computed from the file on disk.
            const ImageDigests whole = ComputeImageDigests(expected, ImageKind::N64);
            EXPECT_EQ(whole.file, digests.file);
            EXPECT_EQ(whole.listed, digests.listed);
            EXPECT_EQ(whole.fileOrder, digests.fileOrder);
        }
    }
}

TEST(ImageHasher, ImagesWithoutAnOrderToReorderPassThrough) {
    struct Case {
        const char* what;
        std::vector<std::uint8_t> image;
        bool n64;  // hashed as an N64 dump (the order read off), else as another system's
    };
    const Case cases[] = {
        {"empty", {}, true},
        {"shorter than a word", {0x80, 0x37, 0x12}, true},
        {"no N64 marker", LcgBytes(1001), true},
        {"SFC or other", LcgBytes(1001), false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<std::uint8_t> reading = c.image;
        ImageHasher hasher =
            c.n64 ? ImageHasher(std::nullopt, N64ByteOrder::ByteSwapped) : ImageHasher();
        std::vector<std::uint8_t> written;
        for (std::size_t at = 0; at < reading.size(); at += 2) {
            Append(written, hasher.Add(std::span(reading).subspan(
                                at, std::min<std::size_t>(2, reading.size() - at))));
        }
        Append(written, hasher.Finish());
        EXPECT_EQ(written, c.image);
        // Whatever comes after the end is not taken.
        EXPECT_EQ(hasher.Add(reading).size(), 0u);
        EXPECT_EQ(hasher.Finish().size(), 0u);
        const ImageDigests digests = hasher.Digests();
        EXPECT_EQ(digests.file, HashImage(c.image));
        EXPECT_FALSE(digests.listed.has_value());
        EXPECT_FALSE(digests.fileOrder.has_value());
    }
}

TEST(IncrementalHashes, EqualTheOneShotOnesAcrossSplits) {
    const std::vector<std::uint8_t> data = LcgBytes(100003);
    for (const Split& split : kSplits) {
        Crc32Hasher crc;
        Sha1Hasher sha1;
        for (std::size_t at = 0, step = 0; at < data.size(); ++step) {
            const std::size_t size =
                std::min(split.sizes[step % split.sizes.size()], data.size() - at);
            crc.Update(std::span(data).subspan(at, size));
            sha1.Update(std::span(data).subspan(at, size));
            at += size;
            if (step == 3) {
                // Asking for the digest midway leaves the hasher as it was.
                EXPECT_EQ(sha1.Digest(), Sha1(std::span(data).first(at))) << split.what;
            }
        }
        EXPECT_EQ(crc.Value(), Crc32(data)) << split.what;
        EXPECT_EQ(sha1.Digest(), Sha1(data)) << split.what;
    }
}

TEST(ReportImage, TakesPrecomputedHashesOfTheSameSizeOnly) {
    const std::vector<std::uint8_t> image = BigEndianImage(0x2003);
    const std::string report = ReportImage(image, ImageKind::N64);
    EXPECT_EQ(ReportImage(image, ImageKind::N64, HashImage(image)), report);

    // Hashes that are not the image's own show: the report uses what it is given.
    ImageHashes other = HashImage(image);
    other.crc32 ^= 1u;
    std::array<char, 9> crc{};
    std::snprintf(crc.data(), crc.size(), "%08X", static_cast<unsigned>(other.crc32));
    EXPECT_EQ(test::LineValue(ReportImage(image, ImageKind::N64, other), "CRC32"), crc.data());
    // Hashes of another size are not the image's: the report computes its own.
    other = HashImage(std::span(image).first(image.size() - 1));
    EXPECT_EQ(ReportImage(image, ImageKind::N64, other), report);
}

}  // namespace
}  // namespace reader::rom
