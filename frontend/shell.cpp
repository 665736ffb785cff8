// shell: the commands one per line, from a person at a console or from a script through a pipe.
#include <algorithm>
#include <array>
#include <initializer_list>
#include <optional>
#include <string>
#include <vector>

#include "frontend/commands.hpp"
#include "text/text.hpp"

namespace reader::tool {
namespace {

constexpr std::string_view kPrompt = "reader> ";

// Splits a line into words at blanks; double quotes keep blanks inside a word ("My Games\x.sfc").
// A backslash is an ordinary character, as in Windows paths. Nothing for an unclosed quote.
std::optional<std::vector<std::string>> SplitWords(std::string_view line) {
    std::vector<std::string> words;
    std::string word;
    bool inWord = false;
    bool quoted = false;
    for (const char c : line) {
        if (c == '"') {
            quoted = !quoted;
            inWord = true;
        } else if (!quoted && (c == ' ' || c == '\t')) {
            if (inWord) {
                words.push_back(std::move(word));
                word.clear();
                inWord = false;
            }
        } else {
            word += c;
            inWord = true;
        }
    }
    if (quoted) {
        return std::nullopt;
    }
    if (inWord) {
        words.push_back(std::move(word));
    }
    return words;
}

// Ctrl-C (or Ctrl-Break) that stops one command's transfer ends that command only; the other
// requests to stop (SIGTERM, a terminal or console that went away) end the shell too.
bool EndsOnlyTheCommand(StopSignal signal) {
    return signal == StopSignal::CtrlC || signal == StopSignal::CtrlBreak;
}

// The shell's own words, in any case ("Q", "Quit").
bool IsOneOf(std::string_view word, std::initializer_list<std::string_view> names) {
    return std::any_of(names.begin(), names.end(), [word](std::string_view name) {
        return text::SameIgnoringCase(word, name);
    });
}

bool IsQuit(std::string_view word) {
    return IsOneOf(word, {"q", "quit", "exit"});
}

bool IsHelp(std::string_view word) {
    return IsOneOf(word, {"h", "help", "?"});
}

// An error as the shell shows it: the help it points to is the shell's own (h, or a command's
// --help typed as a line), and a line of a script is named by its number so that it can be found.
ToolError ForTheShell(ToolError error, std::optional<std::size_t> lineNumber) {
    if (error.help == HelpPointer::Program) {
        error.help = HelpPointer::ShellList;
    } else if (error.help == HelpPointer::Command) {
        error.help = HelpPointer::ShellCommand;
    }
    if (lineNumber && !error.message.empty()) {
        error.message = "line " + std::to_string(*lineNumber) + ": " + error.message;
    }
    return error;
}

}  // namespace

Outcome RunShell(ToolContext& context, const ShellRequest& /*request*/) {
    const GlobalOptions shellGlobals = context.Globals();
    // A person at a terminal gets the prompt and sees each error as it comes; a script through a
    // pipe gets neither prompt nor greeting, and its errors name their lines.
    const bool interactive = context.Os().InputIsTerminal();
    if (interactive) {
        context.Out(VersionText() + ": type h[enter] for the commands, q[enter] to quit.\n");
    }
    bool anyFailed = false;
    Outcome ending;
    std::size_t lineNumber = 0;
    while (true) {
        const auto line = context.ReadLine(interactive ? kPrompt : std::string_view());
        // Ctrl-C at the prompt ends the shell (the wait for input returns at once).
        const auto signal = context.Os().Interruption();
        if (!line || signal) {
            if (interactive) {
                context.Out("\n");
            }
            if (signal && !EndsOnlyTheCommand(*signal)) {
                ending = InterruptedBy(*signal, ".");
            }
            break;
        }
        ++lineNumber;
        const auto shown = [&](ToolError error) {
            ReportOutcome(context,
                          ForTheShell(std::move(error),
                                      interactive ? std::nullopt : std::optional(lineNumber)));
        };
        const auto words = SplitWords(*line);
        if (!words) {
            ToolError error = UsageError("a quote is not closed in: " + *line, nullptr);
            shown(std::move(error));
            anyFailed = true;
            continue;
        }
        if (words->empty() || words->front().starts_with('#')) {
            continue;
        }
        const std::string& first = words->front();
        if (words->size() == 1 && IsQuit(first)) {
            break;
        }
        if (words->size() == 1 && IsHelp(first)) {
            context.Out(CommandList(Commands()));
            continue;
        }
        std::vector<std::string_view> args(words->begin(), words->end());
        if (words->size() == 2 && IsHelp(first)) {
            // "h dump": that command's help.
            args = {(*words)[1], "--help"};
        }
        const Outcome outcome = RunLine(context, args, true, shellGlobals);
        if (outcome) {
            shown(*outcome);
            anyFailed = true;
            if (outcome->signal && !EndsOnlyTheCommand(*outcome->signal)) {
                // Shown already; the shell's status is the signal's.
                ending = Interrupted(*outcome->signal, {});
                break;
            }
        }
        // A Ctrl-C that ended this command's transfer ends neither the shell nor the next one.
        context.Os().ClearInterrupt();
    }
    context.SetGlobals(shellGlobals);
    if (ending) {
        return ending;
    }
    if (anyFailed && !interactive) {
        // Each failed line showed its error; the script only fails. A person who quits has seen
        // them, and the shell they leave did its work.
        return Failure({});
    }
    return std::nullopt;
}

constexpr std::array<OptionBinding<ShellRequest>, 0> kShellOptions{};
constexpr std::array<OperandBinding<ShellRequest>, 0> kShellOperands{};

constexpr CommandRow kShellCommand = BoundRow<kShellOptions, kShellOperands, RunShell>({
    .name = "shell",
    .summary = "the commands one per line at a prompt (h lists them, q quits)",
    .details = "Reads commands one per line, without the program's name (\"info\", \"dump "
               "game.sfc\n--verify\"); h lists them, h COMMAND describes one, q quits. At a "
               "terminal the line\ncan be edited (the arrow keys, Ctrl-A, Ctrl-E) and the up "
               "arrow brings back earlier\nlines. A script can come through a pipe: an error "
               "names its line, and the exit status\nis 1 when any of its commands failed. "
               "Ctrl-C ends the command it interrupts, not the\nshell. Run without arguments "
               "from a console, reader-tool starts the shell.\n",
    .inShell = false,
});

}  // namespace reader::tool
