#include "frontend/tool.hpp"

#include "drivers/device_library.hpp"
#include "frontend/commands.hpp"
#include "frontend/context.hpp"
#include "platform/host.hpp"
#include "reader_version.hpp"

namespace reader::tool {
namespace {

void ToolNotice(const char* text, void* context) {
    static_cast<const ToolContext*>(context)->Notice(text);
}

// The device library's notices go to the tool's standard error while a run lasts.
class ScopedNotices {
  public:
    explicit ScopedNotices(ToolContext& context) { SetNoticeSink(ToolNotice, &context); }
    ~ScopedNotices() { SetNoticeSink(nullptr, nullptr); }
    ScopedNotices(const ScopedNotices&) = delete;
    ScopedNotices& operator=(const ScopedNotices&) = delete;
};

// What follows a message that points to a help: the end of its sentence and the pointer.
std::string HelpHint(const ToolError& error) {
    switch (error.help) {
        case HelpPointer::Program:
            return ". Try 'reader-tool --help'.";
        case HelpPointer::Command:
            return ". Try 'reader-tool " + std::string(error.command->name) + " --help'.";
        case HelpPointer::ShellList:
            return ". Type h for the commands.";
        case HelpPointer::ShellCommand:
            return ". Type '" + std::string(error.command->name) +
                   " --help' for its options, h for the commands.";
        case HelpPointer::None:
        case HelpPointer::ProgramText:
            break;
    }
    return {};
}

// The line that closes a run whose standard output failed: what happened to it, and whether the
// files the run was to write are there.
std::string OutputFailureLine(const ToolContext& context) {
    const StreamWrite& failure = *context.OutputFailure();
    std::string line = failure.result == StreamWrite::Result::Closed
                           ? "standard output was closed before everything was written to it"
                           : "writing standard output failed";
    if (!failure.reason.empty()) {
        line += " (" + failure.reason + ")";
    }
    for (const ToolContext::OutputFile& file : context.OutputFiles()) {
        line += "; " + file.path + (file.written ? " was written" : " was not written");
    }
    line += failure.result == StreamWrite::Result::Closed
                ? "."
                : ". Check the disk or the device that standard output goes to.";
    return line;
}

}  // namespace

std::string VersionText() {
    return std::string("reader-tool ") + std::string(kReaderVersion);
}

ToolError UsageError(std::string message, const CommandRow* command) {
    return {ErrorKind::Usage,
            std::move(message),
            command != nullptr ? HelpPointer::Command : HelpPointer::Program,
            command,
            {}};
}

ToolError Failure(std::string message) {
    return {ErrorKind::Failure, std::move(message), HelpPointer::None, nullptr, {}};
}

ToolError Interrupted(StopSignal signal, std::string message) {
    return {ErrorKind::Interrupted, std::move(message), HelpPointer::None, nullptr, signal};
}

ToolError InterruptedBy(StopSignal signal, std::string_view rest) {
    return Interrupted(signal,
                       "interrupted by " + std::string(SignalName(signal)) + std::string(rest));
}

namespace {

int ExitStatusOf(const Outcome& outcome) {
    if (!outcome) {
        return kExitSuccess;
    }
    switch (outcome->kind) {
        case ErrorKind::Usage:
            return kExitUsage;
        case ErrorKind::Failure:
            break;
        case ErrorKind::Interrupted:
            return outcome->signal ? kExitSignalBase + SignalNumber(*outcome->signal)
                                   : kExitFailure;
    }
    return kExitFailure;
}

}  // namespace

int ReportOutcome(const ToolContext& context, const Outcome& outcome) {
    if (outcome) {
        if (outcome->help == HelpPointer::ProgramText) {
            context.Err(ProgramHelp(Commands()));
        } else if (!outcome->message.empty()) {
            context.Err("reader-tool: " + outcome->message + HelpHint(*outcome) + "\n");
        }
    }
    return ExitStatusOf(outcome);
}

Outcome RunLine(ToolContext& context, std::span<const std::string_view> args, bool inShell,
                const GlobalOptions& defaults) {
    const auto line = ParseCommandLine(args, Commands(), defaults);
    if (!line) {
        return line.Error();
    }
    if (line->version) {
        context.Out(VersionText() + "\n");
        return std::nullopt;
    }
    if (line->help) {
        context.Out(line->command != nullptr ? CommandHelp(*line->command)
                                             : ProgramHelp(Commands()));
        return std::nullopt;
    }
    if (line->command == nullptr) {
        std::string names;
        for (const CommandRow* row : Commands()) {
            names += (names.empty() ? "" : ", ") + std::string(row->name);
        }
        return UsageError("no command given: name one of " + names, nullptr);
    }
    if (inShell && !line->command->inShell) {
        return UsageError("the shell is running already", nullptr);
    }
    context.SetGlobals(line->globals);
    return line->command->run(context, *line);
}

int RunTool(std::span<const std::string_view> args, const ToolStreams& streams, ToolOs& os) {
    ToolContext context(streams, os, platform::ActiveHost());
    const platform::ScopedHost installed(context.Host());
    const ScopedNotices notices(context);
    Outcome outcome;
    if (!args.empty()) {
        outcome = RunLine(context, args, false, {});
    } else if (os.InputIsTerminal()) {
        // Started from a console with nothing to do (double-clicked, on Windows): the shell, so
        // the window does not close at once.
        outcome = RunShell(context, {});
    } else {
        // Anywhere else no arguments are a mistake.
        outcome = ToolError{ErrorKind::Usage, {}, HelpPointer::ProgramText, nullptr, {}};
    }
    int status = ReportOutcome(context, outcome);
    if (context.OutputFailure()) {
        context.Err("reader-tool: " + OutputFailureLine(context) + "\n");
        if (status == kExitSuccess) {
            status = kExitFailure;
        }
    }
    return status;
}

}  // namespace reader::tool
