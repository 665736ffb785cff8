// The small texts that the front-end, the emulated reader, the tools and the Linux backend write
// and read alike: hexadecimal, sizes, names compared without regard to case, numbers as a user
// types them (with K and M for sizes), drive letters. It sits below every layer that uses it and
// depends on nothing but the standard library.
//
// One style for each kind of value, one function for each style:
//
//   AddressText    a cartridge address, in the N64's and the 24-bit spaces alike: "0x10000000"
//   Hex            any other number shown in hexadecimal (a byte, a control value, an offset in an
//                  image, the largest value an option takes): "0xFF", "0x7FC0"
//   HexDigits      the digits alone, for transcripts and fixed-width fields: "C000", "90BB6CB5"
//   SizeText       a size in running text, cut (never rounded up) to one decimal: "512 bytes",
//                  "2.4 KiB", "8 MiB"
//   ByteCountText  a file's size exactly, in decimal as dump databases list it, and SizeText
//                  beside it: "8388608 bytes (8 MiB)"
//   LengthText     the length of a range of addresses, in hexadecimal like the addresses, and
//                  SizeText beside it: "0x100000 bytes (1 MiB)"
//   SuffixText     a size as a user may type it: "256M", "3K"
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace reader::text {

inline constexpr std::size_t kKiB = 1024;
inline constexpr std::size_t kMiB = 1024 * kKiB;
inline constexpr std::size_t kGiB = 1024 * kMiB;

// --- case ---------------------------------------------------------------------------------------
// ASCII letters only, whatever the locale: names on a FAT volume, the tool's own words.

constexpr char UpperAscii(char c) {
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

constexpr char LowerAscii(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

constexpr bool SameIgnoringCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (UpperAscii(a[i]) != UpperAscii(b[i])) {
            return false;
        }
    }
    return true;
}

std::string LowerCase(std::string_view text);

// --- hexadecimal --------------------------------------------------------------------------------

enum class Letters : std::uint8_t { Upper, Lower };

// At least `width` digits, zeros in front.
std::string HexDigits(std::uint64_t value, std::size_t width = 0, Letters letters = Letters::Upper);
// Two digits a byte, in order: a SHA-1 digest as dump databases write it.
std::string HexBytes(std::span<const std::uint8_t> bytes, Letters letters);
std::string Hex(std::uint64_t value, std::size_t width = 0);
std::string AddressText(std::uint64_t address);

// --- sizes --------------------------------------------------------------------------------------

std::string SizeText(std::uint64_t bytes);
std::string ByteCountText(std::uint64_t bytes);
std::string LengthText(std::uint64_t bytes);
// Empty for a size that is not a whole number of KiB.
std::string SuffixText(std::uint64_t bytes);

// --- numbers as a user types them ---------------------------------------------------------------

// Decimal, or hexadecimal after 0x; with allowSizeSuffix, a size may end in K, KiB, M or MiB (in
// either case). The whole text must be the number: no sign, no blank.
struct NumberReading {
    enum class Problem : std::uint8_t {
        None,
        NotANumber,     // no digits, or other characters among them
        UnknownSuffix,  // a size whose digits end in letters other than K or M ("1G", "4KB")
        TooLarge,       // more than 64 bits can hold
    };
    Problem problem = Problem::NotANumber;
    std::uint64_t value = 0;
    std::string_view suffix;  // with UnknownSuffix: the letters after the digits
};
NumberReading ReadNumber(std::string_view text, bool allowSizeSuffix);

// The value, or nothing for any problem.
std::optional<std::uint64_t> ParseNumber(std::string_view text, bool allowSizeSuffix = false);

// "E", "e:", "E:\" and "E:/" name drive E; nothing for anything else.
std::optional<char> ParseDriveLetter(std::string_view text);

}  // namespace reader::text
