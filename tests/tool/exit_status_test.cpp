// What a script can trust: the exit status of every kind of ending, the one line on standard
// error that goes with it, and standard output that fails (a closed pipe, a full disk) without
// costing the dump its file.
#include <gtest/gtest.h>

#include "frontend/rom/rom_report.hpp"
#include "tool/tool_fixture.hpp"
#include "tools/test_images.hpp"

namespace reader::testing {
namespace {

using tool::StopSignal;
using Result = tool::StreamWrite::Result;

enum class Image : std::uint8_t { None, GoodN64, BadN64, GoodSfc, BadSfc };

std::vector<std::uint8_t> MakeImage(Image image) {
    constexpr std::size_t kSize = 2 * testimages::kMiB;
    std::vector<std::uint8_t> bytes;
    switch (image) {
        case Image::None:
            break;
        case Image::GoodN64:
        case Image::BadN64:
            bytes = testimages::MakeN64Image(rom::N64BootCode::Boot6102, 11, kSize);
            if (image == Image::BadN64) {
                testimages::BreakN64HeaderChecksum(bytes);
            }
            break;
        case Image::GoodSfc:
        case Image::BadSfc:
            bytes = testimages::MakeSfcImage(false, 11, kSize);
            if (image == Image::BadSfc) {
                testimages::BreakSfcHeaderChecksum(bytes, false);
            }
            break;
    }
    return bytes;
}

class RunFixture : public ToolFixture {
  protected:
    // "IMG" and "OUT" in the arguments (and the shell's lines) stand for files of the test's
    // folder: the image written before the run, and the dump's file.
    std::vector<std::string> Expand(std::vector<std::string> words) const {
        for (std::string& word : words) {
            for (const auto& [name, file] : {std::pair{"IMG", "image.bin"}, {"OUT", "game.z64"}}) {
                for (auto at = word.find(name); at != std::string::npos; at = word.find(name)) {
                    word.replace(at, 3, folder.File(file));
                }
            }
        }
        return words;
    }

