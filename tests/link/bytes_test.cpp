// Numbers laid out byte by byte: little-endian in command sectors and replies, big-endian where a
// sector's checksum or a cartridge bus puts the high byte first.
#include <gtest/gtest.h>

#include <array>
#include <cstdint>

#include "link/bytes.hpp"

namespace reader::testing {
namespace {

TEST(BytesTest, ReadAndWriteBothWays) {
    const struct {
        std::array<std::uint8_t, 4> bytes;
        std::uint16_t le16;
        std::uint32_t le24;
        std::uint32_t le32;
        std::uint16_t be16;
        std::uint32_t be32;
    } cases[] = {
        {{0x12, 0x34, 0x56, 0x78}, 0x3412, 0x563412, 0x78563412, 0x1234, 0x12345678},
        {{0x80, 0x37, 0x12, 0x40}, 0x3780, 0x123780, 0x40123780, 0x8037, 0x80371240},
        {{0xFF, 0x00, 0x00, 0x01}, 0x00FF, 0x0000FF, 0x010000FF, 0xFF00, 0xFF000001},
        {{0x00, 0x00, 0x00, 0x00}, 0, 0, 0, 0, 0},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(link::GetLe16(c.bytes, 0), c.le16);
        EXPECT_EQ(link::GetLe24(c.bytes, 0), c.le24);
        EXPECT_EQ(link::GetLe32(c.bytes, 0), c.le32);
        EXPECT_EQ(link::GetBe16(c.bytes, 0), c.be16);
        EXPECT_EQ(link::GetBe16(c.bytes, 2), link::GetBe32(c.bytes, 0) & 0xFFFFu);
        EXPECT_EQ(link::GetBe32(c.bytes, 0), c.be32);

        // Each writer puts back exactly the bytes its reader read, and touches no other.
        std::array<std::uint8_t, 6> le{0xAA, 0, 0, 0, 0, 0xAA};
        link::PutLe32(le, 1, c.le32);
        std::array<std::uint8_t, 6> be{0xAA, 0, 0, 0, 0, 0xAA};
        link::PutBe32(be, 1, c.be32);
        for (std::size_t i = 0; i < c.bytes.size(); ++i) {
            EXPECT_EQ(le[i + 1], c.bytes[i]);
            EXPECT_EQ(be[i + 1], c.bytes[i]);
        }
        EXPECT_EQ(le.front() & le.back() & be.front() & be.back(), 0xAA);
        std::array<std::uint8_t, 2> half{};
        link::PutBe16(half, 0, c.be16);
        EXPECT_EQ(link::GetBe16(half, 0), c.be16);
        link::PutLe16(half, 0, c.le16);
        EXPECT_EQ(link::GetLe16(half, 0), c.le16);
    }
}

}  // namespace
}  // namespace reader::testing
