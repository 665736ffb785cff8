// The command line: what is wrong with a number a user wrote, usage errors (exit status 2, nothing
// sent to the reader), help and version.
#include <gtest/gtest.h>

#include "frontend/cli.hpp"
#include "frontend/context.hpp"
#include "tool/tool_fixture.hpp"

namespace reader::testing {
namespace {

// What is wrong with a number, in the words of the line that refuses it: the suffixes that exist
// and the largest value, "too large" for digits past 64 bits.
struct CheckCase {
    const char* text;
    std::uint64_t most;
    bool sizes;
    const char* problem;  // nullptr: taken
    std::uint64_t value;
};

TEST(CheckNumberTest, SaysWhatIsWrongOrTakesTheValue) {
    constexpr std::uint64_t k256M = 256u << 20;
    const CheckCase cases[] = {
        {"1G", k256M, true,
         "1G: a size ends in K (KiB) or M (MiB), not G; the largest is 256M (0x10000000)", 0},
        {"2GiB", 3u << 10, true,
         "2GiB: a size ends in K (KiB) or M (MiB), not GiB; the largest is 3K (0xC00)", 0},
        {"512M", k256M, true, "512M is too large (at most 256M, 0x10000000)", 0},
        {"12345678901234567890123", 0xFF, false,
         "12345678901234567890123 is too large (at most 0xFF)", 0},
        {"0x4000000000000000K", k256M, true,
         "0x4000000000000000K is too large (at most 256M, 0x10000000)", 0},
        {"0x100000000", 0xFFFFFFFF, true, "0x100000000 is too large (at most 0xFFFFFFFF)", 0},
        {"zz", k256M, true,
         "takes a number (decimal, or hexadecimal as 0x1F; a size may end in K or M), not 'zz'", 0},
        {"4M", 0xFF, false, "takes a number (decimal, or hexadecimal as 0x1F), not '4M'", 0},
        {"0x", 0xFF, true,
         "takes a number (decimal, or hexadecimal as 0x1F; a size may end in K or M), not '0x'", 0},
        {"0x10K", k256M, true, nullptr, 0x4000},
        {"256M", k256M, true, nullptr, k256M},
    };
    for (const CheckCase& c : cases) {
        std::uint64_t value = 7;
        const auto problem = tool::CheckNumber(c.text, c.most, c.sizes, value);
        if (c.problem != nullptr) {
            EXPECT_EQ(problem, std::optional<std::string>(c.problem)) << c.text;
            EXPECT_EQ(value, 7u) << c.text;
        } else {
            EXPECT_EQ(problem, std::nullopt) << *problem;
            EXPECT_EQ(value, c.value) << c.text;
        }
    }
}

// Standard output redirected on Windows: every line ends in CR LF, also when a "\r" and its "\n"
// come in two writes; a "\r" alone (a line written over) stays as it is.
TEST(CrLfTest, EndsEveryLineOnce) {
    const struct {
        std::vector<std::string_view> pieces;
        std::string_view expected;
    } cases[] = {
        {{"a\nb\n"}, "a\r\nb\r\n"},         {{"a\r\n"}, "a\r\n"},
        {{"a\r", "\nb\n"}, "a\r\nb\r\n"},   {{"a\n", "\n", "\n"}, "a\r\n\r\n\r\n"},
        {{"50%\r", "75%\r"}, "50%\r75%\r"}, {{"", "x", ""}, "x"},
    };
    for (const auto& c : cases) {
        bool afterCr = false;
        std::string out;
        for (const std::string_view piece : c.pieces) {
            out += tool::WithCrLf(piece, afterCr);
        }
        EXPECT_EQ(out, c.expected) << c.pieces.front();
    }
}

// Wrong usage is refused before the reader is touched, with exit status 2 and one line that
// points to the help.
struct UsageCase {
    std::vector<std::string> args;
    const char* message;  // part of the error line
};

class UsageTest : public ToolFixture, public ::testing::WithParamInterface<UsageCase> {};

TEST_P(UsageTest, RefusedWithStatusTwo) {
    Attach(emulator::kNesIdentity);
    const ToolRun run = Run(GetParam().args);
    EXPECT_EQ(run.status, tool::kExitUsage);
    EXPECT_NE(run.err.find(GetParam().message), std::string::npos) << run.err;
    EXPECT_EQ(run.err.rfind("reader-tool: ", 0), 0u) << run.err;
    EXPECT_NE(run.err.find("--help'."), std::string::npos) << run.err;
    EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(host_.Counters().opens, 0u) << "the reader was touched";
    EXPECT_EQ(CommandWrites(), 0u);
}

INSTANTIATE_TEST_SUITE_P(
    Lines, UsageTest,
    ::testing::Values(
        UsageCase{{"bogus"}, "unknown command 'bogus'. Try 'reader-tool --help'."},
        UsageCase{{"dumpp", "x.bin"}, "unknown command 'dumpp' (did you mean 'dump'?)"},
        UsageCase{{"chek"}, "unknown command 'chek' (did you mean 'check'?)"},
        UsageCase{{"tr", "0x8000"}, "unknown command 'tr' (did you mean 'trace'?)"},
        UsageCase{{"dump", "a.bin", "--sise", "4K"},
                  "dump has no option '--sise' (did you mean '--size'?)"},
        UsageCase{{"--drvie", "E", "info"}, "unknown option '--drvie' (did you mean '--drive'?)"},
        UsageCase{{"--size", "4K", "dump"}, "unknown option '--size' (options of a command"},
        UsageCase{{"--verbose"}, "unknown option '--verbose'"},
        UsageCase{{"-x", "info"}, "unknown option '-x'"},
        UsageCase{{"--quiet"},
                  "no command given: name one of info, dump, write, status, control, trace, check, "
                  "shell. Try"},
        UsageCase{{"dump"}, "dump needs OUT"},
        UsageCase{{"dump", "a.bin", "b.bin"}, "dump does not take 'b.bin'"},
        UsageCase{{"dump", "a.bin", "--start"}, "--start needs a value (--start ADDR)"},
        UsageCase{{"dump", "a.bin", "--start", "zz"}, "--start takes a number"},
        UsageCase{{"dump", "a.bin", "--start", "0x100000000"}, "is too large"},
        UsageCase{{"dump", "a.bin", "--size", "0"}, "--size must be more than 0"},
        UsageCase{{"dump", "a.bin", "--size", "512M"}, "is too large"},
        UsageCase{{"dump", "a.bin", "--size", "1G"},
                  "--size 1G: a size ends in K (KiB) or M (MiB), not G; the largest is 256M"},
        UsageCase{{"dump", "a.bin", "--byte-order", "middle"}, "--byte-order takes"},
        UsageCase{{"dump", "a.bin", "--frobnicate"}, "dump has no option '--frobnicate'"},
        UsageCase{{"dump", "a.bin", "--verify=yes"}, "--verify takes no value"},
        UsageCase{{"dump", "a.bin", "--size", "4K", "--size", "8K"}, "--size is given twice"},
        UsageCase{{"info", "--verify"}, "info has no option '--verify'"},
        UsageCase{{"info", "extra"}, "info does not take 'extra'"},
        UsageCase{{"write", "in.bin"}, "write needs --start ADDR"},
        UsageCase{{"write", "in.bin", "--start", "0x8000x"}, "--start takes a number"},
        UsageCase{{"control"}, "control needs VALUE"},
        UsageCase{{"control", "256"}, "VALUE 256 is too large"},
        UsageCase{{"control", "-1"}, "VALUE takes a number"},
        UsageCase{{"trace"}, "trace needs ADDR"},
        UsageCase{{"trace", "0xFF01"}, "ADDR 0xFF01 is too large (at most 0xFF00)"},
        UsageCase{{"trace", "0x8000", "--from"}, "--from needs a value"},
        UsageCase{{"check"}, "check needs FILE"},
        UsageCase{{"--drive=", "info"}, "--drive takes a drive letter (E:) or the folder"},
        UsageCase{{"info", "--drive"}, "--drive needs a value (--drive WHERE)"},
        UsageCase{{"--fc-mode", "2", "info"}, "--fc-mode takes 0 or 1"},
        UsageCase{{"--quiet=1", "info"}, "--quiet takes no value"}));

TEST_F(ToolFixture, NoArgumentsWithoutAConsoleShowUsageAndFail) {
    os.inputTerminal = false;
    const ToolRun run = Run({});
    EXPECT_EQ(run.status, tool::kExitUsage);
    EXPECT_EQ(run.err.rfind("Usage: reader-tool", 0), 0u);
    EXPECT_EQ(run.out, "");
}

// The binding of a command's line to its request, with the kinds of options and operands a
// command may have: a repeatable option, a number with a limit, a flag, and an operand that may be
// a file, a folder or "-" (standard input).
struct SampleRequest {
    std::string source;
    std::vector<std::string> dats;
    std::optional<std::uint64_t> size;
    bool verify = false;
};

constexpr auto kSampleOptions = std::to_array<tool::OptionBinding<SampleRequest>>({
    {{"dat", "DAT", "", true}, tool::StoreAppend<&SampleRequest::dats>},
    {{"size", "N"}, tool::StoreNumber<&SampleRequest::size, 1024, true>},
    {{"verify"}, tool::StoreFlag<&SampleRequest::verify>},
});
constexpr auto kSampleOperands = std::to_array<tool::OperandBinding<SampleRequest>>({
    {{"SOURCE"}, tool::StoreText<&SampleRequest::source>},
});

// What the sample command's handler was given.
std::optional<SampleRequest> g_received;

tool::Outcome RunSample(tool::ToolContext& /*context*/, const SampleRequest& request) {
    g_received = request;
    return std::nullopt;
}

constexpr tool::CommandRow kSampleCommand =
    tool::BoundRow<kSampleOptions, kSampleOperands, RunSample>({.name = "sample"});
constexpr std::array<const tool::CommandRow*, 1> kSampleCommands = {&kSampleCommand};

struct BindingCase {
    std::vector<std::string_view> args;
    std::string source;
    std::vector<std::string> dats;
    std::optional<std::uint64_t> size;
    bool verify;
    const char* error;  // the usage error instead, or nullptr
};

class BindingTest : public ::testing::TestWithParam<BindingCase> {};

TEST_P(BindingTest, FillsTheRequestOrNamesTheMistake) {
    const BindingCase& c = GetParam();
    g_received.reset();
    const tool::ToolStreams streams{[](std::string_view) { return tool::StreamWrite{}; },
                                    [](std::string_view) {},
                                    [](std::string_view) { return std::nullopt; }};
    emulator::EmulatedHost host;
    TestOs os;
    tool::ToolContext context(streams, os, host);
    tool::Outcome outcome;
    const auto line = tool::ParseCommandLine(c.args, kSampleCommands);
    if (!line) {
        outcome = line.Error();
    } else {
        outcome = line->command->run(context, *line);
    }
    if (c.error != nullptr) {
        ASSERT_TRUE(outcome.has_value());
        EXPECT_EQ(outcome->kind, tool::ErrorKind::Usage);
        EXPECT_EQ(outcome->message, c.error);
        EXPECT_EQ(outcome->command, &kSampleCommand);
        EXPECT_FALSE(g_received.has_value());
        return;
    }
    ASSERT_FALSE(outcome.has_value()) << outcome->message;
    ASSERT_TRUE(g_received.has_value());
    EXPECT_EQ(g_received->source, c.source);
    EXPECT_EQ(g_received->dats, c.dats);
    EXPECT_EQ(g_received->size, c.size);
    EXPECT_EQ(g_received->verify, c.verify);
}

INSTANTIATE_TEST_SUITE_P(
    Lines, BindingTest,
    ::testing::Values(
        BindingCase{{"sample", "-"}, "-", {}, {}, false, nullptr},
        BindingCase{{"sample", "games/"}, "games/", {}, {}, false, nullptr},
        BindingCase{{"sample", "--", "--verify"}, "--verify", {}, {}, false, nullptr},
        BindingCase{{"sample", "--dat", "a.dat", "x", "--dat=b.dat", "--size", "1K", "--verify"},
                    "x",
                    {"a.dat", "b.dat"},
                    1024,
                    true,
                    nullptr},
        BindingCase{{"sample", "x", "--size", "2K"},
                    "",
                    {},
                    {},
                    false,
                    "--size 2K is too large (at most 1K, 0x400)"},
        BindingCase{{"sample", "x", "--size", "1", "--size", "2"},
                    "",
                    {},
                    {},
                    false,
                    "--size is given twice"},
        BindingCase{{"sample", "--dat"}, "", {}, {}, false, "--dat needs a value (--dat DAT)"},
        BindingCase{{"sample", "--verify"}, "", {}, {}, false, "sample needs SOURCE"},
        BindingCase{{"sample", "x", "y"}, "", {}, {}, false, "sample does not take 'y'"}));

// --help answers wherever it stands, before the operands are checked, and describes the command
// it follows; it does not excuse an unknown command.
TEST_F(ToolFixture, HelpAnswersForTheProgramOrTheCommandItFollows) {
    struct Case {
        std::vector<std::string> args;
        int status;
        const char* outStart;
    };
    const Case cases[] = {
        {{"--help"}, tool::kExitSuccess, "Usage: reader-tool [OPTIONS] COMMAND"},
        {{"-h", "--quiet"}, tool::kExitSuccess, "Usage: reader-tool [OPTIONS] COMMAND"},
        {{"dump", "--help"}, tool::kExitSuccess, "Usage: reader-tool dump OUT "},
        {{"control", "-h"}, tool::kExitSuccess, "Usage: reader-tool control VALUE\n"},
        {{"help-me", "--help"}, tool::kExitUsage, ""},
        {{"--help=all"}, tool::kExitUsage, ""},
    };
    for (const Case& c : cases) {
        const ToolRun run = Run(c.args);
        EXPECT_EQ(run.status, c.status) << c.args.front();
        EXPECT_EQ(run.out.rfind(c.outStart, 0), 0u) << run.out;
        EXPECT_EQ(run.err.empty(), c.status == tool::kExitSuccess) << run.err;
    }
    EXPECT_EQ(host_.Counters().opens, 0u);
}

TEST_F(ToolFixture, VersionIsTheProgramNameAndANumber) {
    const ToolRun run = Run({"--version"});
    EXPECT_EQ(run.status, tool::kExitSuccess);
    ASSERT_EQ(run.out.rfind("reader-tool ", 0), 0u);
    EXPECT_TRUE(std::isdigit(static_cast<unsigned char>(run.out[12]))) << run.out;
    EXPECT_EQ(run.out.back(), '\n');
}

TEST_F(ToolFixture, GlobalOptionsStandBeforeOrAfterTheCommand) {
    Attach(emulator::kNesIdentity, 0, 'G');
    EXPECT_EQ(Run({"--drive", "G", "info"}).status, tool::kExitSuccess);
    EXPECT_EQ(Run({"info", "--drive=g:"}).status, tool::kExitSuccess);
    const ToolRun wrong = Run({"info", "--drive", "F"});
    EXPECT_EQ(wrong.status, tool::kExitFailure);
    EXPECT_NE(wrong.err.find("no cartridge reader on drive F: (there is no such drive). Check"),
              std::string::npos)
        << wrong.err;
}

}  // namespace
}  // namespace reader::testing
