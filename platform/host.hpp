// Host services: everything the device link, the device library and the update client need from
// the operating system, behind one narrow interface.
//
// Each operation maps one to one onto a fixed sequence of Win32 calls (named on each member), so
// the Windows backend is a direct transcription and the POSIX backend and the emulated reader's
// in-process host reproduce the same observable behaviour. The four subsystems call these
// services through ActiveHost() and never call an operating system directly.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace reader::platform {

// The values GetDriveTypeA reports.
enum class DriveType : std::uint32_t {
    Unknown = 0,
    NoRootDir = 1,
    Removable = 2,
    Fixed = 3,
    Remote = 4,
    CdRom = 5,
    RamDisk = 6,
};

// Console text attributes as the Win32 console knows them: foreground bits 0..3.
inline constexpr std::uint16_t kAttributeDefault = 0x07;     // light grey on black
inline constexpr std::uint16_t kAttributeLightGreen = 0x0A;  // green | intensity
inline constexpr std::uint16_t kAttributeLightRed = 0x0C;    // red | intensity

// Unbuffered reads: the position and the count must be multiples of the drive's sector size, and
// the buffer must be aligned. Buffers handed to ReadUnbuffered by this project are aligned to
// kUnbufferedBufferAlignment so that any drive accepts them.
inline constexpr std::uint32_t kUnbufferedSectorSize = 512;
inline constexpr std::size_t kUnbufferedBufferAlignment = 4096;

class Host {
  public:
    Host() = default;
    Host(const Host&) = delete;
    Host& operator=(const Host&) = delete;
    virtual ~Host() = default;

    // GetLogicalDrives(): bit n set when drive 'A' + n exists.
    virtual std::uint32_t LogicalDrives() = 0;

    // GetDriveTypeA(root), root being a letter and a colon ("E:").
    virtual DriveType DriveTypeOf(const char* root) = 0;

    // GetVolumeInformationA(root, label, label.size(), nullptr, nullptr, nullptr, nullptr, 0).
    // Returns whether the call succeeded; on success label holds a NUL-terminated text.
    virtual bool VolumeLabelOf(const char* root, std::span<char> label) = 0;

    // CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
    // FILE_FLAG_NO_BUFFERING, nullptr); SetFilePointer(handle, position, nullptr, FILE_BEGIN);
    // ReadFile(handle, destination, destination.size(), &delivered, nullptr); CloseHandle.
    // Returns the count delivered (0 at or beyond the end of the file), or nothing when the open
    // or the read failed. The read bypasses every cache, so it is served by the device. The path
    // is a device path ("E:\T-DRIVER.DMP") or, as CreateFileA takes it too, a path of the
    // system's own (a front-end that reaches the reader's files in a folder the user named).
    virtual std::optional<std::uint32_t> ReadUnbuffered(const char* path, std::uint32_t position,
                                                        std::span<std::uint8_t> destination) = 0;

    // CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    // WriteFile(handle, data, data.size(), &written, nullptr); CloseHandle.
    // Returns the count written, or nothing when the open or the write failed. The bytes have
    // reached the device when the call returns: the reader acts on the sectors it receives.
    virtual std::optional<std::uint32_t> WriteCommandFile(const char* path,
                                                          std::span<const std::uint8_t> data) = 0;

    // GetConsoleScreenBufferInfo(GetStdHandle(STD_OUTPUT_HANDLE)).wAttributes; nothing when
    // standard output is not a console.
    virtual std::optional<std::uint16_t> ConsoleAttribute() = 0;

    // SetConsoleTextAttribute(GetStdHandle(STD_OUTPUT_HANDLE), attribute). Has no effect when
    // standard output is not a console.
    virtual void SetConsoleAttribute(std::uint16_t attribute) = 0;

    // WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), text): the bytes go out as they are, with no
    // translation of line ends.
    virtual void WriteConsole(std::string_view text) = 0;

