// The reader's three device files and the unbuffered reads of its replies.
//
// The reader is a removable drive; the host writes command sectors to CMD.CMD and reads the
// reader's identity and replies from T-DRIVER.DMP and cartridge data from DUMP.ROM. Every access
// opens, reads (or writes) once and closes again: nothing read from the reader is cached.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace reader {

// The files in the root of the reader's drive. A path is the drive letter, a colon, one backslash
// and the name ("E:\\T-DRIVER.DMP"), built anew from DeviceDrive for every access.
inline constexpr const char* kCommandFileName = "CMD.CMD";
inline constexpr const char* kStatusFileName = "T-DRIVER.DMP";
inline constexpr const char* kDataFileName = "DUMP.ROM";

inline constexpr std::size_t kCommandPathBufferSize = 256;
inline constexpr std::size_t kDevicePathBufferSize = 260;

// The reader serves its files in 1024-byte blocks; a small request reads two of them so that any
// request under 1024 bytes, at any offset, lies inside what was read.
inline constexpr std::uint32_t kReplyBlockSize = 1024;
inline constexpr std::uint32_t kReplyBlockMask = kReplyBlockSize - 1;
inline constexpr std::uint32_t kBounceSize = 2 * kReplyBlockSize;

// Clears buffer and formats the path of the named file on drive into it.
void FormatDevicePath(std::span<char> buffer, const char* fileName, char drive);

// Reads count bytes at offset of the file at path into destination, bypassing every cache.
// Returns the number of bytes given to the caller, or 0 on any failure (callers take 0 for
// failure). A request under 1024 bytes either gets all its bytes or fails; a larger request gets
// the bytes that begin at offset, as many as the file holds.
std::uint32_t ReplyRead(const char* path, std::uint8_t* destination, std::uint32_t count,
                        std::uint32_t offset);

// ReplyRead on the status file (T-DRIVER.DMP) of the reader's drive. Offset first.
std::uint32_t StatusRead(std::uint32_t offset, std::uint8_t* destination, std::uint32_t count);

// ReplyRead on the data file (DUMP.ROM) of the reader's drive. Offset first.
std::uint32_t DataRead(std::uint32_t offset, std::uint8_t* destination, std::uint32_t count);

}  // namespace reader
