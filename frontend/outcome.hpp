// Errors as values. A command and everything below it return what went wrong instead of printing
// it; one place (ReportOutcome in tool.cpp) prints the error and picks the exit status, so an
// interruption stays distinguishable from a failure and a usage error from both.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <variant>

#include "frontend/tool_os.hpp"

namespace reader::tool {

struct CommandRow;

enum class ErrorKind : std::uint8_t {
    Usage,        // the command line is wrong: exit status 2
    Failure,      // the work failed: exit status 1
    Interrupted,  // a request to stop ended the work: exit status 128 + its signal number
};

// Which help the error line points to.
enum class HelpPointer : std::uint8_t {
    None,
    Program,       // "Try 'reader-tool --help'."
    Command,       // "Try 'reader-tool dump --help'."
    ShellList,     // in the shell: "Type h for the commands."
    ShellCommand,  // in the shell: "Type 'dump --help' for its options, h for the commands."
    ProgramText,   // the program's whole help instead of a message (run with nothing to do)
};

struct ToolError {
    ErrorKind kind = ErrorKind::Failure;
    // What failed, why and what to do: one sentence or two, without the program's name. A
    // message that points to a help leaves its last sentence open: the pointer ends it. Empty
    // when it was shown already (the shell's own outcome after its lines failed).
    std::string message;
    HelpPointer help = HelpPointer::None;
    const CommandRow* command = nullptr;  // whose help, with HelpPointer::Command
    std::optional<StopSignal> signal;     // with ErrorKind::Interrupted
};

// What a command line came to: nothing when it succeeded.
using Outcome = std::optional<ToolError>;

// A usage error pointing to the command's help, or to the program's when command is nullptr.
ToolError UsageError(std::string message, const CommandRow* command);
ToolError Failure(std::string message);
ToolError Interrupted(StopSignal signal, std::string message);
// "interrupted by Ctrl-C (SIGINT)" and the rest of the sentence after it.
ToolError InterruptedBy(StopSignal signal, std::string_view rest);

// A value, or the error that stopped it from being made.
template <class T>
class Expected {
  public:
    Expected(T value) : held_(std::move(value)) {}          // NOLINT: implicit by design
    Expected(ToolError error) : held_(std::move(error)) {}  // NOLINT: implicit by design

    explicit operator bool() const { return std::holds_alternative<T>(held_); }
    T& operator*() { return std::get<T>(held_); }
    const T& operator*() const { return std::get<T>(held_); }
    T* operator->() { return &std::get<T>(held_); }
    const T* operator->() const { return &std::get<T>(held_); }
    const ToolError& Error() const { return std::get<ToolError>(held_); }

  private:
    std::variant<T, ToolError> held_;
};

}  // namespace reader::tool
