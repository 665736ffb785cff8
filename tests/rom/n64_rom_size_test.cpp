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
using Block = std::span<std::uint8_t, kN64ProbeSize>;

// One emulated N64 reader with the image as its cartridge, identified through the library.
struct EmulatedN64 {
    EmulatedN64(Image image, PastEnd pastEnd) : scoped(host) {
        ResetDeviceGlobals();
        emulator::ReaderConfig config;
        config.fixedIdentity = std::string(emulator::kN64CartIdentity);
        config.cartridgeImage = std::move(image);
        config.pastEnd = pastEnd;
        model = &host.AttachReader('E', std::move(config));
        identified = IdentifyDevice(0, 0);
    }
    bool Read(std::uint32_t address, Block block) const {
        const testing::PlacedBuffer buffer(kN64ProbeSize, 0);
        if (SystemDriver.ReadSlot(address, buffer.data(), kN64ProbeSize) !=
            static_cast<int>(kN64ProbeSize)) {
            return false;
        }
        std::copy_n(buffer.data(), kN64ProbeSize, block.begin());
        return true;
    }

    emulator::EmulatedHost host;
    emulator::ScopedHost scoped;
    emulator::ReaderModel* model = nullptr;
    int identified = 0;
};

// What the ROM holds besides its data: stretches of one byte, blocks forged with the open-bus
// pattern of their address, or its first half again in its second.
struct Fill {
    std::size_t from;
    std::size_t to;
    std::uint8_t byte;
};
struct Edit {
    std::vector<Fill> fills{};
    std::vector<std::size_t> forged{};  // offsets of 512-byte blocks
    bool doubled = false;
};

void Apply(const Edit& edit, Image& image) {
    for (const Fill& fill : edit.fills) {
        std::fill(image.begin() + static_cast<std::ptrdiff_t>(fill.from),
                  image.begin() + static_cast<std::ptrdiff_t>(fill.to), fill.byte);
    }
    for (const std::size_t offset : edit.forged) {
        for (std::size_t i = 0; i < kN64ProbeSize; ++i) {
            image[offset + i] = static_cast<std::uint8_t>(i % 2 == 0 ? offset >> 8 : offset);
        }
    }
    if (edit.doubled) {
        const std::size_t half = image.size() / 2;
        std::copy_n(image.begin(), half, image.begin() + static_cast<std::ptrdiff_t>(half));
    }
}

// Readers that are not the model, for what the model never shows.
enum class Bus : std::uint8_t { Model, OpenBusEverywhere, FfEverywhere, Data, ZerosFrom8MiB };

std::uint8_t DataByte(std::uint32_t address) {
    return static_cast<std::uint8_t>((address * 2654435761u) >> 24);
}

std::uint8_t BusByte(Bus bus, std::uint32_t address) {
    switch (bus) {
        case Bus::OpenBusEverywhere: {
            const std::uint32_t latched = address & ~std::uint32_t{kN64ProbeSize - 1};
            return static_cast<std::uint8_t>(address % 2 == 0 ? latched >> 8 : latched);
        }
        case Bus::FfEverywhere:
            return 0xFF;
        case Bus::ZerosFrom8MiB:
            return address >= kN64RomStart + 8 * kMiB ? 0 : DataByte(address);
        case Bus::Data:
        case Bus::Model:
            break;
    }
    return DataByte(address);
}

struct Expected {
    std::size_t sizeMiB;  // 0: no size
    N64RomEnd end;
    bool uncertain;
    N64SizeProblem problem;
    std::string explanation;  // the whole sentence; empty: not checked here
};

struct SizeCase {
    std::string what;
    std::size_t imageMiB;  // 0: the generated 64 MiB cartridge
    PastEnd pastEnd;
    Edit edit;
    Bus bus;
    unsigned failingRead;  // the read that fails (from 1); 0: none
    Expected expected;
};

