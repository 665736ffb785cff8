// reader-tool's command line: the global options, the commands as rows of data, the parser and
// the help texts made from the rows.
//
// A command is one CommandRow: its name, synopsis, summary, help text, options, operands and
// handler. Each command declares a request struct and binds its options and operands to the
// members of it (OptionBinding, with StoreFlag, StoreNumber, StoreText, StoreAppend or a function
// of its own); BoundRow makes the row, and the handler receives the filled request. A misspelt
// member does not compile, and the parser and the help see the same options the handler gets.
//
// Parsing only checks the shape of the line (known names, the right number of operands, values
// where values belong, numbers that are numbers); each command checks what its values mean.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

#include "frontend/outcome.hpp"

namespace reader::tool {

class ToolContext;

struct GlobalOptions {
    std::optional<char> drive;          // --drive E: probe this letter only (upper case)
    std::optional<std::string> folder;  // --drive PATH: the reader's files are in this folder
    int fcMode = 0;                     // --fc-mode: the FC2 reader's set-up mode flag
    bool quiet = false;                 // --quiet: no progress display, no "Init" notice
};

// An option as the parser and the help see it.
struct OptionShape {
    std::string_view name = {};       // without the dashes
    std::string_view valueName = {};  // "ADDR"; empty for a flag
    std::string_view help = {};       // its lines in the command's help, '\n' between them
    bool repeatable = false;          // may be given more than once; each value reaches the request
};

// An operand as the parser and the help see it; every one is required.
struct OperandShape {
    std::string_view name = {};  // "OUT", as the synopsis and the messages name it
};

struct CommandLine;

struct CommandRow {
    std::string_view name = {};
    std::string_view synopsis = {};  // after the name in its usage line: operands and options
    std::string_view listHead = {};  // after the name in the command lists; empty: the synopsis
    std::string_view summary = {};   // one line for the lists
    std::string_view details = {};   // its --help between the usage line and the options
    bool numbersHelp = false;        // its help says how numbers are written
    bool inShell = true;             // it may be a line of the shell
    std::span<const OptionShape> options = {};
    std::span<const OperandShape> operands = {};
    // Fills the command's request from the line and runs the command.
    Outcome (*run)(ToolContext& context, const CommandLine& line) = nullptr;
};

// An option of the command given on the line: its index in the row's options and its value
// (empty for a flag).
struct GivenOption {
    std::size_t index;
    std::string_view value;
};

// One parsed line. The views point into the arguments it was parsed from.
struct CommandLine {
    GlobalOptions globals;
    bool help = false;
    bool version = false;
    const CommandRow* command = nullptr;
    std::vector<std::string_view> operands;
    std::vector<GivenOption> options;  // in the order given
};

// Parses the arguments that follow the program name against the commands. Global options may
// stand anywhere and start from defaults (the shell's lines inherit those of the shell's own
// command line); "--" ends the options. Reentrant: the shell parses each of its lines with it.
Expected<CommandLine> ParseCommandLine(std::span<const std::string_view> args,
                                       std::span<const CommandRow* const> commands,
                                       const GlobalOptions& defaults = {});

// Checks a number's text for an option or operand (read by text::ReadNumber: decimal or 0x
// hexadecimal, and with sizes a K or M after it): nothing and the value, or what is wrong with
// it, to follow the option's name ("takes a number ...", "0x100000000 is too large ...").
std::optional<std::string> CheckNumber(std::string_view text, std::uint64_t most,
                                       bool allowSizeSuffix, std::uint64_t& value);

// The program's --help text, one command's, and the command list that the shell's h prints.
std::string ProgramHelp(std::span<const CommandRow* const> commands);
std::string CommandHelp(const CommandRow& command);
std::string CommandList(std::span<const CommandRow* const> commands);

// --- binding options and operands to a command's request ---------------------------------------

// Stores the text of an option or operand in the request: nothing, or what is wrong with it.
template <class Request>
using Store = std::optional<std::string> (*)(Request& request, std::string_view text);

template <class Request>
struct OptionBinding {
    OptionShape shape;
    Store<Request> store;
};

template <class Request>
struct OperandBinding {
    OperandShape shape;
    Store<Request> store;
};

template <class T>
struct MemberPointer;
template <class Class, class Type>
struct MemberPointer<Type Class::*> {
    using Owner = Class;
};
template <auto Member>
using OwnerOf = typename MemberPointer<decltype(Member)>::Owner;

// A flag: the member becomes true.
template <auto Member>
std::optional<std::string> StoreFlag(OwnerOf<Member>& request, std::string_view /*text*/) {
    request.*Member = true;
    return std::nullopt;
}

// Text as it is (a file name, "-" included).
template <auto Member>
std::optional<std::string> StoreText(OwnerOf<Member>& request, std::string_view text) {
    request.*Member = std::string(text);
    return std::nullopt;
}

// A repeatable option: each value is appended to a vector of strings.
template <auto Member>
std::optional<std::string> StoreAppend(OwnerOf<Member>& request, std::string_view text) {
    (request.*Member).emplace_back(text);
    return std::nullopt;
}

// A number of at most Most; with Sizes it may end in K or M.
template <auto Member, std::uint64_t Most, bool Sizes>
std::optional<std::string> StoreNumber(OwnerOf<Member>& request, std::string_view text) {
    std::uint64_t value = 0;
    if (auto problem = CheckNumber(text, Most, Sizes, value)) {
        return problem;
    }
    request.*Member = value;
    return std::nullopt;
}

template <class Handler>
struct HandlerTraits;
template <class Request>
struct HandlerTraits<Outcome (*)(ToolContext&, const Request&)> {
    using RequestType = Request;
};

// The shapes of an array of bindings, in their order.
template <auto& Bindings>
constexpr auto ShapesOf() {
    using Array = std::remove_cvref_t<decltype(Bindings)>;
    using Shape = decltype(Array::value_type::shape);
    std::array<Shape, std::tuple_size_v<Array>> shapes{};
    for (std::size_t i = 0; i < shapes.size(); ++i) {
        shapes[i] = Bindings[i].shape;
    }
    return shapes;
}
template <auto& Bindings>
inline constexpr auto kShapesOf = ShapesOf<Bindings>();

// Fills a fresh request from the line through the bindings, then calls the handler with it.
template <auto& Options, auto& Operands, auto Handler>
Outcome BindAndRun(ToolContext& context, const CommandLine& line) {
    using Request = typename HandlerTraits<decltype(Handler)>::RequestType;
    Request request{};
    if constexpr (!Operands.empty()) {
        for (std::size_t i = 0; i < line.operands.size() && i < Operands.size(); ++i) {
            if (auto problem = Operands[i].store(request, line.operands[i])) {
                return UsageError(std::string(Operands[i].shape.name) + " " + *problem,
                                  line.command);
            }
        }
    }
    if constexpr (!Options.empty()) {
        for (const GivenOption& given : line.options) {
            const auto& option = Options[given.index];
            if (auto problem = option.store(request, given.value)) {
                return UsageError("--" + std::string(option.shape.name) + " " + *problem,
                                  line.command);
            }
        }
    }
    return Handler(context, request);
}

// A command's row with its options, operands and handler bound: the handler takes the request
// type the bindings fill.
template <auto& Options, auto& Operands, auto Handler>
constexpr CommandRow BoundRow(CommandRow row) {
    row.options = kShapesOf<Options>;
    row.operands = kShapesOf<Operands>;
    row.run = &BindAndRun<Options, Operands, Handler>;
    return row;
}

}  // namespace reader::tool