    // The C library's standard output stream, flushed at once so that it keeps call order with
    // WriteConsole on the shared console.
    virtual void WriteStream(std::string_view text) = 0;

    // Sleep(milliseconds).
    virtual void Sleep(std::uint32_t milliseconds) = 0;

    // One character from standard input through the C library (getchar); -1 at the end of input
    // or on a read error.
    virtual int ReadKey() = 0;

    // Why the most recent ReadUnbuffered or WriteCommandFile that failed did so, in the operating
    // system's words ("No medium found"), so that a front-end can tell the user more than that an
    // operation failed. Empty when none has failed yet or the backend cannot tell.
    virtual std::string FailureReason() { return {}; }

    // The folder that holds the files of drive `letter`, so that a front-end can name the drive
    // the way its user knows it: on Linux the mount point of the volume behind the letter. Empty
    // where the letter is the drive's own name (Windows, which has no call for this) or no volume
    // stands behind it.
    virtual std::string RootFolderOf(char letter) {
        (void)letter;
        return {};
    }
};

// A host that passes every operation on to another one. A host that watches or changes only some
// operations (reader-tool's, which notices failed device-file operations, and the tests' recording
// hosts) derives from it and overrides just those.
class ForwardingHost : public Host {
  public:
    explicit ForwardingHost(Host& inner) : inner_(inner) {}

    std::uint32_t LogicalDrives() override { return inner_.LogicalDrives(); }
    DriveType DriveTypeOf(const char* root) override { return inner_.DriveTypeOf(root); }
    bool VolumeLabelOf(const char* root, std::span<char> label) override {
        return inner_.VolumeLabelOf(root, label);
    }
    std::optional<std::uint32_t> ReadUnbuffered(const char* path, std::uint32_t position,
                                                std::span<std::uint8_t> destination) override {
        return inner_.ReadUnbuffered(path, position, destination);
    }
    std::optional<std::uint32_t> WriteCommandFile(const char* path,
                                                  std::span<const std::uint8_t> data) override {
        return inner_.WriteCommandFile(path, data);
    }
    std::optional<std::uint16_t> ConsoleAttribute() override { return inner_.ConsoleAttribute(); }
    void SetConsoleAttribute(std::uint16_t attribute) override {
        inner_.SetConsoleAttribute(attribute);
    }
    void WriteConsole(std::string_view text) override { inner_.WriteConsole(text); }
    void WriteStream(std::string_view text) override { inner_.WriteStream(text); }
    void Sleep(std::uint32_t milliseconds) override { inner_.Sleep(milliseconds); }
    int ReadKey() override { return inner_.ReadKey(); }
    std::string FailureReason() override { return inner_.FailureReason(); }
    std::string RootFolderOf(char letter) override { return inner_.RootFolderOf(letter); }

  protected:
    Host& Inner() { return inner_; }

  private:
    Host& inner_;
};

// The host in force. The native backend unless InstallHost replaced it.
Host& ActiveHost();

// Replaces the host in force; nullptr goes back to the native backend. Tests, the demo and the
// file-system emulator install their own host at run time.
void InstallHost(Host* host);

// Installs a host for the lifetime of a scope and puts the previous one back.
class ScopedHost {
  public:
    explicit ScopedHost(Host& host) : previous_(&ActiveHost()) { InstallHost(&host); }
    ~ScopedHost() { InstallHost(previous_); }
    ScopedHost(const ScopedHost&) = delete;
    ScopedHost& operator=(const ScopedHost&) = delete;

  private:
    Host* previous_;
};

// The backend for the operating system the program was built for (the one CMake chose).
Host& NativeHost();

// printf-style text on the C standard output stream of the active host. Returns the length of the
// formatted text.
int StreamPrintf(const char* format, ...) __attribute__((format(printf, 1, 2)));

// printf-style text as a string, whatever its length; empty when the format fails.
std::string FormatText(const char* format, ...) __attribute__((format(printf, 1, 2)));

}  // namespace reader::platform
