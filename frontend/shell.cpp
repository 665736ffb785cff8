// shell: the commands one per line, from a person at a console or from a script through a pipe.
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

}  // namespace

int RunShell(ToolContext& context) {
    const GlobalOptions shellGlobals = context.Globals();
    const bool interactive = context.Os().InputIsTerminal();
    if (interactive) {
        context.Out(VersionText() + ": type h[enter] for the commands, q[enter] to quit.\n");
    }
    bool anyFailed = false;
    while (true) {
        if (interactive) {
            context.Out(kPrompt);
        }
        const auto line = context.ReadLine();
        // Ctrl-C at the prompt ends the shell (the wait for input returns at once).
        if (!line || context.Os().InterruptRequested()) {
            if (interactive) {
                context.Out("\n");
            }
            break;
        }
        const auto words = SplitWords(*line);
        if (!words) {
            context.Usage("a quote is not closed in: " + *line, std::nullopt);
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
            context.Out(CommandList());
            continue;
        }
        const std::vector<std::string_view> args(words->begin(), words->end());
        if (RunArguments(context, args, true, shellGlobals) != kExitSuccess) {
            anyFailed = true;
        }
        // A Ctrl-C that ended this command's transfer ends neither the shell nor the next one.
        context.Os().ClearInterrupt();
    }
    context.SetGlobals(shellGlobals);
    return anyFailed ? kExitFailure : kExitSuccess;
}

}  // namespace reader::tool
