// Progress of a long transfer on standard error: on a terminal one line rewritten in place
// (bytes, percent, rate, time left); otherwise a plain line at each quarter, so that a log shows
// the transfer moving without filling up; nothing with --quiet.
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

    std::string Line(std::uint64_t done, std::uint64_t nowMs) const;

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

// "1520 ms (21.3 MiB/s)": how long a transfer of bytes took and its rate.
std::string RateText(std::uint64_t bytes, std::uint64_t milliseconds);

}  // namespace reader::tool
