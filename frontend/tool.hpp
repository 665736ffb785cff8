// reader-tool: the command-line front-end of the device library. Everything but binding the
// process's real streams lives behind RunTool, so tests drive the whole program in process
// against an emulated reader.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "frontend/tool_os.hpp"

namespace reader::tool {

inline constexpr int kExitSuccess = 0;
inline constexpr int kExitFailure = 1;
inline constexpr int kExitUsage = 2;
// After signal N the status is kExitSignalBase + N (130 for Ctrl-C), as shells report it.
inline constexpr int kExitSignalBase = 128;

// What became of a write to standard output.
struct StreamWrite {
    enum class Result : std::uint8_t {
        Written,
        Closed,  // nobody reads it any more: a closed pipe
        Failed,  // the system refused it: a full disk, an I/O error
    };
    Result result = Result::Written;
    std::string reason;  // the system's words for a failure
};

struct ToolStreams {
    std::function<StreamWrite(std::string_view)> out;  // standard output
    std::function<void(std::string_view)> err;         // standard error
    // One line of standard input without its line end, after showing the prompt (the shell gives
    // one only when a person types at a terminal, and it goes to standard output); nothing at the
    // end of the input (or when Ctrl-C interrupted the wait).
    std::function<std::optional<std::string>(std::string_view prompt)> readLine;
};

// Runs the program with the arguments that follow its name and returns its exit status: 0
// success, 1 failure (a header check that says bad included), 2 wrong usage, 128 + N after
// signal N. The reader is reached through the active host (platform::ActiveHost); while RunTool
// runs, the device library's reports (the status report, trace lines) go to streams.out as
// well, and its "Init ... OK" notice to streams.err (nowhere with --quiet).
int RunTool(std::span<const std::string_view> args, const ToolStreams& streams, ToolOs& os);

// "reader-tool 1.0.0".
std::string VersionText();

}  // namespace reader::tool
