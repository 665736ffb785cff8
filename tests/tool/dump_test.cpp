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
        {emulator::kNesIdentity, {"--size", "0x8001"}, "reach past 0xFFFF, the last address"},
        {emulator::kNesIdentity,
         {"--start", "0x10000"},
         "is beyond the addresses of the NES reader"},
        {emulator::kPceIdentity, {"--start", "0xFFFF00", "--size", "0x101"}, "reach past 0xFFFFFF"},
        {emulator::kN64CartIdentity,
         {"--start", "0", "--size", "4K"},
         "cannot read from address 0: its read command sends no address 0. Start at its ROM "
         "window 0x10000000"},
        {emulator::kSfcIdentity, {"--byte-order", "v64"}, "--byte-order is for N64 cartridges"},
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

    const ToolRun run = Run({"dump", Out(), "--quiet"});
    // The header's checksum is not the test pattern's: the header check says bad, the file stays.
    EXPECT_EQ(run.status, tool::kExitFailure) << run.err;
    EXPECT_NE(run.out.find("Checksum: bad"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("size from the cartridge's internal header (LoROM at 0x7FC0, \"HEADER "
                           "TEST"),
              std::string::npos)
        << run.out;
    EXPECT_NE(run.out.find("ROM size 256 KiB\n"), std::string::npos) << run.out;
    const auto image = ReadBytes(Out());
    ASSERT_EQ(image.size(), 256u * 1024);
    for (std::uint32_t address : {0u, 0x7FC0u, 0x7FD7u, 0x3FFFFu}) {
        EXPECT_EQ(image[address], reader.CartridgeByte(address)) << address;
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
        std::vector<std::string> args = {"dump", Out(), "--force", "--size", "4K"};
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
    const char* message;
    int status = tool::kExitFailure;
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
                    "reading the cartridge at 0x10100000 failed: No medium found. Check that the "
                    "reader is plugged in and the cartridge seated, then try again."},
        // The reader vanishes between two reads of the data file.
        HalfwayCase{"ReaderVanishes", emulator::kN64CartIdentity,
                    [](TestOs&, DataReadHost& data, emulator::ReaderModel& reader) {
                        data.beforeRead = [&reader](std::size_t read) {
                            if (read == 3) {
                                reader.PowerCut();
                            }
                        };
                    },
                    "reading the cartridge at 0x10200000 failed: No medium found"},
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
        HalfwayCase{
            "CtrlC", emulator::kN64CartIdentity,
            [](TestOs& os, DataReadHost&, emulator::ReaderModel&) { os.interruptAtCheck = 2; },
            "interrupted by Ctrl-C (SIGINT) while reading at 0x10100000.", 130}),
    [](const auto& row) { return std::string(row.param.name); });

