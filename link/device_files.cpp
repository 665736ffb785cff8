#include "link/device_files.hpp"

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

#include "link/discovery.hpp"
#include "platform/host.hpp"

namespace reader {
namespace {

using platform::kUnbufferedBufferAlignment;
using platform::kUnbufferedSectorSize;

// Returns the part of storage that starts at the first address aligned for unbuffered reads.
std::span<std::uint8_t> AlignedWindow(std::span<std::uint8_t> storage, std::size_t size) {
    void* start = storage.data();
    std::size_t space = storage.size();
    start = std::align(kUnbufferedBufferAlignment, size, start, space);
    return {static_cast<std::uint8_t*>(start), size};
}

bool IsAligned(const void* pointer) {
    return reinterpret_cast<std::uintptr_t>(pointer) % kUnbufferedBufferAlignment == 0;
}

// Small request: two blocks into a bounce buffer, then the requested bytes from the remainder on.
std::uint32_t ReadThroughBounce(const char* path, std::uint8_t* destination, std::uint32_t count,
                                std::uint32_t position, std::uint32_t remainder) {
    // Room to place a 2048-byte window on a 4096 boundary inside the routine's own frame. It is
    // cleared, so a file that ends early can never hand out stale memory.
    std::array<std::uint8_t, kBounceSize + kUnbufferedBufferAlignment> storage{};
    const auto bounce = AlignedWindow(storage, kBounceSize);
    const auto delivered = platform::ActiveHost().ReadUnbuffered(path, position, bounce);
    if (!delivered) {
        return 0;
    }
    // The file must have supplied every byte of the request.
    if (*delivered < static_cast<std::uint64_t>(remainder) + count) {
        return 0;
    }
    std::copy_n(bounce.subspan(remainder).begin(), count, destination);
    return count;
}

// Large request that the unbuffered rules would refuse as it stands (offset inside a block, a
// count that is not whole sectors, or a destination that is not aligned): read the covering
// aligned range into aligned scratch memory and copy the bytes that begin at the offset.
std::uint32_t ReadThroughScratch(const char* path, std::uint8_t* destination, std::uint32_t count,
                                 std::uint32_t position, std::uint32_t remainder) {
    const std::uint64_t wanted = static_cast<std::uint64_t>(remainder) + count;
    const std::uint64_t covering = (wanted + kReplyBlockMask) & ~std::uint64_t{kReplyBlockMask};
    if (covering > UINT32_MAX) {
        return 0;
    }
    std::vector<std::uint8_t> storage;
    try {
        storage.resize(static_cast<std::size_t>(covering) + kUnbufferedBufferAlignment);
    } catch (const std::bad_alloc&) {
        return 0;
    }
    const auto scratch = AlignedWindow(storage, static_cast<std::size_t>(covering));
    const auto delivered = platform::ActiveHost().ReadUnbuffered(path, position, scratch);
    if (!delivered || *delivered <= remainder) {
        return 0;
    }
    const std::uint32_t given = std::min(count, *delivered - remainder);
    std::copy_n(scratch.subspan(remainder).begin(), given, destination);
    return given;
}

}  // namespace

void FormatDevicePath(std::span<char> buffer, const char* fileName, char drive) {
    std::fill(buffer.begin(), buffer.end(), '\0');
    std::snprintf(buffer.data(), buffer.size(), "%c:\\%s", drive, fileName);
}

std::uint32_t ReplyRead(const char* path, std::uint8_t* destination, std::uint32_t count,
                        std::uint32_t offset) {
    if (destination == nullptr) {
        return 0;
    }
    // Unbuffered reads need a position on a sector boundary: start at the block that holds the
    // offset.
    const std::uint32_t remainder = offset & kReplyBlockMask;
    const std::uint32_t position = offset - remainder;

    if (count < kReplyBlockSize) {
        return ReadThroughBounce(path, destination, count, position, remainder);
    }
    const bool direct =
        remainder == 0 && count % kUnbufferedSectorSize == 0 && IsAligned(destination);
    if (!direct) {
        return ReadThroughScratch(path, destination, count, position, remainder);
    }
    const auto delivered =
        platform::ActiveHost().ReadUnbuffered(path, position, {destination, count});
    return delivered.value_or(0);
}

std::uint32_t StatusRead(std::uint32_t offset, std::uint8_t* destination, std::uint32_t count) {
    std::array<char, kDevicePathBufferSize> path{};
    FormatDevicePath(path, kStatusFileName, DeviceDrive);
    return ReplyRead(path.data(), destination, count, offset);
}

std::uint32_t DataRead(std::uint32_t offset, std::uint8_t* destination, std::uint32_t count) {
    std::array<char, kDevicePathBufferSize> path{};
    FormatDevicePath(path, kDataFileName, DeviceDrive);
    return ReplyRead(path.data(), destination, count, offset);
}

}  // namespace reader
