// reader-tool's own needs on Linux: output files made beside their final path with mkostemp, their
// room reserved with fallocate, flushed with fsync and renamed into place (renameat2 with
// RENAME_NOREPLACE, or link and unlink, so that a file that appeared under the final name
// meanwhile is never replaced without --force), free space from statvfs, isatty and the
// terminal's width, SIGINT, SIGTERM and SIGHUP as polite requests to stop, SIGPIPE ignored, the
// DAT folder under $XDG_DATA_HOME (or ~/.local/share), and the shell's line editing with libedit
// (BSD-licensed, like this program's own licence allows).
#include <fcntl.h>
#include <histedit.h>
#include <signal.h>
#include <stdio.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
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

extern "C" void OnInterrupt(int signal) {
    const StopSignal stop = signal == SIGTERM  ? StopSignal::Terminate
                            : signal == SIGHUP ? StopSignal::Hangup
                                               : StopSignal::CtrlC;
    RecordStop(stop);
}

std::string ErrnoText(int error) {
    return std::strerror(error);
}

// The temporary file's name: hidden, beside the final file, unique (mkostemp fills the Xs).
std::string TemporaryTemplate(const std::string& finalPath) {
    const fs::path path(finalPath);
    const fs::path directory = FolderOfNewFile(finalPath);
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
    const int fd = ::open(FolderOfNewFile(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        (void)::fsync(fd);
        ::close(fd);
    }
}

// The temporary file: written with write, its room reserved with fallocate, flushed with fsync,
// renamed without replacing (renameat2 RENAME_NOREPLACE, else link and unlink, else a look and a
// rename on file systems that have neither).
class LinuxTemporaryFile final : public TemporaryFile {
  public:
    LinuxTemporaryFile(int fd, std::string path) : fd_(fd), path_(std::move(path)) {}
    ~LinuxTemporaryFile() override {
        if (fd_ >= 0) {
            ::close(fd_);
        }
    }

    bool Reserve(std::uint64_t size) override {
        if (size == 0) {
            return true;
        }
        // The blocks are set aside without changing the file's size: a failed dump leaves nothing
        // behind, and the file is exactly as long as what was written.
        while (::fallocate(fd_, FALLOC_FL_KEEP_SIZE, 0, static_cast<off_t>(size)) != 0) {
            if (errno == EINTR) {
                continue;
            }
            // A file system without fallocate (or without this mode): the writes find out.
            if (errno == EOPNOTSUPP || errno == ENOSYS || errno == EINVAL) {
                return true;
            }
            return Fail(errno);
        }
        return true;
    }

    bool Write(std::span<const std::uint8_t> bytes) override {
        const off_t from = written_;
        while (!bytes.empty()) {
            const ssize_t written = ::write(fd_, bytes.data(), bytes.size());
            if (written < 0) {
                if (errno == EINTR) {
                    continue;
                }
                return Fail(errno);
            }
            bytes = bytes.subspan(static_cast<std::size_t>(written));
            written_ += written;
        }
        // The disk starts on these bytes now, while the dump reads on, instead of all of them at
        // the flush before the rename. Only a start: a failure shows at the flush.
        (void)::sync_file_range(fd_, from, written_ - from, SYNC_FILE_RANGE_WRITE);
        return true;
    }

    bool Flush() override { return ::fsync(fd_) == 0 || Fail(errno); }

    bool Close() override {
        // Not retried on EINTR: the descriptor is gone either way on Linux.
        return ::close(std::exchange(fd_, -1)) == 0 || Fail(errno);
    }

    Moved MoveTo(const std::string& path, bool replace) override {
        if (replace) {
            return ::rename(path_.c_str(), path.c_str()) == 0 ? Moved::Done : Failed(errno);
        }
        if (::renameat2(AT_FDCWD, path_.c_str(), AT_FDCWD, path.c_str(), RENAME_NOREPLACE) == 0) {
            return Moved::Done;
        }
        if (errno == EEXIST) {
            return Taken();
        }
        if (errno != EINVAL && errno != ENOSYS && errno != ENOTSUP) {
            return Failed(errno);
        }
        // A file system without RENAME_NOREPLACE: a hard link fails when the name exists.
        if (::link(path_.c_str(), path.c_str()) == 0) {
            (void)::unlink(path_.c_str());
            return Moved::Done;
        }
        if (errno == EEXIST) {
            return Taken();
        }
        // Neither (FAT has no hard links on some kernels): look, then rename. Only a file that
        // appears in the moment between the two can be replaced.
        struct stat existing {};
        if (::lstat(path.c_str(), &existing) == 0) {
            return Taken();
        }
        return ::rename(path_.c_str(), path.c_str()) == 0 ? Moved::Done : Failed(errno);
    }

    void SyncFolderOf(const std::string& path) override { SyncDirectoryOf(path); }

    void Remove() override {
        if (fd_ >= 0) {
            ::close(std::exchange(fd_, -1));
        }
        (void)::unlink(path_.c_str());
    }

    std::string Reason() const override { return reason_; }

  private:
    bool Fail(int error) {
        reason_ = ErrnoText(error);
        return false;
    }
    Moved Failed(int error) {
        reason_ = ErrnoText(error);
        return Moved::Failed;
    }
    Moved Taken() {
        reason_ = ErrnoText(EEXIST);
        return Moved::Taken;
    }

    int fd_;
    std::string path_;
    std::string reason_;
    off_t written_ = 0;  // bytes written so far
};

class LinuxToolOs final : public ToolOs {
  public:
    std::optional<std::uint64_t> FreeSpace(const std::string& path) override {
        struct statvfs space {};
        if (::statvfs(FolderOfNewFile(path).c_str(), &space) != 0) {
            return std::nullopt;
        }
        return std::uint64_t{space.f_bavail} * space.f_frsize;
    }

    bool InputIsTerminal() override { return ::isatty(STDIN_FILENO) == 1; }
    bool ErrorIsTerminal() override { return ::isatty(STDERR_FILENO) == 1; }
    std::optional<unsigned> TerminalWidth() override {
        struct winsize size {};
        if (::ioctl(STDERR_FILENO, TIOCGWINSZ, &size) != 0 || size.ws_col == 0) {
            return std::nullopt;
        }
        return size.ws_col;
    }
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

std::unique_ptr<TemporaryFile> CreateTemporaryFile(const std::string& finalPath,
                                                   std::string& reason) {
    std::string name = TemporaryTemplate(finalPath);
    std::vector<char> buffer(name.begin(), name.end());
    buffer.push_back('\0');
    const int fd = ::mkostemp(buffer.data(), O_CLOEXEC);
    if (fd < 0) {
        reason = ErrnoText(errno);
        return nullptr;
    }
    (void)::fchmod(fd, OrdinaryFileMode());
    return std::make_unique<LinuxTemporaryFile>(fd, std::string(buffer.data()));
}

ToolOs& NativeToolOs() {
    static LinuxToolOs os;
    return os;
}

OutputError DescribeOutputError(int error) {
    return {error == EPIPE, ErrnoText(error)};
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
