// An output file on the real file system of the backend the tests were built for (Linux, or
// Windows under Wine): flushed before it takes its name, nothing left after a failure that only
// the flush or the close reports, a file that took the name meanwhile kept.
#include <gtest/gtest.h>

#include "tool/tool_fixture.hpp"

namespace reader::testing {
namespace {

struct StepCase {
    const char* name;
    std::optional<TestOs::FileFault> fault;
    bool oldFile;  // a file under the final name before the commit
    bool replace;
    bool commit;     // false: the object goes away first, as after a failed read
    bool committed;  // when the name is taken: PlaceElsewhere("game-1.bin")
    std::vector<std::string> steps;
    std::vector<std::string> names;  // in the folder afterwards
};

class OutputFileSteps : public ToolFixture, public ::testing::WithParamInterface<StepCase> {};

TEST_P(OutputFileSteps, FlushBeforeTheNameAndNothingLeftAfterAFailure) {
    const StepCase& c = GetParam();
    const std::vector<std::uint8_t> data(3000, 0x5A);
    const std::vector<std::uint8_t> old = {'o', 'l', 'd'};
    if (c.oldFile) {
        WriteBytes(folder.File("game.bin"), old);
    }
    os.fileFault = c.fault;
    std::string reason;
    auto pending = os.CreateOutput(folder.File("game.bin"), reason);
    ASSERT_TRUE(pending && pending->Reserve(data.size()) && pending->Write(data)) << reason;
    if (c.commit) {
        const bool committed =
            pending->Commit(c.replace) ||
            (pending->FinalPathTaken() && pending->PlaceElsewhere(folder.File("game-1.bin")));
        EXPECT_EQ(committed, c.committed);
        EXPECT_EQ(pending->Reason(), c.fault ? c.fault->reason : "");
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
const Steps kCommitted = {"reserve", "write", "flush", "close", "move game.bin", "sync"};

INSTANTIATE_TEST_SUITE_P(
    Endings, OutputFileSteps,
    ::testing::Values(StepCase{"Committed", std::nullopt, false, false, true, true, kCommitted,
                               Names{"game.bin"}},
                      StepCase{"FlushFindsTheDiskFull",
                               TestOs::FileFault{"flush", "No space left on device"}, false, false,
                               true, false, Steps{"reserve", "write", "flush", "remove"}, Names{}},
                      StepCase{"NameTakenSoElsewhere", std::nullopt, true, false, true, true,
                               Steps{"reserve", "write", "flush", "close", "move game.bin",
                                     "move game-1.bin", "sync"},
                               Names{"game-1.bin", "game.bin"}},
                      StepCase{"DroppedBeforeCommit", std::nullopt, false, false, false, false,
                               Steps{"reserve", "write", "remove"}, Names{}}),
    [](const auto& row) { return std::string(row.param.name); });

}  // namespace
}  // namespace reader::testing
