// What both halves of the emulated reader (maintenance and cartridges) read from every command
// sector; their transcript lines write numbers as upper-case hexadecimal digits without "0x"
// (text::HexDigits). The model decodes sectors on its own; it shares nothing with the client's
// sector builders.
#pragma once

#include <cstddef>
#include <cstdint>

namespace reader::emulator {

inline constexpr std::size_t kGroupOffset = 1;
inline constexpr std::size_t kOperationOffset = 2;

// The reader's own group: maintenance, and the first half of the HND set-up.
inline constexpr std::uint8_t kReaderGroup = 0xF0;
inline constexpr std::uint8_t kOpHndPrepare = 0x03;

}  // namespace reader::emulator
