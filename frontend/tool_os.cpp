// The parts of ToolOs that every operating system shares.
#include <chrono>

#include "frontend/tool_os.hpp"

namespace reader::tool {

std::uint64_t ToolOs::NowMs() {
    const auto now = std::chrono::steady_clock::now().time_since_epoch();
    return static_cast<std::uint64_t>(
        std::chrono::duration_cast<std::chrono::milliseconds>(now).count());
}

}  // namespace reader::tool
