#include "frontend/context.hpp"

#include <utility>

#include "platform/host.hpp"

namespace reader::tool {

ToolContext::ToolContext(const ToolStreams& streams, ToolOs& os, platform::Host& device)
    : streams_(streams), os_(os), host_(device, [this](std::string_view text) { Out(text); }) {}

void ToolContext::Out(std::string_view text) {
    if (outputFailure_ || text.empty()) {
        return;
    }
    StreamWrite result = streams_.out(text);
    if (result.result != StreamWrite::Result::Written) {
        outputFailure_ = std::move(result);
    }
}

void ToolContext::Notice(std::string_view text) const {
    if (!globals_.quiet) {
        Err(text);
    }
}

void ToolContext::NoteOutputFile(std::string path, bool written) {
    outputFiles_.push_back({std::move(path), written});
}

std::string Hex(std::uint64_t value, int digits) {
    return platform::FormatText("0x%0*llX", digits, static_cast<unsigned long long>(value));
}

std::string HumanSize(std::uint64_t bytes) {
    constexpr std::uint64_t kKiB = 1024;
    constexpr std::uint64_t kMiB = kKiB * 1024;
    constexpr std::uint64_t kGiB = kMiB * 1024;
    if (bytes < kKiB) {
        return std::to_string(bytes) + (bytes == 1 ? " byte" : " bytes");
    }
    const auto show = [bytes](std::uint64_t unit, const char* name) {
        // Whole units without decimals: "4 MiB", not "4.0 MiB".
        if (bytes % unit == 0) {
            return platform::FormatText("%llu %s", static_cast<unsigned long long>(bytes / unit),
                                        name);
        }
        return platform::FormatText("%.1f %s",
                                    static_cast<double>(bytes) / static_cast<double>(unit), name);
    };
    if (bytes < kMiB) {
        return show(kKiB, "KiB");
    }
    if (bytes < kGiB) {
        return show(kMiB, "MiB");
    }
    return show(kGiB, "GiB");
}

std::string SizeText(std::uint64_t bytes) {
    return Hex(bytes) + " bytes (" + HumanSize(bytes) + ")";
}

}  // namespace reader::tool
