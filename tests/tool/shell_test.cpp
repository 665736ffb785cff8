// shell: h, q, scripts through a pipe and their exit status, and the console start.
#include <gtest/gtest.h>

#include "tool/tool_fixture.hpp"

namespace reader::testing {
namespace {

// The lines of text that begin with prefix.
std::ptrdiff_t CountLines(const std::string& text, std::string_view prefix) {
    std::ptrdiff_t count = 0;
    for (std::size_t at = 0; at < text.size(); at = text.find('\n', at) + 1) {
        count += text.compare(at, prefix.size(), prefix) == 0 ? 1 : 0;
        if (text.find('\n', at) == std::string::npos) {
            break;
        }
    }
    return count;
}

TEST_F(ToolFixture, ShellRunsAScriptAndSucceedsWhenEveryCommandDid) {
    auto& reader = Attach(emulator::kNesIdentity, 0x2C);
    input = {"# a script", "", "status", "control 7", "  info  "};
    const ToolRun run = Run({"shell"});
    EXPECT_EQ(run.status, tool::kExitSuccess) << run.err;
    EXPECT_EQ(reader.ControlValue(), 7);
    EXPECT_NE(run.out.find("MISC byte: 2C\nIRQ: 1\nVRAM/CS: 0\nMirror: H\n"), std::string::npos);
    EXPECT_NE(run.out.find("can         dump, write, status, control, trace\n"), std::string::npos);
    // No prompt and no greeting when the input is not a console.
    EXPECT_EQ(run.out.find("reader>"), std::string::npos);
    EXPECT_EQ(CountLines(run.err, "reader-tool: "), 0) << run.err;
}

TEST_F(ToolFixture, ShellFailsWhenAnyCommandFailedAndGoesOnAfterIt) {
    Attach(emulator::kN64CartIdentity);
    input = {"status",
             "control 999",
             "trace 0x8000 --from \"" + folder.File("none.bin") + "\"",
             "dump \"" + folder.File("a b.z64") + "\" --size 4K --quiet",
             "unknown",
             "dump \"x"};
    const ToolRun run = Run({"shell"});
    EXPECT_EQ(run.status, tool::kExitFailure);
    // Every line ran, each failure on a line of its own.
    EXPECT_NE(run.err.find("N64 reader N64_KRN20_RV100 on E: has no cartridge status report"),
              std::string::npos);
    EXPECT_NE(run.err.find("line 2: VALUE 999 is too large (at most 0xFF). Type 'control --help' "
                           "for its options, h for the commands."),
              std::string::npos);
    EXPECT_NE(run.err.find("none.bin: No such file or directory"), std::string::npos);
    EXPECT_NE(run.err.find("unknown command 'unknown'"), std::string::npos);
    EXPECT_NE(run.err.find("a quote is not closed in: dump \"x. Type h for the commands."),
              std::string::npos);
    // The test cartridge's pattern has no right N64 header checksums: the dump fails its header
    // check, and its file is kept.
    EXPECT_NE(run.err.find("a header check of the dump says bad"), std::string::npos);
    EXPECT_EQ(CountLines(run.err, "reader-tool: "), 6) << run.err;
    // A quoted name keeps its blank.
    EXPECT_EQ(ReadBytes(folder.File("a b.z64")).size(), 4096u);
}

TEST_F(ToolFixture, ShellListsItsCommandsWithHAndStopsAtQ) {
    Attach(emulator::kNesIdentity);
    input = {"h", "q", "info"};
    const ToolRun run = Run({"shell"});
    EXPECT_EQ(run.status, tool::kExitSuccess);
    EXPECT_EQ(run.out.rfind("Commands (COMMAND --help describes one):\n", 0), 0u) << run.out;
    // Nothing after q ran.
    EXPECT_EQ(run.out.find("can         "), std::string::npos);
    EXPECT_EQ(CommandWrites(), 0u);
}

TEST_F(ToolFixture, NoArgumentsFromAConsoleStartTheShellWithPromptAndHint) {
    Attach(emulator::kNesIdentity);
    os.inputTerminal = true;
    input = {"help", "info"};
    const ToolRun run = Run({});
    EXPECT_EQ(run.status, tool::kExitSuccess) << run.err;
    EXPECT_EQ(run.out.rfind(tool::VersionText() +
                                ": type h[enter] for the commands, q[enter] to quit.\nreader> "
                                "Commands",
                            0),
              0u)
        << run.out;
    EXPECT_NE(run.out.find("reader> reader      "), std::string::npos);
    EXPECT_EQ(run.err, "Init NES_KRN02_RV100 OK\n");
    // The end of the input ends the shell on a line of its own.
    EXPECT_EQ(run.out.substr(run.out.size() - 9), "reader> \n");
}

TEST_F(ToolFixture, ShellLinesInheritTheShellsOptionsAndMayAddTheirOwn) {
    Attach(emulator::kNesIdentity, 0, 'G');
    input = {"info", "info --drive E", "info"};
    const ToolRun run = Run({"--drive", "G", "shell"});
    EXPECT_EQ(run.status, tool::kExitFailure);
    EXPECT_EQ(std::count(run.out.begin(), run.out.end(), 'G'), 2 * 1 + 0)
        << "the first and the last line found the reader on G:";
    EXPECT_NE(run.err.find("no cartridge reader on drive E:"), std::string::npos) << run.err;
    EXPECT_EQ(CountLines(run.err, "reader-tool: "), 1) << run.err;
}

TEST_F(ToolFixture, ShellDoesNotNestAndCtrlCAtThePromptEndsIt) {
    input = {"shell", "info", "info"};
    os.interruptAtCheck = 1;  // Ctrl-C while the first line was being typed
    ToolRun run = Run({"shell"});
    EXPECT_EQ(run.status, tool::kExitSuccess);
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(run.out, "");

    os.Reset();
    run = Run({"shell"});
    EXPECT_EQ(run.status, tool::kExitFailure);
    EXPECT_NE(run.err.find("reader-tool: line 1: the shell is running already. Type h for the "
                           "commands.\n"),
              std::string::npos)
        << run.err;
}

// The shell's words and statuses, for a script through a pipe and for a person at a terminal.
struct ShellCase {
    const char* name;
    bool person;                     // standard input is a terminal
    std::vector<std::string> lines;  // "OUT" stands for a file of the test's folder
    std::optional<std::size_t> ctrlCAtCheck;
    int status;
    const char* err;          // part of standard error, or nullptr
    const char* outHas;       // part of standard output, or nullptr
    std::ptrdiff_t outTimes;  // how often outHas appears
};

class ShellLines : public ToolFixture, public ::testing::WithParamInterface<ShellCase> {};

TEST_P(ShellLines, HaveTheirWordsAndStatus) {
    const ShellCase& c = GetParam();
    Attach(emulator::kN64CartIdentity);
    os.inputTerminal = c.person;
    os.interruptAtCheck = c.ctrlCAtCheck;
    for (std::string line : c.lines) {
        for (auto at = line.find("OUT"); at != std::string::npos; at = line.find("OUT")) {
            line.replace(at, 3, folder.File("game.z64"));
        }
        input.push_back(line);
    }
    const ToolRun run = Run({"shell"});
    EXPECT_EQ(run.status, c.status) << run.err;
    if (c.err != nullptr) {
        EXPECT_NE(run.err.find(c.err), std::string::npos) << run.err;
    }
    if (c.outHas != nullptr) {
        std::ptrdiff_t times = 0;
        for (auto at = run.out.find(c.outHas); at != std::string::npos;
             at = run.out.find(c.outHas, at + 1)) {
            ++times;
        }
        EXPECT_EQ(times, c.outTimes) << run.out;
    }
    // No file of an interrupted dump, nor a temporary one, is left.
    EXPECT_TRUE(folder.Names().empty());
}

constexpr const char* kIdentityRow = "reader      N64 reader N64_KRN20_RV100\n";
// The command list that h prints: a line that reads nothing from the reader.
constexpr const char* kListRow = "\n  q                        quit\n";

// clang-format off
INSTANTIATE_TEST_SUITE_P(Words, ShellLines, ::testing::Values(
    ShellCase{"ScriptErrorNamesItsLine", false, {"info", "", "bogus", "info"}, {}, 1,
              "reader-tool: line 3: unknown command 'bogus'. Type h for the commands.\n",
              kIdentityRow, 2},
    ShellCase{"CommandErrorPointsToItsHelpLine", false, {"# values", "control 999"}, {}, 1,
              "reader-tool: line 2: VALUE 999 is too large (at most 0xFF). Type 'control --help' "
              "for its options, h for the commands.\n", nullptr, 0},
    ShellCase{"PersonSeesNoLineNumber", true, {"bogus", "q"}, {}, 0,
              "reader-tool: unknown command 'bogus'. Type h for the commands.\n", nullptr, 0},
    ShellCase{"PersonLeavesAtTheEndOfInput", true, {"info", "bogus"}, {}, 0, "unknown command",
              kIdentityRow, 1},
    ShellCase{"ScriptKeepsItsFailureAfterQ", false, {"bogus", "Q", "info"}, {}, 1, "line 1: ",
              kIdentityRow, 0},
    ShellCase{"QuitInCapitals", false, {"QUIT", "info"}, {}, 0, nullptr, kIdentityRow, 0},
    ShellCase{"Exit", false, {"info", "Exit", "info"}, {}, 0, nullptr, kIdentityRow, 1},
    ShellCase{"HInCapitals", false, {"H"}, {}, 0, nullptr, kListRow, 1},
    ShellCase{"HelpOfOneCommand", false, {"h dump", "help trace"}, {}, 0, nullptr,
              "Usage: reader-tool ", 2},
    // Ctrl-C during the dump of the second line ends that dump only: the third line runs. (The
    // shell checks after reading each line, the dump before each of its three chunks: the fourth
    // check is before the dump's second chunk.)
    ShellCase{"CtrlCEndsOnlyTheSecondLine", false, {"h", "dump OUT --size 3M --quiet", "h"}, 4, 1,
              "reader-tool: line 2: interrupted by Ctrl-C (SIGINT) while reading at 0x10100000. ",
              kListRow, 2},
    ShellCase{"CtrlCAtATerminal", true, {"h", "dump OUT --size 3M --quiet", "h", "q"}, 4, 0,
              "reader-tool: interrupted by Ctrl-C (SIGINT) while reading at 0x10100000. ",
              kListRow, 2}),
    [](const auto& row) { return std::string(row.param.name); });
// clang-format on

}  // namespace
}  // namespace reader::testing
