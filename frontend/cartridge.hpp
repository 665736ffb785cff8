// What reader-tool finds out about the cartridge in the reader besides its bytes: where a dump
// starts, and for an N64 cartridge, which does not tell the reader its size, where its ROM ends
// and what its header says.
#pragma once

#include <cstdint>

#include "frontend/context.hpp"
#include "frontend/outcome.hpp"
#include "frontend/reader.hpp"
#include "frontend/rom/n64_header.hpp"
#include "frontend/rom/n64_rom_size.hpp"

namespace reader::tool {

// Where the cartridge's content begins, and a dump without --start.
std::uint64_t DumpStartOf(const VariantProfile& profile);

// The N64 ROM's size, found by reading single 512-byte blocks where it may end (see
// n64_rom_size.hpp): the finder's answer, with a size or the reason there is none. A read that
// fails (or Ctrl-C) ends the search with the transfer's error instead.
Expected<rom::N64RomSize> FindRomSize(ToolContext& context, const ConnectedReader& reader);

// The first 4 KiB of an N64 cartridge: its title, game code and boot code.
Expected<rom::N64HeaderSummary> ReadN64Header(ToolContext& context, const ConnectedReader& reader);

}  // namespace reader::tool
