// shell: the commands one per line, from a person at a console or from a script through a pipe.
#include <array>
#include <optional>
#include <string>
#include <vector>

#include "frontend/commands.hpp"

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

}  // namespace

Outcome RunShell(ToolContext& context, const ShellRequest& /*request*/) {
    const GlobalOptions shellGlobals = context.Globals();
    const bool interactive = context.Os().InputIsTerminal();
    if (interactive) {
        context.Out(VersionText() + ": type h[enter] for the commands, q[enter] to quit.\n");
    }
    bool anyFailed = false;
    Outcome ending;
    while (true) {
        if (interactive) {
            context.Out(kPrompt);
        }
        const auto line = context.ReadLine();
        // Ctrl-C at the prompt ends the shell (the wait for input returns at once).
        const auto signal = context.Os().Interruption();
        if (!line || signal) {
            if (interactive) {
                context.Out("\n");
            }
            if (signal && !EndsOnlyTheCommand(*signal)) {
                ending = Interrupted(*signal,
                                     "interrupted by " + std::string(SignalName(*signal)) + ".");
            }
            break;
        }
        const auto words = SplitWords(*line);
        if (!words) {
            ToolError error = UsageError("a quote is not closed in: " + *line, nullptr);
            error.help = HelpPointer::ShellList;
            ReportOutcome(context, error);
            anyFailed = true;
            continue;
        }
        if (words->empty() || words->front().starts_with('#')) {
            continue;
        }
        const std::string& first = words->front();
        if (words->size() == 1 && (first == "q" || first == "quit" || first == "exit")) {
            break;
        }
        if (words->size() == 1 && (first == "h" || first == "help" || first == "?")) {
            context.Out(CommandList(Commands()));
            continue;
        }
        const std::vector<std::string_view> args(words->begin(), words->end());
        const Outcome outcome = RunLine(context, args, true, shellGlobals);
        ReportOutcome(context, outcome);
        if (outcome) {
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
    if (anyFailed) {
        // Each failed line showed its error; the shell only fails.
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
               "game.sfc\n--verify\"); h lists them, q quits. A script can come through a pipe: "
               "the exit status\nis then 1 when any of its commands failed. Ctrl-C ends the "
               "command it interrupts, not\nthe shell. Run without arguments from a console, "
               "reader-tool starts the shell.\n",
    .inShell = false,
});

}  // namespace reader::tool
