// CRC-32 and SHA-1 against published values: the standard check value and test vectors, and
// messages whose lengths sit on either side of SHA-1's padding boundaries (55/56 bytes leave one
// or two final blocks, 63/64/65 around a whole block), with each SHA-1 code the processor runs.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <random>
#include <span>
#include <string>
#include <vector>

#include "frontend/rom/hashes.hpp"
#include "frontend/rom/rom_report.hpp"
#include "frontend/rom/sha1_compress.hpp"
#include "text/text.hpp"

namespace reader::rom {
namespace {

std::vector<std::uint8_t> Bytes(const std::string& text) {
    return {text.begin(), text.end()};
}

// SHA-1 of message, fed to a hasher with the given compression in pieces of at most `piece`.
Sha1Digest Sha1With(Sha1Compress compress, std::span<const std::uint8_t> message,
                    std::size_t piece) {
    Sha1Hasher hasher(compress);
    for (std::size_t at = 0; at < message.size(); at += piece) {
        hasher.Update(message.subspan(at, std::min(piece, message.size() - at)));
    }
    return hasher.Digest();
}

// Every compression this processor runs: the portable code, and the accelerated one if any.
struct Sha1Code {
    const char* name;
    Sha1Compress compress;
};
std::vector<Sha1Code> Sha1Codes() {
    std::vector<Sha1Code> codes{{"portable code", Sha1CompressPortable}};
    if (const Sha1Compress accelerated = Sha1CompressAccelerated()) {
        codes.push_back({"x86 SHA extensions", accelerated});
    }
    return codes;
}

std::string Hex(const std::array<std::uint8_t, 20>& digest) {
    return text::HexBytes(digest, text::Letters::Lower);
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
        for (const Sha1Code& code : Sha1Codes()) {
            EXPECT_EQ(Hex(Sha1With(code.compress, Bytes(c.message), c.message.size())), c.digest)
                << code.name << ", " << c.message.size() << " bytes";
        }
    }
}

// The accelerated code against the portable code: random bytes of every length up to a few
// blocks and of larger ones around the sizes a dump feeds, from odd addresses and in pieces of
// any size (so that blocks straddle the pieces), with the same digests.
TEST(Sha1, AcceleratedCodeAgreesWithThePortableCode) {
    const Sha1Compress accelerated = Sha1CompressAccelerated();
    if (accelerated == nullptr) {
        GTEST_SKIP() << "this processor has no SHA extensions";
    }
    EXPECT_EQ(Sha1CompressFastest(), accelerated);
    std::mt19937 random(20261209);
    std::vector<std::uint8_t> bytes((1u << 20) + 64);
    for (auto& byte : bytes) {
        byte = static_cast<std::uint8_t>(random());
    }
    std::vector<std::size_t> lengths;
    for (std::size_t length = 0; length <= 3 * Sha1Hasher::kBlockSize + 1; ++length) {
        lengths.push_back(length);
    }
    for (const std::size_t length : {1000u, 4095u, 4096u, 4097u, 65536u + 13u, 1u << 20}) {
        lengths.push_back(length);
    }
    for (const std::size_t length : lengths) {
        const auto message = std::span(bytes).subspan(length % 61, length);
        const std::size_t piece = 1 + random() % 200;
        EXPECT_EQ(Hex(Sha1With(accelerated, message, piece)),
                  Hex(Sha1With(Sha1CompressPortable, message, message.size())))
            << length << " bytes in pieces of " << piece;
    }
}

}  // namespace
}  // namespace reader::rom
