// A host that passes everything on to another host and keeps a copy of every command-file write,
// so tests can compare the exact bytes of each write (the device model only keeps the last one).
#pragma once

#include <cstdint>
#include <vector>

#include "emulator/emulated_host.hpp"
#include "platform/host.hpp"

namespace reader::testing {

class RecordingHost final : public platform::Host {
  public:
    explicit RecordingHost(platform::Host& inner) : inner_(inner) {}

    // Every command-file write, in order, with the bytes as they left the host.
    const std::vector<std::vector<std::uint8_t>>& Writes() const { return writes_; }
    void Clear() { writes_.clear(); }

    std::uint32_t LogicalDrives() override { return inner_.LogicalDrives(); }
    platform::DriveType DriveTypeOf(const char* root) override { return inner_.DriveTypeOf(root); }
    bool VolumeLabelOf(const char* root, std::span<char> label) override {
        return inner_.VolumeLabelOf(root, label);
    }
    std::optional<std::uint32_t> ReadUnbuffered(const char* path, std::uint32_t position,
                                                std::span<std::uint8_t> destination) override {
        return inner_.ReadUnbuffered(path, position, destination);
    }
    std::optional<std::uint32_t> WriteCommandFile(const char* path,
                                                  std::span<const std::uint8_t> data) override {
        writes_.emplace_back(data.begin(), data.end());
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

  private:
    platform::Host& inner_;
    std::vector<std::vector<std::uint8_t>> writes_;
};

}  // namespace reader::testing
