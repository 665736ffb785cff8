// reader-tool's own needs on Windows: output files made beside their final path with
// GetTempFileNameA, flushed with FlushFileBuffers and moved into place with MoveFileExA
// (MOVEFILE_WRITE_THROUGH; MOVEFILE_REPLACE_EXISTING only when the user asked for it), consoles
// recognised with GetConsoleMode, and Ctrl-C and Ctrl-Break through the C runtime's signal().
#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <csignal>
#include <filesystem>
#include <limits>
#include <string>
#include <utility>

#include "frontend/tool_os.hpp"
#include "platform/win32_host.hpp"

namespace reader::tool {
namespace {

namespace fs = std::filesystem;

std::atomic<bool> g_interrupted{false};
static_assert(std::atomic<bool>::is_always_lock_free, "the signal handler needs a lock-free flag");

constexpr char kTemporaryPrefix[] = "rdt";

extern "C" void OnInterrupt(int signal) {
    g_interrupted.store(true);
    // The Windows C runtime puts the default action back before it calls a handler.
    (void)std::signal(signal, OnInterrupt);
}

bool IsConsole(DWORD which) {
    DWORD mode = 0;
    return GetConsoleMode(GetStdHandle(which), &mode) != 0;
}

class WindowsPendingOutput final : public PendingOutput {
  public:
    WindowsPendingOutput(HANDLE file, std::string temporary, std::string finalPath)
        : file_(file), temporary_(std::move(temporary)), final_(std::move(finalPath)) {}

    ~WindowsPendingOutput() override { Discard(); }

    bool Write(std::span<const std::uint8_t> bytes) override {
        if (file_ == INVALID_HANDLE_VALUE) {
            return false;
        }
        while (!bytes.empty()) {
            const auto piece = static_cast<DWORD>(
                std::min<std::size_t>(bytes.size(), std::numeric_limits<DWORD>::max() / 2));
            DWORD written = 0;
            if (WriteFile(file_, bytes.data(), piece, &written, nullptr) == 0 || written == 0) {
                return Fail();
            }
            bytes = bytes.subspan(written);
        }
        return true;
    }

    bool Commit(bool replace) override {
        if (file_ == INVALID_HANDLE_VALUE) {
            return false;
        }
        // The data reaches the disk before the name does.
        if (FlushFileBuffers(file_) == 0) {
            return Fail();
        }
        CloseHandle(std::exchange(file_, INVALID_HANDLE_VALUE));
        DWORD flags = MOVEFILE_WRITE_THROUGH;
        if (replace) {
            flags |= MOVEFILE_REPLACE_EXISTING;
        }
        if (MoveFileExA(temporary_.c_str(), final_.c_str(), flags) == 0) {
            const DWORD error = GetLastError();
            taken_ = error == ERROR_ALREADY_EXISTS || error == ERROR_FILE_EXISTS;
            reason_ = platform::SystemErrorText(error);
            Discard();
            return false;
        }
        temporary_.clear();
        return true;
    }

    std::string Reason() const override { return reason_; }
    bool FinalPathTaken() const override { return taken_; }

  private:
    bool Fail() {
        reason_ = platform::SystemErrorText(GetLastError());
        Discard();
        return false;
    }

    void Discard() {
        if (file_ != INVALID_HANDLE_VALUE) {
            CloseHandle(std::exchange(file_, INVALID_HANDLE_VALUE));
        }
        if (!temporary_.empty()) {
            (void)DeleteFileA(temporary_.c_str());
            temporary_.clear();
        }
    }

    HANDLE file_;
    std::string temporary_;
    std::string final_;
    std::string reason_;
    bool taken_ = false;
};

class WindowsToolOs final : public ToolOs {
  public:
    std::unique_ptr<PendingOutput> CreateOutput(const std::string& finalPath,
                                                std::string& reason) override {
        const fs::path parent = fs::path(finalPath).parent_path();
        const std::string directory = parent.empty() ? std::string(1, '.') : parent.string();
        // GetTempFileNameA makes the file (empty) under a name no other file has.
        std::array<char, MAX_PATH + 1> name{};
        if (GetTempFileNameA(directory.c_str(), kTemporaryPrefix, 0, name.data()) == 0) {
            reason = platform::SystemErrorText(GetLastError());
            return nullptr;
        }
        HANDLE file = CreateFileA(name.data(), GENERIC_WRITE, 0, nullptr, TRUNCATE_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file == INVALID_HANDLE_VALUE) {
            reason = platform::SystemErrorText(GetLastError());
            (void)DeleteFileA(name.data());
            return nullptr;
        }
        return std::make_unique<WindowsPendingOutput>(file, std::string(name.data()), finalPath);
    }

    bool InputIsTerminal() override { return IsConsole(STD_INPUT_HANDLE); }
    bool ErrorIsTerminal() override { return IsConsole(STD_ERROR_HANDLE); }
    bool InterruptRequested() override { return g_interrupted.load(); }
    void ClearInterrupt() override { g_interrupted.store(false); }
};

}  // namespace

ToolOs& NativeToolOs() {
    static WindowsToolOs os;
    return os;
}

void AdviseLargePages(std::span<std::uint8_t> /*memory*/) {
    // Large pages need a privilege that an ordinary user does not hold: nothing to ask for.
}

void WatchInterrupts() {
    (void)std::signal(SIGINT, OnInterrupt);
    (void)std::signal(SIGBREAK, OnInterrupt);
}

}  // namespace reader::tool
