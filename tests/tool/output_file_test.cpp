// An output file appears whole or not at all, on the real file system of the backend the tests
// were built for (Linux, or Windows under Wine): the data is flushed before the file takes its
// name, a failure that only the flush (or the close) reports leaves nothing under the name, and
// a file that took the name meanwhile is kept while the output goes elsewhere.
#include <gtest/gtest.h>

#include "tool/tool_fixture.hpp"

namespace reader::testing {
namespace {

enum class Ending : std::uint8_t {
    Commit,               // Commit; when the name is taken, PlaceElsewhere("game-1.bin")
    DroppedBeforeCommit,  // the object goes away, as after a failed read
};

struct StepCase {
    const char* name;
    std::optional<TestOs::FileFault> fault;
    bool oldFile;  // a file under the final name before the commit
    bool replace;
    Ending ending;
    bool committed;
    std::vector<std::string> steps;
    std::vector<std::string> names;  // in the folder afterwards
};

class OutputFileSteps : public ToolFixture, public ::testing::WithParamInterface<StepCase> {};

TEST_P(OutputFileSteps, FlushBeforeTheNameAndNothingLeftAfterAFailure) {
    const StepCase& c = GetParam();
    const std::string out = folder.File("game.bin");
    const std::vector<std::uint8_t> data(3000, 0x5A);
    const std::vector<std::uint8_t> old = {'o', 'l', 'd'};
    if (c.oldFile) {
        WriteBytes(out, old);
    }
    os.fileFault = c.fault;
    std::string reason;
    auto pending = os.CreateOutput(out, reason);
    ASSERT_TRUE(pending) << reason;
    ASSERT_TRUE(pending->Reserve(data.size())) << pending->Reason();
    ASSERT_TRUE(pending->Write(std::span(data).first(1000)));
    ASSERT_TRUE(pending->Write(std::span(data).subspan(1000)));
    if (c.ending == Ending::Commit) {
        bool committed = pending->Commit(c.replace);
        if (!committed && pending->FinalPathTaken()) {
            committed = pending->PlaceElsewhere(folder.File("game-1.bin"));
        }
        EXPECT_EQ(committed, c.committed);
        if (c.fault) {
            EXPECT_EQ(pending->Reason(), c.fault->reason);
        }
    }
    pending.reset();
    EXPECT_EQ(os.fileSteps, c.steps);
    EXPECT_EQ(folder.Names(), c.names);
    for (const std::string& name : c.names) {
        const bool ours = name != "game.bin" || (c.committed && (c.replace || !c.oldFile));
        EXPECT_EQ(ReadBytes(folder.File(name)), ours ? data : old) << name;
    }
}

using Steps = std::vector<std::string>;
using Names = std::vector<std::string>;

INSTANTIATE_TEST_SUITE_P(
    Endings, OutputFileSteps,
    ::testing::Values(
        StepCase{"Committed", std::nullopt, false, false, Ending::Commit, true,
                 Steps{"reserve", "write", "flush", "close", "move game.bin", "sync"},
                 Names{"game.bin"}},
        StepCase{"ReplacesWhenAsked", std::nullopt, true, true, Ending::Commit, true,
                 Steps{"reserve", "write", "flush", "close", "move game.bin", "sync"},
                 Names{"game.bin"}},
        StepCase{"FlushFindsTheDiskFull", TestOs::FileFault{"flush", "No space left on device"},
                 false, false, Ending::Commit, false, Steps{"reserve", "write", "flush", "remove"},
                 Names{}},
        StepCase{"FlushFailsOverAnOldFile", TestOs::FileFault{"flush", "Input/output error"}, true,
                 true, Ending::Commit, false, Steps{"reserve", "write", "flush", "remove"},
                 Names{"game.bin"}},
        StepCase{"CloseFails", TestOs::FileFault{"close", "Input/output error"}, false, false,
                 Ending::Commit, false, Steps{"reserve", "write", "flush", "close", "remove"},
                 Names{}},
        StepCase{
            "NameTakenSoElsewhere", std::nullopt, true, false, Ending::Commit, true,
            Steps{"reserve", "write", "flush", "close", "move game.bin", "move game-1.bin", "sync"},
            Names{"game-1.bin", "game.bin"}},
        StepCase{"DroppedBeforeCommit", std::nullopt, false, false, Ending::DroppedBeforeCommit,
                 false, Steps{"reserve", "write", "remove"}, Names{}}),
    [](const auto& row) { return std::string(row.param.name); });

}  // namespace
}  // namespace reader::testing
