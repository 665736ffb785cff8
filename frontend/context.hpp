// What every command of reader-tool works with: the streams, the operating system, the global
// options and the host in front of the reader. Standard output remembers its first failed write
// (a closed pipe, a full disk): later text is dropped, and the run ends with the failure.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "frontend/cli.hpp"
#include "frontend/tool.hpp"
#include "frontend/tool_host.hpp"
#include "frontend/tool_os.hpp"

namespace reader::tool {

class ToolContext {
  public:
    // device: the host through which the reader is reached (the active one when the run starts).
    ToolContext(const ToolStreams& streams, ToolOs& os, platform::Host& device);
    ToolContext(const ToolContext&) = delete;
    ToolContext& operator=(const ToolContext&) = delete;

    void Out(std::string_view text);
    void Err(std::string_view text) const { streams_.err(text); }
    std::optional<std::string> ReadLine(std::string_view prompt) const {
        return streams_.readLine(prompt);
    }

    // The device library's notice ("Init <identity> OK"): on standard error, so that standard
    // output holds only what was asked for; nothing with --quiet.
    void Notice(std::string_view text) const;

    // The first write of standard output that failed, or nothing.
    const std::optional<StreamWrite>& OutputFailure() const { return outputFailure_; }

    // A file a command wrote, or meant to write and did not: the closing line of a run whose
    // standard output failed says which it was.
    struct OutputFile {
        std::string path;
        bool written;
    };
    void NoteOutputFile(std::string path, bool written);
    const std::vector<OutputFile>& OutputFiles() const { return outputFiles_; }

    ToolOs& Os() const { return os_; }
    ToolHost& Host() { return host_; }

    const GlobalOptions& Globals() const { return globals_; }
    void SetGlobals(const GlobalOptions& globals) { globals_ = globals; }

  private:
    const ToolStreams& streams_;
    ToolOs& os_;
    ToolHost host_;
    GlobalOptions globals_;
    std::optional<StreamWrite> outputFailure_;
    std::vector<OutputFile> outputFiles_;
};

}  // namespace reader::tool
