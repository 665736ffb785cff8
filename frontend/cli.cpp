#include "frontend/cli.hpp"

#include <algorithm>
#include <cctype>
#include <vector>

#include "frontend/context.hpp"
#include "text/text.hpp"

namespace reader::tool {
namespace {

std::optional<std::string> StoreDrive(GlobalOptions& globals, std::string_view text);
std::optional<std::string> StoreFcMode(GlobalOptions& globals, std::string_view text);

// The options of every command, bound to GlobalOptions like a command's to its request.
constexpr auto kGlobalOptions = std::to_array<OptionBinding<GlobalOptions>>({
    {{"drive", "WHERE",
      "the reader's drive letter (E:), or the folder it is mounted on\n"
      "(/media/you/READER); default: every removable drive"},
     StoreDrive},
    {{"fc-mode", "N", "the FC2 reader's set-up mode flag, 0 or 1 (default 0)"}, StoreFcMode},
    {{"quiet", "", "no progress display and no \"Init\" line"}, StoreFlag<&GlobalOptions::quiet>},
});

// --help and --version, which the parser itself answers.
constexpr auto kProgramOptions = std::to_array<OptionShape>({
    {"help", "", "this text; COMMAND --help describes one command"},
    {"version", "", "the program's version"},
});

constexpr std::string_view kNumbersHelp =
    "ADDR, N and VALUE are decimal or hexadecimal (0x8000); sizes may end in K or M (256K, "
    "4M).\n";

constexpr std::string_view kExitStatusHelp =
    "Exit status: 0 success; 1 failure, also when a header check of check or dump says bad\n"
    "or, with --dat, no DAT entry verifies the image; 2 wrong usage; 128+N after signal N:\n"
    "130 Ctrl-C, 143 SIGTERM, 129 SIGHUP.\n";

// The column where the summaries of a command list begin, and where an option's help begins.
constexpr std::size_t kSummaryColumn = 27;
constexpr std::size_t kOptionHelpColumn = 17;
constexpr std::size_t kGlobalOptionHelpColumn = 19;

std::string Quoted(std::string_view text) {
    std::string quoted(1, '\'');
    quoted += text;
    quoted += '\'';
    return quoted;
}

// The value of an option written as --name=value or as --name value.
struct SplitOption {
    std::string_view name;
    std::optional<std::string_view> inlineValue;
};

SplitOption SplitLong(std::string_view arg) {
    arg.remove_prefix(2);
    const auto equals = arg.find('=');
    if (equals == std::string_view::npos) {
        return {arg, std::nullopt};
    }
    return {arg.substr(0, equals), arg.substr(equals + 1)};
}

// "-5" is a (wrong) number for the command to reject, not an option.
bool IsOption(std::string_view arg) {
    return arg.size() > 1 && arg[0] == '-' && std::isdigit(static_cast<unsigned char>(arg[1])) == 0;
}

// "  head   summary": the summary at its column, or on the next line when the head reaches it.
// A summary of several lines keeps the column.
std::string ListLine(std::string_view head, std::string_view summary, std::size_t column) {
    std::string line = "  ";
    line += head;
    // At least two blanks between a head and its summary, so that both a reader and help2man
    // can tell where the summary starts.
    if (line.size() + 2 > column) {
        line += "\n";
        line += std::string(column, ' ');
    } else {
        line += std::string(column - line.size(), ' ');
    }
    for (const char c : summary) {
        line += c;
        if (c == '\n') {
            line += std::string(column, ' ');
        }
    }
    line += "\n";
    return line;
}

std::string OptionHead(const OptionShape& option) {
    std::string head = "--" + std::string(option.name);
    if (!option.valueName.empty()) {
        head += " ";
        head += option.valueName;
    }
    return head;
}

std::string OptionLines(std::span<const OptionShape> options, std::size_t column) {
    std::string text;
    for (const OptionShape& option : options) {
        text += ListLine(OptionHead(option), option.help, column);
    }
    return text;
}

std::string GlobalOptionsHelp() {
    return "Options for every command:\n" +
           OptionLines(kShapesOf<kGlobalOptions>, kGlobalOptionHelpColumn) +
           OptionLines(kProgramOptions, kGlobalOptionHelpColumn);
}

std::string CommandHead(const CommandRow& row) {
    std::string head(row.name);
    const std::string_view rest = row.listHead.empty() ? row.synopsis : row.listHead;
    if (!rest.empty()) {
        head += " ";
        head += rest;
    }
    return head;
}

const CommandRow* FindCommand(std::span<const CommandRow* const> commands, std::string_view name) {
    const auto found = std::find_if(commands.begin(), commands.end(),
                                    [name](const CommandRow* row) { return row->name == name; });
    return found == commands.end() ? nullptr : *found;
}

// The edit distance of two names (insertions, deletions and substitutions of one character).
std::size_t Distance(std::string_view a, std::string_view b) {
    std::vector<std::size_t> row(b.size() + 1);
    for (std::size_t j = 0; j < row.size(); ++j) {
        row[j] = j;
    }
    for (std::size_t i = 1; i <= a.size(); ++i) {
        std::size_t diagonal = row[0];
        row[0] = i;
        for (std::size_t j = 1; j <= b.size(); ++j) {
            const std::size_t above = row[j];
            row[j] =
                std::min({row[j] + 1, row[j - 1] + 1, diagonal + (a[i - 1] == b[j - 1] ? 0 : 1)});
            diagonal = above;
        }
    }
    return row[b.size()];
}

// The name the user most likely meant by a word the tool does not know: one a letter away (two in
// a name of five letters or more), or the only one the word begins; nothing when none is close.
std::optional<std::string_view> Nearest(std::string_view typed,
                                        const std::vector<std::string_view>& names) {
    constexpr std::size_t kLongName = 5;
    constexpr std::size_t kShortestPrefix = 2;
    std::optional<std::string_view> best;
    std::size_t bestDistance = 0;
    for (const std::string_view name : names) {
        const std::size_t distance = Distance(typed, name);
        const std::size_t allowed = name.size() >= kLongName ? 2 : 1;
        if (distance <= allowed && (!best || distance < bestDistance)) {
            best = name;
            bestDistance = distance;
        }
    }
    if (best || typed.size() < kShortestPrefix) {
        return best;
    }
    const auto begins = [typed](std::string_view name) { return name.starts_with(typed); };
    if (std::count_if(names.begin(), names.end(), begins) == 1) {
        return *std::find_if(names.begin(), names.end(), begins);
    }
    return std::nullopt;
}

// " (did you mean 'dump'?)", or nothing.
std::string DidYouMean(std::string_view typed, const std::vector<std::string_view>& names,
                       std::string_view prefix = {}) {
    const auto nearest = Nearest(typed, names);
    if (!nearest) {
        return {};
    }
    return " (did you mean " + Quoted(std::string(prefix) + std::string(*nearest)) + "?)";
}

template <class Shapes>
std::vector<std::string_view> NamesOf(const Shapes& shapes) {
    std::vector<std::string_view> names;
    for (const auto& shape : shapes) {
        names.push_back(shape.name);
    }
    return names;
}

template <class Shapes>
std::optional<std::size_t> IndexOf(const Shapes& shapes, std::string_view name) {
    for (std::size_t i = 0; i < shapes.size(); ++i) {
        if (shapes[i].name == name) {
            return i;
        }
    }
    return std::nullopt;
}

// A drive letter, or else the folder that holds the reader's files (a mount point on Linux, any
// folder elsewhere), used as the user wrote it. A folder called E is ./E.
std::optional<std::string> StoreDrive(GlobalOptions& globals, std::string_view text) {
    if (text.empty()) {
        return "takes a drive letter (E:) or the folder the reader is mounted on, not ''";
    }
    globals.drive = text::ParseDriveLetter(text);
    globals.folder.reset();
    if (!globals.drive) {
        globals.folder = std::string(text);
    }
    return std::nullopt;
}

std::optional<std::string> StoreFcMode(GlobalOptions& globals, std::string_view text) {
    const auto mode = text::ParseNumber(text);
    if (!mode || *mode > 1) {
        return "takes 0 or 1, not " + Quoted(text);
    }
    globals.fcMode = static_cast<int>(*mode);
    return std::nullopt;
}

}  // namespace

namespace {

// The largest value an option takes, as the user may write it: in hexadecimal, and a size of
// whole KiB or MiB also with its suffix ("256M").
struct Most {
    std::string size;  // "256M", or empty
    std::string hex;   // "0x10000000"
};

Most MostOf(std::uint64_t most, bool allowSizeSuffix) {
    return {allowSizeSuffix ? text::SuffixText(most) : std::string(), text::Hex(most)};
}

// "is too large (at most 256M, 0x10000000)".
std::string TooLarge(std::string_view text, std::uint64_t most, bool allowSizeSuffix) {
    const Most limit = MostOf(most, allowSizeSuffix);
    return std::string(text) + " is too large (at most " +
           (limit.size.empty() ? limit.hex : limit.size + ", " + limit.hex) + ")";
}

}  // namespace

std::optional<std::string> CheckNumber(std::string_view text, std::uint64_t most,
                                       bool allowSizeSuffix, std::uint64_t& value) {
    using Problem = text::NumberReading::Problem;
    const text::NumberReading reading = text::ReadNumber(text, allowSizeSuffix);
    switch (reading.problem) {
        case Problem::None:
            break;
        case Problem::NotANumber:
            return std::string("takes a number (decimal, or hexadecimal as 0x1F") +
                   (allowSizeSuffix ? "; a size may end in K or M" : "") + "), not " + Quoted(text);
        case Problem::UnknownSuffix: {
            const Most limit = MostOf(most, allowSizeSuffix);
            return std::string(text) + ": a size ends in K (KiB) or M (MiB), not " +
                   std::string(reading.suffix) + "; the largest is " +
                   (limit.size.empty() ? limit.hex : limit.size + " (" + limit.hex + ")");
        }
        case Problem::TooLarge:
            return TooLarge(text, most, allowSizeSuffix);
    }
    if (reading.value > most) {
        return TooLarge(text, most, allowSizeSuffix);
    }
    value = reading.value;
    return std::nullopt;
}

Expected<CommandLine> ParseCommandLine(std::span<const std::string_view> args,
                                       std::span<const CommandRow* const> commands,
                                       const GlobalOptions& defaults) {
    CommandLine line;
    line.globals = defaults;
    bool optionsEnded = false;
    const auto fail = [&line](std::string message) {
        return UsageError(std::move(message), line.command);
    };

    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string_view arg = args[i];
        if (optionsEnded || !IsOption(arg)) {
            if (line.command == nullptr) {
                line.command = FindCommand(commands, arg);
                if (line.command == nullptr) {
                    std::vector<std::string_view> names;
                    for (const CommandRow* row : commands) {
                        names.push_back(row->name);
                    }
                    return fail("unknown command " + Quoted(arg) + DidYouMean(arg, names));
                }
            } else {
                line.operands.push_back(arg);
            }
            continue;
        }
        if (arg == "--") {
            optionsEnded = true;
            continue;
        }
        if (arg == "-h") {
            line.help = true;
            continue;
        }
        if (!arg.starts_with("--")) {
            return fail("unknown option " + Quoted(arg));
        }
        const SplitOption option = SplitLong(arg);
        const std::string dashed = "--" + std::string(option.name);
        // --help and --version stand anywhere, after a command too.
        if (option.name == "help" || option.name == "version") {
            if (option.inlineValue) {
                return fail(dashed + " takes no value");
            }
            (option.name == "help" ? line.help : line.version) = true;
            continue;
        }

        const auto global = IndexOf(kShapesOf<kGlobalOptions>, option.name);
        const auto own =
            line.command != nullptr ? IndexOf(line.command->options, option.name) : std::nullopt;
        const OptionShape* shape = global ? &kGlobalOptions[*global].shape
                                   : own  ? &line.command->options[*own]
                                          : nullptr;
        if (shape == nullptr) {
            std::vector<std::string_view> names = NamesOf(kShapesOf<kGlobalOptions>);
            const auto program = NamesOf(kProgramOptions);
            names.insert(names.end(), program.begin(), program.end());
            if (line.command != nullptr) {
                const auto ofCommand = NamesOf(line.command->options);
                names.insert(names.end(), ofCommand.begin(), ofCommand.end());
            }
            std::string hint = DidYouMean(option.name, names, "--");
            if (line.command == nullptr) {
                return fail("unknown option " + Quoted(arg) +
                            (hint.empty() ? " (options of a command follow it)" : hint));
            }
            return fail(std::string(line.command->name) + " has no option " + Quoted(dashed) +
                        hint);
        }

        // The value: after '=', or the next argument; a flag takes none.
        std::string_view value;
        if (shape->valueName.empty()) {
            if (option.inlineValue) {
                return fail(dashed + " takes no value");
            }
        } else if (option.inlineValue) {
            value = *option.inlineValue;
        } else if (i + 1 < args.size()) {
            value = args[++i];
        } else {
            return fail(dashed + " needs a value (" + OptionHead(*shape) + ")");
        }

        if (global) {
            if (auto problem = kGlobalOptions[*global].store(line.globals, value)) {
                return fail(dashed + " " + *problem);
            }
            continue;
        }
        const bool givenBefore =
            std::any_of(line.options.begin(), line.options.end(),
                        [&own](const GivenOption& given) { return given.index == *own; });
        if (givenBefore && !shape->repeatable) {
            return fail(dashed + " is given twice");
        }
        line.options.push_back({*own, value});
    }

