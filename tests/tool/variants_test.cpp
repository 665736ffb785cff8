// Every command against every reader variant, in process: what each variant offers works and
// reads or writes the right bytes; what it does not offer is refused with its name.
#include <gtest/gtest.h>

#include "drivers/device_library.hpp"
#include "frontend/reader.hpp"
#include "tool/tool_fixture.hpp"

namespace reader::testing {
namespace {

using emulator::CartridgeSystem;

struct Variant {
    std::string_view identity;
    const char* system;
    CartridgeSystem cartridge;
    bool writes;
    bool controls;  // ControlSlot and StatusSlot
    bool traces;
    const char* can;         // the info line: the commands it serves
    const char* dumpRange;   // the info line: what a dump without --start and --size reads
    std::uint64_t dumpFrom;  // where a dump without --start begins
    bool needsSize;          // a dump without --size is refused
    bool headerBad = false;  // the test pattern fails the header check of its kind of image
    // It finds the size itself (the N64 ROM's end): the test gives --size all the same, as the
    // whole 64 MiB test cartridge is more than it needs (images_test dumps N64 images whole).
    bool findsSize = false;
};

constexpr const char* k6502Range =
    "0x00008000 to 0x0000FFFF: the cartridge window the reader reports (0x00008000 to 0x0000FFFC) "
    "and the vectors above it";

const Variant kVariants[] = {
    {emulator::kHndIdentity, "HND", CartridgeSystem::Hnd, false, false, false, "dump",
     "from 0x00000000; needs --size: a handheld cartridge does not tell the reader its size", 0,
     true},
    {emulator::kN64CartIdentity, "N64", CartridgeSystem::N64, false, false, false, "dump",
     "from 0x10000000, the start of the ROM window, to where the ROM ends", 0x10000000, false, true,
     true},
    {emulator::kSfcIdentity, "SFC", CartridgeSystem::Sfc, true, false, true, "dump, write, trace",
     "from 0x00000000, as far as the cartridge's internal header says", 0, true},
    {emulator::kFc2Identity, "FC2", CartridgeSystem::Fc2, true, true, true,
     "dump, write, status, control, trace", k6502Range, 0x8000, false},
    {emulator::kNesIdentity, "NES", CartridgeSystem::Nes, true, true, true,
     "dump, write, status, control, trace", k6502Range, 0x8000, false},
    {emulator::kPceIdentity, "PCE", CartridgeSystem::Pce, true, false, true, "dump, write, trace",
     "from 0x00000000; needs --size: a PCE card does not tell the reader its size", 0, true},
};

class EveryVariant : public ToolFixture, public ::testing::WithParamInterface<Variant> {
  protected:
    std::string Init() const { return "Init " + std::string(GetParam().identity) + " OK\n"; }
    // The variant as the tool names it in its messages.
    std::string Name() const {
        return std::string(GetParam().system) + " reader " + std::string(GetParam().identity) +
               " on E:";
    }
    static constexpr std::uint8_t kMisc = 0x3A;
};

// A variant the library installs but the tool has no profile for could be identified and then not
// dumped at all: every row of the library's table needs one.
TEST(VariantProfiles, EveryVariantOfTheLibraryHasOne) {
    for (const SystemInstallation& row : SystemInstallTable) {
        SCOPED_TRACE(row.system);
        const tool::VariantProfile* profile = tool::ProfileOf(row.system);
        ASSERT_NE(profile, nullptr);
        EXPECT_EQ(profile->system, std::string_view(row.system));
    }
}

TEST_P(EveryVariant, InfoShowsTheReaderWhatItCanDoAndWhatADumpReads) {
    Attach(GetParam().identity);
    const ToolRun run = Run({"info"});
    ASSERT_EQ(run.status, tool::kExitSuccess) << run.err;
    // The N64 cartridge's own rows follow (n64_size_test.cpp); the DAT folders come last.
    EXPECT_EQ(
        run.out.rfind("reader      " + std::string(GetParam().system) + " reader " +
                          std::string(GetParam().identity) + "\ndrive       E:\ncan         " +
                          GetParam().can + "\ndump        " + GetParam().dumpRange + "\n",
                      0),
        0u)
        << run.out;
    EXPECT_TRUE(run.out.ends_with("\nDAT files   no default folder is known: give --dat\n"))
        << run.out;
    // The library's notice goes to standard error, so that the output holds what was asked.
    EXPECT_EQ(run.err, Init());
}

TEST_P(EveryVariant, StatusWhereOfferedElseRefusedWithTheVariantsName) {
    Attach(GetParam().identity, kMisc);
    const ToolRun run = Run({"status"});
    if (GetParam().controls) {
        ASSERT_EQ(run.status, tool::kExitSuccess) << run.err;
        EXPECT_EQ(run.out, "MISC byte: 3A\nIRQ: 1\nVRAM/CS: 1\nMirror: V\n");
    } else {
        EXPECT_EQ(run.status, tool::kExitFailure);
        EXPECT_EQ(run.err, Init() + "reader-tool: the " + Name() +
                               " has no cartridge status report (the FC2 and NES readers have "
                               "one).\n");
        // The library's default for a slot nobody filled never shows.
        EXPECT_EQ(run.out.find("please init device first"), std::string::npos);
    }
}

TEST_P(EveryVariant, ControlWhereOfferedElseRefused) {
    auto& reader = Attach(GetParam().identity);
    const ToolRun run = Run({"control", "0x5C"});
    if (GetParam().controls) {
        ASSERT_EQ(run.status, tool::kExitSuccess) << run.err;
        EXPECT_EQ(reader.ControlValue(), 0x5C);
        EXPECT_EQ(run.out, "sent control value 0x5C to the " + Name() + "\n");
    } else {
        EXPECT_EQ(run.status, tool::kExitFailure);
        EXPECT_NE(run.err.find(Name() + " takes no control value"), std::string::npos) << run.err;
        EXPECT_EQ(reader.ControlValue(), 0);
    }
}

TEST_P(EveryVariant, TraceOfTheCartridgeWhereOfferedElseRefused) {
    Attach(GetParam().identity);
    const ToolRun run = Run({"trace", "0x8000"});
    if (!GetParam().traces) {
        EXPECT_EQ(run.status, tool::kExitFailure);
        EXPECT_NE(run.err.find(Name() + " has no 6502 trace"), std::string::npos) << run.err;
        return;
    }
    ASSERT_EQ(run.status, tool::kExitSuccess) << run.err;
    const std::string& lines = run.out;
    EXPECT_EQ(std::count(lines.begin(), lines.end(), '\n'), 10) << lines;
    // The trace shows the cartridge's bytes at 0x8000.
    const auto code = Image(GetParam().cartridge, 0x8000, 1);
    EXPECT_EQ(lines.substr(0, 8), "8000  " + platform::FormatText("%02X", code[0])) << lines;
    if (GetParam().controls) {
        // The 6502 test cartridges start with SEI; CLD.
        EXPECT_EQ(lines.substr(0, 45).find("SEI"), 16u) << lines;
    }
}

TEST_P(EveryVariant, WriteAndVerifyWhereOfferedElseRefused) {
    auto& reader = Attach(GetParam().identity);
    const auto data = DataBytes(300);
    WriteBytes(folder.File("in.bin"), data);
    const ToolRun run = Run({"write", folder.File("in.bin"), "--start", "0x8100", "--verify"});
    if (!GetParam().writes) {
        EXPECT_EQ(run.status, tool::kExitFailure);
        EXPECT_EQ(run.err, Init() + "reader-tool: the " + Name() +
                               " cannot write cartridges: its driver has no write handler (the "
                               "SFC, FC2, NES and PCE readers have one).\n");
        return;
    }
    ASSERT_EQ(run.status, tool::kExitSuccess) << run.err;
    for (std::size_t i = 0; i < data.size(); ++i) {
        ASSERT_EQ(reader.CartridgeByte(0x8100 + static_cast<std::uint32_t>(i)), data[i]) << i;
    }
    EXPECT_NE(run.out.find("verified: the cartridge holds the 300 bytes written\n"),
              std::string::npos)
        << run.out;
}

TEST_P(EveryVariant, DumpReadsTheCartridgeAndCheckReportsTheFile) {
    Attach(GetParam().identity);
    const std::string out = folder.File("dump.bin");
    std::vector<std::string> args = {"dump", out, "--quiet"};
    if (GetParam().needsSize) {
        const ToolRun refused = Run(args);
        EXPECT_EQ(refused.status, tool::kExitUsage);
        EXPECT_NE(refused.err.find("the " + Name() + " needs --size: "), std::string::npos)
            << refused.err;
        EXPECT_TRUE(folder.Names().empty());
    }
    const bool sizeGiven = GetParam().needsSize || GetParam().findsSize;
    if (sizeGiven) {
        args.insert(args.end(), {"--size", "40K"});
    }
    const ToolRun run = Run(args);
    const int status = GetParam().headerBad ? tool::kExitFailure : tool::kExitSuccess;
    ASSERT_EQ(run.status, status) << run.err;
    const std::size_t size = sizeGiven ? 40 * 1024 : 0x8000;
    EXPECT_EQ(ReadBytes(out), Image(GetParam().cartridge, GetParam().dumpFrom, size));
    EXPECT_EQ(folder.Names(), std::vector<std::string>{"dump.bin"});

    const ToolRun check = Run({"check", out});
    EXPECT_EQ(check.status, status) << check.err;
    // The dump's report and check's name the same size and hashes (check recognises the kind of
    // image from its content alone, so the header lines may differ: the test cartridges have no
    // SFC header).
    for (const char* field : {"\nSize: ", "\nCRC32: ", "\nSHA-1: "}) {
        const auto at = run.out.find(field);
        ASSERT_NE(at, std::string::npos) << field << run.out;
        const std::string line = run.out.substr(at, run.out.find('\n', at + 1) - at + 1);
        EXPECT_NE(check.out.find(line), std::string::npos) << line << check.out;
    }
}

INSTANTIATE_TEST_SUITE_P(Readers, EveryVariant, ::testing::ValuesIn(kVariants),
                         [](const auto& row) { return std::string(row.param.system); });

TEST_F(ToolFixture, NoReaderOrAnUnknownDeviceFailsWithWhatToDo) {
    ToolRun run = Run({"info"});
    EXPECT_EQ(run.status, tool::kExitFailure);
    EXPECT_EQ(run.err,
              "reader-tool: no cartridge reader found on the drives D: to Z:. Plug the reader in "
              "(it shows up as a removable drive) and try again, or name its drive with "
              "--drive.\n");

    // The firmware-update reader is a reader, but not a cartridge reader.
    AttachN64Reader('F');
    run = Run({"status"});
    EXPECT_EQ(run.status, tool::kExitFailure);
    EXPECT_EQ(run.err,
              "reader-tool: the device on F: presents the identity \"N64_KRN03_RV300\", which is "
              "no cartridge reader this tool knows (HND, N64, SFC, FC2, NES and PCE readers). "
              "Plug in a cartridge reader, or name its drive with --drive.\n");
    EXPECT_EQ(CommandWrites(), 0u);
}

TEST_F(ToolFixture, FcModeReachesTheFc2ReadersSetUp) {
    auto& reader = Attach(emulator::kFc2Identity);
    ASSERT_EQ(Run({"info"}).status, tool::kExitSuccess);
    EXPECT_EQ(reader.NesMode(), 0);
    ASSERT_EQ(Run({"--fc-mode", "1", "info"}).status, tool::kExitSuccess);
    EXPECT_EQ(reader.NesMode(), 1);
}

TEST_F(ToolFixture, TraceOfAFileNeedsNoReader) {
    std::vector<std::uint8_t> code = {0xA9, 0x10, 0x8D, 0x00, 0x20, 0x4C, 0x00, 0xC0};
    WriteBytes(folder.File("code.bin"), code);
    const ToolRun run = Run({"trace", "0xC000", "--from", folder.File("code.bin")});
    ASSERT_EQ(run.status, tool::kExitSuccess) << run.err;
    EXPECT_EQ(run.out.rfind(folder.File("code.bin") + " holds 8 bytes; zeros follow them\n"
                                                      "C000  A9 10     LDA #$10",
                            0),
              0u)
        << run.out;
    EXPECT_NE(run.out.find("C002  8D 00 20  STA $2000 = 00"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("C005  4C 00 C0  JMP $C000"), std::string::npos) << run.out;
    EXPECT_EQ(std::count(run.out.begin(), run.out.end(), '\n'), 11);
    EXPECT_EQ(host_.Counters().opens, 0u);
}

TEST_F(ToolFixture, CheckOfAFileThatCannotBeReadFails) {
    ToolRun run = Run({"check", folder.File("missing.bin")});
    EXPECT_EQ(run.status, tool::kExitFailure);
    EXPECT_EQ(run.err, "reader-tool: cannot open " + folder.File("missing.bin") +
                           ": No such file or directory. Check the name and that the file is "
                           "readable.\n");
    // A folder is no image either (Linux opens it and fails the read; Windows fails the open).
    run = Run({"check", folder.Path().string()});
    EXPECT_EQ(run.status, tool::kExitFailure);
    EXPECT_EQ(run.err.rfind("reader-tool: ", 0), 0u);
    EXPECT_EQ(run.out, "");
}

// A file the user named that is a folder, or sits in a folder that does not exist, is named as
// such before anything is read or sent.
TEST_F(ToolFixture, FoldersWhereFilesShouldBeAreNamed) {
    Attach(emulator::kNesIdentity);
    WriteBytes(folder.File("plain.bin"), {1, 2, 3});
    fs::create_directories(folder.Path() / "sub");
    const std::string sub = folder.File("sub");
    const std::string missing = folder.File("gone");
    const struct {
        std::vector<std::string> args;
        std::string err;
    } cases[] = {
        {{"check", sub}, sub + " is a folder, not a file. Name a file in it."},
        {{"check", missing + "/x.z64"},
         "cannot open " + missing + "/x.z64: there is no folder " + missing + ". Check the name."},
        {{"write", sub, "--start", "0x8000"}, sub + " is a folder, not a file."},
        {{"trace", "0x8000", "--from", sub}, sub + " is a folder, not a file."},
        {{"trace", "0x8000", "--from", missing + "/code.bin"},
         "cannot open " + missing + "/code.bin: there is no folder " + missing},
        {{"dump", missing + "/game.bin"},
         "cannot write " + missing + "/game.bin: there is no folder " + missing +
             ". Create it, or choose another place."},
        {{"dump", folder.File("plain.bin/game.bin")},
         "cannot write " + folder.File("plain.bin/game.bin") + ": " + folder.File("plain.bin") +
             " is a file, not a folder."},
    };
    for (const auto& c : cases) {
        const ToolRun run = Run(c.args);
        EXPECT_EQ(run.status, tool::kExitFailure) << c.args.front();
        EXPECT_EQ(run.err.rfind("reader-tool: " + c.err, 0), 0u) << run.err;
        EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
    }
    EXPECT_EQ(host_.Counters().opens, 0u) << "the reader was touched";
}

// A reader that goes away in the middle of a command is named as gone, with what to do; a
// failure of a reader that is still there keeps its own words.
struct VanishCase {
    const char* name;
    std::string_view identity;
    std::vector<std::string> args;  // "IN" stands for a file of 2 KiB
    std::optional<std::uint64_t> powerCutAfterSector;
    bool cutBeforeDataRead;
    std::optional<std::uint32_t> failCommandWrite;
    const char* err;  // the whole error line, after "reader-tool: "
};

class VanishingReader : public ToolFixture, public ::testing::WithParamInterface<VanishCase> {};

TEST_P(VanishingReader, IsNamedAsGone) {
    const VanishCase& c = GetParam();
    auto& reader = Attach(c.identity);
    reader.Faults().powerCutAfterSector = c.powerCutAfterSector;
    reader.Faults().failCommandWriteAt = c.failCommandWrite;
    if (c.cutBeforeDataRead) {
        dataHost_.beforeRead = [&reader](std::size_t) { reader.PowerCut(); };
    }
    WriteBytes(folder.File("in.bin"), DataBytes(2048));
    std::vector<std::string> args = c.args;
    std::replace(args.begin(), args.end(), std::string("IN"), folder.File("in.bin"));
    const ToolRun run = Run(args);
    EXPECT_EQ(run.status, tool::kExitFailure);
    const auto at = run.err.find("reader-tool: ");
    ASSERT_NE(at, std::string::npos) << run.err;
    EXPECT_EQ(run.err.substr(at), "reader-tool: " + std::string(c.err) + "\n");
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(Commands, VanishingReader, ::testing::Values(
    // The set-up command is the first sector; each byte written is one more.
    VanishCase{"WriteInItsSecondChunk", emulator::kNesIdentity,
               {"write", "IN", "--start", "0x8000"}, 1 + 1024 + 10, false, {},
               "the NES reader NES_KRN02_RV100 on E: went away while writing at 0x00008400 "
               "(its drive is gone). Plug it in again (check its cable and that the cartridge is "
               "seated), then write again: the bytes before 0x00008400 are written."},
    VanishCase{"WriteWhileReadingBack", emulator::kSfcIdentity,
               {"write", "IN", "--start", "0x8000", "--verify"}, {}, true, {},
               "the SFC reader SFC_KRN02_RV100 on E: went away while reading back the bytes it "
               "took (its drive is gone). Plug it in again (check its cable and that the "
               "cartridge is seated), then write again with --verify: every byte was written "
               "before it went away."},
    VanishCase{"Trace", emulator::kPceIdentity, {"trace", "0x100"}, {}, true, {},
               "the PCE reader PCE_KRN02_RV100 on E: went away while reading the code to trace "
               "(its drive is gone). Plug it in again (check its cable and that the cartridge is "
               "seated), then trace again."},
    VanishCase{"Status", emulator::kFc2Identity, {"status"}, 2, false, {},
               "the FC2 reader FC2_KRN02_RV100 on E: went away while reading the cartridge "
               "status (its drive is gone). Plug it in again (check its cable and that the "
               "cartridge is seated), then run status again."},
    VanishCase{"Control", emulator::kNesIdentity, {"control", "3"}, 1, false, {},
               "the NES reader NES_KRN02_RV100 on E: went away while taking the control value "
               "(its drive is gone). Plug it in again (check its cable and that the cartridge is "
               "seated), then send it again."},
    // Still there: the failure as it was.
    VanishCase{"ControlWriteFails", emulator::kNesIdentity, {"control", "3"}, {}, false, 2,
               "sending the control value failed: Input/output error. Check that the reader is "
               "plugged in and try again."}),
    [](const auto& row) { return std::string(row.param.name); });
// clang-format on

}  // namespace
}  // namespace reader::testing
