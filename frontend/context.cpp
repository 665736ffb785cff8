#include "frontend/context.hpp"

#include <utility>

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

}  // namespace reader::tool
