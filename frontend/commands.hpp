// The commands of reader-tool, each run with a parsed command line; each returns the exit status
// and has printed its error (one line on standard error) when it fails.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "frontend/cli.hpp"
#include "frontend/context.hpp"

namespace reader::tool {

int RunInfo(const ToolContext& context, const CommandLine& line);
int RunDump(const ToolContext& context, const CommandLine& line);
int RunWrite(const ToolContext& context, const CommandLine& line);
int RunStatus(const ToolContext& context, const CommandLine& line);
int RunControl(const ToolContext& context, const CommandLine& line);
int RunTrace(const ToolContext& context, const CommandLine& line);
int RunCheck(const ToolContext& context, const CommandLine& line);
int RunShell(ToolContext& context);

// Runs one command line (the program's arguments, or one line of the shell).
int RunArguments(ToolContext& context, std::span<const std::string_view> args, bool inShell,
                 const GlobalOptions& defaults);

// The largest image the tool holds in memory: more than any cartridge of the six systems.
inline constexpr std::uint64_t kLargestImage = 256u * 1024 * 1024;

// A number option or operand of a command; prints the usage error and returns nothing when the
// text is no number or the number exceeds most.
std::optional<std::uint64_t> NumberValue(const ToolContext& context, CommandId command,
                                         std::string_view what, std::string_view text,
                                         std::uint64_t most, bool allowSizeSuffix, int& status);

// Reads a whole file (at most `most` bytes of it when truncate is set; otherwise a longer file is
// an error). Prints the error and returns nothing when the file cannot be read.
std::optional<std::vector<std::uint8_t>> ReadInputFile(const ToolContext& context,
                                                       const std::string& path, std::uint64_t most,
                                                       bool truncate);

}  // namespace reader::tool
