// The size of an N64 cartridge's ROM as dump and info find it from where the ROM ends: images of
// each size under each of the three things a reader shows past the end, and the dumps that ask for
// --size instead, with the reason.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>

#include "tool/tool_fixture.hpp"
#include "tools/test_images.hpp"

namespace reader::testing {
namespace {

using emulator::PastEnd;
using testimages::kMiB;

constexpr std::uint32_t kRomStart = 0x10000000;
constexpr std::size_t kPaddingTail = 16;

class N64SizeTest : public ToolFixture {
  protected:
    // The 6102 image of `mib` MiB (its boot code named by its CRC32), made once for every test.
    static const std::vector<std::uint8_t>& ImageOf(std::size_t mib) {
        static std::map<std::size_t, std::vector<std::uint8_t>> images;
        auto& image = images[mib];
        if (image.empty()) {
            // A 1 MiB ROM fails its header check, which info does not make.
            image = testimages::MakeCutN64Image(mib, mib * kMiB);
        }
        return image;
    }

    emulator::ReaderModel& Serve(std::vector<std::uint8_t> image, PastEnd pastEnd) {
        emulator::ReaderConfig config;
        config.fixedIdentity = std::string(emulator::kN64CartIdentity);
        config.cartridgeImage = std::move(image);
        config.pastEnd = pastEnd;
        return host_.AttachReader('E', std::move(config));
    }

    // How the size finder says it decided on a ROM of `mib` MiB.
    static std::string Decided(std::size_t mib, PastEnd pastEnd) {
        const char* end = pastEnd == PastEnd::OpenBus  ? "open bus from "
                          : pastEnd == PastEnd::Mirror ? "the ROM repeats from "
                                                       : "0xFF from ";
        return "size " + std::to_string(mib) + " MiB: " + end +
               platform::FormatText("0x%08X", kRomStart + static_cast<std::uint32_t>(mib * kMiB));
    }

