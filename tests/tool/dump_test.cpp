// dump: chunking across blocks and banks, the size of an SFC cartridge from its header, the N64
// byte order, --verify, progress, and an output file that appears whole or not at all.
#include <gtest/gtest.h>

#include <array>

#include "tool/tool_fixture.hpp"

namespace reader::testing {
namespace {

using emulator::CartridgeSystem;

constexpr std::size_t kMiB = 1024 * 1024;

class DumpTest : public ToolFixture {
  protected:
    std::string Out() const { return folder.File("game.bin"); }
};

// Reads of more than one chunk, starting inside a block (the data file is read at the address
// itself, so the tool reads from the block below and drops the bytes before the start) and, for
// the SFC reader, across the boundary of its two banks.
struct RangeCase {
    std::string_view identity;
    CartridgeSystem system;
    std::uint64_t start;
    std::size_t size;
    std::size_t dataReads;  // reads of the data file
};

class DumpRange : public DumpTest, public ::testing::WithParamInterface<RangeCase> {};

TEST_P(DumpRange, GetsExactlyTheCartridgeBytes) {
    const RangeCase& c = GetParam();
    Attach(c.identity);
    const ToolRun run = Run({"dump", Out(), "--quiet", "--start", std::to_string(c.start), "--size",
                             std::to_string(c.size)});
    ASSERT_EQ(run.status, tool::kExitSuccess) << run.err;
    EXPECT_EQ(ReadBytes(Out()), Image(c.system, c.start, c.size));
    EXPECT_EQ(dataHost_.DataReads(), c.dataReads);
    EXPECT_EQ(host_.Counters().refusedReads, 0u);
}

INSTANTIATE_TEST_SUITE_P(
    Ranges, DumpRange,
    ::testing::Values(
        // 2.5 MiB from an odd address: three chunks, the first from 0x1000 on.
        RangeCase{emulator::kPceIdentity, CartridgeSystem::Pce, 0x1234, 5 * kMiB / 2, 3},
        // The last bytes of a block and the first of the next: one read of two blocks.
        RangeCase{emulator::kNesIdentity, CartridgeSystem::Nes, 0x83FE, 4, 1},
        // The top of the 6502's address space, up to 0xFFFF.
        RangeCase{emulator::kFc2Identity, CartridgeSystem::Fc2, 0xFF00, 0x100, 1},
        // Across the SFC banks: one read ends at 0x7FFFFF, the next starts bank 1.
        RangeCase{emulator::kSfcIdentity, CartridgeSystem::Sfc, 0x7FF000, 0x2000, 2},
        RangeCase{emulator::kSfcIdentity, CartridgeSystem::Sfc, 0x700123, 2 * kMiB, 3},
        // The N64 and HND readers are sent the address itself: no block rounding.
        RangeCase{emulator::kN64CartIdentity, CartridgeSystem::N64, 0x10000002, 3 * kMiB, 3},
        RangeCase{emulator::kHndIdentity, CartridgeSystem::Hnd, 0xFFF000, 0x1000, 1}));

TEST_F(DumpTest, SfcBanksAreSelectedForEachRead) {
    auto& reader = Attach(emulator::kSfcIdentity);
    ASSERT_EQ(Run({"dump", Out(), "--start", "0x7FF000", "--size", "0x2000"}).status, 0);
    EXPECT_EQ(reader.Transcript(), (std::vector<std::string>{
                                       reader.Transcript().at(0),  // the set-up
                                       "0F 04 SfcRead bank=0",
                                       "0F 04 SfcRead bank=1",
                                   }));
}

TEST_F(DumpTest, RangeOutsideWhatTheReaderAddressesIsRefused) {
    struct Case {
        std::string_view identity;
        std::vector<std::string> range;
        const char* message;
    };
    const Case cases[] = {
        {emulator::kNesIdentity, {"--size", "0x8001"}, "reach past 0x0000FFFF, the last address"},
        {emulator::kNesIdentity,
         {"--start", "0x10000"},
         "is beyond the addresses of the NES reader"},
        {emulator::kPceIdentity,
         {"--start", "0xFFFF00", "--size", "0x101"},
         "--start 0x00FFFF00 and --size 0x101 reach past 0x00FFFFFF"},
        {emulator::kN64CartIdentity,
         {"--start", "0", "--size", "4K"},
         "cannot read from address 0: its read command sends no address 0. Start at its ROM "
         "window 0x10000000"},
        {emulator::kSfcIdentity, {"--byte-order", "v64"}, "--byte-order is for N64 cartridges"},
        // The N64 cartridge's ROM domain ends where the console's boot ROM begins.
        {emulator::kN64CartIdentity,
         {"--start", "0x1F000000", "--size", "16M"},
         "reach past 0x1FBFFFFF, the last address of the N64 reader N64_KRN20_RV100 on E:: from "
         "0x1F000000 at most --size 0xC00000"},
        {emulator::kN64CartIdentity,
         {"--start", "0x1FC00000", "--size", "4K"},
         "is beyond the addresses of the N64 reader N64_KRN20_RV100 on E:, which end at "
         "0x1FBFFFFF"},
    };
    emulator::ReaderModel* previous = nullptr;
    for (const Case& c : cases) {
        if (previous != nullptr) {
            previous->PowerCut();  // out of the way of the next one
        }
        previous = &Attach(c.identity);
        std::vector<std::string> args = {"dump", Out()};
        args.insert(args.end(), c.range.begin(), c.range.end());
        const ToolRun run = Run(args);
        EXPECT_EQ(run.status, tool::kExitUsage) << c.message;
        EXPECT_NE(run.err.find(c.message), std::string::npos) << run.err;
        EXPECT_TRUE(folder.Names().empty());
    }
}

// An SFC cartridge tells its size in its internal header: a LoROM header with a plausible
// checksum pair and a ROM size byte of 8 (256 KiB) is put on the cartridge with write.
TEST_F(DumpTest, SfcSizeComesFromTheInternalHeader) {
    auto& reader = Attach(emulator::kSfcIdentity);
    std::vector<std::uint8_t> header(0x20, ' ');
    const std::string title = "HEADER TEST";
    std::copy(title.begin(), title.end(), header.begin());
    header[0x15] = 0x20;  // LoROM
    header[0x16] = 0x00;  // ROM only
    header[0x17] = 0x08;  // 1024 << 8 = 256 KiB
    header[0x18] = 0x00;  // no RAM
    header[0x19] = 0x01;
    header[0x1A] = 0x33;
    header[0x1B] = 0x00;
    header[0x1C] = 0x34;  // complement 0xA934
    header[0x1D] = 0xA9;
    header[0x1E] = 0xCB;  // checksum 0x56CB
    header[0x1F] = 0x56;
    WriteBytes(folder.File("header.bin"), header);
    ASSERT_EQ(Run({"write", folder.File("header.bin"), "--start", "0x7FC0", "--quiet"}).status, 0);
    std::filesystem::remove(folder.File("header.bin"));

    // From the ROM's start, and from 64 KiB on: the dump ends at the ROM's end either way.
    for (const std::uint32_t start : {0u, 0x10000u}) {
        const ToolRun run =
            Run({"dump", Out(), "--quiet", "--force", "--start", std::to_string(start)});
        // The header's checksum is not the test pattern's: the header check says bad (from the
        // first address only), the file stays.
        EXPECT_EQ(run.status, start == 0 ? tool::kExitFailure : tool::kExitSuccess) << run.err;
        EXPECT_EQ(run.out.find("Checksum: bad") != std::string::npos, start == 0) << run.out;
        EXPECT_NE(run.out.find(
                      "size from the cartridge's internal header (LoROM at 0x7FC0, \"HEADER TEST"),
                  std::string::npos)
            << run.out;
        EXPECT_NE(run.out.find("ROM size 256 KiB\n"), std::string::npos) << run.out;
        const auto image = ReadBytes(Out());
        ASSERT_EQ(image.size(), 256u * 1024 - start);
        for (std::uint32_t address : {start, 0x7FC0u + start, 0x3FFFFu}) {
            EXPECT_EQ(image[address - start], reader.CartridgeByte(address)) << address;
        }
    }
}

TEST_F(DumpTest, N64ImagesAreBigEndianUnlessAnotherOrderIsAsked) {
    Attach(emulator::kN64CartIdentity);
    const auto cartridge = Image(CartridgeSystem::N64, 0x10000000, 4096);
    ASSERT_EQ(std::vector<std::uint8_t>(cartridge.begin(), cartridge.begin() + 4),
              (std::vector<std::uint8_t>{0x80, 0x37, 0x12, 0x40}));
    struct Case {
        const char* order;
        std::array<std::size_t, 4> from;  // byte k of each word comes from byte from[k]
        const char* said;
    };
    const Case cases[] = {
        {nullptr, {0, 1, 2, 3}, "byte order: big-endian, as the cartridge presented it\n"},
        {"z64", {0, 1, 2, 3}, "byte order: big-endian, as the cartridge presented it\n"},
        {"byte-swapped",
         {1, 0, 3, 2},
         "byte order: written byte-swapped (the cartridge presented it big-endian)\n"},
        {"v64", {1, 0, 3, 2}, "written byte-swapped"},
        {"n64", {3, 2, 1, 0}, "written little-endian"},
        {"little-endian", {3, 2, 1, 0}, "written little-endian"},
    };
    for (const Case& c : cases) {
        // The second read is compared with the file in its own order.
        std::vector<std::string> args = {"dump", Out(), "--force", "--size", "4K", "--verify"};
        if (c.order != nullptr) {
            args.insert(args.end(), {"--byte-order", c.order});
        }
        const ToolRun run = Run(args);
        // The test pattern carries no right header checksums.
        EXPECT_EQ(run.status, tool::kExitFailure) << run.err;
        EXPECT_NE(run.out.find(c.said), std::string::npos) << run.out;
        const auto file = ReadBytes(Out());
        ASSERT_EQ(file.size(), cartridge.size());
        for (std::size_t i = 0; i < file.size(); ++i) {
            ASSERT_EQ(file[i], cartridge[i / 4 * 4 + c.from[i % 4]])
                << (c.order != nullptr ? c.order : "default") << " at " << i;
        }
    }
}

// --- the output file appears whole or not at all
// --------------------------------------------------

TEST_F(DumpTest, AnExistingFileIsKeptWithoutForceAndReplacedWithIt) {
    Attach(emulator::kNesIdentity);
    const std::vector<std::uint8_t> old = {'o', 'l', 'd'};
    WriteBytes(Out(), old);
    const ToolRun kept = Run({"dump", Out()});
    EXPECT_EQ(kept.status, tool::kExitFailure);
    EXPECT_EQ(kept.err, "reader-tool: " + Out() +
                            " already exists. Give --force to replace it, or choose another "
                            "name.\n");
    EXPECT_EQ(ReadBytes(Out()), old);
    EXPECT_EQ(CommandWrites(), 0u) << "the reader was set up for nothing";

    const ToolRun replaced = Run({"dump", Out(), "--force", "--quiet"});
    ASSERT_EQ(replaced.status, tool::kExitSuccess) << replaced.err;
    EXPECT_EQ(ReadBytes(Out()), Image(CartridgeSystem::Nes, 0x8000, 0x8000));
    EXPECT_EQ(folder.Names(), std::vector<std::string>{"game.bin"});
}

// Each way a dump can fail halfway leaves nothing new in the folder, and a file that was there
// before (replaced only with --force) stays as it was.
struct HalfwayCase {
    const char* name;
    std::string_view identity;
    std::function<void(TestOs&, DataReadHost&, emulator::ReaderModel&)> arrange;
    std::string message;
    int status = tool::kExitFailure;
    std::optional<std::size_t> dataReads = std::nullopt;  // reads of the data file, if they matter
};

class DumpFailsHalfway : public DumpTest, public ::testing::WithParamInterface<HalfwayCase> {};

TEST_P(DumpFailsHalfway, LeavesNothingUnderTheNameAndKeepsAnOldFile) {
    for (const bool oldFile : {false, true}) {
        SCOPED_TRACE(oldFile ? "with an old file and --force" : "with no old file");
        auto& reader = Attach(GetParam().identity);
        const std::vector<std::uint8_t> old(100, 0x0D);
        if (oldFile) {
            WriteBytes(Out(), old);
        }
        os.Reset();
        dataHost_.Reset();
        GetParam().arrange(os, dataHost_, reader);
        const ToolRun run =
            Run({"dump", Out(), "--force", "--quiet", "--start", "0x10000000", "--size", "3M"});
        EXPECT_EQ(run.status, GetParam().status);
        EXPECT_NE(run.err.find(GetParam().message), std::string::npos) << run.err;
        EXPECT_NE(run.err.find(Out() + " was not written."), std::string::npos) << run.err;
        EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
        if (GetParam().dataReads) {
            EXPECT_EQ(dataHost_.DataReads(), *GetParam().dataReads);
        }
        if (oldFile) {
            EXPECT_EQ(folder.Names(), std::vector<std::string>{"game.bin"});
            EXPECT_EQ(ReadBytes(Out()), old);
        } else {
            EXPECT_TRUE(folder.Names().empty());
        }
        reader.PowerCut();  // out of the way of the next one
    }
}

INSTANTIATE_TEST_SUITE_P(
    Failures, DumpFailsHalfway,
    ::testing::Values(
        // The N64 reader sends an address command per chunk: the power goes with the second
        // chunk's command (sector 3, after the set-up and the first chunk's).
        HalfwayCase{"PowerCutWithACommand", emulator::kN64CartIdentity,
                    [](TestOs&, DataReadHost&, emulator::ReaderModel& reader) {
                        reader.Faults().powerCutAfterSector = 3;
                    },
                    "the N64 reader N64_KRN20_RV100 on E: went away while reading at 0x10100000 "
                    "(No medium found)"},
        // The reader vanishes between two reads of the data file.
        HalfwayCase{"ReaderVanishes", emulator::kN64CartIdentity,
                    [](TestOs&, DataReadHost& data, emulator::ReaderModel& reader) {
                        data.beforeRead = [&reader](std::size_t read) {
                            if (read == 3) {
                                reader.PowerCut();
                            }
                        };
                    },
                    "the N64 reader N64_KRN20_RV100 on E: went away while reading at 0x10200000 "
                    "(No medium found). Plug it in again, reseat the cartridge and dump again."},
        // The reader delivers less than a read asked for: the rest of the chunk is no data.
        HalfwayCase{"ShortDelivery", emulator::kN64CartIdentity,
                    [](TestOs&, DataReadHost& data, emulator::ReaderModel&) {
                        data.shortDelivery = {{2, 0x80000}};
                    },
                    "reading the cartridge at 0x10100000 failed: the reader delivered 524288 of "
                    "1048576 bytes"},
        // An address command that does not arrive would make the reader present other bytes.
        HalfwayCase{"AddressCommandLost", emulator::kN64CartIdentity,
                    [](TestOs&, DataReadHost&, emulator::ReaderModel& reader) {
                        reader.Faults().failCommandWriteAt = 2;
                    },
                    "reading the cartridge at 0x10000000 failed: Input/output error"},
        HalfwayCase{"DiskFull", emulator::kN64CartIdentity,
                    [](TestOs& os, DataReadHost&, emulator::ReaderModel&) {
                        os.writeHook = TestOs::WriteHook{1, true, nullptr};
                    },
                    "failed: No space left on device. Free some space or choose another place."},
        // Only the flush finds out that the disk is full (or failing): nothing takes the name.
        HalfwayCase{"FlushFails", emulator::kN64CartIdentity,
                    [](TestOs& os, DataReadHost&, emulator::ReaderModel&) {
                        os.fileFault = TestOs::FileFault{"flush", "Input/output error"};
                    },
                    "game.bin in place failed: Input/output error."},
        // A disk without room says so before the read.
        HalfwayCase{
            "NoRoom", emulator::kN64CartIdentity,
            [](TestOs& os, DataReadHost&, emulator::ReaderModel&) { os.freeSpace = 2 * kMiB + 5; },
            "game.bin needs 3 MiB, but its file system has only 2.0 MiB free. Free some "
            "space or choose another place.",
            tool::kExitFailure, 0},
        HalfwayCase{"ReserveRefused", emulator::kN64CartIdentity,
                    [](TestOs& os, DataReadHost&, emulator::ReaderModel&) {
                        os.fileFault = TestOs::FileFault{"reserve", "No space left on device"};
                    },
                    "setting aside 3 MiB for ", tool::kExitFailure, 0},
        HalfwayCase{
            "CtrlC", emulator::kN64CartIdentity,
            [](TestOs& os, DataReadHost&, emulator::ReaderModel&) { os.interruptAtCheck = 2; },
            "interrupted by Ctrl-C (SIGINT) while reading at 0x10100000.", 130}),
    [](const auto& row) { return std::string(row.param.name); });

// Without --force a file that appears under OUT while the dump runs is kept, and so is the dump,
// under the first free name beside it (game-1.bin here was there before).
TEST_F(DumpTest, AFileThatAppearsMeanwhileIsKeptAndSoIsTheDump) {
    Attach(emulator::kNesIdentity);
    const std::vector<std::uint8_t> theirs = {'t', 'h', 'e', 'i', 'r', 's'};
    WriteBytes(folder.File("game-1.bin"), theirs);
    os.writeHook = TestOs::WriteHook{
        1, false, [&theirs](const std::string& path) { WriteBytes(path, theirs); }};
    const ToolRun run = Run({"dump", Out(), "--quiet"});
    EXPECT_EQ(run.status, tool::kExitFailure);
    EXPECT_EQ(run.err, "reader-tool: " + Out() +
                           " appeared while the dump ran and was kept; the dump was saved as " +
                           folder.File("game-2.bin") + ".\n");
    EXPECT_NE(
        run.out.find("wrote " + folder.File("game-2.bin") + ": 32768 bytes (32 KiB)\nSystem: "),
        std::string::npos)
        << run.out;
    EXPECT_EQ(ReadBytes(Out()), theirs);
    EXPECT_EQ(ReadBytes(folder.File("game-1.bin")), theirs);
    EXPECT_EQ(ReadBytes(folder.File("game-2.bin")), Image(CartridgeSystem::Nes, 0x8000, 0x8000));
    EXPECT_EQ(folder.Names(), (std::vector<std::string>{"game-1.bin", "game-2.bin", "game.bin"}));
}

TEST_F(DumpTest, AFolderThatCannotTakeTheFileFailsBeforeTheRead) {
    Attach(emulator::kNesIdentity);
    const std::string out = folder.File("no-such-folder/game.bin");
    const ToolRun run = Run({"dump", out});
    EXPECT_EQ(run.status, tool::kExitFailure);
    EXPECT_NE(run.err.find("cannot write " + out + ": there is no folder "), std::string::npos)
        << run.err;
    EXPECT_EQ(dataHost_.DataReads(), 0u);
}

// --- --verify ----------------------------------------------------------------------------------

// The second read is compared with the file's bytes, which for an N64 image written in another
// byte order than the cartridge presents sit elsewhere in their word.
TEST_F(DumpTest, VerifyNamesTheFirstAddressThatReadsDifferently) {
    const struct {
        std::string_view identity;
        CartridgeSystem system;
        std::uint64_t start;
        std::vector<std::string> more;
    } cases[] = {
        {emulator::kPceIdentity, CartridgeSystem::Pce, 0, {}},
        {emulator::kN64CartIdentity, CartridgeSystem::N64, 0x10000000, {"--byte-order", "n64"}},
    };
    for (const auto& c : cases) {
        auto& reader = Attach(c.identity);
        dataHost_.Reset();
        // Reads 1 and 2 are the dump, 3 and 4 the second pass; a flaky contact changes two bytes
        // of read 4, which holds the second MiB.
        dataHost_.afterRead = [](std::size_t read, std::span<std::uint8_t> bytes) {
            if (read == 4) {
                bytes[0x1235] ^= 0x01;
                bytes[0x2000] ^= 0x80;
            }
        };
        const auto expected = Image(c.system, c.start + 0x101235, 1);
        std::vector<std::string> args = {"dump", Out(), "--size", "2M", "--verify", "--quiet"};
        args.insert(args.end(), c.more.begin(), c.more.end());
        const ToolRun run = Run(args);
        EXPECT_EQ(run.status, tool::kExitFailure);
        EXPECT_EQ(run.err,
                  "reader-tool: verification failed: the second read differs first at " +
                      platform::FormatText("0x%08llX (0x%02X, then 0x%02X",
                                           static_cast<unsigned long long>(c.start) + 0x101235,
                                           expected[0], expected[0] ^ 0x01) +
                      "). The cartridge's contacts may be dirty or it may sit loosely: "
                      "clean them, reseat it and dump again. " +
                      Out() + " was not written.\n");
        EXPECT_TRUE(folder.Names().empty());
        EXPECT_EQ(dataHost_.DataReads(), 4u);
        reader.PowerCut();
    }
}

TEST_F(DumpTest, VerifyThatMatchesSaysSo) {
    Attach(emulator::kPceIdentity);
    const ToolRun run = Run({"dump", Out(), "--size", "2M", "--verify", "--quiet"});
    ASSERT_EQ(run.status, tool::kExitSuccess) << run.err;
    EXPECT_NE(run.out.find("verified: a second read of all 2 MiB matches\n"), std::string::npos);
    EXPECT_EQ(dataHost_.DataReads(), 4u);
}

// --- progress ----------------------------------------------------------------------------------

// On a terminal one line rewritten, never as wide as the terminal (80 columns when its width is
// unknown; a narrow one gets the parts that fit); elsewhere (a log) a line per quarter however
// many chunks: 8 MiB is read in 8. Before the end the time left, at the end the time it took.
TEST_F(DumpTest, ProgressFitsTheTerminalOrWritesALinePerQuarter) {
    Attach(emulator::kHndIdentity);
    const struct {
        bool terminal;
        std::optional<unsigned> width;
        int parts;  // after the percentage: 2 the rate and the time, 1 the rate, 0 none
    } cases[] = {{true, {}, 2}, {true, 40, 1}, {true, 21, 0}, {false, {}, 2}};
    for (const auto& c : cases) {
        os.errorTerminal = c.terminal;
        os.terminalWidth = c.width;
        const ToolRun run = Run({"dump", Out(), "--force", "--size", "8M"});
        ASSERT_EQ(run.status, tool::kExitSuccess) << run.err;
        std::string shown = run.err.substr(run.err.find('\n') + 1);  // after the "Init" line
        EXPECT_EQ(std::count(shown.begin(), shown.end(), '\n'), c.terminal ? 1 : 4) << shown;
        EXPECT_EQ(shown.find('\r') == 0, c.terminal) << shown;
        std::replace(shown.begin(), shown.end(), '\n', '\r');
        std::vector<std::string> states;
        for (std::size_t at = 0, end = 0; (end = shown.find('\r', at)) != std::string::npos;
             at = end + 1) {
            if (end > at) {
                states.push_back(shown.substr(at, end - at));
                EXPECT_LT(states.back().size(), c.terminal ? c.width.value_or(80) : 100u);
            }
        }
        ASSERT_FALSE(states.empty());
        const std::string& last = states.back();
        EXPECT_EQ(
            last.rfind(c.parts == 0 ? "dump: 8 MiB of 8 MiB" : "dump: 8 MiB of 8 MiB  100%  ", 0),
            0u)
            << last;
        EXPECT_EQ(c.parts == 0, last.size() == 20) << last;
        EXPECT_EQ(c.parts == 1, last.ends_with(" MiB/s")) << last;
        EXPECT_EQ(c.parts == 2, states.front().ends_with(" left") &&
                                    last.find(" MiB/s  in ") != std::string::npos &&
                                    last.ends_with(" s"))
            << states.front() << " / " << last;
    }
    EXPECT_NE(Run({"dump", Out(), "--size", "8M", "--force"}).out.find("\nread 8 MiB in "),
              std::string::npos);
    EXPECT_EQ(Run({"dump", Out(), "--size", "4M", "--force", "--verify", "--quiet"}).err, "");
}

// A size beyond the largest cartridge of the system is read, with a warning.
TEST_F(DumpTest, SizesBeyondTheLargestCartridgeAreWarnedAbout) {
    Attach(emulator::kPceIdentity);
    for (const auto& [size, warns] : {std::pair{"2560K", false}, std::pair{"3M", true}}) {
        const ToolRun run = Run({"dump", Out(), "--force", "--quiet", "--size", size});
        EXPECT_EQ(run.status, tool::kExitSuccess) << run.err;
        EXPECT_EQ(run.err, warns ? "reader-tool: warning: 3 MiB is more than the largest PCE "
                                   "cartridge, 2.5 MiB: the rest is what the reader shows past "
                                   "the cartridge's ROM.\n"
                                 : "");
    }
}

}  // namespace
}  // namespace reader::testing

