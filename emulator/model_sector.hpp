// What both halves of the emulated reader (maintenance and cartridges) read from every command
// sector, and how their transcript lines write numbers. The model decodes sectors on its own; it
// shares nothing with the client's sector builders.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

namespace reader::emulator {

inline constexpr std::size_t kGroupOffset = 1;
inline constexpr std::size_t kOperationOffset = 2;

// The reader's own group: maintenance, and the first half of the HND set-up.
inline constexpr std::uint8_t kReaderGroup = 0xF0;
inline constexpr std::uint8_t kOpHndPrepare = 0x03;

// `value` in upper-case hex, `digits` wide with leading zeros.
inline std::string Hex(std::uint32_t value, int digits) {
    std::array<char, 16> text{};
    std::snprintf(text.data(), text.size(), "%0*X", digits, value);
    return text.data();
}

}  // namespace reader::emulator
