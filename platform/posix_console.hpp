// The console half of the host services on a POSIX system, shared by every backend whose
// operating system has a terminal on standard output: text goes out on descriptor 1 as it is,
// the two message colours are ANSI control sequences (and only on a terminal), the waits are the
// C++ library's and the key is the C library's getchar. A backend derives from PosixConsoleHost
// and adds the drives and device files of its own operating system.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

#include "platform/host.hpp"

namespace reader::platform {

class PosixConsoleHost : public Host {
  public:
    std::optional<std::uint16_t> ConsoleAttribute() override;
    void SetConsoleAttribute(std::uint16_t attribute) override;
    void WriteConsole(std::string_view text) override;
    void WriteStream(std::string_view text) override;
    void Sleep(std::uint32_t milliseconds) override;
    int ReadKey() override;

  private:
    std::uint16_t attribute_ = kAttributeDefault;
};

}  // namespace reader::platform
