// CRC-32 from zlib; SHA-1 written here (the Secure Hash Standard, FIPS 180-4), because the only
// SHA-1 that Debian packages for MinGW-w64 comes with a licence that does not suit a statically
// linked program.
#include <zlib.h>

#include <algorithm>
#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <span>

#include "frontend/rom/rom_report.hpp"

namespace reader::rom {
namespace {

// zlib counts lengths in its own unsigned int: feed it at most 1 GiB at a time.
constexpr std::size_t kCrcChunk = std::size_t{1} << 30;

constexpr std::size_t kSha1BlockSize = 64;
constexpr std::size_t kSha1LengthSize = 8;  // the message length in bits, big-endian, at the end
constexpr std::uint8_t kSha1PadByte = 0x80;
constexpr std::array<std::uint32_t, 5> kSha1Initial{0x67452301, 0xEFCDAB89, 0x98BADCFE, 0x10325476,
                                                    0xC3D2E1F0};
constexpr std::array<std::uint32_t, 4> kSha1RoundConstants{0x5A827999, 0x6ED9EBA1, 0x8F1BBCDC,
                                                           0xCA62C1D6};

std::uint32_t Be32(std::span<const std::uint8_t> bytes, std::size_t at) {
    return (std::uint32_t{bytes[at]} << 24) | (std::uint32_t{bytes[at + 1]} << 16) |
           (std::uint32_t{bytes[at + 2]} << 8) | std::uint32_t{bytes[at + 3]};
}

// One 64-byte block into the state.
void Sha1Block(std::array<std::uint32_t, 5>& state, std::span<const std::uint8_t> block) {
    std::array<std::uint32_t, 80> schedule{};
    for (std::size_t t = 0; t < 16; ++t) {
        schedule[t] = Be32(block, 4 * t);
    }
#pragma GCC unroll 64
    for (std::size_t t = 16; t < schedule.size(); ++t) {
        schedule[t] =
            std::rotl(schedule[t - 3] ^ schedule[t - 8] ^ schedule[t - 14] ^ schedule[t - 16], 1);
    }
    std::uint32_t a = state[0];
    std::uint32_t b = state[1];
    std::uint32_t c = state[2];
    std::uint32_t d = state[3];
    std::uint32_t e = state[4];
    const auto step = [&](std::uint32_t f, std::uint32_t constant, std::uint32_t word) {
        const std::uint32_t next = std::rotl(a, 5) + f + e + constant + word;
        e = d;
        d = c;
        c = std::rotl(b, 30);
        b = a;
        a = next;
    };
    // Four rounds of twenty steps, each with its own function of b, c and d.
#pragma GCC unroll 20
    for (std::size_t t = 0; t < 20; ++t) {
        step(d ^ (b & (c ^ d)), kSha1RoundConstants[0], schedule[t]);  // choose: c where b, else d
    }
#pragma GCC unroll 20
    for (std::size_t t = 20; t < 40; ++t) {
        step(b ^ c ^ d, kSha1RoundConstants[1], schedule[t]);  // parity
    }
#pragma GCC unroll 20
    for (std::size_t t = 40; t < 60; ++t) {
        step((b & c) | (d & (b | c)), kSha1RoundConstants[2], schedule[t]);  // majority
    }
#pragma GCC unroll 20
    for (std::size_t t = 60; t < 80; ++t) {
        step(b ^ c ^ d, kSha1RoundConstants[3], schedule[t]);  // parity
    }
    state[0] += a;
    state[1] += b;
    state[2] += c;
    state[3] += d;
    state[4] += e;
}

}  // namespace

std::uint32_t Crc32(std::span<const std::uint8_t> data) {
    uLong crc = crc32(0L, Z_NULL, 0);
    while (!data.empty()) {
        const std::size_t chunk = std::min(data.size(), kCrcChunk);
        crc = crc32(crc, data.data(), static_cast<uInt>(chunk));
        data = data.subspan(chunk);
    }
    return static_cast<std::uint32_t>(crc);
}

std::array<std::uint8_t, 20> Sha1(std::span<const std::uint8_t> data) {
    std::array<std::uint32_t, 5> state = kSha1Initial;
    const std::size_t whole = data.size() - data.size() % kSha1BlockSize;
    for (std::size_t at = 0; at < whole; at += kSha1BlockSize) {
        Sha1Block(state, data.subspan(at, kSha1BlockSize));
    }

    // The rest, the pad byte, zeros, and the length: one more block, or two when the rest leaves
    // no room for the pad byte and the length.
    std::array<std::uint8_t, 2 * kSha1BlockSize> tail{};
    const auto rest = data.subspan(whole);
    std::copy(rest.begin(), rest.end(), tail.begin());
    tail[rest.size()] = kSha1PadByte;
    const std::size_t tailSize =
        rest.size() + 1 + kSha1LengthSize <= kSha1BlockSize ? kSha1BlockSize : 2 * kSha1BlockSize;
    const std::uint64_t bits = static_cast<std::uint64_t>(data.size()) * 8;
    for (std::size_t i = 0; i < kSha1LengthSize; ++i) {
        tail[tailSize - 1 - i] = static_cast<std::uint8_t>(bits >> (8 * i));
    }
    for (std::size_t at = 0; at < tailSize; at += kSha1BlockSize) {
        Sha1Block(state, std::span<const std::uint8_t>(tail).subspan(at, kSha1BlockSize));
    }

    std::array<std::uint8_t, 20> digest{};
    for (std::size_t i = 0; i < digest.size(); ++i) {
        digest[i] = static_cast<std::uint8_t>(state[i / 4] >> (24 - 8 * (i % 4)));
    }
    return digest;
}

}  // namespace reader::rom