    // No hidden temporary file of a dump is left in the folder.
    void ExpectNoTemporaryFile() const {
        for (const std::string& name : folder.Names()) {
            EXPECT_NE(name.front(), '.') << name;
        }
    }
};

struct StatusCase {
    const char* name;
    Image image;              // written to IMG before the run
    std::string_view reader;  // the identity of a reader on E:, empty for none
    std::vector<std::string> args;
    std::vector<std::string> input;    // the shell's lines
    std::optional<StopSignal> signal;  // arrives at the second check for one
    int status;
    const char* err;       // part of standard error; "" for none at all
    const char* outHas;    // part of standard output, or nullptr
    const char* outLacks;  // not part of standard output, or nullptr
};

class ExitStatus : public RunFixture, public ::testing::WithParamInterface<StatusCase> {};

TEST_P(ExitStatus, IsTheOneOfItsEndingWithItsLine) {
    const StatusCase& c = GetParam();
    if (c.image != Image::None) {
        WriteBytes(folder.File("image.bin"), MakeImage(c.image));
    }
    if (!c.reader.empty()) {
        Attach(c.reader);
    }
    if (c.signal) {
        os.interruptSignal = *c.signal;
        os.interruptAtCheck = 2;
    }
    input = Expand(c.input);
    const ToolRun run = Run(Expand(c.args));
    EXPECT_EQ(run.status, c.status) << run.err;
    if (std::string_view(c.err).empty()) {
        EXPECT_EQ(run.err, "");
    } else {
        EXPECT_NE(run.err.find(c.err), std::string::npos) << run.err;
    }
    if (c.outHas != nullptr) {
        EXPECT_NE(run.out.find(c.outHas), std::string::npos) << run.out;
    }
    if (c.outLacks != nullptr) {
        EXPECT_EQ(run.out.find(c.outLacks), std::string::npos) << run.out;
    }
    ExpectNoTemporaryFile();
    if (c.signal) {
        EXPECT_FALSE(std::filesystem::exists(folder.File("game.z64")));
    }
}

constexpr std::string_view kN64 = emulator::kN64CartIdentity;
constexpr std::string_view kNes = emulator::kNesIdentity;

const std::vector<std::string> kDump = {"dump", "OUT", "--size", "3M", "--quiet"};

// clang-format off
INSTANTIATE_TEST_SUITE_P(Endings, ExitStatus, ::testing::Values(
    StatusCase{"GoodCheck", Image::GoodN64, {}, {"check", "IMG"}, {}, {}, 0, "",
               "Header checksums: OK", nullptr},
    StatusCase{"GoodSfcCheck", Image::GoodSfc, {}, {"check", "IMG"}, {}, {}, 0, "",
               "Checksum: OK", nullptr},
    // The report is printed in full, then the failure.
    StatusCase{"BadN64Check", Image::BadN64, {}, {"check", "IMG"}, {}, {}, 1,
               "image.bin says bad (see the report)", "Header checksums: bad", nullptr},
    StatusCase{"BadSfcCheck", Image::BadSfc, {}, {"check", "IMG"}, {}, {}, 1,
               "image.bin says bad (see the report)", "Checksum: bad", nullptr},
    StatusCase{"Usage", Image::None, {}, {"dump"}, {}, {}, 2,
               "reader-tool: dump needs OUT. Try 'reader-tool dump --help'.\n", nullptr, nullptr},
    StatusCase{"NoReader", Image::None, {}, {"info"}, {}, {}, 1,
               "reader-tool: no cartridge reader found", nullptr, nullptr},
    StatusCase{"VersionAfterACommand", Image::None, {}, {"dump", "--version"}, {}, {}, 0, "",
               "reader-tool ", nullptr},
    // Each request to stop during a dump: the shell's status for its signal, and the message
    // names it. The second check is before the second chunk.
    StatusCase{"CtrlC", Image::None, kN64, kDump, {}, StopSignal::CtrlC, 130,
               "reader-tool: interrupted by Ctrl-C (SIGINT) while reading at 0x10100000. ",
               nullptr, nullptr},
    StatusCase{"CtrlBreak", Image::None, kN64, kDump, {}, StopSignal::CtrlBreak, 130,
               "interrupted by Ctrl-Break while reading", nullptr, nullptr},
    StatusCase{"Terminate", Image::None, kN64, kDump, {}, StopSignal::Terminate, 143,
               "interrupted by SIGTERM while reading", nullptr, nullptr},
    StatusCase{"Hangup", Image::None, kN64, kDump, {}, StopSignal::Hangup, 129,
               "game.z64 was not written.\n", nullptr, nullptr},
    StatusCase{"ConsoleClosed", Image::None, kN64, kDump, {}, StopSignal::ConsoleClosed, 129,
               "interrupted by the console window closing while reading", nullptr, nullptr},
    // In a shell script Ctrl-C ends the command it interrupts, and the next line runs; the other
    // requests to stop end the shell with their status. (The shell's first check is after
    // reading its first line; the dump's first is before its first read.)
    StatusCase{"ShellGoesOnAfterCtrlC", Image::None, kNes, {"shell"},
               {"dump OUT --quiet", "info --quiet"}, StopSignal::CtrlC, 1,
               "interrupted by Ctrl-C (SIGINT) while reading at 0x00008000.", "can         dump, write",
               nullptr},
    StatusCase{"ShellEndsAtSigterm", Image::None, kNes, {"shell"},
               {"dump OUT --quiet", "info --quiet"}, StopSignal::Terminate, 143,
               "interrupted by SIGTERM while reading at 0x00008000.", nullptr, "variant"}),
    [](const auto& row) { return std::string(row.param.name); });
// clang-format on

// Standard output that fails: the dump goes on and puts its file in place, later output is
// dropped, and the run ends with status 1 and one line that says what happened and whether the
// file was written.
struct StreamCase {
    const char* name;
    OutputFault fault;
    std::vector<std::string> args;
    std::optional<StopSignal> signal;
    int status;
    const char* err;  // standard error, exactly ("OUT": the dump's file)
    bool written;     // the dump's file is in place
};

class StreamFailure : public RunFixture, public ::testing::WithParamInterface<StreamCase> {};

TEST_P(StreamFailure, EndsTheRunWithItsLineAndKeepsTheData) {
    const StreamCase& c = GetParam();
    Attach(emulator::kNesIdentity);
    outputFault = c.fault;
    if (c.signal) {
        os.interruptSignal = *c.signal;
        os.interruptAtCheck = 1;
    }
    const ToolRun run = Run(Expand(c.args));
    EXPECT_EQ(run.status, c.status);
    EXPECT_EQ(run.err, Expand({c.err}).front());
    // The first refused write is the last one tried.
    EXPECT_EQ(run.refusedWrites, 1u);
    ExpectNoTemporaryFile();
    if (c.written) {
        EXPECT_EQ(ReadBytes(folder.File("game.z64")),
                  Image(emulator::CartridgeSystem::Nes, 0x8000, 0x8000));
    } else {
        EXPECT_TRUE(folder.Names().empty());
    }
}

constexpr const char* kClosedWritten =
    "reader-tool: standard output was closed before everything was written to it (Broken "
    "pipe); OUT was written.\n";

// clang-format off
INSTANTIATE_TEST_SUITE_P(Streams, StreamFailure, ::testing::Values(
    // As `dump ... | head -1`: the first line gets through, the reader of the pipe is gone.
    StreamCase{"ClosedAfterTheFirstLine", {120, Result::Closed, "Broken pipe"},
               {"dump", "OUT", "--quiet", "--size", "0x8000"}, {}, 1, kClosedWritten, true},
    StreamCase{"ClosedFromTheStart", {0, Result::Closed, "Broken pipe"},
               {"dump", "OUT", "--quiet", "--verify"}, {}, 1, kClosedWritten, true},
    StreamCase{"DiskFull", {150, Result::Failed, "No space left on device"},
               {"dump", "OUT", "--quiet"}, {}, 1,
               "reader-tool: writing standard output failed (No space left on device); OUT was "
               "written. Check the disk or the device that standard output goes to.\n", true},
    // The library's own report goes the same way.
    StreamCase{"StatusReport", {4, Result::Failed, "Input/output error"},
               {"status", "--quiet"}, {}, 1,
               "reader-tool: writing standard output failed (Input/output error). Check the disk "
               "or the device that standard output goes to.\n", false},
    // Interrupted as well: the signal's status stays, and both lines are shown.
    StreamCase{"ClosedAndInterrupted", {0, Result::Closed, "Broken pipe"},
               {"dump", "OUT", "--quiet"}, StopSignal::CtrlC, 130,
               "reader-tool: interrupted by Ctrl-C (SIGINT) while reading at 0x00008000. OUT was "
               "not written.\nreader-tool: standard output was closed before everything was "
               "written to it (Broken pipe); OUT was not written.\n", false}),
    [](const auto& row) { return std::string(row.param.name); });
// clang-format on

}  // namespace
}  // namespace reader::testing
