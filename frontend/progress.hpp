// Progress of a long transfer on standard error: on a terminal one line rewritten in place
// (bytes, percent, rate, time left; at the end the time it took), never wider than the terminal
// so that it never wraps onto new lines; otherwise a plain line at each quarter, so that a log
// shows the transfer moving without filling up; nothing with --quiet.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "frontend/context.hpp"

namespace reader::tool {

class Progress {
  public:
    Progress(const ToolContext& context, std::string_view label, std::uint64_t total);
    Progress(const Progress&) = delete;
    Progress& operator=(const Progress&) = delete;
    // Ends a line left open on the terminal.
    ~Progress();

    // done bytes of the total are through.
    void Update(std::uint64_t done);

    // The last state stays on the terminal; the next output starts on a line of its own.
    void Finish();

  private:
    enum class Mode : std::uint8_t { Quiet, Terminal, Plain };

    // The line for done bytes, at most width characters (the parts that do not fit left out).
    std::string Line(std::uint64_t done, std::uint64_t nowMs, std::size_t width) const;

    const ToolContext& context_;
    std::string label_;
    std::uint64_t total_;
    Mode mode_;
    std::uint64_t startMs_;
    std::uint64_t lastShownMs_ = 0;
    std::size_t lastLength_ = 0;
    unsigned quartersShown_ = 0;
    bool open_ = false;  // a terminal line that has no line end yet
};

// "0:07", "1:02:03".
std::string DurationText(std::uint64_t seconds);

// "21.3 MiB/s".
std::string RateText(double bytesPerSecond);

// "0.004 s", "1.52 s", "12.1 s", "2 min 05 s": a time taken, to about three figures.
std::string SecondsText(std::uint64_t milliseconds);

// "1.52 s (21.3 MiB/s)": how long a transfer of bytes took and its rate.
std::string RateText(std::uint64_t bytes, std::uint64_t milliseconds);

// The width a terminal line is taken to have when the system does not tell.
inline constexpr unsigned kDefaultTerminalWidth = 80;

}  // namespace reader::tool
