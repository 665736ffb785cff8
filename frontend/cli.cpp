#include "frontend/cli.hpp"

#include <algorithm>
#include <array>
#include <cctype>
#include <charconv>
#include <limits>

namespace reader::tool {
namespace {

struct OptionRule {
    std::string_view name;
    bool takesValue;
};

struct CommandRule {
    CommandId id;
    std::string_view name;
    std::size_t minOperands;
    std::size_t maxOperands;
    std::span<const OptionRule> options;
    std::string_view synopsis;  // operands and options, after the name
    std::string_view summary;   // one line for the lists
    std::string_view details;   // the rest of its --help
};

constexpr std::array<OptionRule, 5> kDumpOptions = {{
    {"start", true},
    {"size", true},
    {"verify", false},
    {"force", false},
    {"byte-order", true},
}};
constexpr std::array<OptionRule, 2> kWriteOptions = {{{"start", true}, {"verify", false}}};
constexpr std::array<OptionRule, 1> kTraceOptions = {{{"from", true}}};

constexpr std::array<CommandRule, 8> kCommands = {{
    {CommandId::Info,
     "info",
     0,
     0,
     {},
     "",
     "the reader: drive, identity, variant, ROM window, what it offers",
     "Finds the reader and shows its drive, its identity, its variant, the ROM window it\n"
     "reports and the operations it offers.\n"},
    {CommandId::Dump, "dump", 1, 1, kDumpOptions,
     "OUT [--start ADDR] [--size N] [--verify] [--force] [--byte-order ORDER]",
     "reads the cartridge into the file OUT and reports on the image",
     "Reads the cartridge through the reader into the file OUT, then prints the dump report\n"
     "(size, CRC32, SHA-1 and, for N64 and SFC cartridges, what their headers say).\n"
     "\n"
     "  --start ADDR   first cartridge address (default 0x10000000 for N64, 0x8000 for FC2\n"
     "                 and NES, otherwise 0)\n"
     "  --size N       how many bytes. SFC: from the cartridge's internal header when it has\n"
     "                 a plausible one; FC2 and NES: up to the end of the 6502's address\n"
     "                 space (0xFFFF); HND, N64 and PCE cartridges do not tell their size,\n"
     "                 so give it\n"
     "  --verify       reads everything a second time and compares: a difference (a dirty\n"
     "                 contact, a loose cartridge) names the first address and leaves OUT\n"
     "                 unwritten\n"
     "  --force        replaces OUT if it exists (otherwise it is kept)\n"
     "  --byte-order ORDER\n"
     "                 N64 only: big-endian (z64, the default), byte-swapped (v64) or\n"
     "                 little-endian (n64)\n"
     "\n"
     "OUT appears only once the whole dump is on the disk: a failed read, a reader that goes\n"
     "away, a full disk or Ctrl-C leave no partial file under its name.\n"},
    {CommandId::Write, "write", 1, 1, kWriteOptions, "IN --start ADDR [--verify]",
     "writes the file IN to the cartridge (SFC, FC2, NES, PCE readers)",
     "Writes the bytes of the file IN to the cartridge from ADDR on. The SFC, FC2, NES and\n"
     "PCE readers can write; the HND and N64 readers cannot.\n"
     "\n"
     "  --start ADDR   the cartridge address of the file's first byte\n"
     "  --verify       reads the bytes back afterwards and names the first address that\n"
     "                 differs\n"},
    {CommandId::Status,
     "status",
     0,
     0,
     {},
     "",
     "the cartridge status report (FC2, NES readers)",
     "Prints the cartridge status report: the MISC byte, its IRQ and VRAM/CS bits and the\n"
     "mirroring (FC2 and NES readers).\n"},
    {CommandId::Control,
     "control",
     1,
     1,
     {},
     "VALUE",
     "sends a control value, 0 to 255, to the reader (FC2, NES readers)",
     "Sends one control value, 0 to 255, to the reader (FC2 and NES readers).\n"},
    {CommandId::Trace, "trace", 1, 1, kTraceOptions, "ADDR [--from FILE]",
     "ten 6502 trace lines from ADDR (SFC, FC2, NES, PCE readers)",
     "Disassembles 6502 code: ten trace lines from ADDR (at most 0xFF00), of the 256 bytes\n"
     "at ADDR of the cartridge (SFC, FC2, NES and PCE readers).\n"
     "\n"
     "  --from FILE    the first 256 bytes of FILE, placed at ADDR, instead of the cartridge;\n"
     "                 needs no reader (a shorter file is followed by zeros)\n"},
    {CommandId::Check,
     "check",
     1,
     1,
     {},
     "FILE",
     "the dump report of an image on disk (needs no reader)",
     "Prints the dump report of an image file: size, CRC32, SHA-1 and, for N64 and SFC\n"
     "images (recognised from their content), what their headers say. Needs no reader.\n"},
    {CommandId::Shell,
     "shell",
     0,
     0,
     {},
     "",
     "the commands one per line at a prompt (h lists them, q quits)",
     "Reads commands one per line, without the program's name (\"info\", \"dump game.sfc\n"
     "--verify\"); h lists them, q quits. A script can come through a pipe: the exit status\n"
     "is then 1 when any of its commands failed. Run without arguments from a console,\n"
     "reader-tool starts the shell.\n"},
}};

constexpr std::string_view kGlobalOptionsHelp =
    "  --drive LETTER   looks for the reader on this drive only (default: drives D: to Z:)\n"
    "  --fc-mode N      the FC2 reader's set-up mode flag, 0 or 1 (default 0)\n"
    "  --quiet          no progress display\n"
    "  --help           this text; COMMAND --help describes one command\n"
    "  --version        the program's version\n";

constexpr std::string_view kNumbersHelp =
    "ADDR, N and VALUE are decimal or hexadecimal (0x8000); sizes may end in K or M (256K, "
    "4M).\n";

// The column where the summaries of a command list begin.
constexpr std::size_t kSummaryColumn = 27;

const CommandRule& RuleOf(CommandId id) {
    return *std::find_if(kCommands.begin(), kCommands.end(),
                         [id](const CommandRule& rule) { return rule.id == id; });
}

std::string ListLine(std::string_view head, std::string_view summary) {
    std::string line = "  ";
    line += head;
    if (line.size() + 1 > kSummaryColumn) {
        line += "\n";
        line += std::string(kSummaryColumn, ' ');
    } else {
        line += std::string(kSummaryColumn - line.size(), ' ');
    }
    line += summary;
    line += "\n";
    return line;
}

std::string CommandHead(const CommandRule& rule) {
    std::string head(rule.name);
    if (rule.id == CommandId::Dump) {
        head += " OUT [options]";
    } else if (!rule.synopsis.empty()) {
        head += " ";
        head += rule.synopsis;
    }
    return head;
}

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

std::optional<char> ParseDriveLetter(std::string_view text) {
    if (text.size() == 2 && text[1] == ':') {
        text.remove_suffix(1);
    }
    if (text.size() != 1 || std::isalpha(static_cast<unsigned char>(text[0])) == 0) {
        return std::nullopt;
    }
    return static_cast<char>(std::toupper(static_cast<unsigned char>(text[0])));
}

}  // namespace

std::optional<std::uint64_t> ParseNumber(std::string_view text, bool allowSizeSuffix) {
    std::uint64_t multiplier = 1;
    if (allowSizeSuffix && !text.empty()) {
        std::string_view suffix;
        for (const std::string_view candidate : {"KiB", "MiB", "K", "M", "k", "m"}) {
            if (text.size() > candidate.size() && text.ends_with(candidate)) {
                suffix = candidate;
                break;
            }
        }
        if (!suffix.empty()) {
            multiplier =
                std::tolower(static_cast<unsigned char>(suffix[0])) == 'k' ? 1024u : 1024u * 1024u;
            text.remove_suffix(suffix.size());
        }
    }
    int base = 10;
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        base = 16;
        text.remove_prefix(2);
    }
    // The whole text must be the number; from_chars refuses signs, blanks and values past 64 bits.
    std::uint64_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value, base);
    if (error != std::errc{} || end != text.data() + text.size()) {
        return std::nullopt;
    }
    if (value > std::numeric_limits<std::uint64_t>::max() / multiplier) {
        return std::nullopt;
    }
    return value * multiplier;
}

