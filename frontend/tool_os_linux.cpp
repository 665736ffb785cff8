// reader-tool's own needs on Linux: output files made beside their final path with mkostemp,
// flushed with fsync and renamed into place (renameat2 with RENAME_NOREPLACE, or link and unlink,
// so that a file that appeared under the final name meanwhile is never replaced without --force),
// isatty, SIGINT, SIGTERM and SIGHUP as polite requests to stop, SIGPIPE ignored, the DAT folder
// under $XDG_DATA_HOME (or ~/.local/share), and the shell's line editing with libedit
// (BSD-licensed, like this program's own licence allows).
#include <fcntl.h>
#include <histedit.h>
#include <signal.h>
#include <stdio.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "frontend/tool_os.hpp"

namespace reader::tool {
namespace {

namespace fs = std::filesystem;

// The request to stop that came first: 0 for none, else its StopSignal plus one.
std::atomic<int> g_stop{0};
static_assert(std::atomic<int>::is_always_lock_free, "the signal handler needs a lock-free flag");

constexpr int StopCode(StopSignal signal) {
    return static_cast<int>(signal) + 1;
}

extern "C" void OnInterrupt(int signal) {
    const StopSignal stop = signal == SIGTERM  ? StopSignal::Terminate
                            : signal == SIGHUP ? StopSignal::Hangup
                                               : StopSignal::CtrlC;
    int none = 0;
    (void)g_stop.compare_exchange_strong(none, StopCode(stop));
}

std::string ErrnoText(int error) {
    return std::strerror(error);
}

// The temporary file's name: hidden, beside the final file, unique (mkostemp fills the Xs).
std::string TemporaryTemplate(const std::string& finalPath) {
    const fs::path path(finalPath);
    fs::path directory = path.parent_path();
    if (directory.empty()) {
        directory = ".";
    }
    // Built by appending: GCC 12's restrict warning misfires on "." + name at -O3.
    std::string name(1, '.');
    name += path.filename().string();
    name += ".XXXXXX";
    return (directory / name).string();
}

// The permissions an ordinary new file gets (0666 less the umask); mkostemp makes it 0600.
mode_t OrdinaryFileMode() {
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return static_cast<mode_t>(0666 & ~mask);
}

// Makes the rename durable: the directory entry is on the disk once its directory is synced.
void SyncDirectoryOf(const std::string& path) {
    fs::path directory = fs::path(path).parent_path();
    if (directory.empty()) {
        directory = ".";
    }
    const int fd = ::open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        (void)::fsync(fd);
        ::close(fd);
    }
}

class LinuxPendingOutput final : public PendingOutput {
  public:
    LinuxPendingOutput(int fd, std::string temporary, std::string finalPath)
        : fd_(fd), temporary_(std::move(temporary)), final_(std::move(finalPath)) {}

    ~LinuxPendingOutput() override { Discard(); }

    bool Write(std::span<const std::uint8_t> bytes) override {
        if (fd_ < 0) {
            return false;
        }
        while (!bytes.empty()) {
            const ssize_t written = ::write(fd_, bytes.data(), bytes.size());
            if (written < 0) {
                if (errno == EINTR) {
                    continue;
                }
                return Fail(errno);
            }
            bytes = bytes.subspan(static_cast<std::size_t>(written));
        }
        return true;
    }

    bool Commit(bool replace) override {
        if (fd_ < 0) {
            return false;
        }
        // The data reaches the disk before the name does: after a crash the final name holds
        // either the old file or the whole new one.
        if (::fsync(fd_) != 0) {
            return Fail(errno);
        }
        const int fd = std::exchange(fd_, -1);
        if (::close(fd) != 0) {
            return Fail(errno);
        }
        if (!Rename(replace)) {
            return false;
        }
        temporary_.clear();
        SyncDirectoryOf(final_);
        return true;
    }

    std::string Reason() const override { return reason_; }
    bool FinalPathTaken() const override { return taken_; }
    void SetFinalPath(const std::string& finalPath) override { final_ = finalPath; }

  private:
    bool Rename(bool replace) {
        if (replace) {
            return ::rename(temporary_.c_str(), final_.c_str()) == 0 || Fail(errno);
        }
        if (::renameat2(AT_FDCWD, temporary_.c_str(), AT_FDCWD, final_.c_str(), RENAME_NOREPLACE) ==
            0) {
            return true;
        }
        if (errno == EEXIST) {
            return Taken();
        }
        if (errno != EINVAL && errno != ENOSYS && errno != ENOTSUP) {
            return Fail(errno);
        }
        // A file system without RENAME_NOREPLACE: a hard link fails when the name exists.
        if (::link(temporary_.c_str(), final_.c_str()) == 0) {
            (void)::unlink(temporary_.c_str());
            return true;
        }
        if (errno == EEXIST) {
            return Taken();
        }
        // Neither (FAT has no hard links on some kernels): look, then rename. Only a file that
        // appears in the moment between the two can be replaced.
        struct stat existing {};
        if (::lstat(final_.c_str(), &existing) == 0) {
            return Taken();
        }
        return ::rename(temporary_.c_str(), final_.c_str()) == 0 || Fail(errno);
    }

    bool Taken() {
        taken_ = true;
        reason_ = ErrnoText(EEXIST);
        Discard();
        return false;
    }

    bool Fail(int error) {
        reason_ = ErrnoText(error);
        Discard();
        return false;
    }

