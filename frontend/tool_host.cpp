#include "frontend/tool_host.hpp"

#include <utility>

namespace reader::tool {

ToolHost::ToolHost(platform::Host& inner, std::function<void(std::string_view)> out)
    : ForwardingHost(inner), out_(std::move(out)) {}

std::optional<std::uint32_t> ToolHost::ReadUnbuffered(const char* path, std::uint32_t position,
                                                      std::span<std::uint8_t> destination) {
    const auto delivered = Inner().ReadUnbuffered(path, position, destination);
    if (!delivered) {
        ++failures_;
        shortWrite_.clear();
    }
    return delivered;
}

std::optional<std::uint32_t> ToolHost::WriteCommandFile(const char* path,
                                                        std::span<const std::uint8_t> data) {
    const auto written = Inner().WriteCommandFile(path, data);
    if (!written) {
        ++failures_;
        shortWrite_.clear();
    } else if (*written < data.size()) {
        // The reader acts on whole sectors only: the rest of the command never arrived.
        ++failures_;
        shortWrite_ = "the command file took only " + std::to_string(*written) + " of " +
                      std::to_string(data.size()) + " bytes";
    }
    return written;
}

std::string ToolHost::FailureReason() {
    return shortWrite_.empty() ? Inner().FailureReason() : shortWrite_;
}

}  // namespace reader::tool
