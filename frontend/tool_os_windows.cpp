// reader-tool's own needs on Windows: output files made beside their final path with
// GetTempFileNameA, their room reserved through SetFileInformationByHandle, flushed with
// FlushFileBuffers and moved into place with MoveFileExA (MOVEFILE_WRITE_THROUGH;
// MOVEFILE_REPLACE_EXISTING only when the user asked for it), free space from GetDiskFreeSpaceExA,
// consoles recognised with GetConsoleMode and measured with GetConsoleScreenBufferInfo, Ctrl-C,
// Ctrl-Break and the closing of the console window through SetConsoleCtrlHandler, and the DAT
// folders under %APPDATA% and beside the program.
#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <limits>
#include <string>
#include <utility>

#include "frontend/tool_os.hpp"
#include "platform/win32_host.hpp"

namespace reader::tool {
namespace {

namespace fs = std::filesystem;

constexpr char kTemporaryPrefix[] = "rdt";

// Windows ends the process once the handler of CTRL_CLOSE_EVENT returns (and after about 5 s in
// any case); the handler waits this long so that the program can remove its temporary file and
// return first.
constexpr DWORD kCloseGraceMs = 4000;

// Runs on a thread of its own that Windows starts for each console event.
BOOL WINAPI OnConsoleEvent(DWORD event) {
    switch (event) {
        case CTRL_C_EVENT:
            RecordStop(StopSignal::CtrlC);
            return TRUE;
        case CTRL_BREAK_EVENT:
            RecordStop(StopSignal::CtrlBreak);
            return TRUE;
        case CTRL_CLOSE_EVENT:
            RecordStop(StopSignal::ConsoleClosed);
            Sleep(kCloseGraceMs);
            return TRUE;
        default:
            return FALSE;
    }
}

// The folder that holds the running program, in the system's wide characters (a user's folder
// may have a name the ANSI code page cannot spell); empty when Windows does not say.
fs::path ProgramFolder() {
    std::wstring name(MAX_PATH, L'\0');
    while (true) {
        const DWORD length =
            GetModuleFileNameW(nullptr, name.data(), static_cast<DWORD>(name.size()));
        if (length == 0) {
            return {};
        }
        if (length < name.size()) {
            name.resize(length);
            return fs::path(name).parent_path();
        }
        name.resize(name.size() * 2);
    }
}

bool IsConsole(DWORD which) {
    DWORD mode = 0;
    return GetConsoleMode(GetStdHandle(which), &mode) != 0;
}

// The temporary file: written with WriteFile, its room reserved through its allocation size,
// flushed with FlushFileBuffers and moved with MoveFileExA (MOVEFILE_WRITE_THROUGH, so the move is
// on the disk when the call returns; MOVEFILE_REPLACE_EXISTING only when asked).
class WindowsTemporaryFile final : public TemporaryFile {
  public:
    WindowsTemporaryFile(HANDLE file, std::string path) : file_(file), path_(std::move(path)) {}
    ~WindowsTemporaryFile() override {
        if (file_ != INVALID_HANDLE_VALUE) {
            CloseHandle(file_);
        }
    }

    bool Reserve(std::uint64_t size) override {
        // The clusters are allocated without moving the end of the file.
        FILE_ALLOCATION_INFO allocation{};
        allocation.AllocationSize.QuadPart = static_cast<LONGLONG>(size);
        if (SetFileInformationByHandle(file_, FileAllocationInfo, &allocation, sizeof allocation) !=
            0) {
            return true;
        }
        const DWORD error = GetLastError();
        if (error == ERROR_DISK_FULL || error == ERROR_HANDLE_DISK_FULL) {
            return Fail(error);
        }
        return true;  // a file system that cannot: the writes find out
    }

    bool Write(std::span<const std::uint8_t> bytes) override {
        while (!bytes.empty()) {
            const auto piece = static_cast<DWORD>(
                std::min<std::size_t>(bytes.size(), std::numeric_limits<DWORD>::max() / 2));
            DWORD written = 0;
            if (WriteFile(file_, bytes.data(), piece, &written, nullptr) == 0 || written == 0) {
                return Fail(GetLastError());
            }
            bytes = bytes.subspan(written);
        }
        return true;
    }

    bool Flush() override { return FlushFileBuffers(file_) != 0 || Fail(GetLastError()); }

    bool Close() override {
        return CloseHandle(std::exchange(file_, INVALID_HANDLE_VALUE)) != 0 || Fail(GetLastError());
    }

    Moved MoveTo(const std::string& path, bool replace) override {
        DWORD flags = MOVEFILE_WRITE_THROUGH;
        if (replace) {
            flags |= MOVEFILE_REPLACE_EXISTING;
        }
        if (MoveFileExA(path_.c_str(), path.c_str(), flags) != 0) {
            return Moved::Done;
        }
        const DWORD error = GetLastError();
        reason_ = platform::SystemErrorText(error);
        return error == ERROR_ALREADY_EXISTS || error == ERROR_FILE_EXISTS ? Moved::Taken
                                                                           : Moved::Failed;
    }

