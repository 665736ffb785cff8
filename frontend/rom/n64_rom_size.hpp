// The size of an N64 cartridge's ROM, found by reading a few blocks where it may end.
//
// An N64 cartridge does not tell the reader its size, but its ROM comes in whole MiB (at most
// 64 MiB from 0x10000000), and past its end the reader shows one of three things:
//
//   open bus  no chip drives the bus: every 16-bit word of a 512-byte block reads as the low
//             16 bits of the block's first address, high byte first (00 00 ... at a MiB
//             boundary, 02 00 02 00 ... at the block after it)
//   mirror    the cartridge does not decode its upper address lines: the ROM repeats, so the
//             block at 0x10000000 + a reads as the ROM's block at a mod the ROM's size
//   0xFF      the reader's data lines are pulled up
//
// One block at the start and one at each MiB from 1 to 64 MiB is enough to see where the ROM
// ends; a few more confirm it. A ROM may itself hold what looks like one of them (zero or 0xFF
// padding, a zero block at a MiB boundary, a copy of its own start), so:
//   - an open-bus end must show the pattern at two more blocks whose open-bus values differ from
//     zero and from each other, and every later probe must show open bus too; open bus that is
//     confirmed but followed by data again is reported as evidence that disagrees, not a size;
//   - a mirror must hold for every later probe, and the block after the end must repeat the ROM's
//     second block;
//   - 0xFF is trusted last, and is uncertain when the ROM's last block before it ends in 0xFF
//     too: the ROM's own 0xFF padding and a reader that pulls its lines up look the same.
// The whole search costs 65 reads and a few confirmations (under 0.2 s at a USB 2.0 reader's pace
// of a millisecond or two per block).
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <string>

namespace reader::rom {

inline constexpr std::uint32_t kN64RomStart = 0x10000000;
inline constexpr std::uint32_t kN64RomStep = 0x100000;      // ROM sizes come in whole MiB
inline constexpr std::uint32_t kN64RomLargest = 0x4000000;  // 64 MiB
inline constexpr std::size_t kN64ProbeSize = 512;           // one block of the reader's bus

// Reads the 512-byte block at an N64 cartridge address, as the reader's read command does from
// that address; false when the read fails.
using N64BlockReader =
    std::function<bool(std::uint32_t address, std::span<std::uint8_t, kN64ProbeSize> block)>;

// What the reader shows past the ROM's end.
enum class N64RomEnd : std::uint8_t { OpenBus, Mirror, Ff };

// Why there is no size.
enum class N64SizeProblem : std::uint8_t {
    None,
    ReadFailed,  // a block could not be read
    NoRom,       // open bus or 0xFF from the first block on: nothing answers
    Disagrees,   // the reader showed its past-the-end behaviour, then data again
    NoEnd,       // nothing that marks an end at or before 64 MiB
};

struct N64RomSize {
    std::uint32_t size = 0;  // in bytes, a whole number of MiB; 0 when there is none
    N64RomEnd end = N64RomEnd::OpenBus;
    // 0xFF from the end on, after a last block that ends in 0xFF: the ROM may go on in padding.
    bool uncertain = false;
    N64SizeProblem problem = N64SizeProblem::None;
    // How it was decided, for the user: "size 12 MiB: open bus from 0x10C00000", or why there is
    // no size.
    std::string explanation;
    unsigned blocksRead = 0;  // every call of the reader, failed ones included

    bool Found() const { return size != 0; }
};

N64RomSize FindN64RomSize(const N64BlockReader& read);

}  // namespace reader::rom