TEST(N64RomSizeTest, FindsTheEndUnderEachBehaviourWithoutBeingFooledByTheRomsOwnBytes) {
    using enum N64RomEnd;
    using enum N64SizeProblem;
    constexpr std::size_t k4 = 4 * kMiB;
    constexpr std::size_t k8 = 8 * kMiB;
    constexpr std::size_t kPad = 5 * kMiB + 0x1234;  // where padding starts in an 8 MiB ROM
    // Every common size under every behaviour; the images are data to their last byte.
    std::vector<SizeCase> cases;
    for (const std::size_t size : std::array<std::size_t, 7>{1, 4, 8, 12, 16, 32, 64}) {
        for (const auto& [pastEnd, end] :
             {std::pair{PastEnd::OpenBus, OpenBus}, std::pair{PastEnd::Mirror, Mirror},
              std::pair{PastEnd::Ff, Ff}}) {
            cases.push_back(
                {std::to_string(size) + " MiB, " + std::string(emulator::PastEndName(pastEnd)),
                 size,
                 pastEnd,
                 {},
                 Bus::Model,
                 0,
                 {size, end, false, None, ""}});
        }
    }
    const SizeCase special[] = {
        {"the sentence of an open-bus end",
         12,
         PastEnd::OpenBus,
         {},
         Bus::Model,
         0,
         {12, OpenBus, false, None, "size 12 MiB: open bus from 0x10C00000"}},
        {"the sentence of a mirror",
         8,
         PastEnd::Mirror,
         {},
         Bus::Model,
         0,
         {8, Mirror, false, None, "size 8 MiB: the ROM repeats from 0x10800000"}},
        {"the sentence of 0xFF after data",
         12,
         PastEnd::Ff,
         {},
         Bus::Model,
         0,
         {12, Ff, false, None, "size 12 MiB: 0xFF from 0x10C00000"}},
        {"the generated cartridge, open bus",
         0,
         PastEnd::OpenBus,
         {},
         Bus::Model,
         0,
         {64, OpenBus, false, None, "size 64 MiB: open bus from 0x14000000"}},
        {"the generated cartridge, mirror",
         0,
         PastEnd::Mirror,
         {},
         Bus::Model,
         0,
         {64, Mirror, false, None, ""}},
        {"a zero block at a MiB boundary",
         8,
         PastEnd::OpenBus,
         {{{k4, k4 + 512, 0}}},
         Bus::Model,
         0,
         {8, OpenBus, false, None, ""}},
        {"a zero MiB inside the ROM",
         8,
         PastEnd::OpenBus,
         {{{k4, 5 * kMiB, 0}}},
         Bus::Model,
         0,
         {8, OpenBus, false, None, ""}},
        {"a block forged with the open-bus pattern after a zero block",
         8,
         PastEnd::OpenBus,
         {{{k4, k4 + 512, 0}}, {k4 + 0x200}},
         Bus::Model,
         0,
         {8, OpenBus, false, None, ""}},
        {"zero padding at the end, open bus",
         8,
         PastEnd::OpenBus,
         {{{kPad, k8, 0}}},
         Bus::Model,
         0,
         {8, OpenBus, false, None, ""}},
        {"20 MiB of zero padding at the end, open bus",
         32,
         PastEnd::OpenBus,
         {{{12 * kMiB - 0x80, 32 * kMiB, 0}}},
         Bus::Model,
         0,
         {32, OpenBus, false, None, ""}},
        {"zero padding at the end, 0xFF",
         8,
         PastEnd::Ff,
         {{{kPad, k8, 0}}},
         Bus::Model,
         0,
         {8, Ff, false, None, ""}},
        {"0xFF padding at the end, open bus",
         8,
         PastEnd::OpenBus,
         {{{kPad, k8, 0xFF}}},
         Bus::Model,
         0,
         {8, OpenBus, false, None, ""}},
        {"0xFF padding at the end, mirror",
         8,
         PastEnd::Mirror,
         {{{kPad, k8, 0xFF}}},
         Bus::Model,
         0,
         {8, Mirror, false, None, ""}},
        {"0xFF padding at the end, 0xFF: uncertain",
         8,
         PastEnd::Ff,
         {{{kPad, k8, 0xFF}}},
         Bus::Model,
         0,
         {6, Ff, true, None,
          "size 6 MiB: 0xFF from 0x10600000 (uncertain: the ROM may end in 0xFF padding)"}},
        {"0xFF padding from just before a MiB boundary, 0xFF: uncertain",
         16,
         PastEnd::Ff,
         {{{12 * kMiB - 0x800, 16 * kMiB, 0xFF}}},
         Bus::Model,
         0,
         {12, Ff, true, None, ""}},
        {"a ROM holding its first half twice reads as the half under a mirror",
         8,
         PastEnd::Mirror,
         {{}, {}, true},
         Bus::Model,
         0,
         {4, Mirror, false, None, ""}},
        {"the same ROM under open bus is whole",
         8,
         PastEnd::OpenBus,
         {{}, {}, true},
         Bus::Model,
         0,
         {8, OpenBus, false, None, ""}},
        {"open bus confirmed, then data again",
         16,
         PastEnd::OpenBus,
         {{{k8, k8 + 512, 0}}, {k8 + 0x200, k8 + 0x5C00}},
         Bus::Model,
         0,
         {0, OpenBus, false, Disagrees,
          "the reader shows open bus at 0x10800000 but data again at 0x10900000"}},
        {"a failing probe",
         8,
         PastEnd::OpenBus,
         {},
         Bus::Model,
         10,
         {0, OpenBus, false, ReadFailed, "the read of the block at 0x10900000 failed"}},
        {"a failing confirmation",
         8,
         PastEnd::OpenBus,
         {},
         Bus::Model,
         66,
         {0, OpenBus, false, ReadFailed, "the read of the block at 0x10800200 failed"}},
        {"no cartridge: open bus everywhere",
         0,
         PastEnd::OpenBus,
         {},
         Bus::OpenBusEverywhere,
         0,
         {0, OpenBus, false, NoRom,
          "no ROM answers: open bus from 0x10000000 (is a cartridge in the reader?)"}},
        {"no cartridge: 0xFF everywhere",
         0,
         PastEnd::Ff,
         {},
         Bus::FfEverywhere,
         0,
         {0, OpenBus, false, NoRom,
          "no ROM answers: 0xFF from 0x10000000 (is a cartridge in the reader?)"}},
        {"data everywhere",
         0,
         PastEnd::OpenBus,
         {},
         Bus::Data,
         0,
         {0, OpenBus, false, NoEnd,
          "data at every probe up to 0x14000000: no end at or before 64 MiB"}},
        {"zeros past the end, not open bus",
         0,
         PastEnd::OpenBus,
         {},
         Bus::ZerosFrom8MiB,
         0,
         {0, OpenBus, false, NoEnd,
          "zeros from 0x10800000 on, but not the open-bus pattern that marks a ROM's end"}},
    };
    cases.insert(cases.end(), std::begin(special), std::end(special));

    std::map<std::size_t, Image> images;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Image image;
        if (c.imageMiB != 0) {
            auto& made = images[c.imageMiB];
            if (made.empty()) {
                made = testimages::MakeN64Image(N64BootCode::Boot6102, testimages::kDefaultSeed,
                                                c.imageMiB * kMiB);
            }
            // The image is made at least as long as its checksummed area: cut it to size.
            image.assign(made.begin(),
                         made.begin() + static_cast<std::ptrdiff_t>(c.imageMiB * kMiB));
            Apply(c.edit, image);
        }
        EmulatedN64 reader(std::move(image), c.pastEnd);
        ASSERT_EQ(reader.identified, 1);
        unsigned calls = 0;
        const auto result = FindN64RomSize([&](std::uint32_t address, Block block) {
            if (++calls == c.failingRead) {
                return false;
            }
            if (c.bus != Bus::Model) {
                for (std::size_t i = 0; i < block.size(); ++i) {
                    block[i] = BusByte(c.bus, address + static_cast<std::uint32_t>(i));
                }
                return true;
            }
            return reader.Read(address, block);
        });

        const Expected& want = c.expected;
        EXPECT_EQ(result.size, want.sizeMiB * kMiB);
        EXPECT_EQ(result.Found(), want.sizeMiB != 0);
        EXPECT_EQ(result.problem, want.problem);
        if (result.Found()) {
            EXPECT_EQ(result.end, want.end);
            EXPECT_EQ(result.uncertain, want.uncertain);
        }
        if (!want.explanation.empty()) {
            EXPECT_EQ(result.explanation, want.explanation);
        }
        EXPECT_FALSE(result.explanation.empty());
        // Every call is counted; each one that reached the model is one read of its data file.
        EXPECT_EQ(result.blocksRead, calls);
        if (c.bus == Bus::Model && c.failingRead == 0) {
            EXPECT_EQ(result.blocksRead, reader.model->DataReads());
        }
        // 65 probes and a few confirmations: a fifth of a second at two milliseconds a block.
        EXPECT_LE(result.blocksRead, 85u);
        std::printf("  %-70s %3u blocks  %s\n", c.what.c_str(), result.blocksRead,
                    result.explanation.c_str());
    }
}

}  // namespace
}  // namespace reader::rom
