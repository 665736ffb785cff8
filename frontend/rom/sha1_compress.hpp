// SHA-1's compression function: whole 64-byte blocks folded into the five-word state. Most of the
// time a dump spends hashing is here, so there are two: the portable code, which runs anywhere,
// and one built on the x86 SHA extensions, used where the processor has them (asked once, at run
// time: a program built for any x86 machine uses them on the machines that have them).
#pragma once

#include <array>
#include <cstdint>
#include <span>

namespace reader::rom {

using Sha1State = std::array<std::uint32_t, 5>;

// Folds blocks (a multiple of 64 bytes long; any alignment) into state, block after block.
using Sha1Compress = void (*)(Sha1State& state, std::span<const std::uint8_t> blocks);

// The portable code (the Secure Hash Standard's steps, one block at a time).
void Sha1CompressPortable(Sha1State& state, std::span<const std::uint8_t> blocks);

// The x86 SHA extensions' code when this processor has them (and the SSSE3 and SSE4.1 it also
// needs), else nullptr: on another processor, or on a build for another architecture.
Sha1Compress Sha1CompressAccelerated();

// The fastest of the two this processor can run: what Sha1Hasher uses unless told otherwise.
Sha1Compress Sha1CompressFastest();

}  // namespace reader::rom
