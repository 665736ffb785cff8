// The name of a dump written into a folder (reader-tool dump DIR): the game's name from the DAT
// entry that verifies it, else the title (and for N64 the game code) in the cartridge's header,
// else the system and the CRC32; with the system's usual extension, and made fit for a file name
// on Windows and on Linux alike.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "frontend/rom/dat.hpp"
#include "frontend/rom/rom_report.hpp"

namespace reader::tool {

// The longest stem a name gets: Windows programs that use the system's ANSI calls reach only
// 260 characters of path, folder included.
inline constexpr std::size_t kLongestStem = 120;

// A stem (the name without its extension) made from a game's name or a header's title, that both
// systems take: the characters Windows forbids (< > : " / \ | ? *) and control characters become
// '_', accented Latin letters their plain ones (DAT names are UTF-8; the names stay ASCII, which
// every code page spells alike) and any other character '_'; blanks are collapsed, leading dots
// and blanks and trailing dots and blanks (which Windows drops) are cut, and a name that Windows
// reserves for a device (CON, NUL, COM1, ...) gets a '_'. Empty when no letter or digit is left.
std::string StemFrom(std::string_view text);

// ".z64", ".v64" or ".n64" by the N64 byte order of the file, ".sfc", else ".bin".
std::string_view ImageExtension(rom::ImageKind kind, rom::N64ByteOrder order);

struct DumpName {
    std::string stem;
    std::string_view extension;
    std::string source;  // what the name was made from, for the message

    std::string FileName() const { return stem + std::string(extension); }
};

// The name of a dump: `image` as written (an N64 image in `order`), `match` what the DAT files
// said of it, `system` the reader variant's short name ("N64"), `crc32` the file's.
DumpName NameOfDump(std::span<const std::uint8_t> image, rom::ImageKind kind,
                    rom::N64ByteOrder order, const rom::DatMatch& match, std::string_view system,
                    std::uint32_t crc32);

// Where the dump goes in the folder: the name itself when it is free (or `replace` is set), else
// the first free one of "stem (1).ext", "stem (2).ext", ...; nothing when all are taken.
std::optional<std::filesystem::path> FreePathIn(const std::filesystem::path& folder,
                                                const DumpName& name, bool replace);

}  // namespace reader::tool
