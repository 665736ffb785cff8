// CRC-16/XMODEM: polynomial 0x1021, initial value 0, most significant bit first, no reflection,
// no final XOR. Check value over "123456789": 0x31C3. The reader stamps every command sector with
// it and computes its flash block checksums with it.
#pragma once

#include <array>
#include <cstdint>
#include <span>

namespace reader::link {

inline constexpr std::uint16_t kCrc16Polynomial = 0x1021;

// Entry i is the register after shifting i * 256 through eight steps of the polynomial.
inline constexpr std::array<std::uint16_t, 256> kCrc16Table = [] {
    std::array<std::uint16_t, 256> table{};
    for (unsigned i = 0; i < table.size(); ++i) {
        unsigned reg = i << 8;
        for (int bit = 0; bit < 8; ++bit) {
            reg = (reg & 0x8000u) != 0 ? (reg << 1) ^ kCrc16Polynomial : reg << 1;
        }
        table[i] = static_cast<std::uint16_t>(reg & 0xFFFFu);
    }
    return table;
}();

static_assert(kCrc16Table[0] == 0x0000 && kCrc16Table[1] == 0x1021 && kCrc16Table[2] == 0x2042 &&
              kCrc16Table[3] == 0x3063);

// One table lookup per byte, starting again from 0 on every call.
constexpr std::uint16_t Crc16Xmodem(std::span<const std::uint8_t> bytes) {
    std::uint16_t reg = 0;
    for (const std::uint8_t b : bytes) {
        const auto index = static_cast<std::uint8_t>((reg >> 8) ^ b);
        reg = static_cast<std::uint16_t>((reg << 8) ^ kCrc16Table[index]);
    }
    return reg;
}

}  // namespace reader::link
