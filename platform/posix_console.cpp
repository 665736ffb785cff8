#include "platform/posix_console.hpp"

#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <thread>

#include "platform/posix_descriptor.hpp"

namespace reader::platform {
namespace {

// Terminal control sequences for the two message colours; every other attribute goes back to the
// terminal's own default.
constexpr std::string_view kLightRedSequence = "\x1b[91m";
constexpr std::string_view kLightGreenSequence = "\x1b[92m";
constexpr std::string_view kDefaultColourSequence = "\x1b[0m";

bool StandardOutputIsTerminal() {
    return ::isatty(STDOUT_FILENO) == 1;
}

std::string_view ColourSequence(std::uint16_t attribute) {
    switch (attribute) {
        case kAttributeLightRed:
            return kLightRedSequence;
        case kAttributeLightGreen:
            return kLightGreenSequence;
        default:
            return kDefaultColourSequence;
    }
}

}  // namespace

std::optional<std::uint16_t> PosixConsoleHost::ConsoleAttribute() {
    if (!StandardOutputIsTerminal()) {
        return std::nullopt;
    }
    return attribute_;
}

void PosixConsoleHost::SetConsoleAttribute(std::uint16_t attribute) {
    if (!StandardOutputIsTerminal()) {
        return;
    }
    // Text already in the stream is in the colour that was in force when it was printed.
    std::fflush(stdout);
    posix::WriteAll(STDOUT_FILENO, ColourSequence(attribute));
    attribute_ = attribute;
}

void PosixConsoleHost::WriteConsole(std::string_view text) {
    std::fflush(stdout);
    posix::WriteAll(STDOUT_FILENO, text);
}

void PosixConsoleHost::WriteStream(std::string_view text) {
    std::fwrite(text.data(), 1, text.size(), stdout);
    std::fflush(stdout);
}

void PosixConsoleHost::Sleep(std::uint32_t milliseconds) {
    std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

int PosixConsoleHost::ReadKey() {
    return std::getchar();
}

}  // namespace reader::platform
