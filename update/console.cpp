#include "update/console.hpp"

#include <array>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <string_view>

#include "platform/host.hpp"

namespace reader {
namespace {

// Formats into the message buffer and returns the number of characters stored.
__attribute__((format(printf, 2, 0))) std::size_t Format(
    std::array<char, kMessageBufferSize>& buffer, const char* format, std::va_list args) {
    const int length = std::vsnprintf(buffer.data(), buffer.size(), format, args);
    if (length <= 0) {
        return 0;
    }
    return std::min(static_cast<std::size_t>(length), buffer.size() - 1);
}

// Writes the text in the given colour and puts back the colour that was in force. When standard
// output is not a console there is no colour to read, and the bare text goes out.
__attribute__((format(printf, 2, 0))) std::size_t WriteMessage(std::optional<std::uint16_t> colour,
                                                               const char* format,
                                                               std::va_list args) {
    std::array<char, kMessageBufferSize> buffer{};
    const std::size_t length = Format(buffer, format, args);
    auto& host = platform::ActiveHost();
    const std::optional<std::uint16_t> saved =
        colour ? host.ConsoleAttribute() : std::optional<std::uint16_t>{};
    if (saved) {
        host.SetConsoleAttribute(*colour);
    }
    host.WriteConsole(std::string_view(buffer.data(), length));
    if (saved) {
        host.SetConsoleAttribute(*saved);
    }
    return length;
}

}  // namespace

int ConsoleError(const char* format, ...) {
    std::va_list args;
    va_start(args, format);
    const auto length = WriteMessage(platform::kAttributeLightRed, format, args);
    va_end(args);
    return static_cast<int>(length);
}

int ConsoleSuccess(const char* format, ...) {
    std::va_list args;
    va_start(args, format);
    const auto length = WriteMessage(platform::kAttributeLightGreen, format, args);
    va_end(args);
    return static_cast<int>(length);
}

int ConsolePlain(const char* format, ...) {
    std::va_list args;
    va_start(args, format);
    const auto length = WriteMessage(std::nullopt, format, args);
    va_end(args);
    return static_cast<int>(length);
}

}  // namespace reader
