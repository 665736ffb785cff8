#include "platform/win32_host.hpp"

#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
// <windows.h> maps WriteConsole to WriteConsoleA; here it is the name of a Host operation.
#undef WriteConsole

#include <fcntl.h>
#include <io.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <limits>
#include <memory>
#include <new>
#include <string>
#include <vector>

namespace reader::platform {
namespace {

// Runs once per process, from the static initialisation of this backend (before main) and again,
// harmlessly, from Win32Host's constructor.
bool PrepareProcess() {
    static const bool prepared = [] {
        // A removable drive without a medium must fail the probe, not ask the user to insert a
        // disk: the scan looks at every removable drive from D to Z.
        SetErrorMode(SEM_FAILCRITICALERRORS);
        // The C stream would turn "\n" into "\r\n"; the direct console path writes its bytes
        // unchanged with WriteFile. Binary mode makes both paths put out the same bytes, so a
        // redirected run holds exactly the text of the messages.
        (void)_setmode(_fileno(stdout), _O_BINARY);
        return true;
    }();
    return prepared;
}

[[maybe_unused]] const bool g_processPrepared = PrepareProcess();

HANDLE StandardOutput() {
    return GetStdHandle(STD_OUTPUT_HANDLE);
}

bool IsUnbufferedReady(std::span<const std::uint8_t> buffer) {
    return reinterpret_cast<std::uintptr_t>(buffer.data()) % kUnbufferedBufferAlignment == 0 &&
           buffer.size() % kUnbufferedSectorSize == 0;
}

// Positions the handle at position from the start of the file. The high part is passed so that a
// position of 2 GiB or more is taken as the unsigned value it is, and a failure is reported instead
// of leaving the read at the start of the file.
bool Seek(HANDLE file, std::uint32_t position) {
    LONG high = 0;
    const DWORD low = SetFilePointer(file, static_cast<LONG>(position), &high, FILE_BEGIN);
    return low != INVALID_SET_FILE_POINTER || GetLastError() == NO_ERROR;
}

std::optional<DWORD> ReadAt(HANDLE file, std::uint32_t position, std::span<std::uint8_t> into) {
    if (!Seek(file, position)) {
        return std::nullopt;
    }
    DWORD delivered = 0;
    if (ReadFile(file, into.data(), static_cast<DWORD>(into.size()), &delivered, nullptr) == 0) {
        return std::nullopt;
    }
    return delivered;
}

}  // namespace

std::string SystemErrorText(unsigned long error) {
    std::array<char, 512> text{};
    const DWORD length =
        FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error,
                       0, text.data(), static_cast<DWORD>(text.size()), nullptr);
    std::string message(text.data(), std::min<std::size_t>(length, text.size()));
    while (!message.empty() && (message.back() == '\r' || message.back() == '\n' ||
                                message.back() == ' ' || message.back() == '.')) {
        message.pop_back();
    }
    if (message.empty()) {
        message = "error " + std::to_string(error);
    }
    return message;
}

std::nullopt_t Win32Host::Failed() {
    failure_ = SystemErrorText(GetLastError());
    return std::nullopt;
}

std::string Win32Host::FailureReason() {
    return failure_;
}

Win32Host::Win32Host() {
    (void)PrepareProcess();
}

std::uint32_t Win32Host::LogicalDrives() {
    return GetLogicalDrives();
}

DriveType Win32Host::DriveTypeOf(const char* root) {
    const UINT type = GetDriveTypeA(root);
    return type <= static_cast<UINT>(DriveType::RamDisk) ? static_cast<DriveType>(type)
                                                         : DriveType::Unknown;
}

bool Win32Host::VolumeLabelOf(const char* root, std::span<char> label) {
    if (label.size() > std::numeric_limits<DWORD>::max()) {
        return false;
    }
    return GetVolumeInformationA(root, label.data(), static_cast<DWORD>(label.size()), nullptr,
                                 nullptr, nullptr, nullptr, 0) != 0;
}

