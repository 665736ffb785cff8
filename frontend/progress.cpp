#include "frontend/progress.hpp"

#include <algorithm>
#include <array>

#include "platform/host.hpp"
#include "text/text.hpp"

namespace reader::tool {
namespace {

// A terminal line is rewritten at most this often, and always at the end.
constexpr std::uint64_t kTerminalIntervalMs = 100;
constexpr unsigned kQuarters = 4;
constexpr std::uint64_t kMsPerSecond = 1000;
constexpr std::uint64_t kSecondsPerMinute = 60;

}  // namespace

std::string DurationText(std::uint64_t seconds) {
    const std::uint64_t hours = seconds / 3600;
    const std::uint64_t minutes = seconds / 60 % 60;
    const std::uint64_t rest = seconds % 60;
    if (hours > 0) {
        return platform::FormatText("%llu:%02llu:%02llu", static_cast<unsigned long long>(hours),
                                    static_cast<unsigned long long>(minutes),
                                    static_cast<unsigned long long>(rest));
    }
    return platform::FormatText("%llu:%02llu", static_cast<unsigned long long>(minutes),
                                static_cast<unsigned long long>(rest));
}

// "381.0 MiB/s": always one decimal, so that a rate does not change its width as it moves.
std::string RateText(double bytesPerSecond) {
    constexpr auto kKiB = static_cast<double>(text::kKiB);
    if (bytesPerSecond < kKiB) {
        return platform::FormatText("%.0f bytes/s", bytesPerSecond);
    }
    const char* unit = "KiB/s";
    double value = bytesPerSecond / kKiB;
    for (const char* larger : {"MiB/s", "GiB/s"}) {
        if (value < kKiB) {
            break;
        }
        value /= kKiB;
        unit = larger;
    }
    return platform::FormatText("%.1f %s", value, unit);
}

std::string SecondsText(std::uint64_t milliseconds) {
    const double seconds = static_cast<double>(milliseconds) / kMsPerSecond;
    if (milliseconds < kMsPerSecond) {
        return platform::FormatText("%.3f s", seconds);
    }
    if (milliseconds < 10 * kMsPerSecond) {
        return platform::FormatText("%.2f s", seconds);
    }
    if (milliseconds < kSecondsPerMinute * kMsPerSecond) {
        return platform::FormatText("%.1f s", seconds);
    }
    const std::uint64_t whole = milliseconds / kMsPerSecond;
    return platform::FormatText("%llu min %02llu s",
                                static_cast<unsigned long long>(whole / kSecondsPerMinute),
                                static_cast<unsigned long long>(whole % kSecondsPerMinute));
}

std::string RateText(std::uint64_t bytes, std::uint64_t milliseconds) {
    std::string text = SecondsText(milliseconds);
    if (milliseconds > 0) {
        text += " (" +
                RateText(static_cast<double>(bytes) * kMsPerSecond /
                         static_cast<double>(milliseconds)) +
                ")";
    }
    return text;
}

Progress::Progress(const ToolContext& context, std::string_view label, std::uint64_t total)
    : context_(context),
      label_(label),
      total_(total),
      mode_(context.Globals().quiet          ? Mode::Quiet
            : context.Os().ErrorIsTerminal() ? Mode::Terminal
                                             : Mode::Plain),
      startMs_(context.Os().NowMs()) {}

Progress::~Progress() {
    if (open_) {
        context_.Err("\n");
    }
}

std::string Progress::Line(std::uint64_t done, std::uint64_t nowMs, std::size_t width) const {
    const unsigned percent =
        total_ == 0 ? 100u
                    : static_cast<unsigned>(std::min<std::uint64_t>(done * 100 / total_, 100));
    std::string line = label_ + ": " + text::SizeText(done) + " of " + text::SizeText(total_) +
                       "  " + std::to_string(percent) + "%";
    // The parts after the percentage, in the order they are left out when the line is too wide.
    std::array<std::string, 2> more;
    const std::uint64_t elapsedMs = nowMs - startMs_;
    if (elapsedMs > 0 && done > 0) {
        const double rate =
            static_cast<double>(done) * kMsPerSecond / static_cast<double>(elapsedMs);
        more[0] = "  " + RateText(rate);
        if (done < total_) {
            const auto left =
                static_cast<std::uint64_t>(static_cast<double>(total_ - done) / rate + 0.5);
            more[1] = "  " + DurationText(left) + " left";
        }
    }
    if (done >= total_) {
        more[1] = "  in " + SecondsText(elapsedMs);
    }
    if (line.size() + more[0].size() + more[1].size() <= width) {
        return line + more[0] + more[1];
    }
    if (line.size() + more[0].size() <= width) {
        return line + more[0];
    }
    if (line.size() > width) {
        line.resize(width);
    }
    return line;
}

void Progress::Update(std::uint64_t done) {
    done = std::min(done, total_);
    const std::uint64_t now = context_.Os().NowMs();
    switch (mode_) {
        case Mode::Quiet:
            return;
        case Mode::Terminal: {
            if (open_ && done < total_ && now - lastShownMs_ < kTerminalIntervalMs) {
                return;
            }
            lastShownMs_ = now;
            // One column is kept free: a line that fills the last column leaves some terminals
            // waiting to wrap, and the next "\r" then lands on a new line.
            const unsigned columns = context_.Os().TerminalWidth().value_or(kDefaultTerminalWidth);
            const std::size_t width = columns > 1 ? columns - 1 : 1;
            std::string line = Line(done, now, width);
            const std::size_t length = line.size();
            // Blanks over what is left of a longer earlier line.
            if (length < lastLength_) {
                line += std::string(std::min(lastLength_, width) - length, ' ');
            }
            lastLength_ = length;
            context_.Err("\r" + line);
            open_ = true;
            return;
        }
        case Mode::Plain: {
            const unsigned quarters =
                total_ == 0 ? kQuarters : static_cast<unsigned>(done * kQuarters / total_);
            if (quarters <= quartersShown_) {
                return;
            }
            quartersShown_ = quarters;
            context_.Err(Line(done, now, std::string::npos) + "\n");
            return;
        }
    }
}

void Progress::Finish() {
    if (open_) {
        context_.Err("\n");
        open_ = false;
    }
}

}  // namespace reader::tool
