// The update client's console messages.
//
// ConsoleError and ConsoleSuccess write their text straight to standard output in light red or
// light green and put the previous colour back afterwards; ConsolePlain writes in the colour in
// force. The other lines of the client go through the C standard output stream
// (platform::StreamPrintf); both paths keep the order of the calls.
#pragma once

#include <cstddef>

namespace reader {

// A formatted message holds at most this many characters; longer output is cut.
inline constexpr std::size_t kMessageBufferSize = 1024;

int ConsoleError(const char* format, ...) __attribute__((format(printf, 1, 2)));
int ConsoleSuccess(const char* format, ...) __attribute__((format(printf, 1, 2)));
int ConsolePlain(const char* format, ...) __attribute__((format(printf, 1, 2)));

}  // namespace reader
