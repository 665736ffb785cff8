// Finding an N64 ROM's size against the emulated N64 reader, read block by block through the
// library's read slot as a dump reads, under each thing the reader may show past the ROM's end.
#include "frontend/rom/n64_rom_size.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "drivers/system_driver.hpp"
#include "emulator/emulated_host.hpp"
#include "support/placed_buffer.hpp"
#include "tools/test_images.hpp"

namespace reader::rom {
namespace {

using emulator::PastEnd;
using testimages::kMiB;
using Image = std::vector<std::uint8_t>;

// What the cartridge holds besides data to the ROM's last byte; from BusOpen on, a reader that is
// not the model shows what the model never does.
enum class Cart : std::uint8_t {
    Data,
    ZeroBlock,    // a zero block at 4 MiB
    Forged,       // that, and the open-bus pattern in the block after it
    ForgedEnd,    // a zero block at 8 MiB and the pattern at both blocks that confirm an end
    ZeroPad,      // zero from 5 MiB + 0x1234 to 8 MiB
    LongZeroPad,  // zero from 12 MiB - 0x80 to 32 MiB
    FfPad,        // 0xFF from 5 MiB + 0x1234 to 8 MiB
    Doubled,      // the first half again in the second
    BusOpen,      // no cartridge: open bus everywhere
    BusFf,        // no cartridge: 0xFF everywhere
    BusData,      // data everywhere, past 0x14000000 too
    BusZeros,     // data up to 8 MiB, then zeros without the open-bus pattern
};

void Shape(Cart cart, Image& image) {
    const auto fill = [&](std::size_t from, std::size_t to, std::uint8_t byte) {
        std::fill(image.begin() + static_cast<std::ptrdiff_t>(from),
                  image.begin() + static_cast<std::ptrdiff_t>(to), byte);
    };
    const auto forge = [&](std::size_t at) {  // the open-bus pattern of its own address
        for (std::size_t i = 0; i < kN64ProbeSize; ++i) {
            image[at + i] = static_cast<std::uint8_t>(i % 2 == 0 ? at >> 8 : at);
        }
    };
    const std::size_t zero = cart == Cart::ForgedEnd ? 8 * kMiB : 4 * kMiB;
    if (cart == Cart::ZeroBlock || cart == Cart::Forged || cart == Cart::ForgedEnd) {
        fill(zero, zero + kN64ProbeSize, 0);
    }
    if (cart == Cart::Forged || cart == Cart::ForgedEnd) {
        forge(zero + 0x200);
    }
    if (cart == Cart::ForgedEnd) {
        forge(zero + 0x5C00);
    }
    if (cart == Cart::ZeroPad || cart == Cart::FfPad) {
        fill(5 * kMiB + 0x1234, 8 * kMiB, cart == Cart::ZeroPad ? 0 : 0xFF);
    }
    if (cart == Cart::LongZeroPad) {
        fill(12 * kMiB - 0x80, 32 * kMiB, 0);
    }
    if (cart == Cart::Doubled) {
        std::copy_n(image.begin(), image.size() / 2,
                    image.begin() + static_cast<std::ptrdiff_t>(image.size() / 2));
    }
}

std::uint8_t BusByte(Cart cart, std::uint32_t address) {
    const auto data = static_cast<std::uint8_t>((address * 2654435761u) >> 24);
    if (cart == Cart::BusOpen) {  // probes are 512-aligned: the word's low byte is 0
        return static_cast<std::uint8_t>(address % 2 == 0 ? (address & ~0x1FFu) >> 8 : 0);
    }
    if (cart == Cart::BusFf) {
        return 0xFF;
    }
    return cart == Cart::BusZeros && address >= kN64RomStart + 8 * kMiB ? 0 : data;
}

struct SizeCase {
    std::string what;
    std::size_t imageMiB;  // 0: the generated 64 MiB cartridge (or none, for the Bus ones)
    PastEnd pastEnd;
    Cart cart;
    unsigned failingRead;  // the read that fails (from 1); 0: none
    std::size_t sizeMiB;   // expected; 0: no size
    N64RomEnd end;
    bool uncertain;
    N64SizeProblem problem;
    std::string explanation;  // the whole sentence; empty: not checked here
};

TEST(N64RomSizeTest, FindsTheEndUnderEachBehaviourWithoutBeingFooledByTheRomsOwnBytes) {
    using enum N64RomEnd;
    using enum N64SizeProblem;
    constexpr auto kOpen = PastEnd::OpenBus;
    std::vector<SizeCase> cases;
    for (const std::size_t size : std::array<std::size_t, 7>{1, 4, 8, 12, 16, 32, 64}) {
        for (const auto& [pastEnd, end] :
             {std::pair{kOpen, OpenBus}, std::pair{PastEnd::Mirror, Mirror},
              std::pair{PastEnd::Ff, Ff}}) {
            const auto name =
                std::to_string(size) + " MiB, " + std::string(emulator::PastEndName(pastEnd));
            cases.push_back({name, size, pastEnd, Cart::Data, 0, size, end, false, None, ""});
        }
    }
    const SizeCase special[] = {
        {"the sentence of an open-bus end", 12, kOpen, Cart::Data, 0, 12, OpenBus, false, None,
         "size 12 MiB: open bus from 0x10C00000"},
        {"the generated cartridge", 0, kOpen, Cart::Data, 0, 64, OpenBus, false, None,
         "size 64 MiB: open bus from 0x14000000"},
        {"a zero block at a MiB boundary", 8, kOpen, Cart::ZeroBlock, 0, 8, OpenBus, false, None,
         ""},
        {"a block forged with the open-bus pattern after a zero block", 8, kOpen, Cart::Forged, 0,
         8, OpenBus, false, None, ""},
        {"zero padding, open bus", 8, kOpen, Cart::ZeroPad, 0, 8, OpenBus, false, None, ""},
        {"20 MiB of zero padding, open bus", 32, kOpen, Cart::LongZeroPad, 0, 32, OpenBus, false,
         None, ""},
        {"zero padding, 0xFF", 8, PastEnd::Ff, Cart::ZeroPad, 0, 8, Ff, false, None,
         "size 8 MiB: 0xFF from 0x10800000"},
        {"0xFF padding, open bus", 8, kOpen, Cart::FfPad, 0, 8, OpenBus, false, None, ""},
        {"0xFF padding, 0xFF: uncertain", 8, PastEnd::Ff, Cart::FfPad, 0, 6, Ff, true, None,
         "size 6 MiB: 0xFF from 0x10600000 (uncertain: the ROM may end in 0xFF padding)"},
        {"a ROM holding its first half twice, mirror: the half", 8, PastEnd::Mirror, Cart::Doubled,
         0, 4, Mirror, false, None, "size 4 MiB: the ROM repeats from 0x10400000"},
        {"open bus confirmed, then data again", 16, kOpen, Cart::ForgedEnd, 0, 0, OpenBus, false,
         Disagrees, "the reader shows open bus at 0x10800000 but data again at 0x10900000"},
        {"a failing probe", 8, kOpen, Cart::Data, 10, 0, OpenBus, false, ReadFailed,
         "the read of the block at 0x10900000 failed"},
        {"a failing confirmation", 8, kOpen, Cart::Data, 66, 0, OpenBus, false, ReadFailed,
         "the read of the block at 0x10800200 failed"},
        {"no cartridge, open bus", 0, kOpen, Cart::BusOpen, 0, 0, OpenBus, false, NoRom,
         "no ROM answers: open bus from 0x10000000 (is a cartridge in the reader?)"},
        {"no cartridge, 0xFF", 0, kOpen, Cart::BusFf, 0, 0, OpenBus, false, NoRom,
         "no ROM answers: 0xFF from 0x10000000 (is a cartridge in the reader?)"},
        {"data everywhere", 0, kOpen, Cart::BusData, 0, 0, OpenBus, false, NoEnd,
         "data at every probe up to 0x14000000: no end at or before 64 MiB"},
        {"zeros past the end, not open bus", 0, kOpen, Cart::BusZeros, 0, 0, OpenBus, false, NoEnd,
         "zeros from 0x10800000 on, but not the open-bus pattern that marks a ROM's end"},
    };
    cases.insert(cases.end(), std::begin(special), std::end(special));

    std::map<std::size_t, Image> made;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Image image;
        if (c.imageMiB != 0) {
            auto& full = made[c.imageMiB];
            if (full.empty()) {
                full = testimages::MakeN64Image(N64BootCode::Boot6102, testimages::kDefaultSeed,
                                                c.imageMiB * kMiB);
            }
            // Made at least as long as its checksummed area: cut to size.
            image.assign(full.begin(),
                         full.begin() + static_cast<std::ptrdiff_t>(c.imageMiB * kMiB));
            Shape(c.cart, image);
        }
        // The emulated N64 reader, identified through the library.
        emulator::EmulatedHost host;
        const emulator::ScopedHost scoped(host);
        ResetDeviceGlobals();
        emulator::ReaderConfig config;
        config.fixedIdentity = std::string(emulator::kN64CartIdentity);
        config.cartridgeImage = std::move(image);
        config.pastEnd = c.pastEnd;
        const auto& model = host.AttachReader('E', std::move(config));
        ASSERT_EQ(IdentifyDevice(0, 0), 1);

        const bool bus = c.cart >= Cart::BusOpen;
        unsigned calls = 0;
        const testing::PlacedBuffer buffer(kN64ProbeSize, 0);
        const auto result = FindN64RomSize([&](std::uint32_t address, auto block) {
            if (++calls == c.failingRead ||
                (!bus && SystemDriver.ReadSlot(address, buffer.data(), kN64ProbeSize) !=
                             static_cast<int>(kN64ProbeSize))) {
                return false;
            }
            for (std::size_t i = 0; i < block.size(); ++i) {
                block[i] = bus ? BusByte(c.cart, address + static_cast<std::uint32_t>(i))
                               : buffer.data()[i];
            }
            return true;
        });

        EXPECT_EQ(result.size, c.sizeMiB * kMiB);
        EXPECT_EQ(result.Found(), c.sizeMiB != 0);
        EXPECT_EQ(result.problem, c.problem);
        if (result.Found()) {
            EXPECT_EQ(result.end, c.end);
            EXPECT_EQ(result.uncertain, c.uncertain);
        }
        EXPECT_FALSE(result.explanation.empty());
        if (!c.explanation.empty()) {
            EXPECT_EQ(result.explanation, c.explanation);
        }
        // Every call counts; each one that reached the model is one read of its data file.
        EXPECT_EQ(result.blocksRead, calls);
        if (!bus && c.failingRead == 0) {
            EXPECT_EQ(result.blocksRead, model.DataReads());
        }
        // 65 probes and a few confirmations: a fifth of a second at two milliseconds a block.
        EXPECT_LE(result.blocksRead, 85u);
        std::printf("  %-60s %3u blocks  %s\n", c.what.c_str(), result.blocksRead,
                    result.explanation.c_str());
    }
}

}  // namespace
}  // namespace reader::rom
