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

int StreamPrintf(const char* format, ...) {
    std::va_list args;
    va_start(args, format);
    std::va_list measure;
    va_copy(measure, args);
    const int length = std::vsnprintf(nullptr, 0, format, measure);
    va_end(measure);
    if (length <= 0) {
        va_end(args);
        return 0;
    }
    std::string text(static_cast<std::size_t>(length) + 1, '\0');
    std::vsnprintf(text.data(), text.size(), format, args);
    va_end(args);
    text.resize(static_cast<std::size_t>(length));
    ActiveHost().WriteStream(text);
    return length;
}

}  // namespace reader::platform
