#include "frontend/transfer.hpp"

#include <algorithm>
#include <memory>
#include <new>
#include <vector>

#include "drivers/device_library.hpp"
#include "frontend/tool_os.hpp"
#include "platform/host.hpp"

namespace reader::tool {
namespace {

// A large read of the data file starts on one of the reader's 1024-byte blocks.
constexpr std::uint64_t kBlockSize = kReplyBlockSize;
// The large pages of x86-64 systems.
constexpr std::size_t kLargePageSize = 2u << 20;

std::uint64_t RoundDown(std::uint64_t value, std::uint64_t unit) {
    return value / unit * unit;
}

std::uint64_t RoundUp(std::uint64_t value, std::uint64_t unit) {
    return (value + unit - 1) / unit * unit;
}

std::string ReasonSince(ToolContext& context, std::uint64_t failuresBefore) {
    if (context.Host().Failures() == failuresBefore) {
        return {};
    }
    return context.Host().FailureReason();
}

ToolError InterruptedAt(StopSignal signal, std::string_view what, std::uint64_t address) {
    return Interrupted(signal, "interrupted by " + std::string(SignalName(signal)) + " while " +
                                   std::string(what) + " at " + Hex(address, 8) + ".");
}

// The reads that cover [start, start + size): whole blocks where the data file is read at the
// address itself, else from the start address on; always whole blocks long, so that every read
// is a large one, which the device link hands straight to the operating system.
struct Coverage {
    std::uint64_t first;
    std::uint64_t last;
};

Coverage CoverageOf(const VariantProfile& profile, std::uint32_t start, std::uint64_t size) {
    const std::uint64_t first = profile.addressInDataFile ? RoundDown(start, kBlockSize) : start;
    return {first, first + RoundUp(std::uint64_t{start} + size - first, kBlockSize)};
}

// Reads the coverage of [start, start + size) chunk by chunk: each chunk into the memory that
// `into` gives for it, then the part of it that was asked for to `consume`.
Outcome ReadChunks(
    ToolContext& context, const ConnectedReader& reader, std::uint32_t start, std::uint64_t size,
    std::string_view what, Progress* progress,
    const std::function<std::span<std::uint8_t>(std::uint64_t address, std::uint64_t length)>& into,
    const ReadConsumer& consume) {
    const VariantProfile& profile = *reader.profile;
    const std::uint64_t end = std::uint64_t{start} + size;
    const Coverage coverage = CoverageOf(profile, start, size);

    std::uint64_t done = 0;
    std::uint64_t chunkSize = kFirstReadChunk;
    for (std::uint64_t address = coverage.first; address < coverage.last;) {
        if (const auto signal = context.Os().Interruption()) {
            return InterruptedAt(*signal, what, address);
        }
        std::uint64_t length = std::min<std::uint64_t>(chunkSize, coverage.last - address);
        if (profile.bankSize != 0) {
            const std::uint64_t bankEnd = RoundDown(address, profile.bankSize) + profile.bankSize;
            length = std::min(length, bankEnd - address);
        }
        const std::span<std::uint8_t> chunk = into(address, length);
        const std::uint64_t failuresBefore = context.Host().Failures();
        const std::uint64_t readStartMs = context.Os().NowMs();
        const int delivered = SystemDriver.ReadSlot(
            static_cast<std::uint32_t>(address), chunk.data(), static_cast<std::uint32_t>(length));
        if (context.Os().NowMs() - readStartMs < kQuickChunkMs && chunkSize < kLargestReadChunk) {
            chunkSize *= 2;
        }
        const std::string reason = ReasonSince(context, failuresBefore);
        if (delivered <= 0 || static_cast<std::uint64_t>(delivered) != length || !reason.empty()) {
            if (const auto signal = context.Os().Interruption()) {
                return InterruptedAt(*signal, what, address);
            }
            std::string cause = reason;
            if (cause.empty()) {
                cause = delivered <= 0 ? "the reader delivered no data"
                                       : "the reader delivered " + std::to_string(delivered) +
                                             " of " + std::to_string(length) + " bytes";
            }
            return Failure(std::string(what) + " the cartridge at " + Hex(address, 8) +
                           " failed: " + cause +
                           ". Check that the reader is plugged in and the cartridge seated, then "
                           "try again.");
        }
        // The part of this chunk that the caller asked for.
        const std::uint64_t from = std::max<std::uint64_t>(address, start);
        const std::uint64_t to = std::min<std::uint64_t>(address + length, end);
        if (from < to) {
            const auto piece = chunk.subspan(static_cast<std::size_t>(from - address),
                                             static_cast<std::size_t>(to - from));
            if (!consume(static_cast<std::uint32_t>(from), piece)) {
                return std::nullopt;
            }
            done += to - from;
            if (progress != nullptr) {
                progress->Update(done);
            }
        }
        address += length;
    }
    return std::nullopt;
}

}  // namespace

AlignedBuffer::AlignedBuffer(std::size_t size, bool large) {
    const std::size_t alignment = large ? kLargePageSize : platform::kUnbufferedBufferAlignment;
    storage_ = std::make_unique_for_overwrite<std::uint8_t[]>(size + alignment);
    void* begin = storage_.get();
    std::size_t space = size + alignment;
    begin = std::align(alignment, size, begin, space);
    view_ = {static_cast<std::uint8_t*>(begin), size};
    if (large) {
        AdviseLargePages(view_);
    }
}

Outcome ReadRange(ToolContext& context, const ConnectedReader& reader, std::uint32_t start,
                  std::uint64_t size, std::string_view what, Progress* progress,
                  const ReadConsumer& consume) {
    const Coverage coverage = CoverageOf(*reader.profile, start, size);
    const AlignedBuffer buffer(static_cast<std::size_t>(
        std::min<std::uint64_t>(kLargestReadChunk, coverage.last - coverage.first)));
    return ReadChunks(
        context, reader, start, size, what, progress,
        [&buffer](std::uint64_t, std::uint64_t length) {
            return buffer.Span().first(static_cast<std::size_t>(length));
        },
        consume);
}

Outcome ReadImage(ToolContext& context, const ConnectedReader& reader, std::uint32_t start,
                  std::uint64_t size, std::string_view what, Progress* progress,
                  std::unique_ptr<AlignedBuffer>& storage, std::span<std::uint8_t>& image) {
    const Coverage coverage = CoverageOf(*reader.profile, start, size);
    try {
        storage = std::make_unique<AlignedBuffer>(
            static_cast<std::size_t>(coverage.last - coverage.first), true);
    } catch (const std::bad_alloc&) {
        return Failure("there is not enough memory for " + HumanSize(size) +
                       ". Close other programs, or dump in parts with --start and --size.");
    }
    const std::span<std::uint8_t> whole = storage->Span();
    image = whole.subspan(static_cast<std::size_t>(start - coverage.first),
                          static_cast<std::size_t>(size));
    // Each chunk is read into its place: nothing is copied.
    return ReadChunks(
        context, reader, start, size, what, progress,
        [&](std::uint64_t address, std::uint64_t length) {
            return whole.subspan(static_cast<std::size_t>(address - coverage.first),
                                 static_cast<std::size_t>(length));
        },
        [](std::uint32_t, std::span<const std::uint8_t>) { return true; });
}

Outcome WriteRange(ToolContext& context, std::uint32_t start, std::span<const std::uint8_t> data,
                   Progress* progress, std::uint64_t* reached) {
    std::size_t done = 0;
    while (done < data.size()) {
        const std::uint64_t address = std::uint64_t{start} + done;
        if (reached != nullptr) {
            *reached = address;
        }
        if (const auto signal = context.Os().Interruption()) {
            return Interrupted(*signal, "interrupted by " + std::string(SignalName(*signal)) +
                                            " while writing at " + Hex(address, 8) +
                                            ": the cartridge holds the new bytes up to there.");
        }
        const auto length =
            static_cast<std::uint32_t>(std::min<std::size_t>(kWriteChunkSize, data.size() - done));
        const std::uint64_t failuresBefore = context.Host().Failures();
        const int written =
            SystemDriver.WriteSlot(static_cast<std::uint32_t>(address), data.data() + done, length);
        const std::string reason = ReasonSince(context, failuresBefore);
        if (written <= 0 || !reason.empty()) {
            return Failure("writing the cartridge at " + Hex(address, 8) + " failed: " +
                           (reason.empty() ? std::string("the reader took no command") : reason) +
                           ". The bytes before that address are written. Check that the reader "
                           "is plugged in and the cartridge seated, then write again.");
        }
        done += length;
        if (progress != nullptr) {
            progress->Update(done);
        }
    }
    if (reached != nullptr) {
        *reached = std::uint64_t{start} + done;
    }
    return std::nullopt;
}

Outcome CompareRange(ToolContext& context, const ConnectedReader& reader, std::uint32_t start,
                     std::span<const std::uint8_t> expected, std::string_view what,
                     Progress* progress, std::optional<Mismatch>& mismatch) {
    mismatch.reset();
    return ReadRange(context, reader, start, expected.size(), what, progress,
                     [&](std::uint32_t address, std::span<const std::uint8_t> bytes) {
                         const auto offset = static_cast<std::size_t>(address - start);
                         const auto wanted = expected.subspan(offset, bytes.size());
                         const auto differs =
                             std::mismatch(bytes.begin(), bytes.end(), wanted.begin());
                         if (differs.first == bytes.end()) {
                             return true;
                         }
                         const auto at = static_cast<std::uint32_t>(differs.first - bytes.begin());
                         mismatch = Mismatch{address + at, *differs.second, *differs.first};
                         return false;
                     });
}

}  // namespace reader::tool
