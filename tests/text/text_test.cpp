// The texts every part of the project writes and reads alike: hexadecimal, sizes, names without
// regard to case, numbers as users type them and drive letters.
#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <optional>
#include <string>

#include "text/text.hpp"

namespace reader::testing {
namespace {

using text::kGiB;
using text::kKiB;
using text::kMiB;

TEST(TextTest, HexadecimalInEachStyle) {
    const std::array<std::uint8_t, 3> bytes = {0x0A, 0xBC, 0xFF};
    const struct {
        std::string made;
        const char* expected;
    } cases[] = {
        {text::HexDigits(0xC000), "C000"},
        {text::HexDigits(0), "0"},
        {text::HexDigits(0x5A, 4), "005A"},
        {text::HexDigits(0x123456, 2), "123456"},  // a width never cuts digits
        {text::HexDigits(0x90BB6CB5, 8, text::Letters::Lower), "90bb6cb5"},
        {text::HexDigits(UINT64_MAX), "FFFFFFFFFFFFFFFF"},
        {text::HexBytes(bytes, text::Letters::Lower), "0abcff"},
        {text::HexBytes(bytes, text::Letters::Upper), "0ABCFF"},
        {text::Hex(0x1F), "0x1F"},
        {text::Hex(5, 2), "0x05"},
        {text::AddressText(0x8000), "0x00008000"},
        {text::AddressText(0x1FBFFFFF), "0x1FBFFFFF"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.made, c.expected);
    }
}

// A size in running text is cut to one decimal, never rounded up to the next whole unit; the exact
// styles keep every byte.
TEST(TextTest, SizesInEachStyle) {
    const struct {
        std::uint64_t bytes;
        const char* size;
        const char* count;
        const char* length;
        const char* suffix;
    } cases[] = {
        {0, "0 bytes", "0 bytes", "0x0 bytes (0 bytes)", ""},
        {1, "1 byte", "1 byte", "0x1 bytes (1 byte)", ""},
        {kKiB - 1, "1023 bytes", "1023 bytes", "0x3FF bytes (1023 bytes)", ""},
        {kKiB, "1 KiB", "1024 bytes (1 KiB)", "0x400 bytes (1 KiB)", "1K"},
        {2500, "2.4 KiB", "2500 bytes (2.4 KiB)", "0x9C4 bytes (2.4 KiB)", ""},
        {kMiB - 1, "1023.9 KiB", "1048575 bytes (1023.9 KiB)", "0xFFFFF bytes (1023.9 KiB)", ""},
        {3 * kMiB / 2, "1.5 MiB", "1572864 bytes (1.5 MiB)", "0x180000 bytes (1.5 MiB)", "1536K"},
        {4 * kMiB - 1, "3.9 MiB", "4194303 bytes (3.9 MiB)", "0x3FFFFF bytes (3.9 MiB)", ""},
        {64 * kMiB, "64 MiB", "67108864 bytes (64 MiB)", "0x4000000 bytes (64 MiB)", "64M"},
        {std::uint64_t{7} * kGiB / 2, "3.5 GiB", "3758096384 bytes (3.5 GiB)",
         "0xE0000000 bytes (3.5 GiB)", "3584M"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(text::SizeText(c.bytes), c.size) << c.bytes;
        EXPECT_EQ(text::ByteCountText(c.bytes), c.count) << c.bytes;
        EXPECT_EQ(text::LengthText(c.bytes), c.length) << c.bytes;
        EXPECT_EQ(text::SuffixText(c.bytes), c.suffix) << c.bytes;
    }
}

// ASCII letters only: the characters 0x20 apart that are no letters ('[' and '{') stay apart, and
// so do letters outside ASCII.
TEST(TextTest, NamesWithoutRegardToCase) {
    const struct {
        const char* a;
        const char* b;
        bool same;
    } cases[] = {
        {"CMD.CMD", "cmd.cmd", true},
        {"T-DRIVER.DMP", "t-Driver.dmp", true},
        {"", "", true},
        {"DUMP.ROM", "DUMP.RO", false},
        {"DUMP.ROM", "DUMP.ROMX", false},
        {"[", "{", false},
        {"@", "`", false},
        {"\xC3\xA9", "\xC3\x89", false},
        {"big-endian", "BIG-ENDIAN", true},
        {"z64", "Z65", false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(text::SameIgnoringCase(c.a, c.b), c.same) << c.a << " " << c.b;
        EXPECT_EQ(text::SameIgnoringCase(c.b, c.a), c.same) << c.b << " " << c.a;
    }
    EXPECT_EQ(text::LowerCase("N64-[ROM]@\xC3\x89"), "n64-[rom]@\xC3\x89");
}

struct NumberCase {
    const char* text;
    bool sizes;
    std::optional<std::uint64_t> value;
};

class NumberTest : public ::testing::TestWithParam<NumberCase> {};

TEST_P(NumberTest, ParsesOrRejects) {
    const NumberCase& c = GetParam();
    EXPECT_EQ(text::ParseNumber(c.text, c.sizes), c.value) << c.text;
}

INSTANTIATE_TEST_SUITE_P(
    Numbers, NumberTest,
    ::testing::Values(
        NumberCase{"0", false, 0}, NumberCase{"32768", false, 32768},
        NumberCase{"0x8000", false, 0x8000}, NumberCase{"0X10000000", false, 0x10000000},
        NumberCase{"0xfFfF", false, 0xFFFF}, NumberCase{"256K", true, 256 * 1024},
        NumberCase{"4M", true, 4u << 20}, NumberCase{"0x10K", true, 16 * 1024},
        NumberCase{"2MiB", true, 2u << 20}, NumberCase{"1k", true, 1024},
        NumberCase{"3kib", true, 3 * 1024}, NumberCase{"010", false, 10},
        NumberCase{"18446744073709551615", false, UINT64_MAX},
        // Rejected: suffixes where no size is meant, garbage, signs, blanks,
        // a bare prefix, a suffix alone, overflow (of the digits or the suffix).
        NumberCase{"4M", false, std::nullopt}, NumberCase{"", true, std::nullopt},
        NumberCase{"0x", false, std::nullopt}, NumberCase{"K", true, std::nullopt},
        NumberCase{"12a", false, std::nullopt}, NumberCase{"0x1G", false, std::nullopt},
        NumberCase{"-1", false, std::nullopt}, NumberCase{"+1", false, std::nullopt},
        NumberCase{" 1", false, std::nullopt}, NumberCase{"1 ", false, std::nullopt},
        NumberCase{"1G", true, std::nullopt}, NumberCase{"0x8000z", false, std::nullopt},
        NumberCase{"4KK", true, std::nullopt},
        NumberCase{"18446744073709551616", false, std::nullopt},
        NumberCase{"0x4000000000000000K", true, std::nullopt}));

TEST(TextTest, DriveLetters) {
    const struct {
        const char* text;
        std::optional<char> letter;
    } cases[] = {
        {"E", 'E'},
        {"e:", 'E'},
        {"E:\\", 'E'},
        {"z:/", 'Z'},
        {"", std::nullopt},
        {"EE", std::nullopt},
        {"1", std::nullopt},
        {"E:x", std::nullopt},
        {":", std::nullopt},
        {"E\\", std::nullopt},
        {"E:\\\\", std::nullopt},
        {"[", std::nullopt},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(text::ParseDriveLetter(c.text), c.letter) << c.text;
    }
}

}  // namespace
}  // namespace reader::testing
