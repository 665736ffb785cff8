// Moving cartridge data through the library's slots in chunks: reads through ReadSlot in large
// chunks that meet the rules of unbuffered reads, writes through WriteSlot in modest ones, with
// progress, Ctrl-C between chunks, and every failure named by its address and its reason.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>

#include "frontend/context.hpp"
#include "frontend/progress.hpp"
#include "frontend/reader.hpp"

namespace reader::tool {

// A read asks the reader for at most this much at once. The device link reads a large request
// straight into the caller's buffer, so each chunk is one read of the data file.
inline constexpr std::uint32_t kReadChunkSize = 1u << 20;
// The byte-wise write handlers spend a 512-byte command sector on every data byte: a chunk of
// 1 KiB is a 512 KiB command write.
inline constexpr std::uint32_t kWriteChunkSize = 1024;

struct TransferError {
    std::string message;  // what failed, where and why, and what to do: one sentence or two
    bool interrupted;     // Ctrl-C, not a fault
};

// Receives the cartridge's bytes from address on, in order, piece by piece. Returning false ends
// the read early (without an error).
using ReadConsumer =
    std::function<bool(std::uint32_t address, std::span<const std::uint8_t> bytes)>;

// Reads size bytes from start on. `what` names the transfer in messages ("reading", "verifying").
std::optional<TransferError> ReadRange(const ToolContext& context, const ConnectedReader& reader,
                                       std::uint32_t start, std::uint64_t size,
                                       std::string_view what, Progress* progress,
                                       const ReadConsumer& consume);

// Writes data to the cartridge from start on.
std::optional<TransferError> WriteRange(const ToolContext& context, std::uint32_t start,
                                        std::span<const std::uint8_t> data, Progress* progress);

// The first byte where the cartridge differs from what was expected there.
struct Mismatch {
    std::uint32_t address;
    std::uint8_t expected;
    std::uint8_t found;
};

// Reads the range that expected covers (from start on) again and compares.
std::optional<TransferError> CompareRange(const ToolContext& context, const ConnectedReader& reader,
                                          std::uint32_t start,
                                          std::span<const std::uint8_t> expected,
                                          std::string_view what, Progress* progress,
                                          std::optional<Mismatch>& mismatch);

}  // namespace reader::tool
