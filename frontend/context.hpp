// What every command of reader-tool works with: the streams, the operating system, the global
// options and the host in front of the reader, with the one-line error forms of the program.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "frontend/cli.hpp"
#include "frontend/tool.hpp"
#include "frontend/tool_host.hpp"
#include "frontend/tool_os.hpp"

namespace reader::tool {

class ToolContext {
  public:
    ToolContext(const ToolStreams& streams, ToolOs& os, ToolHost& host)
        : streams_(streams), os_(os), host_(host) {}

    void Out(std::string_view text) const { streams_.out(text); }
    void Err(std::string_view text) const { streams_.err(text); }
    std::optional<std::string> ReadLine() const { return streams_.readLine(); }

    // "reader-tool: MESSAGE" on standard error; the exit status of a failure.
    int Failure(std::string_view message) const;
    // The same for a usage error, with a pointer to the help; the exit status of wrong usage.
    int Usage(std::string_view message, std::optional<CommandId> command) const;

    ToolOs& Os() const { return os_; }
    ToolHost& Host() const { return host_; }

    const GlobalOptions& Globals() const { return globals_; }
    void SetGlobals(const GlobalOptions& globals) { globals_ = globals; }

  private:
    const ToolStreams& streams_;
    ToolOs& os_;
    ToolHost& host_;
    GlobalOptions globals_;
};

// "0x0000C000", with as many digits as the width asks.
std::string Hex(std::uint64_t value, int digits = 0);
// "1.5 MiB", "512 bytes".
std::string HumanSize(std::uint64_t bytes);
// "0x100000 bytes (1 MiB)".
std::string SizeText(std::uint64_t bytes);

}  // namespace reader::tool