    std::string Out() const { return folder.File("game.z64"); }
};

constexpr PastEnd kEnds[] = {PastEnd::OpenBus, PastEnd::Mirror, PastEnd::Ff};

TEST_F(N64SizeTest, InfoFindsTheSizeOfEveryImageUnderEveryEndAndShowsTheHeader) {
    // The DAT folders close the list: one with a DAT file of one entry, one that is not there.
    const std::string dat = testimages::MakeTestImagesDat(
        std::vector<testimages::TestImage>{{"x.z64", ImageOf(1), "X"}}, 1);
    fs::create_directories(folder.Path() / "dat");
    WriteBytes(folder.File("dat/x.dat"), std::vector<std::uint8_t>(dat.begin(), dat.end()));
    os.datFolders = {folder.Path() / "dat", folder.Path() / "none"};
    const std::string datRows = "DAT folder  " + folder.File("dat") +
                                ": 1 DAT file, 1 entry\nDAT folder  " + folder.File("none") +
                                ": not there: make it and put DAT files in it, or give --dat\n";
    for (const std::size_t mib : {1u, 4u, 8u, 12u, 16u, 32u, 64u}) {
        for (const PastEnd pastEnd : kEnds) {
            SCOPED_TRACE(Decided(mib, pastEnd));
            auto& reader = Serve(ImageOf(mib), pastEnd);
            const ToolRun run = Run({"info"});
            ASSERT_EQ(run.status, tool::kExitSuccess) << run.err;
            EXPECT_NE(run.out.find("\nROM         " + Decided(mib, pastEnd) +
                                   "\nbyte order  big-endian\ntitle       PROJECT TEST 6102\n"
                                   "game code   NPTE\nboot code   6102 (CRC32 of 0x40..0xFFF: "
                                   "90BB6CB5)\n"),
                      std::string::npos)
                << run.out;
            EXPECT_TRUE(run.out.ends_with(datRows)) << run.out;
            reader.PowerCut();  // out of the way of the next one
        }
    }
}

// A dump without --size reads the whole ROM and says how its end was found.
TEST_F(N64SizeTest, DumpWithoutSizeReadsTheWholeRom) {
    struct Case {
        std::size_t mib;
        PastEnd pastEnd;
        std::uint32_t start = kRomStart;
        bool padded = false;  // the ROM ends in 0xFF padding: under 0xFF its end is uncertain
    };
    const Case cases[] = {
        {4, PastEnd::OpenBus},
        {12, PastEnd::Mirror},
        {2, PastEnd::Ff},
        {4, PastEnd::Mirror, kRomStart + 0x300000},
        {2, PastEnd::Ff, kRomStart, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(Decided(c.mib, c.pastEnd));
        auto image = ImageOf(c.mib);
        // (The size check keeps GCC 12's -O3 from seeing a write before an empty vector.)
        if (c.padded && image.size() > kPaddingTail) {
            std::fill_n(image.begin() + static_cast<std::ptrdiff_t>(image.size() - kPaddingTail),
                        kPaddingTail, std::uint8_t{0xFF});
        }
        auto& reader = Serve(image, c.pastEnd);
        const ToolRun run =
            Run({"dump", Out(), "--force", "--quiet", "--start", std::to_string(c.start)});
        ASSERT_EQ(run.status, tool::kExitSuccess) << run.err;
        EXPECT_EQ(
            ReadBytes(Out()),
            std::vector<std::uint8_t>(
                image.begin() + static_cast<std::ptrdiff_t>(c.start - kRomStart), image.end()));
        const std::string uncertain =
            c.padded ? " (uncertain: the ROM may end in 0xFF padding); if the cartridge is "
                       "larger, dump it again with --size"
                     : "";
        EXPECT_EQ(run.out.rfind(Decided(c.mib, c.pastEnd) + uncertain + "\ndumping " +
                                    platform::FormatText("0x%08X", c.start),
                                0),
                  0u)
            << run.out;
        reader.PowerCut();
    }
}

// Where the finder gives no size the dump says why and writes nothing: evidence that disagrees
// asks for --size; no ROM at all, a read that fails and Ctrl-C are what they are.
TEST_F(N64SizeTest, WithoutASizeFoundTheDumpSaysWhyAndWritesNothing) {
    // Open bus at 4 MiB, at both blocks that confirm it, and data after it again.
    auto disagreeing = ImageOf(8);
    for (const std::uint32_t offset : {0x400000u, 0x400200u, 0x405C00u}) {
        for (std::uint32_t i = 0; i < 512; i += 2) {
            disagreeing[offset + i] = static_cast<std::uint8_t>(offset >> 8);
            disagreeing[offset + i + 1] = static_cast<std::uint8_t>(offset);
        }
    }
    struct Case {
        const char* name;
        std::vector<std::uint8_t> image;
        PastEnd pastEnd;
        std::function<void(TestOs&, emulator::ReaderModel&)> arrange;
        int status;
        std::string message;
    };
    const Case cases[] = {
        {"disagrees", disagreeing, PastEnd::OpenBus, nullptr, tool::kExitUsage,
         "needs --size: the end of the cartridge's ROM could not be found (the reader shows open "
         "bus at 0x10400000 but data again at 0x10500000; usual sizes: 8M, 12M, 16M, 32M, 64M). "
         "Try 'reader-tool dump --help'.\n"},
        {"no ROM", std::vector<std::uint8_t>(kMiB, 0xFF), PastEnd::Ff, nullptr, tool::kExitFailure,
         "finds no ROM: no ROM answers: 0xFF from 0x10000000 (is a cartridge in the reader?). "
         "Seat the cartridge firmly and try again.\n"},
        // The set-up is the first sector, each probe's address command one more.
        {"power cut", ImageOf(4), PastEnd::OpenBus,
         [](TestOs&, emulator::ReaderModel& reader) { reader.Faults().powerCutAfterSector = 3; },
         tool::kExitFailure,
         "the N64 reader N64_KRN20_RV100 on E: went away while probing at 0x10100000 (No medium "
         "found). Plug it in again, reseat the cartridge and try again.\n"},
        {"Ctrl-C", ImageOf(4), PastEnd::OpenBus,
         [](TestOs& testOs, emulator::ReaderModel&) { testOs.interruptAtCheck = 2; }, 130,
         "interrupted by Ctrl-C (SIGINT) while probing at 0x10100000.\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        os.Reset();
        auto& reader = Serve(c.image, c.pastEnd);
        if (c.arrange) {
            c.arrange(os, reader);
        }
        const ToolRun run = Run({"dump", Out(), "--quiet"});
        EXPECT_EQ(run.status, c.status);
        EXPECT_TRUE(run.err.ends_with(c.message)) << run.err;
        EXPECT_TRUE(folder.Names().empty());
        reader.PowerCut();
    }
}

}  // namespace
}  // namespace reader::testing
