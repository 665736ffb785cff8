// The parts of ToolOs that every operating system shares: the signals' names and numbers, the
// request to stop, standard input, the clock, and the order in which an output file is put in
// place.
#include <algorithm>
#include <array>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <utility>

#include "frontend/tool_os.hpp"

namespace reader::tool {
namespace {

// The request to stop that came first: 0 for none, else its StopSignal plus one.
std::atomic<int> g_stop{0};
static_assert(std::atomic<int>::is_always_lock_free, "a signal handler needs a lock-free flag");

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

// Write, flush, close, move, make the move durable: the data reaches the disk before the name
// does, so that after a crash or a power cut the final name holds either what was there before or
// the whole new file, and a failure only the flush reports (a full disk, an I/O error) leaves
// nothing under the name.
class StagedOutput final : public PendingOutput {
  public:
    StagedOutput(std::unique_ptr<TemporaryFile> file, std::string finalPath)
        : file_(std::move(file)), final_(std::move(finalPath)) {}

    ~StagedOutput() override {
        if (state_ != State::Placed && state_ != State::Gone) {
            file_->Remove();
        }
    }

    bool Reserve(std::uint64_t size) override {
        return state_ == State::Open && (file_->Reserve(size) || Fail());
    }

    bool Write(std::span<const std::uint8_t> bytes) override {
        return state_ == State::Open && (file_->Write(bytes) || Fail());
    }

    bool Commit(bool replace) override {
        if (state_ != State::Open) {
            return false;
        }
        if (!file_->Flush() || !file_->Close()) {
            return Fail();
        }
        state_ = State::Closed;
        return Move(final_, replace);
    }

    bool PlaceElsewhere(const std::string& path) override {
        return state_ == State::Closed && taken_ && Move(path, false);
    }

    std::string Reason() const override { return reason_; }
    bool FinalPathTaken() const override { return taken_; }
    void SetFinalPath(const std::string& finalPath) override { final_ = finalPath; }

  private:
    enum class State : std::uint8_t {
        Open,    // being written
        Closed,  // flushed and closed, not yet under a name of its own (a path was taken)
        Placed,  // renamed into place
        Gone,    // failed and removed
    };

    bool Move(const std::string& path, bool replace) {
        switch (file_->MoveTo(path, replace)) {
            case TemporaryFile::Moved::Done:
                state_ = State::Placed;
                taken_ = false;
                reason_.clear();
                file_->SyncFolderOf(path);
                return true;
            case TemporaryFile::Moved::Taken:
                taken_ = true;
                reason_ = file_->Reason();
                return false;
            case TemporaryFile::Moved::Failed:
                break;
        }
        taken_ = false;
        return Fail();
    }

    bool Fail() {
        reason_ = file_->Reason();
        file_->Remove();
        state_ = State::Gone;
        return false;
    }

    std::unique_ptr<TemporaryFile> file_;
    std::string final_;
    std::string reason_;
    State state_ = State::Open;
    bool taken_ = false;
};

}  // namespace

std::unique_ptr<PendingOutput> StageOutput(std::unique_ptr<TemporaryFile> file,
                                           std::string finalPath) {
    if (!file) {
        return nullptr;
    }
    return std::make_unique<StagedOutput>(std::move(file), std::move(finalPath));
}

void RecordStop(StopSignal signal) {
    int none = 0;
    (void)g_stop.compare_exchange_strong(none, static_cast<int>(signal) + 1);
}

std::string FolderOfNewFile(const std::string& path) {
    const std::filesystem::path folder = std::filesystem::path(path).parent_path();
    return folder.empty() ? std::string(1, '.') : folder.string();
}

std::unique_ptr<PendingOutput> ToolOs::CreateOutput(const std::string& finalPath,
                                                    std::string& reason) {
    return StageOutput(CreateTemporaryFile(finalPath, reason), finalPath);
}

std::optional<std::size_t> ToolOs::ReadInput(std::span<std::uint8_t> bytes, std::string& reason) {
    const std::size_t got = std::fread(bytes.data(), 1, bytes.size(), stdin);
    if (got == 0 && std::ferror(stdin) != 0) {
        reason = std::strerror(errno);
        std::clearerr(stdin);
        return std::nullopt;
    }
    return got;
}

std::optional<StopSignal> ToolOs::Interruption() {
    const int code = g_stop.load();
    if (code == 0) {
        return std::nullopt;
    }
    return static_cast<StopSignal>(code - 1);
}

void ToolOs::ClearInterrupt() {
    g_stop.store(0);
}

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
