// The parts of ToolOs that every operating system shares.
#include <algorithm>
#include <array>
#include <chrono>
#include <string>
#include <string_view>

#include "frontend/tool_os.hpp"

namespace reader::tool {
namespace {

// The signal numbers are the POSIX ones, which the shells' exit statuses use on every system.
constexpr int kSigHup = 1;
constexpr int kSigInt = 2;
constexpr int kSigTerm = 15;

struct SignalRow {
    StopSignal signal;
    int number;
    std::string_view name;
};

constexpr auto kSignals = std::to_array<SignalRow>({
    {StopSignal::CtrlC, kSigInt, "Ctrl-C (SIGINT)"},
    {StopSignal::CtrlBreak, kSigInt, "Ctrl-Break"},
    {StopSignal::Terminate, kSigTerm, "SIGTERM"},
    {StopSignal::Hangup, kSigHup, "SIGHUP"},
    {StopSignal::ConsoleClosed, kSigHup, "the console window closing"},
});

const SignalRow& RowOf(StopSignal signal) {
    return *std::find_if(kSignals.begin(), kSignals.end(),
                         [signal](const SignalRow& row) { return row.signal == signal; });
}

}  // namespace

int SignalNumber(StopSignal signal) {
    return RowOf(signal).number;
}

std::string_view SignalName(StopSignal signal) {
    return RowOf(signal).name;
}

std::vector<std::filesystem::path> UnixDatFolders(std::string_view xdgDataHome,
                                                  std::string_view home) {
    // Absolute in the Unix sense, whatever system tests the rule.
    if (xdgDataHome.starts_with('/')) {
        return {std::filesystem::path(xdgDataHome) / "reader-tool" / "dat"};
    }
    if (home.empty()) {
        return {};
    }
    return {std::filesystem::path(home) / ".local" / "share" / "reader-tool" / "dat"};
}

std::vector<std::filesystem::path> WindowsDatFolders(const std::filesystem::path& appData,
                                                     const std::filesystem::path& programFolder) {
    std::vector<std::filesystem::path> folders;
    if (!appData.empty()) {
        folders.push_back(appData / "reader-tool" / "dat");
    }
    if (!programFolder.empty()) {
        folders.push_back(programFolder / "dat");
    }
    return folders;
}

std::string WithCrLf(std::string_view text, bool& afterCr) {
    std::string converted;
    converted.reserve(text.size() + text.size() / 16);
    for (const char c : text) {
        if (c == '\n' && !afterCr) {
            converted += '\r';
        }
        converted += c;
        afterCr = c == '\r';
    }
    return converted;
}

std::uint64_t ToolOs::NowMs() {
    const auto now = std::chrono::steady_clock::now().time_since_epoch();
    return static_cast<std::uint64_t>(
        std::chrono::duration_cast<std::chrono::milliseconds>(now).count());
}

}  // namespace reader::tool
