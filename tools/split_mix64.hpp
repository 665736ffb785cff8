// SplitMix64: a small, fast pseudo-random sequence that is the same on every platform, so the
// project's generated data (release image, test images) comes out byte for byte alike wherever
// it is made.
#pragma once

#include <cstdint>

namespace reader::tools {

class SplitMix64 {
  public:
    explicit SplitMix64(std::uint64_t seed) : state_(seed) {}
    std::uint64_t Next() {
        state_ += 0x9E3779B97F4A7C15ull;
        std::uint64_t z = state_;
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }

  private:
    std::uint64_t state_;
};

}  // namespace reader::tools
