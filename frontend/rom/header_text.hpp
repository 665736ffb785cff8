// Text fields of cartridge headers (titles), made fit for a one-line report.
#pragma once

#include <cstdint>
#include <span>
#include <string>

namespace reader::rom {

// The field with its trailing blanks (spaces and NULs) removed and every byte outside printable
// ASCII shown as '.'.
inline std::string PrintableText(std::span<const std::uint8_t> field) {
    std::size_t length = field.size();
    while (length > 0 && (field[length - 1] == ' ' || field[length - 1] == '\0')) {
        --length;
    }
    std::string text;
    text.reserve(length);
    for (const std::uint8_t byte : field.first(length)) {
        text.push_back(byte >= 0x20 && byte < 0x7F ? static_cast<char>(byte) : '.');
    }
    return text;
}

}  // namespace reader::rom