    void Discard() {
        if (fd_ >= 0) {
            ::close(std::exchange(fd_, -1));
        }
        if (!temporary_.empty()) {
            (void)::unlink(temporary_.c_str());
            temporary_.clear();
        }
    }

    int fd_;
    std::string temporary_;
    std::string final_;
    std::string reason_;
    bool taken_ = false;
};

class LinuxToolOs final : public ToolOs {
  public:
    std::unique_ptr<PendingOutput> CreateOutput(const std::string& finalPath,
                                                std::string& reason) override {
        std::string name = TemporaryTemplate(finalPath);
        std::vector<char> buffer(name.begin(), name.end());
        buffer.push_back('\0');
        const int fd = ::mkostemp(buffer.data(), O_CLOEXEC);
        if (fd < 0) {
            reason = ErrnoText(errno);
            return nullptr;
        }
        (void)::fchmod(fd, OrdinaryFileMode());
        return std::make_unique<LinuxPendingOutput>(fd, std::string(buffer.data()), finalPath);
    }

    bool InputIsTerminal() override { return ::isatty(STDIN_FILENO) == 1; }
    bool ErrorIsTerminal() override { return ::isatty(STDERR_FILENO) == 1; }
    std::optional<StopSignal> Interruption() override {
        const int code = g_stop.load();
        if (code == 0) {
            return std::nullopt;
        }
        return static_cast<StopSignal>(code - 1);
    }
    void ClearInterrupt() override { g_stop.store(0); }

    std::vector<fs::path> DatFolders() override {
        const char* xdg = std::getenv("XDG_DATA_HOME");
        const char* home = std::getenv("HOME");
        return UnixDatFolders(xdg != nullptr ? xdg : "", home != nullptr ? home : "");
    }

    DriveWords Drives() override { return kMountDriveWords; }
};

// The shell's line editing at a terminal: libedit in its emacs bindings (the arrow keys, Ctrl-A,
// Ctrl-E, and the history of this session's lines), after the user's own ~/.editrc.
class EditLineEditor final : public LineEditor {
  public:
    EditLineEditor()
        : editor_(::el_init("reader-tool", stdin, stdout, stderr)), history_(::history_init()) {
        if (editor_ == nullptr || history_ == nullptr) {
            return;
        }
        (void)::history(history_, &event_, H_SETSIZE, kHistoryLines);
        (void)::history(history_, &event_, H_SETUNIQUE, 1);
        (void)::el_set(editor_, EL_CLIENTDATA, this);
        (void)::el_set(editor_, EL_PROMPT, &PromptOf);
        (void)::el_set(editor_, EL_EDITOR, "emacs");
        (void)::el_set(editor_, EL_HIST, ::history, history_);
        (void)::el_source(editor_, nullptr);
    }
    ~EditLineEditor() override {
        if (history_ != nullptr) {
            ::history_end(history_);
        }
        if (editor_ != nullptr) {
            ::el_end(editor_);
        }
    }

    bool Ready() const { return editor_ != nullptr && history_ != nullptr; }

    std::optional<std::string> ReadLine(std::string_view prompt) override {
        prompt_ = std::string(prompt);
        int count = 0;
        const char* typed = ::el_gets(editor_, &count);
        if (typed == nullptr || count <= 0) {
            return std::nullopt;
        }
        std::string line(typed, static_cast<std::size_t>(count));
        while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) {
            line.pop_back();
        }
        if (line.find_first_not_of(" \t") != std::string::npos) {
            (void)::history(history_, &event_, H_ENTER, line.c_str());
        }
        return line;
    }

  private:
    static constexpr int kHistoryLines = 500;

    static char* PromptOf(EditLine* editor) {
        void* self = nullptr;
        (void)::el_get(editor, EL_CLIENTDATA, &self);
        return static_cast<EditLineEditor*>(self)->prompt_.data();
    }

    EditLine* editor_;
    History* history_;
    HistEvent event_{};
    std::string prompt_;
};

}  // namespace

bool StandardOutputWantsCrLf() {
    return false;
}

LineEditor* TerminalLineEditor() {
    if (::isatty(STDIN_FILENO) != 1 || ::isatty(STDOUT_FILENO) != 1) {
        return nullptr;
    }
    static EditLineEditor editor;
    return editor.Ready() ? &editor : nullptr;
}

ToolOs& NativeToolOs() {
    static LinuxToolOs os;
    return os;
}

OutputError DescribeOutputError(int error) {
    return {error == EPIPE, ErrnoText(error)};
}

void AdviseLargePages(std::span<std::uint8_t> memory) {
    // Transparent huge pages: 2 MiB pages for the whole 2 MiB-aligned part of the memory.
    (void)::madvise(memory.data(), memory.size(), MADV_HUGEPAGE);
}

void WatchInterrupts() {
    struct sigaction action {};
    action.sa_handler = OnInterrupt;
    sigemptyset(&action.sa_mask);
    // No SA_RESTART: a read of standard input (the shell's prompt) returns, so Ctrl-C there ends
    // the shell. Reads and writes of files go on after an interruption by themselves.
    action.sa_flags = 0;
    for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
        (void)::sigaction(signal, &action, nullptr);
    }
    // A reader of standard output that went away (reader-tool dump ... | head -1) would end the
    // program at its next write, with the dump half done and its temporary file left behind.
    // Ignored, the write fails with EPIPE instead and the program finishes its work.
    struct sigaction ignore {};
    ignore.sa_handler = SIG_IGN;
    sigemptyset(&ignore.sa_mask);
    (void)::sigaction(SIGPIPE, &ignore, nullptr);
}

}  // namespace reader::tool
