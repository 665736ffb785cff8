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
    EXPECT_NE(run.err.find("VALUE 999 is too large (at most 0xFF). Try 'reader-tool control "
                           "--help'."),
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
    EXPECT_NE(run.err.find("reader-tool: the shell is running already. Try 'reader-tool shell "
                           "--help'.\n"),
              std::string::npos)
        << run.err;
}

}  // namespace
}  // namespace reader::testing
