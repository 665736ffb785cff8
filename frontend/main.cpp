// reader-tool: binds the process's standard streams to the tool and runs it.
#include <cerrno>
#include <cstdio>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "frontend/tool.hpp"
#include "frontend/tool_os.hpp"

namespace {

// A closed pipe (SIGPIPE is ignored) or a full disk is reported, not ignored: the tool drops the
// rest of its output and says so at the end.
reader::tool::StreamWrite WriteOut(std::string_view text) {
    using Result = reader::tool::StreamWrite::Result;
    // A redirected report on Windows ends its lines as Windows text does.
    static const bool crLf = reader::tool::StandardOutputWantsCrLf();
    static bool afterCr = false;
    std::string converted;
    if (crLf) {
        converted = reader::tool::WithCrLf(text, afterCr);
        text = converted;
    }
    errno = 0;
    const std::size_t written = std::fwrite(text.data(), 1, text.size(), stdout);
    if (std::fflush(stdout) == 0 && written == text.size()) {
        return {};
    }
    const int error = errno;
    std::clearerr(stdout);
    if (error == 0) {
        return {Result::Failed, "the stream took only part of the text"};
    }
    auto described = reader::tool::DescribeOutputError(error);
    return {described.closed ? Result::Closed : Result::Failed, std::move(described.reason)};
}

void WriteErr(std::string_view text) {
    // What was printed before goes out before the error, on a console that shows both.
    std::fflush(stdout);
    std::fwrite(text.data(), 1, text.size(), stderr);
    std::fflush(stderr);
}

std::optional<std::string> ReadLine(std::string_view prompt) {
    if (!prompt.empty()) {
        // A person at a terminal: the line editor shows the prompt and edits the line, where
        // there is one; otherwise the prompt goes out before the plain read below.
        if (reader::tool::LineEditor* editor = reader::tool::TerminalLineEditor()) {
            return editor->ReadLine(prompt);
        }
        (void)WriteOut(prompt);
    }
    std::string line;
    bool any = false;
    for (int c = std::getchar(); c != EOF; c = std::getchar()) {
        any = true;
        if (c == '\n') {
            break;
        }
        line += static_cast<char>(c);
    }
    if (!any) {
        std::clearerr(stdin);
        return std::nullopt;
    }
    if (!line.empty() && line.back() == '\r') {
        line.pop_back();
    }
    return line;
}

}  // namespace

int main(int argc, char** argv) {
    const std::vector<std::string_view> args(argv + 1, argv + argc);
    const reader::tool::ToolStreams streams{WriteOut, WriteErr, ReadLine};
    reader::tool::WatchInterrupts();
    return reader::tool::RunTool(args, streams, reader::tool::NativeToolOs());
}
