#include "frontend/rom/n64_header.hpp"

#include <algorithm>
#include <bit>
#include <cctype>
#include <numeric>
#include <vector>

#include "frontend/rom/header_text.hpp"
#include "link/bytes.hpp"
#include "text/text.hpp"

namespace reader::rom {
namespace {

struct BootCodeRow {
    N64BootCode code;
    std::string_view name;
    std::uint32_t crc;   // CRC32 of the boot code's bytes 0x40..0xFFF
    std::uint32_t seed;  // the value every accumulator of the checksum starts from
};

constexpr std::array<BootCodeRow, 5> kBootCodeRows{{
    {N64BootCode::Boot6101, "6101", 0x6170A4A1, 0xF8CA4DDC},
    {N64BootCode::Boot6102, "6102", 0x90BB6CB5, 0xF8CA4DDC},
    {N64BootCode::Boot6103, "6103", 0x0B050EE0, 0xA3886759},
    {N64BootCode::Boot6105, "6105", 0x98BC2C86, 0xDF26F436},
    {N64BootCode::Boot6106, "6106", 0xACC8580A, 0x1FEA617A},
}};

const BootCodeRow& RowOf(N64BootCode code) {
    return *std::find_if(kBootCodeRows.begin(), kBootCodeRows.end(),
                         [code](const BootCodeRow& row) { return row.code == code; });
}

// 6105 mixes words of its own boot code into the second checksum: the word at this offset plus
// the low byte of the word's position in the checksummed area (0x0750..0x084C).
constexpr std::size_t k6105TableOffset = kN64BootCodeOffset + 0x0710;
constexpr std::size_t kPositionMask = 0xFF;

// A big-endian word of the image; bytes past its end count as zero.
std::uint32_t WordAt(std::span<const std::uint8_t> image, std::size_t at) {
    if (at >= image.size()) {
        return 0;
    }
    if (at + 4 <= image.size()) {
        return link::GetBe32(image, at);
    }
    std::array<std::uint8_t, 4> padded{};
    std::copy(image.begin() + static_cast<std::ptrdiff_t>(at), image.end(), padded.begin());
    return link::GetBe32(padded, 0);
}

// How each order stores the bytes of a big-endian word: stored byte i is big-endian byte
// kStoredFrom[order][i]. Each of these reorderings is its own inverse.
constexpr std::array<std::array<std::size_t, 4>, 3> kStoredFrom{{
    {0, 1, 2, 3},  // big-endian
    {1, 0, 3, 2},  // byte-swapped: each 16-bit half with its bytes exchanged
    {3, 2, 1, 0},  // little-endian
}};

constexpr std::size_t IndexOf(N64ByteOrder order) {
    return static_cast<std::size_t>(order);
}

struct OrderName {
    N64ByteOrder order;
    std::string_view name;
    std::string_view shortName;
};
constexpr std::array<OrderName, 3> kOrderNames{{
    {N64ByteOrder::BigEndian, "big-endian", "z64"},
    {N64ByteOrder::ByteSwapped, "byte-swapped", "v64"},
    {N64ByteOrder::LittleEndian, "little-endian", "n64"},
}};

}  // namespace

std::string_view N64BootCodeName(N64BootCode code) {
    return RowOf(code).name;
}

std::uint32_t N64BootCodeCrc(N64BootCode code) {
    return RowOf(code).crc;
}

std::optional<N64BootCode> N64BootCodeFromCrc(std::uint32_t crc) {
    for (const BootCodeRow& row : kBootCodeRows) {
        if (row.crc == crc) {
            return row.code;
        }
    }
    return std::nullopt;
}

N64Checksums CalculateN64Checksums(std::span<const std::uint8_t> image, N64BootCode code) {
    const bool boot6105 = code == N64BootCode::Boot6105;
    const std::uint32_t seed = RowOf(code).seed;
    std::uint32_t sum = seed;        // the words added up
    std::uint32_t carries = seed;    // one more for every carry out of `sum`
    std::uint32_t parity = seed;     // the words exclusive-ored
    std::uint32_t rotations = seed;  // each word rotated left by its own low five bits, added up
    std::uint32_t mixed = seed;      // takes the rotation or `sum` in, by how the word compares
    std::uint32_t keyed = seed;      // the words mixed with `rotations` (6105: with its boot code)
    std::array<std::uint32_t, (kPositionMask + 1) / 4> table{};  // 6105's, by position
    for (std::size_t i = 0; i < table.size(); ++i) {
        table[i] = WordAt(image, k6105TableOffset + 4 * i);
    }

    // The words the image holds, the last one perhaps zero-padded.
    const std::size_t held = (std::min(image.size(), kN64ChecksumEnd) + 3) / 4 * 4;
    const std::size_t end = std::max(held, kN64ChecksumStart);
    for (std::size_t at = kN64ChecksumStart; at < end; at += 4) {
        const std::uint32_t word = WordAt(image, at);
        const std::uint32_t before = sum;
        sum += word;
        if (sum < before) {
            ++carries;
        }
        parity ^= word;
        const std::uint32_t rotated = std::rotl(word, static_cast<int>(word & 0x1Fu));
        rotations += rotated;
        mixed ^= mixed > word ? rotated : sum ^ word;
        keyed += (boot6105 ? table[(at & kPositionMask) / 4] : rotations) ^ word;
    }

    // The zero words past the image's end, all at once: they leave `sum`, `carries`, `parity`
    // and `rotations` as they are; `mixed` takes `sum` in at the first of them if it is zero
    // (and then keeps it); `keyed` gains `rotations` for each (6105: the table word of each).
    std::size_t zeros = (kN64ChecksumEnd - end) / 4;
    if (zeros > 0 && mixed == 0) {
        mixed = sum;
    }
    if (boot6105) {
        // Up to the next round of the table, then whole rounds: the area ends on one.
        for (std::size_t index = (end & kPositionMask) / 4; zeros > 0 && index != 0;
             index = (index + 1) % table.size(), --zeros) {
            keyed += table[index];
        }
        const std::uint32_t round = std::accumulate(table.begin(), table.end(), std::uint32_t{0});
        keyed += round * static_cast<std::uint32_t>(zeros / table.size());
    } else {
        keyed += rotations * static_cast<std::uint32_t>(zeros);
    }

    switch (code) {
        case N64BootCode::Boot6103:
            return {(sum ^ carries) + parity, (rotations ^ mixed) + keyed};
        case N64BootCode::Boot6106:
            return {sum * carries + parity, rotations * mixed + keyed};
        default:
            return {sum ^ carries ^ parity, rotations ^ mixed ^ keyed};
    }
}

N64Checksums StoredN64Checksums(std::span<const std::uint8_t> image) {
    return {WordAt(image, kN64FirstChecksumOffset), WordAt(image, kN64SecondChecksumOffset)};
}

void StoreN64Checksums(std::span<std::uint8_t> image, N64Checksums checksums) {
    for (std::size_t i = 0; i < 4; ++i) {
        const int shift = 24 - 8 * static_cast<int>(i);
        image[kN64FirstChecksumOffset + i] = static_cast<std::uint8_t>(checksums.first >> shift);
        image[kN64SecondChecksumOffset + i] = static_cast<std::uint8_t>(checksums.second >> shift);
    }
}

std::optional<N64ByteOrder> DetectN64ByteOrder(std::span<const std::uint8_t> image) {
    if (image.size() < kN64FirstWord.size()) {
        return std::nullopt;
    }
    for (const OrderName& entry : kOrderNames) {
        const auto& from = kStoredFrom[IndexOf(entry.order)];
        bool same = true;
        for (std::size_t i = 0; i < kN64FirstWord.size(); ++i) {
            same = same && image[i] == kN64FirstWord[from[i]];
        }
        if (same) {
            return entry.order;
        }
    }
    return std::nullopt;
}

void ConvertN64ByteOrder(std::span<std::uint8_t> image, N64ByteOrder from, N64ByteOrder to) {
    if (from == to) {
        return;
    }
    // Byte i of a word in the new order is big-endian byte kStoredFrom[to][i], which the old order
    // keeps at position kStoredFrom[from][kStoredFrom[to][i]].
    std::array<std::size_t, 4> source{};
    for (std::size_t i = 0; i < source.size(); ++i) {
        source[i] = kStoredFrom[IndexOf(from)][kStoredFrom[IndexOf(to)][i]];
    }
    const std::size_t whole = image.size() - image.size() % 4;
    for (std::size_t at = 0; at < whole; at += 4) {
        const std::array<std::uint8_t, 4> word{image[at], image[at + 1], image[at + 2],
                                               image[at + 3]};
        image[at] = word[source[0]];
        image[at + 1] = word[source[1]];
        image[at + 2] = word[source[2]];
        image[at + 3] = word[source[3]];
    }
}

std::string_view N64ByteOrderName(N64ByteOrder order) {
    for (const OrderName& entry : kOrderNames) {
        if (entry.order == order) {
            return entry.name;
        }
    }
    return "unknown";
}

std::optional<N64ByteOrder> ParseN64ByteOrder(std::string_view text) {
    for (const OrderName& entry : kOrderNames) {
        if (text::SameIgnoringCase(text, entry.name) ||
            text::SameIgnoringCase(text, entry.shortName)) {
            return entry.order;
        }
    }
    return std::nullopt;
}

N64HeaderSummary SummariseN64Header(std::span<const std::uint8_t> image) {
    N64HeaderSummary summary;
    summary.order = DetectN64ByteOrder(image);
    std::vector<std::uint8_t> header(
        image.begin(),
        image.begin() + static_cast<std::ptrdiff_t>(std::min(image.size(), kN64BootCodeEnd)));
    ConvertN64ByteOrder(header, summary.order.value_or(N64ByteOrder::BigEndian),
                        N64ByteOrder::BigEndian);
    // A field, or what of it a short image holds.
    const auto field = [&header](std::size_t offset, std::size_t size) {
        const std::size_t from = std::min(offset, header.size());
        return std::span<const std::uint8_t>(header).subspan(from,
                                                             std::min(size, header.size() - from));
    };
    summary.title = PrintableText(field(kN64TitleOffset, kN64TitleSize));
    const auto code = field(kN64GameCodeOffset, kN64GameCodeSize);
    if (code.size() == kN64GameCodeSize &&
        std::all_of(code.begin(), code.end(),
                    [](std::uint8_t c) { return std::isalnum(c) != 0; })) {
        summary.gameCode.assign(code.begin(), code.end());
    }
    if (header.size() == kN64BootCodeEnd) {
        summary.bootCodeCrc =
            Crc32(field(kN64BootCodeOffset, kN64BootCodeEnd - kN64BootCodeOffset));
        summary.bootCode = N64BootCodeFromCrc(*summary.bootCodeCrc);
    }
    return summary;
}

}  // namespace reader::rom