    if (line.command != nullptr && !line.help && !line.version) {
        const auto operands = line.command->operands;
        if (line.operands.size() < operands.size()) {
            return fail(std::string(line.command->name) + " needs " +
                        std::string(operands[line.operands.size()].name));
        }
        if (line.operands.size() > operands.size()) {
            return fail(std::string(line.command->name) + " does not take " +
                        Quoted(line.operands[operands.size()]));
        }
    }
    return line;
}

std::string ProgramHelp(std::span<const CommandRow* const> commands) {
    std::string text =
        "Usage: reader-tool [OPTIONS] COMMAND [ARGUMENTS]\n"
        "\n"
        "Dumps, verifies, writes and traces cartridges in the USB cartridge reader. Run without\n"
        "arguments from a console, it starts the shell.\n"
        "\n"
        "Commands:\n";
    for (const CommandRow* row : commands) {
        text += ListLine(CommandHead(*row), row->summary, kSummaryColumn);
    }
    // Appended piece by piece: GCC 12's restrict warning misfires on "\n" + text at -O3.
    text += '\n';
    text += GlobalOptionsHelp();
    text += '\n';
    text += kNumbersHelp;
    text += kExitStatusHelp;
    return text;
}

std::string CommandHelp(const CommandRow& command) {
    std::string text = "Usage: reader-tool ";
    text += command.name;
    if (!command.synopsis.empty()) {
        text += ' ';
        text += command.synopsis;
    }
    text += "\n\n";
    text += command.details;
    if (!command.options.empty()) {
        text += '\n';
        text += OptionLines(command.options, kOptionHelpColumn);
    }
    text += '\n';
    text += GlobalOptionsHelp();
    if (command.numbersHelp) {
        text += "\n";
        text += kNumbersHelp;
    }
    return text;
}

std::string CommandList(std::span<const CommandRow* const> commands) {
    std::string text = "Commands (COMMAND --help describes one):\n";
    for (const CommandRow* row : commands) {
        if (row->inShell) {
            text += ListLine(CommandHead(*row), row->summary, kSummaryColumn);
        }
    }
    text += ListLine("h", "this list", kSummaryColumn);
    text += ListLine("q", "quit", kSummaryColumn);
    text += "Options for every command:";
    for (const auto& option : kGlobalOptions) {
        text += (&option == kGlobalOptions.data() ? " " : ", ") + OptionHead(option.shape);
    }
    text += ".\n";
    return text;
}

}  // namespace reader::tool
