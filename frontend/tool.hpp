// reader-tool: the command-line front-end of the device library. Everything but binding the
// process's real streams lives behind RunTool, so tests drive the whole program in process
// against an emulated reader.
#pragma once

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

struct ToolStreams {
    std::function<void(std::string_view)> out;  // standard output
    std::function<void(std::string_view)> err;  // standard error
    // One line of standard input without its line end; nothing at the end of the input (or when
    // Ctrl-C interrupted the wait).
    std::function<std::optional<std::string>()> readLine;
};

// Runs the program with the arguments that follow its name and returns its exit status. The
// reader is reached through the active host (platform::ActiveHost); while RunTool runs, the
// device library's own text (its "Init ... OK" line, the status report, trace lines) goes to
// streams.out as well.
int RunTool(std::span<const std::string_view> args, const ToolStreams& streams, ToolOs& os);

// "reader-tool 1.0.0".
std::string VersionText();

}  // namespace reader::tool