    // MOVEFILE_WRITE_THROUGH made the move durable already.
    void SyncFolderOf(const std::string& /*path*/) override {}

    void Remove() override {
        if (file_ != INVALID_HANDLE_VALUE) {
            CloseHandle(std::exchange(file_, INVALID_HANDLE_VALUE));
        }
        (void)DeleteFileA(path_.c_str());
    }

    std::string Reason() const override { return reason_; }

  private:
    bool Fail(DWORD error) {
        reason_ = platform::SystemErrorText(error);
        return false;
    }

    HANDLE file_;
    std::string path_;
    std::string reason_;
};

class WindowsToolOs final : public ToolOs {
  public:
    std::optional<std::uint64_t> FreeSpace(const std::string& path) override {
        std::string folder = FolderOfNewFile(path);
        if (folder.back() != '\\' && folder.back() != '/') {
            folder += '\\';  // a UNC path needs it; every other path takes it
        }
        ULARGE_INTEGER available{};
        if (GetDiskFreeSpaceExA(folder.c_str(), &available, nullptr, nullptr) == 0) {
            return std::nullopt;
        }
        return available.QuadPart;
    }

    bool InputIsTerminal() override { return IsConsole(STD_INPUT_HANDLE); }
    bool ErrorIsTerminal() override { return IsConsole(STD_ERROR_HANDLE); }
    std::optional<unsigned> TerminalWidth() override {
        CONSOLE_SCREEN_BUFFER_INFO info{};
        if (GetConsoleScreenBufferInfo(GetStdHandle(STD_ERROR_HANDLE), &info) == 0) {
            return std::nullopt;
        }
        const int columns = info.srWindow.Right - info.srWindow.Left + 1;
        return columns > 0 ? std::optional<unsigned>(static_cast<unsigned>(columns)) : std::nullopt;
    }
    std::optional<std::size_t> ReadInput(std::span<std::uint8_t> bytes,
                                         std::string& reason) override {
        // Binary, so that an image's CR LF bytes stay as they are.
        (void)_setmode(_fileno(stdin), _O_BINARY);
        return ToolOs::ReadInput(bytes, reason);
    }

    std::vector<fs::path> DatFolders() override {
        const wchar_t* appData = _wgetenv(L"APPDATA");
        return WindowsDatFolders(appData != nullptr ? fs::path(appData) : fs::path(),
                                 ProgramFolder());
    }

    DriveWords Drives() override { return kLetterDriveWords; }
};

}  // namespace

std::unique_ptr<TemporaryFile> CreateTemporaryFile(const std::string& finalPath,
                                                   std::string& reason) {
    // GetTempFileNameA makes the file (empty) under a name no other file has.
    std::array<char, MAX_PATH + 1> name{};
    if (GetTempFileNameA(FolderOfNewFile(finalPath).c_str(), kTemporaryPrefix, 0, name.data()) ==
        0) {
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
    return std::make_unique<WindowsTemporaryFile>(file, std::string(name.data()));
}

ToolOs& NativeToolOs() {
    static WindowsToolOs os;
    return os;
}

OutputError DescribeOutputError(int error) {
    // The C runtime keeps the system's own error of the failed WriteFile in _doserrno. A pipe
    // whose reader went away is ERROR_NO_DATA (Wine: ERROR_PIPE_NOT_CONNECTED; some writers see
    // ERROR_BROKEN_PIPE), which not every runtime maps to EPIPE.
    const auto system = static_cast<DWORD>(_doserrno);
    if (system == ERROR_NO_DATA || system == ERROR_PIPE_NOT_CONNECTED ||
        system == ERROR_BROKEN_PIPE || error == EPIPE) {
        return {true, platform::SystemErrorText(system != 0 ? system : ERROR_NO_DATA)};
    }
    return {false, system != 0 ? platform::SystemErrorText(system) : std::strerror(error)};
}

bool StandardOutputWantsCrLf() {
    // The process writes standard output in binary mode (the device library's backend sets it,
    // so that the update client's output is byte for byte what it writes), while the C library
    // writes standard error in text mode: without this a report redirected to a file would end
    // its lines in LF alone.
    return !IsConsole(STD_OUTPUT_HANDLE);
}

LineEditor* TerminalLineEditor() {
    // The console edits the line itself while a read of it waits (the arrow keys, F7 for the
    // history); standard input read as it is keeps all of that.
    return nullptr;
}

void WatchInterrupts() {
    // Windows has no SIGPIPE: a write to a closed pipe fails by itself.
    (void)SetConsoleCtrlHandler(OnConsoleEvent, TRUE);
}

}  // namespace reader::tool
