// Read destinations at a chosen distance from an unbuffered-read boundary, and file contents whose
// every byte tells where it came from.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "platform/host.hpp"

namespace reader::testing {

// The byte at file offset `at` of a patterned file. Neighbouring bytes differ, and the slow drift
// keeps offsets a multiple of 256 apart from reading alike, so a read from the wrong place or a
// shifted copy shows.
inline std::uint8_t PatternByte(std::size_t at) {
    return static_cast<std::uint8_t>((at * 7 + at / 251) & 0xFF);
}

inline std::vector<std::uint8_t> Pattern(std::size_t size) {
    std::vector<std::uint8_t> bytes(size);
    for (std::size_t i = 0; i < size; ++i) {
        bytes[i] = PatternByte(i);
    }
    return bytes;
}

// A buffer whose start sits `misalignment` bytes past a kUnbufferedBufferAlignment boundary. The
// bytes around it are filled with 0xEE, so writes outside what was delivered show.
class PlacedBuffer {
  public:
    static constexpr std::uint8_t kFill = 0xEE;

    PlacedBuffer(std::size_t size, std::size_t misalignment)
        : storage_(size + 2 * platform::kUnbufferedBufferAlignment, kFill) {
        const auto address = reinterpret_cast<std::uintptr_t>(storage_.data());
        const std::size_t lead =
            platform::kUnbufferedBufferAlignment - address % platform::kUnbufferedBufferAlignment;
        span_ = std::span<std::uint8_t>(storage_.data() + lead + misalignment, size);
    }
    std::uint8_t* data() const { return span_.data(); }
    std::span<std::uint8_t> span() const { return span_; }

  private:
    std::vector<std::uint8_t> storage_;
    std::span<std::uint8_t> span_;
};

}  // namespace reader::testing
