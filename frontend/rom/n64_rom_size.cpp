#include "frontend/rom/n64_rom_size.hpp"

#include <algorithm>
#include <array>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "link/bytes.hpp"
#include "text/text.hpp"

namespace reader::rom {
namespace {

// Probe k (0..64) is the block at 0x10000000 + k MiB: the ROM's first block, then each end a ROM
// of k MiB would have.
constexpr std::size_t kLastProbe = kN64RomLargest / kN64RomStep;
constexpr std::uint16_t kOpenBusMask = 0xFFFF;
constexpr auto kBlockBytes = static_cast<std::uint32_t>(kN64ProbeSize);
// The blocks that confirm an open-bus end, as offsets from it: their open-bus values (02 00 and
// 5C 00) differ from the end's own (00 00) and from each other. Zero padding shows 00 00 there, and
// a ROM would have to imitate the pattern in both places at once.
constexpr std::array<std::uint32_t, 2> kOpenBusConfirmations = {0x200, 0x5C00};
// How many probes of a run of open bus are confirmed one after the other before the bisection.
constexpr std::size_t kConfirmedInTurn = 4;
// A mirror repeats the ROM's second block right after its end as well.
constexpr std::uint32_t kMirrorConfirmation = 0x200;
// A last block whose final 16 bytes are 0xFF ends in padding rather than in data.
constexpr std::size_t kPaddingTail = 16;
constexpr std::uint8_t kPulledUp = 0xFF;

using Block = std::array<std::uint8_t, kN64ProbeSize>;

std::uint32_t ProbeAddress(std::size_t k) {
    return kN64RomStart + static_cast<std::uint32_t>(k) * kN64RomStep;
}

bool IsOpenBus(const Block& block, std::uint32_t address) {
    std::array<std::uint8_t, 2> word{};
    link::PutBe16(word, 0, static_cast<std::uint16_t>(address & kOpenBusMask));
    for (std::size_t i = 0; i < block.size(); ++i) {
        if (block[i] != word[i % word.size()]) {
            return false;
        }
    }
    return true;
}

bool IsPulledUp(std::span<const std::uint8_t> bytes) {
    return std::all_of(bytes.begin(), bytes.end(), [](std::uint8_t b) { return b == kPulledUp; });
}

// The size a ROM ending at probe k has.
std::string ProbeSizeText(std::size_t k) {
    return text::SizeText(std::uint64_t{k} * kN64RomStep);
}

// The reads of one search: counted, and the first failure kept.
class Search {
  public:
    explicit Search(const N64BlockReader& read) : read_(read) {}

    bool Read(std::uint32_t address, Block& block) {
        ++result_.blocksRead;
        if (!read_(address, block)) {
            result_.problem = N64SizeProblem::ReadFailed;
            result_.explanation =
                "the read of the block at " + text::AddressText(address) + " failed";
            return false;
        }
        return true;
    }

    // Whether the blocks that confirm an open-bus end at address show it too; nothing when a
    // read failed.
    std::optional<bool> ConfirmOpenBus(std::uint32_t address) {
        for (const std::uint32_t offset : kOpenBusConfirmations) {
            Block block{};
            if (!Read(address + offset, block)) {
                return std::nullopt;
            }
            if (!IsOpenBus(block, address + offset)) {
                return false;
            }
        }
        return true;
    }

    N64RomSize Failed() { return std::move(result_); }

    N64RomSize Size(std::size_t k, N64RomEnd end, bool uncertain, std::string how) {
        result_.size = static_cast<std::uint32_t>(k) * kN64RomStep;
        result_.end = end;
        result_.uncertain = uncertain;
        result_.explanation = "size " + ProbeSizeText(k) + ": " + how;
        return std::move(result_);
    }

    N64RomSize None(N64SizeProblem problem, std::string why) {
        result_.problem = problem;
        result_.explanation = std::move(why);
        return std::move(result_);
    }

