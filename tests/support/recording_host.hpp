// A host that passes everything on to another host and keeps a copy of every command-file write,
// so tests can compare the exact bytes of each write (the device model only keeps the last one).
#pragma once

#include <cstdint>
#include <vector>

#include "emulator/emulated_host.hpp"
#include "platform/host.hpp"

namespace reader::testing {

class RecordingHost final : public platform::ForwardingHost {
  public:
    explicit RecordingHost(platform::Host& inner) : ForwardingHost(inner) {}

    // Every command-file write, in order, with the bytes as they left the host.
    const std::vector<std::vector<std::uint8_t>>& Writes() const { return writes_; }
    void Clear() { writes_.clear(); }

    std::optional<std::uint32_t> WriteCommandFile(const char* path,
                                                  std::span<const std::uint8_t> data) override {
        writes_.emplace_back(data.begin(), data.end());
        return ForwardingHost::WriteCommandFile(path, data);
    }

  private:
    std::vector<std::vector<std::uint8_t>> writes_;
};

}  // namespace reader::testing