std::optional<std::uint32_t> Win32Host::ReadUnbuffered(const char* path, std::uint32_t position,
                                                       std::span<std::uint8_t> destination) {
    if (destination.size() > std::numeric_limits<std::uint32_t>::max()) {
        return std::nullopt;
    }
    HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, FILE_FLAG_NO_BUFFERING, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return Failed();
    }
    std::optional<DWORD> delivered;
    if (IsUnbufferedReady(destination)) {
        delivered = ReadAt(file, position, destination);
    } else {
        // Windows refuses an unbuffered read into memory that is not aligned or a count that is
        // not whole sectors. The device link never asks for one, but any caller gets its bytes:
        // read whole sectors into aligned memory and hand over the part that was asked for.
        const std::size_t rounded = (destination.size() + kUnbufferedSectorSize - 1) /
                                    kUnbufferedSectorSize * kUnbufferedSectorSize;
        std::vector<std::uint8_t> storage;
        try {
            storage.resize(rounded + kUnbufferedBufferAlignment);
        } catch (const std::bad_alloc&) {
            CloseHandle(file);
            return std::nullopt;
        }
        void* start = storage.data();
        std::size_t space = storage.size();
        start = std::align(kUnbufferedBufferAlignment, rounded, start, space);
        const std::span<std::uint8_t> scratch(static_cast<std::uint8_t*>(start), rounded);
        delivered = ReadAt(file, position, scratch);
        if (delivered) {
            *delivered = std::min<DWORD>(*delivered, static_cast<DWORD>(destination.size()));
            std::copy_n(scratch.begin(), *delivered, destination.begin());
        }
    }
    if (!delivered) {
        // Taken before CloseHandle, which may set an error of its own.
        (void)Failed();
        CloseHandle(file);
        return std::nullopt;
    }
    CloseHandle(file);
    return static_cast<std::uint32_t>(*delivered);
}

std::optional<std::uint32_t> Win32Host::WriteCommandFile(const char* path,
                                                         std::span<const std::uint8_t> data) {
    if (data.size() > std::numeric_limits<DWORD>::max()) {
        return std::nullopt;
    }
    HANDLE file = CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return Failed();
    }
    DWORD written = 0;
    const BOOL ok =
        WriteFile(file, data.data(), static_cast<DWORD>(data.size()), &written, nullptr);
    if (ok == 0) {
        (void)Failed();
    }
    CloseHandle(file);
    if (ok == 0) {
        return std::nullopt;
    }
    return static_cast<std::uint32_t>(written);
}

std::optional<std::uint16_t> Win32Host::ConsoleAttribute() {
    CONSOLE_SCREEN_BUFFER_INFO info{};
    if (GetConsoleScreenBufferInfo(StandardOutput(), &info) == 0) {
        return std::nullopt;
    }
    return static_cast<std::uint16_t>(info.wAttributes);
}

void Win32Host::SetConsoleAttribute(std::uint16_t attribute) {
    (void)SetConsoleTextAttribute(StandardOutput(), attribute);
}

void Win32Host::WriteConsole(std::string_view text) {
    if (text.size() > std::numeric_limits<DWORD>::max()) {
        return;
    }
    // The stream is flushed after every message already; flushing here as well keeps call order
    // even for text that some other code left in it.
    std::fflush(stdout);
    DWORD written = 0;
    (void)WriteFile(StandardOutput(), text.data(), static_cast<DWORD>(text.size()), &written,
                    nullptr);
}

void Win32Host::WriteStream(std::string_view text) {
    std::fwrite(text.data(), 1, text.size(), stdout);
    std::fflush(stdout);
}

void Win32Host::Sleep(std::uint32_t milliseconds) {
    ::Sleep(milliseconds);
}

int Win32Host::ReadKey() {
    return std::getchar();
}

Host& NativeHost() {
    static Win32Host host;
    return host;
}

}  // namespace reader::platform
