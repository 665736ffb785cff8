// The commands of reader-tool, each one row of data beside its handler (commands.cpp: info,
// status, control, trace, check; dump.cpp; write.cpp; shell.cpp), and what they share. A handler
// prints its results and returns its error as a value; ReportOutcome prints it.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "frontend/cli.hpp"
#include "frontend/context.hpp"
#include "frontend/outcome.hpp"

namespace reader::tool {

extern const CommandRow kInfoCommand;
extern const CommandRow kDumpCommand;
extern const CommandRow kWriteCommand;
extern const CommandRow kStatusCommand;
extern const CommandRow kControlCommand;
extern const CommandRow kTraceCommand;
extern const CommandRow kCheckCommand;
extern const CommandRow kShellCommand;

// Every command, in the order of the help texts.
std::span<const CommandRow* const> Commands();

// Runs one command line (the program's arguments, or one line of the shell).
Outcome RunLine(ToolContext& context, std::span<const std::string_view> args, bool inShell,
                const GlobalOptions& defaults);

// Prints the error of a command line, if any, and returns its exit status.
int ReportOutcome(const ToolContext& context, const Outcome& outcome);

struct ShellRequest {};
Outcome RunShell(ToolContext& context, const ShellRequest& request);

// The largest image the tool holds in memory: more than any cartridge of the six systems.
inline constexpr std::uint64_t kLargestImage = 256u * 1024 * 1024;

// What stands in the way of a file the user named, before it is opened: for one to read, a folder
// where the file should be or a folder on its way that does not exist; for one to write, a folder
// to put it in that does not exist or is a file. Nothing when the system's own open may go ahead
// (it names any other reason).
std::optional<std::string> InputPathProblem(const std::string& path);
std::optional<std::string> OutputPathProblem(const std::string& path);

// Reads a whole file (at most `most` bytes of it when truncate is set; otherwise a longer file is
// an error).
Expected<std::vector<std::uint8_t>> ReadInputFile(const std::string& path, std::uint64_t most,
                                                  bool truncate);

}  // namespace reader::tool