namespace reader::testing {
namespace {

// Reads are sized from the pace of the read before (to take about a quarter second, up to 8 MiB);
// the other tests' clock makes every read seem slow, so they keep reads of 1 MiB. A last read of
// 4 MiB or more leaves its last MiB to a read of its own, so that little is left to hash and
// write once the reader is done.
TEST_F(DumpTest, ReadsAreSizedFromThePaceOfTheReader) {
    const struct {
        std::uint64_t msPerRead;
        std::size_t size;
        std::vector<std::string> reads;  // the address each read starts at
    } cases[] = {
        {1, 15 * kMiB, {"10000000", "10100000", "10900000", "10E00000"}},
        {1, 9 * kMiB, {"10000000", "10100000", "10800000"}},
        {1, 4 * kMiB, {"10000000", "10100000"}},
        {60, 16 * kMiB, {"10000000", "10100000", "10500000", "10D00000"}},
        {200, 3 * kMiB, {"10000000", "10100000", "10200000"}},
    };
    for (const auto& c : cases) {
        auto& reader = Attach(emulator::kN64CartIdentity);
        os.msPerReading = c.msPerRead;
        const std::size_t readsBefore = dataHost_.DataReads();
        const ToolRun run =
            Run({"dump", Out(), "--force", "--size", std::to_string(c.size), "--quiet"});
        // The test pattern carries no right header checksums; the file is written all the same.
        EXPECT_EQ(run.status, tool::kExitFailure) << run.err;
        EXPECT_EQ(dataHost_.DataReads() - readsBefore, c.reads.size());
        std::vector<std::string> sent;
        std::vector<std::size_t> starts;
        for (const std::string& address : c.reads) {
            sent.push_back("10 02 N64Read address=" + address);
            starts.push_back(std::stoul(address, nullptr, 16) - 0x10000000);
        }
        const auto& transcript = reader.Transcript();
        EXPECT_EQ(std::vector<std::string>(transcript.begin() + 1, transcript.end()), sent)
            << c.msPerRead << " ms per read, " << c.size << " bytes";
        // The bytes on both sides of each read's start are in their places.
        const auto file = ReadBytes(Out());
        ASSERT_EQ(file.size(), c.size);
        for (const std::size_t at : starts) {
            for (std::size_t offset = at > 0 ? at - 2 : at; offset < std::min(at + 2, file.size());
                 ++offset) {
                EXPECT_EQ(file[offset],
                          reader.CartridgeByte(0x10000000 + static_cast<std::uint32_t>(offset)))
                    << offset;
            }
        }
        // How long the reading took, by the (test's) clock.
        EXPECT_NE(run.out.find("\nread " + std::to_string(c.size / kMiB) + " MiB in "),
                  std::string::npos)
            << run.out;
        reader.PowerCut();  // out of the way of the next one
    }
}

}  // namespace
}  // namespace reader::testing
