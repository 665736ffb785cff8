#include "frontend/tool.hpp"

#include "frontend/commands.hpp"
#include "frontend/context.hpp"
#include "frontend/tool_host.hpp"
#include "platform/host.hpp"
#include "reader_version.hpp"

namespace reader::tool {

std::string VersionText() {
    return std::string("reader-tool ") + std::string(kReaderVersion);
}

int RunArguments(ToolContext& context, std::span<const std::string_view> args, bool inShell,
                 const GlobalOptions& defaults) {
    UsageError error;
    const auto line = ParseCommandLine(args, error, defaults);
    if (!line) {
        return context.Usage(error.message, error.command);
    }
    if (line->version) {
        context.Out(VersionText() + "\n");
        return kExitSuccess;
    }
    if (line->help) {
        context.Out(line->command ? CommandHelp(*line->command) : ProgramHelp());
        return kExitSuccess;
    }
    if (!line->command) {
        return context.Usage("no command given", std::nullopt);
    }
    context.SetGlobals(line->globals);
    switch (*line->command) {
        case CommandId::Info:
            return RunInfo(context, *line);
        case CommandId::Dump:
            return RunDump(context, *line);
        case CommandId::Write:
            return RunWrite(context, *line);
        case CommandId::Status:
            return RunStatus(context, *line);
        case CommandId::Control:
            return RunControl(context, *line);
        case CommandId::Trace:
            return RunTrace(context, *line);
        case CommandId::Check:
            return RunCheck(context, *line);
        case CommandId::Shell:
            if (inShell) {
                return context.Usage("the shell is running already", CommandId::Shell);
            }
            return RunShell(context);
    }
    return kExitFailure;
}

int RunTool(std::span<const std::string_view> args, const ToolStreams& streams, ToolOs& os) {
    ToolHost host(platform::ActiveHost(), streams.out);
    const platform::ScopedHost installed(host);
    ToolContext context(streams, os, host);
    if (args.empty()) {
        // Started from a console with nothing to do (double-clicked, on Windows): the shell, so
        // the window does not close at once. Anywhere else no arguments are a mistake.
        if (os.InputIsTerminal()) {
            return RunShell(context);
        }
        context.Err(ProgramHelp());
        return kExitUsage;
    }
    return RunArguments(context, args, false, {});
}

}  // namespace reader::tool
