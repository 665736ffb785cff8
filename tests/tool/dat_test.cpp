// DAT files in reader-tool: where a user keeps them, and the dump report's DAT line with the exit
// statuses a script relies on ("is this a good dump?").
#include <gtest/gtest.h>

#include "frontend/tool_os.hpp"
#include "tool/tool_fixture.hpp"

namespace reader::testing {
namespace {

// Each system's rule for its DAT folders, from the environment's values.
TEST(DatFolders, FollowEachSystemsRule) {
    struct Case {
        bool windows;
        const char* first;   // XDG_DATA_HOME, or APPDATA
        const char* second;  // HOME, or the program's folder
        std::vector<fs::path> folders;
    };
    const Case cases[] = {
        {false, "/data", "/home/u", {"/data/reader-tool/dat"}},
        {false, "", "/home/u", {"/home/u/.local/share/reader-tool/dat"}},
        // A relative XDG_DATA_HOME is not taken.
        {false, "data", "/home/u", {"/home/u/.local/share/reader-tool/dat"}},
        {false, "", "", {}},
        {true,
         "C:/Users/u/AppData/Roaming",
         "E:/tools",
         {"C:/Users/u/AppData/Roaming/reader-tool/dat", "E:/tools/dat"}},
        {true, "", "E:/tools", {"E:/tools/dat"}},
    };
    for (const Case& c : cases) {
        const auto folders = c.windows ? tool::WindowsDatFolders(c.first, c.second)
                                       : tool::UnixDatFolders(c.first, c.second);
        EXPECT_EQ(folders, c.folders) << c.first << " " << c.second;
    }
}

}  // namespace
}  // namespace reader::testing
