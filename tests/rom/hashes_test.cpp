// CRC-32 and SHA-1 against published values: the standard check value and test vectors, and
// messages whose lengths sit on either side of SHA-1's padding boundaries (55/56 bytes leave one
// or two final blocks, 63/64/65 around a whole block).
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "frontend/rom/rom_report.hpp"

namespace reader::rom {
namespace {

std::vector<std::uint8_t> Bytes(const std::string& text) {
    return {text.begin(), text.end()};
}

std::string Hex(const std::array<std::uint8_t, 20>& digest) {
    std::string text;
    for (const std::uint8_t byte : digest) {
        std::array<char, 3> pair{};
        std::snprintf(pair.data(), pair.size(), "%02x", static_cast<unsigned>(byte));
        text += pair.data();
    }
    return text;
}

struct Crc32Case {
    std::string message;
    std::uint32_t crc;
};

TEST(Crc32, MatchesTheStandardValues) {
    const Crc32Case cases[] = {
        {"", 0x00000000},
        {"a", 0xE8B7BE43},
        {"123456789", 0xCBF43926},
        {"The quick brown fox jumps over the lazy dog", 0x414FA339},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Crc32(Bytes(c.message)), c.crc) << '"' << c.message << '"';
    }
}

struct Sha1Case {
    std::string message;
    const char* digest;
};

TEST(Sha1, MatchesTheStandardVectors) {
    const Sha1Case cases[] = {
        {"", "da39a3ee5e6b4b0d3255bfef95601890afd80709"},
        {"abc", "a9993e364706816aba3e25717850c26c9cd0d89d"},
        {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
         "84983e441c3bd26ebaae4aa1f95129e5e54670f1"},
        {"abcdefghbcdefghicdefghijdefghijkefghijklfghijklmghijklmnhijklmnoijklmnopjklmnopqklmnopqrl"
         "m"
         "nopqrsmnopqrstnopqrstu",
         "a49b2446a02c645bf419f995b67091253a04a259"},
        {"The quick brown fox jumps over the lazy dog", "2fd4e1c67a2d28fced849ee1bb76e7391b93eb12"},
        {std::string(55, 'a'), "c1c8bbdc22796e28c0e15163d20899b65621d65a"},
        {std::string(56, 'a'), "c2db330f6083854c99d4b5bfb6e8f29f201be699"},
        {std::string(63, 'a'), "03f09f5b158a7a8cdad920bddc29b81c18a551f5"},
        {std::string(64, 'a'), "0098ba824b5c16427bd7a1122a5a442a25ec644d"},
        {std::string(65, 'a'), "11655326c708d70319be2610e8a57d9a5b959d3b"},
        {std::string(119, 'a'), "ee971065aaa017e0632a8ca6c77bb3bf8b1dfc56"},
        {std::string(120, 'a'), "f34c1488385346a55709ba056ddd08280dd4c6d6"},
        {std::string(1000000, 'a'), "34aa973cd4c4daa4f61eeb2bdbad27316534016f"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Hex(Sha1(Bytes(c.message))), c.digest)
            << c.message.size() << " bytes: " << c.message.substr(0, 60);
    }
}

}  // namespace
}  // namespace reader::rom
