// Windows backend of the host services: each operation is the Win32 call sequence named on its
// member in platform/host.hpp, with the narrow (ANSI) file calls.
//
// The process is set up once, before the first drive is touched (see Win32Host's constructor):
//   - SetErrorMode(SEM_FAILCRITICALERRORS), so that probing a removable drive without a medium
//     (a card reader without a card, or the reader while it restarts) fails quietly instead of
//     opening a "no disk" dialog that waits for the user;
//   - standard output in binary mode, so that "\n" leaves the C stream as one line feed, the same
//     bytes that the direct console path writes with WriteFile.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "platform/host.hpp"

namespace reader::platform {

// The system's text for a Win32 error code (as GetLastError gives it), without the line end and
// the full stop it comes with, so that a caller can put it inside a sentence of its own.
std::string SystemErrorText(unsigned long error);

class Win32Host final : public Host {
  public:
    Win32Host();

    std::uint32_t LogicalDrives() override;
    DriveType DriveTypeOf(const char* root) override;
    bool VolumeLabelOf(const char* root, std::span<char> label) override;
    std::optional<std::uint32_t> ReadUnbuffered(const char* path, std::uint32_t position,
                                                std::span<std::uint8_t> destination) override;
    std::optional<std::uint32_t> WriteCommandFile(const char* path,
                                                  std::span<const std::uint8_t> data) override;
    std::optional<std::uint16_t> ConsoleAttribute() override;
    void SetConsoleAttribute(std::uint16_t attribute) override;
    void WriteConsole(std::string_view text) override;
    void WriteStream(std::string_view text) override;
    void Sleep(std::uint32_t milliseconds) override;
    int ReadKey() override;
    std::string FailureReason() override;

  private:
    // Records the system's reason for the last failed call (GetLastError) and returns nothing.
    std::nullopt_t Failed();

    std::string failure_;
};

}  // namespace reader::platform
