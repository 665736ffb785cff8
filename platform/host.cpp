#include "platform/host.hpp"

#include <cstdarg>
#include <cstdio>
#include <string>

namespace reader::platform {
namespace {
Host* g_installed = nullptr;
}  // namespace

Host& ActiveHost() {
    return g_installed != nullptr ? *g_installed : NativeHost();
}

void InstallHost(Host* host) {
    g_installed = host;
}

namespace {

// Measures the text first, so nothing is cut short.
__attribute__((format(printf, 1, 0))) std::string FormatTextV(const char* format,
                                                              std::va_list args) {
    std::va_list measure;
    va_copy(measure, args);
    const int length = std::vsnprintf(nullptr, 0, format, measure);
    va_end(measure);
    if (length <= 0) {
        return {};
    }
    std::string text(static_cast<std::size_t>(length) + 1, '\0');
    std::vsnprintf(text.data(), text.size(), format, args);
    text.resize(static_cast<std::size_t>(length));
    return text;
}

}  // namespace

std::string FormatText(const char* format, ...) {
    std::va_list args;
    va_start(args, format);
    std::string text = FormatTextV(format, args);
    va_end(args);
    return text;
}

int StreamPrintf(const char* format, ...) {
    std::va_list args;
    va_start(args, format);
    const std::string text = FormatTextV(format, args);
    va_end(args);
    if (text.empty()) {
        return 0;
    }
    ActiveHost().WriteStream(text);
    return static_cast<int>(text.size());
}

}  // namespace reader::platform