std::string_view CommandName(CommandId command) {
    return RuleOf(command).name;
}

std::optional<CommandId> CommandNamed(std::string_view name) {
    for (const CommandRule& rule : kCommands) {
        if (rule.name == name) {
            return rule.id;
        }
    }
    return std::nullopt;
}

std::optional<CommandLine> ParseCommandLine(std::span<const std::string_view> args,
                                            UsageError& error, const GlobalOptions& defaults) {
    CommandLine line;
    line.globals = defaults;
    const CommandRule* rule = nullptr;
    bool optionsEnded = false;
    auto fail = [&](std::string message) {
        error.message = std::move(message);
        error.command = line.command;
        return std::nullopt;
    };

    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string_view arg = args[i];
        if (optionsEnded || !IsOption(arg)) {
            if (rule == nullptr) {
                const auto command = CommandNamed(arg);
                if (!command) {
                    return fail("unknown command " + Quoted(arg));
                }
                line.command = command;
                rule = &RuleOf(*command);
            } else {
                line.operands.emplace_back(arg);
            }
            continue;
        }
        if (arg == "--") {
            optionsEnded = true;
            continue;
        }
        if (arg == "-h" || arg == "--help") {
            line.help = true;
            continue;
        }
        if (!arg.starts_with("--")) {
            return fail("unknown option " + Quoted(arg));
        }
        const SplitOption option = SplitLong(arg);
        // The value of an option that takes one: after '=', or the next argument.
        auto value = [&]() -> std::optional<std::string_view> {
            if (option.inlineValue) {
                return option.inlineValue;
            }
            if (i + 1 < args.size()) {
                return args[++i];
            }
            return std::nullopt;
        };

        if (option.name == "version" || option.name == "quiet") {
            if (option.inlineValue) {
                return fail("--" + std::string(option.name) + " takes no value");
            }
            (option.name == "version" ? line.version : line.globals.quiet) = true;
            continue;
        }
        if (option.name == "drive") {
            const auto text = value();
            if (!text) {
                return fail("--drive needs a drive letter");
            }
            const auto letter = ParseDriveLetter(*text);
            if (!letter) {
                return fail("--drive takes one drive letter (E or E:), not " + Quoted(*text));
            }
            line.globals.drive = letter;
            continue;
        }
        if (option.name == "fc-mode") {
            const auto text = value();
            if (!text) {
                return fail("--fc-mode needs a value, 0 or 1");
            }
            const auto mode = ParseNumber(*text, false);
            if (!mode || *mode > 1) {
                return fail("--fc-mode takes 0 or 1, not " + Quoted(*text));
            }
            line.globals.fcMode = static_cast<int>(*mode);
            continue;
        }

        const OptionRule* known = nullptr;
        if (rule != nullptr) {
            for (const OptionRule& candidate : rule->options) {
                if (candidate.name == option.name) {
                    known = &candidate;
                }
            }
        }
        if (known == nullptr) {
            if (rule == nullptr) {
                return fail("unknown option " + Quoted(arg) + " (options of a command follow it)");
            }
            return fail(std::string(rule->name) + " has no option " +
                        Quoted("--" + std::string(option.name)));
        }
        std::string stored;
        if (known->takesValue) {
            const auto text = value();
            if (!text) {
                return fail("--" + std::string(option.name) + " needs a value");
            }
            stored = std::string(*text);
        } else if (option.inlineValue) {
            return fail("--" + std::string(option.name) + " takes no value");
        }
        if (line.Has(option.name)) {
            return fail("--" + std::string(option.name) + " is given twice");
        }
        line.options.emplace(std::string(option.name), std::move(stored));
    }

    if (rule != nullptr && !line.help) {
        if (line.operands.size() < rule->minOperands) {
            const std::string_view synopsis = rule->synopsis;
            return fail(std::string(rule->name) + " needs " +
                        std::string(synopsis.substr(0, synopsis.find(' '))));
        }
        if (line.operands.size() > rule->maxOperands) {
            return fail(std::string(rule->name) + " does not take " +
                        Quoted(line.operands[rule->maxOperands]));
        }
    }
    return line;
}

