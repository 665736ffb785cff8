// SHA-1's compression on the x86 SHA extensions: SHA1RNDS4 does four of the eighty steps at once,
// SHA1NEXTE derives the fifth state word of the next four, SHA1MSG1 and SHA1MSG2 extend the message
// schedule four words at a time. Built into every x86 program, used only where the processor
// reports the extensions (cpuid), so that the same program still runs on a processor without them.
// This file is built for x86 processors only (frontend/rom/CMakeLists.txt).
#include <cpuid.h>
#include <immintrin.h>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>

#include "frontend/rom/sha1_compress.hpp"

namespace reader::rom {
namespace {

// cpuid: leaf 1 reports SSSE3 and SSE4.1 in ECX, leaf 7 (sub-leaf 0) the SHA extensions in EBX.
constexpr unsigned kFeatureLeaf = 1;
constexpr unsigned kSsse3Bit = 1u << 9;
constexpr unsigned kSse41Bit = 1u << 19;
constexpr unsigned kExtendedFeatureLeaf = 7;
constexpr unsigned kShaBit = 1u << 29;

bool ProcessorHasShaExtensions() {
    unsigned eax = 0;
    unsigned ebx = 0;
    unsigned ecx = 0;
    unsigned edx = 0;
    if (__get_cpuid(kFeatureLeaf, &eax, &ebx, &ecx, &edx) == 0) {
        return false;
    }
    const bool vectors = (ecx & kSsse3Bit) != 0 && (ecx & kSse41Bit) != 0;
    if (__get_cpuid_count(kExtendedFeatureLeaf, 0, &eax, &ebx, &ecx, &edx) == 0) {
        return false;  // a processor without leaf 7 has no SHA extensions
    }
    return vectors && (ebx & kShaBit) != 0;
}

constexpr std::size_t kBlockSize = 64;
constexpr std::size_t kVectorSize = 16;  // four message words
// Eighty steps are twenty groups of four; each round function serves five groups.
constexpr int kGroups = 20;
constexpr int kGroupsPerFunction = 5;

// The registers of one block: the working state, the state four steps ago (its a, rotated,
// becomes e four steps later: SHA1NEXTE) and the message words of this group and the next three.
struct Registers {
    __m128i abcd;
    __m128i previous;
    __m128i w0;
    __m128i w1;
    __m128i w2;
    __m128i w3;
};

// Moves the message window on by a group: the words four groups ahead are derived from the last
// sixteen (W[t] = rotl(W[t-3] ^ W[t-8] ^ W[t-14] ^ W[t-16], 1)), unless no group needs them.
[[gnu::target("sha,ssse3,sse4.1"), gnu::always_inline]] inline void NextWords(Registers& r,
                                                                              int group) {
    const __m128i ahead =
        group + 4 < kGroups
            ? _mm_sha1msg2_epu32(_mm_xor_si128(_mm_sha1msg1_epu32(r.w0, r.w1), r.w2), r.w3)
            : r.w3;
    r.w0 = r.w1;
    r.w1 = r.w2;
    r.w2 = r.w3;
    r.w3 = ahead;
}

// Groups first to last - 1 (never group 0, whose e comes from the state) with round function
// Function: 0 choose, 1 parity, 2 majority, 3 parity.
template <int Function>
[[gnu::target("sha,ssse3,sse4.1"), gnu::always_inline]] inline void Groups(Registers& r, int first,
                                                                           int last) {
#pragma GCC unroll 5
    for (int group = first; group < last; ++group) {
        const __m128i withE = _mm_sha1nexte_epu32(r.previous, r.w0);
        r.previous = r.abcd;
        r.abcd = _mm_sha1rnds4_epu32(r.abcd, withE, Function);
        NextWords(r, group);
    }
}

[[gnu::target("sha,ssse3,sse4.1"), gnu::always_inline]] inline __m128i LoadWords(
    const std::uint8_t* bytes, __m128i byteOrder) {
    __m128i words;
    std::memcpy(&words, bytes, kVectorSize);
    return _mm_shuffle_epi8(words, byteOrder);
}

// force_align_arg_pointer: 32-bit Windows keeps the stack aligned to 4 bytes only, and the vectors
// this function keeps on it need 16, so it aligns its own frame.
[[gnu::target("sha,ssse3,sse4.1"), gnu::force_align_arg_pointer]] void CompressWithShaExtensions(
    Sha1State& state, std::span<const std::uint8_t> blocks) {
    // Byte k of a vector to byte 15 - k: each big-endian word's bytes in the order of a number,
    // and the first word in the top lane.
    const __m128i byteOrder = _mm_set_epi64x(0x0001020304050607, 0x08090A0B0C0D0E0F);
    __m128i abcd = _mm_set_epi32(static_cast<int>(state[0]), static_cast<int>(state[1]),
                                 static_cast<int>(state[2]), static_cast<int>(state[3]));
    __m128i e = _mm_set_epi32(static_cast<int>(state[4]), 0, 0, 0);
    for (std::size_t at = 0; at + kBlockSize <= blocks.size(); at += kBlockSize) {
        const std::uint8_t* block = blocks.data() + at;
        Registers r{abcd,
                    abcd,
                    LoadWords(block, byteOrder),
                    LoadWords(block + kVectorSize, byteOrder),
                    LoadWords(block + 2 * kVectorSize, byteOrder),
                    LoadWords(block + 3 * kVectorSize, byteOrder)};
        // Group 0 takes e from the state; every later one from the state four steps before.
        r.abcd = _mm_sha1rnds4_epu32(r.abcd, _mm_add_epi32(e, r.w0), 0);
        NextWords(r, 0);
        Groups<0>(r, 1, kGroupsPerFunction);
        Groups<1>(r, kGroupsPerFunction, 2 * kGroupsPerFunction);
        Groups<2>(r, 2 * kGroupsPerFunction, 3 * kGroupsPerFunction);
        Groups<3>(r, 3 * kGroupsPerFunction, kGroups);
        abcd = _mm_add_epi32(r.abcd, abcd);
        e = _mm_sha1nexte_epu32(r.previous, e);
    }
    state[0] = static_cast<std::uint32_t>(_mm_extract_epi32(abcd, 3));
    state[1] = static_cast<std::uint32_t>(_mm_extract_epi32(abcd, 2));
    state[2] = static_cast<std::uint32_t>(_mm_extract_epi32(abcd, 1));
    state[3] = static_cast<std::uint32_t>(_mm_extract_epi32(abcd, 0));
    state[4] = static_cast<std::uint32_t>(_mm_extract_epi32(e, 3));
}

}  // namespace

Sha1Compress Sha1CompressAccelerated() {
    static const bool available = ProcessorHasShaExtensions();
    return available ? CompressWithShaExtensions : nullptr;
}

}  // namespace reader::rom
