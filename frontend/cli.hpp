// reader-tool's command line: global options, one subcommand, its operands and options, and the
// help texts. Parsing only checks the shape of the line (known names, the right number of
// operands, values where values belong); each command checks what its values mean.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace reader::tool {

enum class CommandId : std::uint8_t { Info, Dump, Write, Status, Control, Trace, Check, Shell };

struct GlobalOptions {
    std::optional<char> drive;  // --drive: probe this letter only (upper case)
    int fcMode = 0;             // --fc-mode: the FC2 reader's set-up mode flag
    bool quiet = false;         // --quiet: no progress display
};

struct CommandLine {
    GlobalOptions globals;
    bool help = false;
    bool version = false;
    std::optional<CommandId> command;
    std::vector<std::string> operands;
    // Options of the command by name without the dashes; a flag has an empty value.
    std::map<std::string, std::string, std::less<>> options;

    bool Has(std::string_view name) const { return options.find(name) != options.end(); }
    const std::string* Value(std::string_view name) const {
        const auto found = options.find(name);
        return found == options.end() ? nullptr : &found->second;
    }
};

struct UsageError {
    std::string message;
    std::optional<CommandId> command;  // whose help the user is pointed to
};

// Parses the arguments that follow the program name. Global options may stand anywhere and start
// from defaults (the shell's lines inherit those of the shell's own command line); "--" ends the
// options. Nothing and the error when the line is malformed.
std::optional<CommandLine> ParseCommandLine(std::span<const std::string_view> args,
                                            UsageError& error, const GlobalOptions& defaults = {});

// A number as the user writes one: decimal or hexadecimal with 0x, and with sizes a K or M
// (KiB, MiB) after it. Nothing for anything else, or a value beyond 64 bits.
std::optional<std::uint64_t> ParseNumber(std::string_view text, bool allowSizeSuffix);

std::string_view CommandName(CommandId command);
std::optional<CommandId> CommandNamed(std::string_view name);

// The program's --help text, one command's, and the command list that the shell's h prints.
std::string ProgramHelp();
std::string CommandHelp(CommandId command);
std::string CommandList();

}  // namespace reader::tool