std::string ProgramHelp() {
    std::string text =
        "Usage: reader-tool [OPTIONS] COMMAND [ARGUMENTS]\n"
        "\n"
        "Dumps, verifies, writes and traces cartridges in the USB cartridge reader. Run without\n"
        "arguments from a console, it starts the shell.\n"
        "\n"
        "Commands:\n";
    for (const CommandRule& rule : kCommands) {
        text += ListLine(CommandHead(rule), rule.summary);
    }
    text += "\nOptions for every command:\n";
    text += kGlobalOptionsHelp;
    text += "\n";
    text += kNumbersHelp;
    text += "Exit status: 0 success, 1 failure, 2 wrong usage.\n";
    return text;
}

std::string CommandHelp(CommandId command) {
    const CommandRule& rule = RuleOf(command);
    std::string text = "Usage: reader-tool ";
    text += rule.name;
    if (!rule.synopsis.empty()) {
        text += ' ';
        text += rule.synopsis;
    }
    text += "\n\n";
    text += rule.details;
    text += "\nOptions for every command:\n";
    text += kGlobalOptionsHelp;
    if (command != CommandId::Shell && command != CommandId::Info && command != CommandId::Status &&
        command != CommandId::Check) {
        text += "\n";
        text += kNumbersHelp;
    }
    return text;
}

std::string CommandList() {
    std::string text = "Commands (COMMAND --help describes one):\n";
    for (const CommandRule& rule : kCommands) {
        if (rule.id != CommandId::Shell) {
            text += ListLine(CommandHead(rule), rule.summary);
        }
    }
    text += ListLine("h", "this list");
    text += ListLine("q", "quit");
    text += "Options for every command: --drive LETTER, --fc-mode N, --quiet.\n";
    return text;
}

}  // namespace reader::tool
