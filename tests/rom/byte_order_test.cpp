// N64 byte orders: detection from the first word, conversion between every pair (and back), the
// names and the option values.
#include <gtest/gtest.h>

#include <array>
#include <vector>

#include "frontend/rom/rom_report.hpp"

namespace reader::rom {
namespace {

constexpr std::array kOrders{N64ByteOrder::BigEndian, N64ByteOrder::ByteSwapped,
                             N64ByteOrder::LittleEndian};

// The big-endian word 11 22 33 44 as each order stores it, in kOrders' order.
const std::array<std::vector<std::uint8_t>, 3> kStored{{
    {0x11, 0x22, 0x33, 0x44},
    {0x22, 0x11, 0x44, 0x33},
    {0x44, 0x33, 0x22, 0x11},
}};

// Two words in one order followed by a part-word of three bytes.
std::vector<std::uint8_t> Image(std::size_t order) {
    std::vector<std::uint8_t> image = kStored[order];
    image.insert(image.end(), kStored[order].begin(), kStored[order].end());
    image.insert(image.end(), {0xAA, 0xBB, 0xCC});
    return image;
}

TEST(N64ByteOrder, ConvertsBetweenEveryPairAndLeavesThePartWord) {
    for (std::size_t from = 0; from < kOrders.size(); ++from) {
        for (std::size_t to = 0; to < kOrders.size(); ++to) {
            std::vector<std::uint8_t> image = Image(from);
            ConvertN64ByteOrder(image, kOrders[from], kOrders[to]);
            EXPECT_EQ(image, Image(to)) << "from " << from << " to " << to;
            ConvertN64ByteOrder(image, kOrders[to], kOrders[from]);
            EXPECT_EQ(image, Image(from)) << "back from " << to << " to " << from;
        }
    }
}

TEST(N64ByteOrder, IsDetectedFromTheFirstWord) {
    struct Case {
        std::vector<std::uint8_t> start;
        std::optional<N64ByteOrder> order;
    };
    const Case cases[] = {
        {{0x80, 0x37, 0x12, 0x40, 0x00}, N64ByteOrder::BigEndian},
        {{0x37, 0x80, 0x40, 0x12}, N64ByteOrder::ByteSwapped},
        {{0x40, 0x12, 0x37, 0x80, 0xFF, 0xFF}, N64ByteOrder::LittleEndian},
        {{0x80, 0x37, 0x12, 0x41}, std::nullopt},
        {{0x12, 0x40, 0x80, 0x37}, std::nullopt},  // the halves exchanged: no order of ours
        {{0x00, 0x00, 0x00, 0x00}, std::nullopt},
        {{0x80, 0x37, 0x12}, std::nullopt},  // shorter than a word
        {{}, std::nullopt},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(DetectN64ByteOrder(c.start), c.order) << ::testing::PrintToString(c.start);
    }
}

TEST(N64ByteOrder, ConvertedImagesAreDetectedInTheirNewOrder) {
    const std::vector<std::uint8_t> bigEndian{0x80, 0x37, 0x12, 0x40, 1, 2, 3, 4};
    for (const N64ByteOrder order : kOrders) {
        std::vector<std::uint8_t> image = bigEndian;
        ConvertN64ByteOrder(image, N64ByteOrder::BigEndian, order);
        EXPECT_EQ(DetectN64ByteOrder(image), order);
    }
}

TEST(N64ByteOrder, NamesAndOptionValues) {
    struct Case {
        N64ByteOrder order;
        const char* name;
        const char* shortName;
    };
    const Case cases[] = {
        {N64ByteOrder::BigEndian, "big-endian", "z64"},
        {N64ByteOrder::ByteSwapped, "byte-swapped", "v64"},
        {N64ByteOrder::LittleEndian, "little-endian", "n64"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(N64ByteOrderName(c.order), c.name);
        EXPECT_EQ(ParseN64ByteOrder(c.name), c.order);
        EXPECT_EQ(ParseN64ByteOrder(c.shortName), c.order);
    }
    EXPECT_EQ(ParseN64ByteOrder("Big-Endian"), N64ByteOrder::BigEndian);
    EXPECT_EQ(ParseN64ByteOrder("V64"), N64ByteOrder::ByteSwapped);
    for (const char* wrong : {"", "big", "z64 ", "little-endianx", "bigendian"}) {
        EXPECT_EQ(ParseN64ByteOrder(wrong), std::nullopt) << '"' << wrong << '"';
    }
}

}  // namespace
}  // namespace reader::rom
