// A host for benchmarks of code that prints: every console and stream write is dropped (only its
// length is kept), so the figures measure the code and not a terminal. It has no drives.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

#include "platform/host.hpp"

namespace reader::bench {

class SilentHost final : public platform::Host {
  public:
    std::uint64_t BytesPrinted() const { return printed_; }

    std::uint32_t LogicalDrives() override { return 0; }
    platform::DriveType DriveTypeOf(const char*) override { return platform::DriveType::NoRootDir; }
    bool VolumeLabelOf(const char*, std::span<char>) override { return false; }
    std::optional<std::uint32_t> ReadUnbuffered(const char*, std::uint32_t,
                                                std::span<std::uint8_t>) override {
        return std::nullopt;
    }
    std::optional<std::uint32_t> WriteCommandFile(const char*,
                                                  std::span<const std::uint8_t>) override {
        return std::nullopt;
    }
    std::optional<std::uint16_t> ConsoleAttribute() override { return std::nullopt; }
    void SetConsoleAttribute(std::uint16_t) override {}
    void WriteConsole(std::string_view text) override { printed_ += text.size(); }
    void WriteStream(std::string_view text) override { printed_ += text.size(); }
    void Sleep(std::uint32_t) override {}
    int ReadKey() override { return -1; }

  private:
    std::uint64_t printed_ = 0;
};

}  // namespace reader::bench
