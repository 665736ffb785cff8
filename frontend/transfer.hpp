// Moving cartridge data through the library's slots in chunks: reads through ReadSlot in large
// chunks that meet the rules of unbuffered reads, writes through WriteSlot in modest ones, with
// progress, Ctrl-C between chunks, and every failure named by its address and its reason (a
// reader that went away named as such). A dump's chunks are put into the file's byte order,
// hashed and written on a thread of their own while the next chunk is read. The errors are
// values: a failure, or an interruption that names its signal.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>

#include "frontend/context.hpp"
#include "frontend/outcome.hpp"
#include "frontend/progress.hpp"
#include "frontend/reader.hpp"
#include "frontend/rom/hashes.hpp"
#include "frontend/tool_os.hpp"

namespace reader::tool {

// Reads ask the reader for large chunks; the device link reads a large request straight into the
// caller's buffer, so each chunk is one read of the data file, and each read costs the same besides
// its bytes (its address command, the open and the close of the data file). The first chunk is
// 1 MiB; each later one is sized from the rate the one before came at, to take about
// kChunkTargetMs: a power of two times 1 MiB, up to 8 MiB. A slow reader keeps small chunks (the
// progress moves and Ctrl-C is heard within a few tenths of a second); a reader on USB 2.0 (about
// 40 MiB/s) gets 8 MiB chunks from the second on. What a dump does with a chunk's bytes after its
// read (reorder, hash, write) is still to do when the last read ends, so a last chunk of
// kSplitLastChunkFrom or more is split: its last kLastReadChunk is read on its own, while the rest
// is hashed and written.
inline constexpr std::uint32_t kFirstReadChunk = 1u << 20;
inline constexpr std::uint32_t kLargestReadChunk = 8u << 20;
inline constexpr std::uint64_t kChunkTargetMs = 250;
inline constexpr std::uint32_t kLastReadChunk = 1u << 20;
inline constexpr std::uint32_t kSplitLastChunkFrom = 4u << 20;
// The byte-wise write handlers spend a 512-byte command sector on every data byte: a chunk of
// 1 KiB is a 512 KiB command write.
inline constexpr std::uint32_t kWriteChunkSize = 1024;

// Receives the cartridge's bytes from address on, in order, piece by piece. Returning false ends
// the read early (without an error).
using ReadConsumer =
    std::function<bool(std::uint32_t address, std::span<const std::uint8_t> bytes)>;

// Reads size bytes from start on. `what` names the transfer in messages ("reading", "verifying"),
// `again` what to do after a failure ("try again", "dump again").
Outcome ReadRange(ToolContext& context, const ConnectedReader& reader, std::uint32_t start,
                  std::uint64_t size, std::string_view what, Progress* progress,
                  const ReadConsumer& consume, std::string_view again = "try again");

// Memory aligned for unbuffered reads, so that the device link reads straight into it. Its bytes
// are not cleared first. A whole image gets ordinary pages: with a worker hashing and writing while
// the reader reads, advising large pages made the reads slower and less even (their faults may
// compact memory on the spot), not faster.
class AlignedBuffer {
  public:
    explicit AlignedBuffer(std::size_t size);
    std::span<std::uint8_t> Span() const { return view_; }

  private:
    std::unique_ptr<std::uint8_t[]> storage_;
    std::span<std::uint8_t> view_;
};

// A dump's image once read and written to its (pending) file: the bytes in memory as the file holds
// them, and their digests.
struct DumpedImage {
    std::unique_ptr<AlignedBuffer> storage;
    std::span<std::uint8_t> image;
    rom::ImageDigests digests;
    // N64: the byte order the cartridge presented, when the image's first word told it.
    std::optional<rom::N64ByteOrder> presented;
    // The file holds byte k of each whole 4-byte word the cartridge presented at k ^ wordSwap (an
    // N64 image put into another byte order); 0 when it holds them as presented.
    std::size_t wordSwap = 0;
};

// A dump's read: size bytes from start on, each chunk read straight into its place in memory of
// the image's own, then handed to a worker thread that puts it into the file's order (hasher: an
// N64 image's byte orders; see rom::ImageHasher), hashes it and appends it to file, while the
// reading goes on with the next chunk. A write that fails ends the read; fileName names the file
// in that message.
Outcome ReadIntoFile(ToolContext& context, const ConnectedReader& reader, std::uint32_t start,
                     std::uint64_t size, Progress* progress, rom::ImageHasher& hasher,
                     PendingOutput& file, std::string_view fileName, DumpedImage& dumped);

// Writes data to the cartridge from start on. reached, when given, receives the first address not
// written (the end when every byte was).
Outcome WriteRange(ToolContext& context, std::uint32_t start, std::span<const std::uint8_t> data,
                   Progress* progress, std::uint64_t* reached = nullptr);

// The first byte where the cartridge differs from what was expected there.
struct Mismatch {
    std::uint32_t address;
    std::uint8_t expected;
    std::uint8_t found;
};

// Reads the range that expected covers (from start on) again and compares. With wordSwap, expected
// holds the cartridge's whole 4-byte words reordered as DumpedImage::wordSwap says. `again` ends
// the message of a reader that went away ("plug it in again, reseat the cartridge and ...").
Outcome CompareRange(ToolContext& context, const ConnectedReader& reader, std::uint32_t start,
                     std::span<const std::uint8_t> expected, std::string_view what,
                     Progress* progress, std::optional<Mismatch>& mismatch,
                     std::size_t wordSwap = 0, std::string_view again = "try again");

}  // namespace reader::tool
