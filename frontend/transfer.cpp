#include "frontend/transfer.hpp"

#include <algorithm>
#include <array>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <new>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

#include "drivers/device_library.hpp"
#include "frontend/tool_os.hpp"
#include "platform/host.hpp"
#include "text/text.hpp"

namespace reader::tool {
namespace {

// A large read of the data file starts on one of the reader's 1024-byte blocks.
constexpr std::uint64_t kBlockSize = kReplyBlockSize;

std::uint64_t RoundDown(std::uint64_t value, std::uint64_t unit) {
    return value / unit * unit;
}

std::uint64_t RoundUp(std::uint64_t value, std::uint64_t unit) {
    return (value + unit - 1) / unit * unit;
}

ToolError InterruptedAt(StopSignal signal, std::string_view what, std::uint64_t address) {
    return InterruptedBy(signal,
                         " while " + std::string(what) + " at " + text::AddressText(address) + ".");
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

// Whether the reader is gone (unplugged, without power, restarting) rather than one read having
// failed: its status file no longer shows the identity it had.
bool ReaderGone(const ConnectedReader& reader) {
    std::array<char, kIdentityLength + 1> identity{};
    const std::uint32_t got = StatusRead(
        kIdentityOffset, reinterpret_cast<std::uint8_t*>(identity.data()), kIdentityLength);
    return got != kIdentityLength || reader.identity != identity.data();
}

// The size of the chunk after one of `length` bytes that took tookMs: the largest power of two
// times kFirstReadChunk, up to kLargestReadChunk, that takes at most kChunkTargetMs at that rate.
std::uint64_t NextChunkSize(std::uint64_t length, std::uint64_t tookMs) {
    const std::uint64_t fits = length * kChunkTargetMs / std::max<std::uint64_t>(tookMs, 1);
    std::uint64_t next = kFirstReadChunk;
    while (next * 2 <= std::min<std::uint64_t>(fits, kLargestReadChunk)) {
        next *= 2;
    }
    return next;
}

// How much of [address, last) the next read takes: a chunk, cut at the end of an SFC bank; a last
// chunk of kSplitLastChunkFrom or more leaves its last kLastReadChunk to a read of its own.
std::uint64_t ChunkLength(const VariantProfile& profile, std::uint64_t address, std::uint64_t last,
                          std::uint64_t chunkSize) {
    std::uint64_t length = std::min(chunkSize, last - address);
    if (address + length == last && length >= kSplitLastChunkFrom) {
        length -= kLastReadChunk;
    }
    if (profile.bankSize != 0) {
        const std::uint64_t bankEnd = RoundDown(address, profile.bankSize) + profile.bankSize;
        length = std::min(length, bankEnd - address);
    }
    return length;
}

using ChunkMemory =
    std::function<std::span<std::uint8_t>(std::uint64_t address, std::uint64_t length)>;

// Reads the coverage of [start, start + size) chunk by chunk: each chunk into the memory that
// `into` gives for it, then the part of it that was asked for to `consume`. `again` ends the
// message of a reader that went away.
Outcome ReadChunks(ToolContext& context, const ConnectedReader& reader, std::uint32_t start,
                   std::uint64_t size, std::string_view what, std::string_view again,
                   Progress* progress, const ChunkMemory& into, const ReadConsumer& consume) {
    const VariantProfile& profile = *reader.profile;
    const std::uint64_t end = std::uint64_t{start} + size;
    const Coverage coverage = CoverageOf(profile, start, size);

    std::uint64_t done = 0;
    std::uint64_t chunkSize = kFirstReadChunk;
    for (std::uint64_t address = coverage.first; address < coverage.last;) {
        if (const auto signal = context.Os().Interruption()) {
            return InterruptedAt(*signal, what, address);
        }
        const std::uint64_t length = ChunkLength(profile, address, coverage.last, chunkSize);
        const std::span<std::uint8_t> chunk = into(address, length);
        const FailureWatch watch(context.Host());
        const std::uint64_t readStartMs = context.Os().NowMs();
        const int delivered = SystemDriver.ReadSlot(
            static_cast<std::uint32_t>(address), chunk.data(), static_cast<std::uint32_t>(length));
        // A piece cut short by a bank's end is too short to time in milliseconds.
        if (length >= kFirstReadChunk) {
            chunkSize = NextChunkSize(length, context.Os().NowMs() - readStartMs);
        }
        const std::string reason = watch.Reason();
        // A short count leaves the rest of the chunk as the memory held it before: never data.
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
            if (ReaderGone(reader)) {
                return Failure("the " + reader.Name() + " went away while " + std::string(what) +
                               " at " + text::AddressText(address) + " (" + cause +
                               "). Plug it in again, reseat the cartridge and " +
                               std::string(again) + ".");
            }
            return Failure(std::string(what) + " the cartridge at " + text::AddressText(address) +
                           " failed: " + cause +
                           ". Check that the reader is plugged in and the cartridge seated, then " +
                           std::string(again) + ".");
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

// Takes a dump's chunks as the reading thread finishes them and, on a thread of its own, puts
// each into the file's byte order, hashes it and appends it to the file: the hashing and the
// writing of one chunk overlap the reading of the next. The chunks lie in the image's memory; the
// reading thread hands a chunk on and does not touch it again, and the worker leaves in the image
// exactly what it wrote, so that the image in memory is the file.
//
// Between chunks the worker also touches the memory that the reads have not reached yet, a byte in
// each page: fresh memory gets its pages on the first write, and a read into untouched memory has
// the system find and clear every page of it before the reader's bytes can come, all of it on the
// reading thread's time (about half a millisecond per MiB). The reading thread claims each chunk's
// memory before its read, and the worker only ever touches memory beyond what was claimed, a step
// at a time: a claim waits for the step under way to end when it reaches into it.
class ChunkPipeline {
  public:
    // image: the bytes asked for, hashed and written; whole: the memory the reads fill (the image,
    // and the part of a block before it that a read may also bring).
    ChunkPipeline(rom::ImageHasher& hasher, PendingOutput& file, std::span<std::uint8_t> image,
                  std::span<std::uint8_t> whole)
        : hasher_(hasher), file_(file), image_(image), whole_(whole) {
        try {
            worker_ = std::thread([this] { Run(); });
        } catch (const std::system_error&) {
            // No thread to be had: each chunk is handled as it is handed on.
        }
    }
    ChunkPipeline(const ChunkPipeline&) = delete;
    ChunkPipeline& operator=(const ChunkPipeline&) = delete;
    // Without Finish (the read failed): the chunks still waiting are not written.
    ~ChunkPipeline() {
        {
            const std::lock_guard lock(mutex_);
            queue_.clear();
        }
        Stop();
    }

    // The memory of whole's bytes [offset, offset + length), for a read: from now on the worker
    // leaves it alone.
    std::span<std::uint8_t> Claim(std::size_t offset, std::size_t length) {
        const std::span<std::uint8_t> memory = whole_.subspan(offset, length);
        if (!worker_.joinable()) {
            return memory;
        }
        std::unique_lock lock(mutex_);
        claimed_ = std::max(claimed_, offset + length);
        changed_.wait(lock, [this] { return touching_.empty() || touchingFrom_ >= claimed_; });
        return memory;
    }

    // Hands on the image's bytes [offset, offset + length), waiting while the queue is full. False
    // once a write failed: the read can stop.
    bool Push(std::size_t offset, std::size_t length) {
        if (!worker_.joinable()) {
            failed_ = failed_ || !Handle(offset, length);
            return !failed_;
        }
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [this] { return queue_.size() < kQueuedChunks || failed_; });
        if (failed_) {
            return false;
        }
        queue_.emplace_back(offset, length);
        changed_.notify_all();
        return true;
    }

    // Waits for every chunk handed on, then writes what the hasher still holds. False when a
    // write failed.
    bool Finish() {
        Stop();
        if (failed_) {
            return false;
        }
        return Emit(hasher_.Finish());
    }

  private:
    // Chunks waiting for the worker, already in the image's memory: enough that a worker held up
    // for a moment (the disk, another program) does not hold up the reader.
    static constexpr std::size_t kQueuedChunks = 8;
    // Memory is touched in steps of this size (a claim waits for at most one), a byte in every
    // page of the smallest size the systems give.
    static constexpr std::size_t kTouchStep = std::size_t{256} << 10;
    static constexpr std::size_t kPageSize = 4096;

    void Stop() {
        {
            const std::lock_guard lock(mutex_);
            closing_ = true;
        }
        changed_.notify_all();
        if (worker_.joinable()) {
            worker_.join();
        }
    }

    // Memory the reads have not reached and the worker has not touched yet.
    bool Untouched() const { return std::max(touched_, claimed_) < whole_.size(); }

    // Touches the next step of memory beyond the claims, outside the lock.
    void TouchAhead(std::unique_lock<std::mutex>& lock) {
        touchingFrom_ = std::max(touched_, claimed_);
        touching_ =
            whole_.subspan(touchingFrom_, std::min(kTouchStep, whole_.size() - touchingFrom_));
        const std::span<std::uint8_t> pages = touching_;
        lock.unlock();
        for (std::size_t at = 0; at < pages.size(); at += kPageSize) {
            pages[at] = 0;
        }
        lock.lock();
        touched_ = touchingFrom_ + pages.size();
        touching_ = {};
        changed_.notify_all();
    }

    void Run() {
        while (true) {
            std::pair<std::size_t, std::size_t> next;
            {
                std::unique_lock lock(mutex_);
                changed_.wait(lock, [this] { return !queue_.empty() || closing_ || Untouched(); });
                if (queue_.empty() && closing_) {
                    return;
                }
                if (queue_.empty()) {
                    TouchAhead(lock);
                    continue;
                }
                next = queue_.front();
                queue_.pop_front();
            }
            changed_.notify_all();
            // After a failed write the rest is not written; the reading thread stops.
            if (!Handle(next.first, next.second)) {
                const std::lock_guard lock(mutex_);
                failed_ = true;
                queue_.clear();
                changed_.notify_all();
                return;
            }
        }
    }

    bool Handle(std::size_t offset, std::size_t length) {
        return Emit(hasher_.Add(image_.subspan(offset, length)));
    }

    // Writes what the hasher handed back and leaves the same bytes in the image (a word that
    // straddled two chunks is reordered in the hasher, not in place).
    bool Emit(const rom::ArrangedBytes& arranged) {
        std::copy(arranged.held.begin(), arranged.held.end(),
                  image_.begin() + static_cast<std::ptrdiff_t>(written_));
        written_ += arranged.size();
        return (arranged.held.empty() || file_.Write(arranged.held)) &&
               (arranged.chunk.empty() || file_.Write(arranged.chunk));
    }

    rom::ImageHasher& hasher_;
    PendingOutput& file_;
    std::span<std::uint8_t> image_;
    std::span<std::uint8_t> whole_;
    std::size_t written_ = 0;  // bytes of the file so far (touched by the worker alone)
    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<std::pair<std::size_t, std::size_t>> queue_;
    // Offsets in whole_: the end of the memory claimed for reads, the end of the memory touched,
    // and the step being touched (empty when none) with its start.
    std::size_t claimed_ = 0;
    std::size_t touched_ = 0;
    std::span<std::uint8_t> touching_;
    std::size_t touchingFrom_ = 0;
    bool closing_ = false;
    bool failed_ = false;
    std::thread worker_;
};

// The allocation of a whole image, with the part of it that holds the bytes asked for.
Outcome AllocateImage(const Coverage& coverage, std::uint32_t start, std::uint64_t size,
                      std::unique_ptr<AlignedBuffer>& storage, std::span<std::uint8_t>& image) {
    try {
        storage = std::make_unique<AlignedBuffer>(
            static_cast<std::size_t>(coverage.last - coverage.first));
    } catch (const std::bad_alloc&) {
        return Failure("there is not enough memory for " + text::SizeText(size) +
                       ". Close other programs, or dump in parts with --start and --size.");
    }
    image = storage->Span().subspan(static_cast<std::size_t>(start - coverage.first),
                                    static_cast<std::size_t>(size));
    return std::nullopt;
}

// The XOR that takes a byte's place in a word of one N64 byte order to its place in another:
// byte-swapped is big-endian with k ^ 1, little-endian with k ^ 3.
std::size_t OrderCode(rom::N64ByteOrder order) {
    switch (order) {
        case rom::N64ByteOrder::BigEndian:
            return 0;
        case rom::N64ByteOrder::ByteSwapped:
            return 1;
        case rom::N64ByteOrder::LittleEndian:
            return 3;
    }
    return 0;
}

}  // namespace

AlignedBuffer::AlignedBuffer(std::size_t size) {
    const std::size_t alignment = platform::kUnbufferedBufferAlignment;
    storage_ = std::make_unique_for_overwrite<std::uint8_t[]>(size + alignment);
    void* begin = storage_.get();
    std::size_t space = size + alignment;
    begin = std::align(alignment, size, begin, space);
    view_ = {static_cast<std::uint8_t*>(begin), size};
}

Outcome ReadRange(ToolContext& context, const ConnectedReader& reader, std::uint32_t start,
                  std::uint64_t size, std::string_view what, Progress* progress,
                  const ReadConsumer& consume, std::string_view again) {
    const Coverage coverage = CoverageOf(*reader.profile, start, size);
    const AlignedBuffer buffer(static_cast<std::size_t>(
        std::min<std::uint64_t>(kLargestReadChunk, coverage.last - coverage.first)));
    return ReadChunks(
        context, reader, start, size, what, again, progress,
        [&buffer](std::uint64_t, std::uint64_t length) {
            return buffer.Span().first(static_cast<std::size_t>(length));
        },
        consume);
}

Outcome ReadIntoFile(ToolContext& context, const ConnectedReader& reader, std::uint32_t start,
                     std::uint64_t size, Progress* progress, rom::ImageHasher& hasher,
                     PendingOutput& file, std::string_view fileName, DumpedImage& dumped) {
    const Coverage coverage = CoverageOf(*reader.profile, start, size);
    if (auto failed = AllocateImage(coverage, start, size, dumped.storage, dumped.image)) {
        return failed;
    }
    const std::span<std::uint8_t> whole = dumped.storage->Span();
    const std::span<std::uint8_t> image = dumped.image;
    ChunkPipeline pipeline(hasher, file, image, whole);
    // Each chunk is read into its place: nothing is copied.
    auto failed = ReadChunks(
        context, reader, start, size, "reading", "dump again", progress,
        [&](std::uint64_t address, std::uint64_t length) {
            return pipeline.Claim(static_cast<std::size_t>(address - coverage.first),
                                  static_cast<std::size_t>(length));
        },
        [&](std::uint32_t address, std::span<const std::uint8_t> bytes) {
            return pipeline.Push(address - start, bytes.size());
        });
    if (failed) {
        return failed;
    }
    if (!pipeline.Finish()) {
        return Failure("writing " + std::string(fileName) + " failed: " + file.Reason() +
                       ". Free some space or choose another place.");
    }
    dumped.digests = hasher.Digests();
    dumped.presented = hasher.Presented();
    dumped.wordSwap = 0;
    if (dumped.presented && dumped.digests.fileOrder) {
        dumped.wordSwap = OrderCode(*dumped.presented) ^ OrderCode(*dumped.digests.fileOrder);
    }
    return std::nullopt;
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
            return InterruptedBy(*signal, " while writing at " + text::AddressText(address) +
                                              ": the cartridge holds the new bytes up to there.");
        }
        const auto length =
            static_cast<std::uint32_t>(std::min<std::size_t>(kWriteChunkSize, data.size() - done));
        const FailureWatch watch(context.Host());
        const int written =
            SystemDriver.WriteSlot(static_cast<std::uint32_t>(address), data.data() + done, length);
        const std::string reason = watch.Reason();
        if (written <= 0 || !reason.empty()) {
            return Failure("writing the cartridge at " + text::AddressText(address) + " failed: " +
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
                     Progress* progress, std::optional<Mismatch>& mismatch, std::size_t wordSwap,
                     std::string_view again) {
    mismatch.reset();
    constexpr std::size_t kWord = 4;
    const std::size_t wholeWords = expected.size() - expected.size() % kWord;
    // Where the byte read at a place of the range stands in the file's byte order (a last part
    // word stays as it is).
    const auto inFile = [&](std::size_t place) {
        return place < wholeWords ? place ^ wordSwap : place;
    };
    return ReadRange(
        context, reader, start, expected.size(), what, progress,
        [&](std::uint32_t address, std::span<const std::uint8_t> bytes) {
            const auto offset = static_cast<std::size_t>(address - start);
            std::optional<std::size_t> at;
            if (wordSwap == 0) {
                const auto wanted = expected.subspan(offset, bytes.size());
                const auto differs = std::mismatch(bytes.begin(), bytes.end(), wanted.begin());
                if (differs.first != bytes.end()) {
                    at = static_cast<std::size_t>(differs.first - bytes.begin());
                }
            } else {
                for (std::size_t i = 0; i < bytes.size() && !at; ++i) {
                    if (bytes[i] != expected[inFile(offset + i)]) {
                        at = i;
                    }
                }
            }
            if (!at) {
                return true;
            }
            mismatch = Mismatch{address + static_cast<std::uint32_t>(*at),
                                expected[inFile(offset + *at)], bytes[*at]};
            return false;
        },
        again);
}

}  // namespace reader::tool
