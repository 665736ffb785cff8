// The 6502 trace disassembler of the SFC, FC2, NES and PCE readers.
//
// The host hands over 256 bytes of 6502 code and the address they sit at. They are placed into
// TraceMemory, a 64 KiB image of the 6502 address space that keeps what earlier calls put there,
// and ten instructions from that address are printed as trace lines: address, instruction bytes,
// mnemonic, operand and, for memory operands, the byte found in TraceMemory.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

namespace reader {

inline constexpr std::size_t kTraceMemorySize = 0x10000;
inline constexpr std::uint32_t kTraceAddressMask = 0xFFFF;
inline constexpr std::size_t kTraceSourceSize = 256;
inline constexpr std::uint16_t kTraceLines = 10;
inline constexpr std::size_t kTraceLineBufferSize = 300;
inline constexpr std::size_t kOpcodeCount = 256;
inline constexpr std::size_t kMnemonicSize = 5;  // blank or '*', three letters, NUL

// Addressing modes, numbered as AddressingModeTable stores them.
enum AddressingMode : std::uint32_t {
    kImplied = 0,
    kAccumulator = 1,
    kImmediate = 2,
    kAbsoluteJump = 3,  // JSR and JMP: the operand is a target, not data
    kAbsolute = 4,
    kIndirect = 5,
    kRelative = 6,
    kAbsoluteX = 7,
    kAbsoluteY = 8,
    kZeroPage = 9,
    kZeroPageX = 10,
    kZeroPageY = 11,
    kIndirectX = 12,
    kIndirectY = 13,
    kHalt = 14,
};

// The 6502 address space as the disassembler sees it; zero at start.
extern std::array<std::uint8_t, kTraceMemorySize> TraceMemory;

// Lines printed per TraceDisassemble call; set to 10 by every call.
extern std::uint16_t TraceLineCount;

// Per opcode: its addressing mode, and its mnemonic as four characters and a NUL (a leading '*'
// marks an undocumented instruction, " ???" an opcode without a name).
extern const std::array<std::uint32_t, kOpcodeCount> AddressingModeTable;
extern const std::array<std::array<char, kMnemonicSize>, kOpcodeCount> MnemonicTable;

// One instruction at address (taken modulo 0x10000), read from TraceMemory. With a non-empty line
// buffer the trace line is written into it (truncated to fit, always NUL-terminated); with an
// empty one only the length is worked out. Returns the instruction's length, 1, 2 or 3.
int DisassembleInstruction(std::uint32_t address, std::span<char> line);

// The DisassembleSlot handler. Copies the 256 bytes at source into TraceMemory from position on,
// each byte to its address modulo 0x10000, then prints ten trace lines from position. Returns the
// number of lines printed: 10, or 0 (and nothing printed or copied) when source is null.
int TraceDisassemble(const std::uint8_t* source, int position);

}  // namespace reader
