// Explicit byte layout helpers, little-endian and big-endian. Command sectors and replies are byte
// arrays; numbers are written into them byte by byte, never by casting structures onto buffers.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace reader::link {

constexpr void PutLe16(std::span<std::uint8_t> bytes, std::size_t at, std::uint16_t value) {
    bytes[at] = static_cast<std::uint8_t>(value & 0xFFu);
    bytes[at + 1] = static_cast<std::uint8_t>(value >> 8);
}

// The low 24 bits of value at bytes at..at+2.
constexpr void PutLe24(std::span<std::uint8_t> bytes, std::size_t at, std::uint32_t value) {
    bytes[at] = static_cast<std::uint8_t>(value & 0xFFu);
    bytes[at + 1] = static_cast<std::uint8_t>((value >> 8) & 0xFFu);
    bytes[at + 2] = static_cast<std::uint8_t>((value >> 16) & 0xFFu);
}

constexpr void PutLe32(std::span<std::uint8_t> bytes, std::size_t at, std::uint32_t value) {
    PutLe24(bytes, at, value);
    bytes[at + 3] = static_cast<std::uint8_t>(value >> 24);
}

constexpr std::uint16_t GetLe16(std::span<const std::uint8_t> bytes, std::size_t at) {
    return static_cast<std::uint16_t>(bytes[at] | (bytes[at + 1] << 8));
}

constexpr std::uint32_t GetLe24(std::span<const std::uint8_t> bytes, std::size_t at) {
    return static_cast<std::uint32_t>(bytes[at]) |
           (static_cast<std::uint32_t>(bytes[at + 1]) << 8) |
           (static_cast<std::uint32_t>(bytes[at + 2]) << 16);
}

constexpr std::uint32_t GetLe32(std::span<const std::uint8_t> bytes, std::size_t at) {
    return GetLe24(bytes, at) | (static_cast<std::uint32_t>(bytes[at + 3]) << 24);
}

// Big-endian: the checksum of a command sector, and the bytes that a cartridge bus presents high
// byte first (an N64 ROM's words, its header's fields).
constexpr void PutBe16(std::span<std::uint8_t> bytes, std::size_t at, std::uint16_t value) {
    bytes[at] = static_cast<std::uint8_t>(value >> 8);
    bytes[at + 1] = static_cast<std::uint8_t>(value & 0xFFu);
}

constexpr void PutBe32(std::span<std::uint8_t> bytes, std::size_t at, std::uint32_t value) {
    PutBe16(bytes, at, static_cast<std::uint16_t>(value >> 16));
    PutBe16(bytes, at + 2, static_cast<std::uint16_t>(value & 0xFFFFu));
}

constexpr std::uint16_t GetBe16(std::span<const std::uint8_t> bytes, std::size_t at) {
    return static_cast<std::uint16_t>((bytes[at] << 8) | bytes[at + 1]);
}

constexpr std::uint32_t GetBe32(std::span<const std::uint8_t> bytes, std::size_t at) {
    return (static_cast<std::uint32_t>(GetBe16(bytes, at)) << 16) | GetBe16(bytes, at + 2);
}

}  // namespace reader::link
