// The host that reader-tool puts in front of the active one while it runs. It passes every device
// operation on, and adds two things a front-end needs:
//
//   - it notices every device-file operation that fails, including the command writes that the
//     library's read handlers send and do not check: a read whose address command was lost would
//     deliver the data of some other address, and a dump must not take that for the cartridge;
//   - the library's text on the standard output stream reaches the tool's own output, in order
//     with the tool's lines.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "platform/host.hpp"

namespace reader::tool {

class ToolHost final : public platform::ForwardingHost {
  public:
    ToolHost(platform::Host& inner, std::function<void(std::string_view)> out);

    // Failed device-file operations so far. A caller compares the count before and after a call.
    std::uint64_t Failures() const { return failures_; }

    std::optional<std::uint32_t> ReadUnbuffered(const char* path, std::uint32_t position,
                                                std::span<std::uint8_t> destination) override;
    std::optional<std::uint32_t> WriteCommandFile(const char* path,
                                                  std::span<const std::uint8_t> data) override;
    void WriteConsole(std::string_view text) override { out_(text); }
    void WriteStream(std::string_view text) override { out_(text); }
    std::string FailureReason() override;

  private:
    std::function<void(std::string_view)> out_;
    std::uint64_t failures_ = 0;
    std::string shortWrite_;  // the reason of a command write that took only part of its bytes
};

}  // namespace reader::tool
