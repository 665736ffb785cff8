#include "text/text.hpp"

#include <algorithm>
#include <array>
#include <charconv>
#include <limits>
#include <system_error>

namespace reader::text {
namespace {

constexpr std::string_view kUpperDigits = "0123456789ABCDEF";
constexpr std::string_view kLowerDigits = "0123456789abcdef";
constexpr unsigned kBitsPerDigit = 4;
constexpr std::uint64_t kDigitMask = 0xF;

// Every cartridge address of the readers fits in 32 bits: eight digits.
constexpr std::size_t kAddressDigits = 8;

constexpr std::string_view DigitsOf(Letters letters) {
    return letters == Letters::Lower ? kLowerDigits : kUpperDigits;
}

std::string Bytes(std::uint64_t count) {
    return std::to_string(count) + (count == 1 ? " byte" : " bytes");
}

constexpr bool IsAsciiLetter(char c) {
    return UpperAscii(c) >= 'A' && UpperAscii(c) <= 'Z';
}

}  // namespace

std::string LowerCase(std::string_view text) {
    std::string lower(text);
    std::transform(lower.begin(), lower.end(), lower.begin(), LowerAscii);
    return lower;
}

std::string HexDigits(std::uint64_t value, std::size_t width, Letters letters) {
    const std::string_view digits = DigitsOf(letters);
    std::string text;
    do {
        text.push_back(digits[value & kDigitMask]);
        value >>= kBitsPerDigit;
    } while (value != 0);
    if (text.size() < width) {
        text.append(width - text.size(), '0');
    }
    std::reverse(text.begin(), text.end());
    return text;
}

std::string HexBytes(std::span<const std::uint8_t> bytes, Letters letters) {
    const std::string_view digits = DigitsOf(letters);
    std::string text;
    text.reserve(2 * bytes.size());
    for (const std::uint8_t byte : bytes) {
        text.push_back(digits[byte >> kBitsPerDigit]);
        text.push_back(digits[byte & kDigitMask]);
    }
    return text;
}

std::string Hex(std::uint64_t value, std::size_t width) {
    return "0x" + HexDigits(value, width);
}

std::string AddressText(std::uint64_t address) {
    return Hex(address, kAddressDigits);
}

std::string SizeText(std::uint64_t bytes) {
    if (bytes < kKiB) {
        return Bytes(bytes);
    }
    struct Unit {
        std::uint64_t size;
        std::string_view name;
    };
    const Unit unit = bytes < kMiB   ? Unit{kKiB, "KiB"}
                      : bytes < kGiB ? Unit{kMiB, "MiB"}
                                     : Unit{kGiB, "GiB"};
    std::string text = std::to_string(bytes / unit.size);
    // One decimal for a part of a unit, cut: a size just short of 4 MiB reads 3.9 MiB, never 4.
    if (const std::uint64_t part = bytes % unit.size; part != 0) {
        constexpr std::uint64_t kTenths = 10;
        text += '.';
        text += static_cast<char>('0' + part * kTenths / unit.size);
    }
    text += ' ';
    text += unit.name;
    return text;
}

std::string ByteCountText(std::uint64_t bytes) {
    return bytes < kKiB ? Bytes(bytes) : Bytes(bytes) + " (" + SizeText(bytes) + ")";
}

std::string LengthText(std::uint64_t bytes) {
    return Hex(bytes) + " bytes (" + SizeText(bytes) + ")";
}

std::string SuffixText(std::uint64_t bytes) {
    if (bytes < kKiB || bytes % kKiB != 0) {
        return {};
    }
    return bytes % kMiB == 0 ? std::to_string(bytes / kMiB) + "M"
                             : std::to_string(bytes / kKiB) + "K";
}

NumberReading ReadNumber(std::string_view text, bool allowSizeSuffix) {
    using Problem = NumberReading::Problem;
    std::uint64_t multiplier = 1;
    if (allowSizeSuffix) {
        constexpr std::array<std::string_view, 4> kSuffixes = {"KiB", "MiB", "K", "M"};
        for (const std::string_view suffix : kSuffixes) {
            if (text.size() > suffix.size() &&
                SameIgnoringCase(text.substr(text.size() - suffix.size()), suffix)) {
                multiplier = UpperAscii(suffix[0]) == 'K' ? kKiB : kMiB;
                text.remove_suffix(suffix.size());
                break;
            }
        }
    }
    int base = 10;
    if (text.size() > 2 && text[0] == '0' && UpperAscii(text[1]) == 'X') {
        constexpr int kHexBase = 16;
        base = kHexBase;
        text.remove_prefix(2);
    }
    // The whole text must be the number; from_chars refuses signs and blanks, and says when the
    // digits hold more than 64 bits.
    std::uint64_t value = 0;
    const char* const last = text.data() + text.size();
    const auto [end, error] = std::from_chars(text.data(), last, value, base);
    if (end == text.data()) {
        return {Problem::NotANumber, 0, {}};
    }
    if (end != last) {
        // Digits and then letters: a size with a suffix the reader of the number does not know.
        const std::string_view rest(end, static_cast<std::size_t>(last - end));
        const bool letters = std::all_of(rest.begin(), rest.end(), IsAsciiLetter);
        const bool unknownSuffix = allowSizeSuffix && multiplier == 1 && letters &&
                                   rest.find_first_of("xX") == std::string_view::npos;
        return {unknownSuffix ? Problem::UnknownSuffix : Problem::NotANumber, 0,
                unknownSuffix ? rest : std::string_view()};
    }
    if (error == std::errc::result_out_of_range ||
        value > std::numeric_limits<std::uint64_t>::max() / multiplier) {
        return {Problem::TooLarge, 0, {}};
    }
    return {Problem::None, value * multiplier, {}};
}

std::optional<std::uint64_t> ParseNumber(std::string_view text, bool allowSizeSuffix) {
    const NumberReading reading = ReadNumber(text, allowSizeSuffix);
    if (reading.problem != NumberReading::Problem::None) {
        return std::nullopt;
    }
    return reading.value;
}

std::optional<char> ParseDriveLetter(std::string_view text) {
    if (text.size() == 3 && text[1] == ':' && (text[2] == '\\' || text[2] == '/')) {
        text.remove_suffix(1);
    }
    if (text.size() == 2 && text[1] == ':') {
        text.remove_suffix(1);
    }
    if (text.size() != 1 || !IsAsciiLetter(text[0])) {
        return std::nullopt;
    }
    return UpperAscii(text[0]);
}

}  // namespace reader::text