TEST_F(DumpTest, AFileThatAppearsMeanwhileIsKeptWithoutForce) {
    Attach(emulator::kNesIdentity);
    const std::vector<std::uint8_t> theirs = {'t', 'h', 'e', 'i', 'r', 's'};
    os.writeHook = TestOs::WriteHook{
        1, false, [&theirs](const std::string& path) { WriteBytes(path, theirs); }};
    const ToolRun run = Run({"dump", Out(), "--quiet"});
    EXPECT_EQ(run.status, tool::kExitFailure);
    EXPECT_EQ(run.err, "reader-tool: " + Out() +
                           " appeared while the dump ran and was kept; the dump was not written. "
                           "Give --force to replace it, or choose another name.\n");
    EXPECT_EQ(ReadBytes(Out()), theirs);
    EXPECT_EQ(folder.Names(), std::vector<std::string>{"game.bin"});
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

TEST_F(DumpTest, VerifyNamesTheFirstAddressThatReadsDifferently) {
    Attach(emulator::kPceIdentity);
    // Reads 1 and 2 are the dump, 3 and 4 the second pass; a flaky contact changes two bytes of
    // read 4, which holds 0x100000 to 0x1FFFFF.
    dataHost_.afterRead = [](std::size_t read, std::span<std::uint8_t> bytes) {
        if (read == 4) {
            bytes[0x1234] ^= 0x01;
            bytes[0x2000] ^= 0x80;
        }
    };
    const auto expected = Image(CartridgeSystem::Pce, 0x101234, 1);
    const ToolRun run = Run({"dump", Out(), "--size", "2M", "--verify", "--quiet"});
    EXPECT_EQ(run.status, tool::kExitFailure);
    EXPECT_EQ(run.err,
              "reader-tool: verification failed: the second read differs first at 0x00101234 (" +
                  platform::FormatText("0x%02X, then 0x%02X", expected[0], expected[0] ^ 0x01) +
                  "). The cartridge's contacts may be dirty or it may sit loosely: clean them, "
                  "reseat it and dump again. " +
                  Out() + " was not written.\n");
    EXPECT_TRUE(folder.Names().empty());
    EXPECT_EQ(dataHost_.DataReads(), 4u);
}

TEST_F(DumpTest, VerifyThatMatchesSaysSo) {
    Attach(emulator::kPceIdentity);
    const ToolRun run = Run({"dump", Out(), "--size", "2M", "--verify", "--quiet"});
    ASSERT_EQ(run.status, tool::kExitSuccess) << run.err;
    EXPECT_NE(run.out.find("verified: a second read of all 2 MiB matches\n"), std::string::npos);
    EXPECT_EQ(dataHost_.DataReads(), 4u);
}

// --- progress ----------------------------------------------------------------------------------

TEST_F(DumpTest, ProgressOnATerminalIsOneLineRewritten) {
    Attach(emulator::kPceIdentity);
    os.errorTerminal = true;
    ToolRun run = Run({"dump", Out(), "--size", "4M"});
    ASSERT_EQ(run.status, tool::kExitSuccess) << run.err;
    const std::string notice = "Init PCE_KRN02_RV100 OK\n";
    ASSERT_EQ(run.err.rfind(notice, 0), 0u) << run.err;
    run.err.erase(0, notice.size());
    EXPECT_EQ(run.err.front(), '\r');
    EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
    EXPECT_EQ(run.err.back(), '\n');
    const std::string last = run.err.substr(run.err.rfind('\r') + 1);
    EXPECT_EQ(last.rfind("dump: 4 MiB of 4 MiB  100%  ", 0), 0u) << last;
    EXPECT_NE(last.find(" MiB/s  0:00"), std::string::npos) << last;
    // Before the end, the time left.
    EXPECT_NE(run.err.find("% "), std::string::npos);
    EXPECT_NE(run.err.find(" left"), std::string::npos) << run.err;
}

TEST_F(DumpTest, ProgressElsewhereIsAPlainLineEachQuarterAndNothingWhenQuiet) {
    Attach(emulator::kPceIdentity);
    ToolRun run = Run({"dump", Out(), "--size", "4M"});
    ASSERT_EQ(run.status, tool::kExitSuccess) << run.err;
    EXPECT_EQ(run.err.find('\r'), std::string::npos);
    // The library's "Init" line, then the four quarters.
    EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 5) << run.err;
    for (const char* part : {"dump: 1 MiB of 4 MiB  25%", "dump: 2 MiB of 4 MiB  50%",
                             "dump: 3 MiB of 4 MiB  75%", "dump: 4 MiB of 4 MiB  100%"}) {
        EXPECT_NE(run.err.find(part), std::string::npos) << part;
    }
    run = Run({"dump", Out(), "--size", "4M", "--force", "--verify", "--quiet"});
    ASSERT_EQ(run.status, tool::kExitSuccess) << run.err;
    EXPECT_EQ(run.err, "");
}

}  // namespace
}  // namespace reader::testing

namespace reader::testing {
namespace {

// A reader that answers quickly gets larger reads, doubled up to 8 MiB; one that answers slowly
// keeps reads of 1 MiB (the other tests' clock makes every read seem slow).
TEST_F(DumpTest, ReadsGrowWhileTheReaderAnswersQuickly) {
    auto& reader = Attach(emulator::kN64CartIdentity);
    os.msPerReading = 1;
    const ToolRun run = Run({"dump", Out(), "--size", "15M", "--quiet"});
    // The test pattern carries no right header checksums; the file is written all the same.
    EXPECT_EQ(run.status, tool::kExitFailure) << run.err;
    EXPECT_EQ(dataHost_.DataReads(), 4u);
    EXPECT_EQ(
        reader.Transcript(),
        (std::vector<std::string>{
            "10 01 InitN64Bus", "10 02 N64Read address=10000000", "10 02 N64Read address=10100000",
            "10 02 N64Read address=10300000", "10 02 N64Read address=10700000"}));
    // The bytes on both sides of each read's start are in their places.
    const auto file = ReadBytes(Out());
    ASSERT_EQ(file.size(), 15 * kMiB);
    for (const std::size_t at : {std::size_t{0}, kMiB, 3 * kMiB, 7 * kMiB, 15 * kMiB}) {
        for (std::size_t offset = at > 0 ? at - 2 : at; offset < std::min(at + 2, file.size());
             ++offset) {
            EXPECT_EQ(file[offset],
                      reader.CartridgeByte(0x10000000 + static_cast<std::uint32_t>(offset)))
                << offset;
        }
    }
    // How long the reading took, by the (test's) clock.
    EXPECT_NE(run.out.find("\nread 15 MiB in "), std::string::npos) << run.out;
}

}  // namespace
}  // namespace reader::testing