  private:
    const N64BlockReader& read_;
    N64RomSize result_;
};

// The first probe from which every probe up to the last one has the property (kLastProbe + 1 when
// the last one lacks it).
template <typename Property>
std::size_t RunToTheEnd(std::size_t count, Property holds) {
    std::size_t from = count;
    while (from > 0 && holds(from - 1)) {
        --from;
    }
    return from;
}

}  // namespace

N64RomSize FindN64RomSize(const N64BlockReader& read) {
    Search search(read);
    std::vector<Block> probes(kLastProbe + 1);
    for (std::size_t k = 0; k <= kLastProbe; ++k) {
        if (!search.Read(ProbeAddress(k), probes[k])) {
            return search.Failed();
        }
    }
    const auto openBusAt = [&](std::size_t k) { return IsOpenBus(probes[k], ProbeAddress(k)); };
    const auto pulledUpAt = [&](std::size_t k) { return IsPulledUp(probes[k]); };
    const std::size_t openBusFrom = RunToTheEnd(probes.size(), openBusAt);
    const std::size_t pulledUpFrom = RunToTheEnd(probes.size(), pulledUpAt);

    // Open bus first: once confirmed, the one behaviour that data is unlikely to imitate. A probe
    // that shows it (a zero block at a MiB boundary) counts only when the blocks that confirm it
    // show it too. Confirmed open bus before the run that reaches the last probe means that the
    // reader's answers disagree: data again after the end.
    for (std::size_t k = 0; k < openBusFrom; ++k) {
        if (!openBusAt(k)) {
            continue;
        }
        const auto confirmed = search.ConfirmOpenBus(ProbeAddress(k));
        if (!confirmed) {
            return search.Failed();
        }
        if (*confirmed) {
            std::size_t data = k + 1;
            while (openBusAt(data)) {
                ++data;
            }
            return search.None(N64SizeProblem::Disagrees,
                               "the reader shows open bus at " +
                                   text::AddressText(ProbeAddress(k)) + " but data again at " +
                                   text::AddressText(ProbeAddress(data)));
        }
    }
    // In the run that reaches the last probe the end is the first confirmed probe. Zero padding at
    // the ROM's end fails the confirmation and every probe past the end passes it: the run's first
    // few probes are tried in turn (the usual end, or short padding), the rest by bisection.
    if (openBusFrom <= kLastProbe) {
        std::optional<std::size_t> end;
        const auto confirmedAt = [&](std::size_t k) {
            return search.ConfirmOpenBus(ProbeAddress(k));
        };
        std::optional<bool> confirmed = false;
        const std::size_t inTurn = std::min(openBusFrom + kConfirmedInTurn, kLastProbe + 1);
        for (std::size_t k = openBusFrom; k < inTurn && confirmed && !end; ++k) {
            confirmed = confirmedAt(k);
            if (confirmed && *confirmed) {
                end = k;
            }
        }
        if (confirmed && !end && inTurn <= kLastProbe) {
            confirmed = confirmedAt(kLastProbe);
            if (confirmed && *confirmed) {
                std::size_t low = inTurn;
                std::size_t high = kLastProbe;
                while (confirmed && low < high) {
                    const std::size_t middle = low + (high - low) / 2;
                    confirmed = confirmedAt(middle);
                    if (confirmed && *confirmed) {
                        high = middle;
                    } else {
                        low = middle + 1;
                    }
                }
                end = high;
            }
        }
        if (!confirmed) {
            return search.Failed();
        }
        if (end == std::size_t{0}) {
            return search.None(N64SizeProblem::NoRom, "no ROM answers: open bus from " +
                                                          text::AddressText(kN64RomStart) +
                                                          " (is a cartridge in the reader?)");
        }
        if (end) {
            return search.Size(*end, N64RomEnd::OpenBus, false,
                               "open bus from " + text::AddressText(ProbeAddress(*end)));
        }
    }
    if (pulledUpFrom == 0) {
        return search.None(N64SizeProblem::NoRom, "no ROM answers: 0xFF from " +
                                                      text::AddressText(kN64RomStart) +
                                                      " (is a cartridge in the reader?)");
    }

    // A mirror: the smallest size whose repeats every later probe follows.
    std::optional<Block> second;
    for (std::size_t size = 1; size <= kLastProbe; ++size) {
        bool repeats = true;
        for (std::size_t k = size; k <= kLastProbe && repeats; ++k) {
            repeats = probes[k] == probes[k % size];
        }
        if (!repeats) {
            continue;
        }
        if (!second) {
            second.emplace();
            if (!search.Read(kN64RomStart + kMirrorConfirmation, *second)) {
                return search.Failed();
            }
        }
        Block after{};
        if (!search.Read(ProbeAddress(size) + kMirrorConfirmation, after)) {
            return search.Failed();
        }
        if (after == *second) {
            return search.Size(size, N64RomEnd::Mirror, false,
                               "the ROM repeats from " + text::AddressText(ProbeAddress(size)));
        }
    }

    // 0xFF: a reader that pulls its data lines up, or the ROM's own padding. When the ROM's last
    // block before it ends in 0xFF as well, the two cannot be told apart.
    if (pulledUpFrom <= kLastProbe) {
        Block last{};
        if (!search.Read(ProbeAddress(pulledUpFrom) - kBlockBytes, last)) {
            return search.Failed();
        }
        const bool uncertain = IsPulledUp(std::span(last).last(kPaddingTail));
        std::string how = "0xFF from " + text::AddressText(ProbeAddress(pulledUpFrom));
        if (uncertain) {
            how += " (uncertain: the ROM may end in 0xFF padding)";
        }
        return search.Size(pulledUpFrom, N64RomEnd::Ff, uncertain, std::move(how));
    }

    if (openBusFrom <= kLastProbe) {
        return search.None(N64SizeProblem::NoEnd,
                           "zeros from " + text::AddressText(ProbeAddress(openBusFrom)) +
                               " on, but not the open-bus pattern that marks a ROM's end");
    }
    return search.None(N64SizeProblem::NoEnd,
                       "data at every probe up to " + text::AddressText(ProbeAddress(kLastProbe)) +
                           ": no end at or before " + ProbeSizeText(kLastProbe));
}

}  // namespace reader::rom
