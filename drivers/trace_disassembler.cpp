#include "drivers/trace_disassembler.hpp"

#include <algorithm>
#include <cstdio>
#include <string_view>

#include "platform/host.hpp"

namespace reader {

std::array<std::uint8_t, kTraceMemorySize> TraceMemory{};
std::uint16_t TraceLineCount = 0;

namespace {

struct Opcode {
    std::string_view mnemonic;
    AddressingMode mode;
};

// One row per opcode, 0x00 to 0xFF, in rows of sixteen like the usual 6502 opcode matrix. A '*'
// marks an undocumented instruction; " ???" an opcode without a name. Among the absolute
// instructions only JSR (20) and JMP (4C) take a jump target; BRK (00) is two bytes long.
// clang-format off
constexpr std::array<Opcode, kOpcodeCount> kOpcodes = {{
    // 0x: opcodes 00 to 0F
    {" BRK", kImmediate},     // 00
    {" ORA", kIndirectX},     // 01
    {"*HLT", kHalt},          // 02
    {"*SLO", kIndirectX},     // 03
    {"*NOP", kZeroPage},      // 04
    {" ORA", kZeroPage},      // 05
    {" ASL", kZeroPage},      // 06
    {"*SLO", kZeroPage},      // 07
    {" PHP", kImplied},       // 08
    {" ORA", kImmediate},     // 09
    {" ASL", kAccumulator},   // 0A
    {" ???", kImmediate},     // 0B
    {"*NOP", kAbsolute},      // 0C
    {" ORA", kAbsolute},      // 0D
    {" ASL", kAbsolute},      // 0E
    {"*SLO", kAbsolute},      // 0F
    // 1x: opcodes 10 to 1F
    {" BPL", kRelative},      // 10
    {" ORA", kIndirectY},     // 11
    {"*HLT", kHalt},          // 12
    {"*SLO", kIndirectY},     // 13
    {"*NOP", kZeroPageX},     // 14
    {" ORA", kZeroPageX},     // 15
    {" ASL", kZeroPageX},     // 16
    {"*SLO", kZeroPageX},     // 17
    {" CLC", kImplied},       // 18
    {" ORA", kAbsoluteY},     // 19
    {"*NOP", kImplied},       // 1A
    {"*SLO", kAbsoluteY},     // 1B
    {"*NOP", kAbsoluteX},     // 1C
    {" ORA", kAbsoluteX},     // 1D
    {" ASL", kAbsoluteX},     // 1E
    {"*SLO", kAbsoluteX},     // 1F
    // 2x: opcodes 20 to 2F
    {" JSR", kAbsoluteJump},  // 20
    {" AND", kIndirectX},     // 21
    {"*HLT", kHalt},          // 22
    {"*RLA", kIndirectX},     // 23
    {" BIT", kZeroPage},      // 24
    {" AND", kZeroPage},      // 25
    {" ROL", kZeroPage},      // 26
    {"*RLA", kZeroPage},      // 27
    {" PLP", kImplied},       // 28
    {" AND", kImmediate},     // 29
    {" ROL", kAccumulator},   // 2A
    {" ???", kImmediate},     // 2B
    {" BIT", kAbsolute},      // 2C
    {" AND", kAbsolute},      // 2D
    {" ROL", kAbsolute},      // 2E
    {"*RLA", kAbsolute},      // 2F
    // 3x: opcodes 30 to 3F
    {" BMI", kRelative},      // 30
    {" AND", kIndirectY},     // 31
    {"*HLT", kHalt},          // 32
    {"*RLA", kIndirectY},     // 33
    {"*NOP", kZeroPageX},     // 34
    {" AND", kZeroPageX},     // 35
    {" ROL", kZeroPageX},     // 36
    {"*RLA", kZeroPageX},     // 37
    {" SEC", kImplied},       // 38
    {" AND", kAbsoluteY},     // 39
    {"*NOP", kImplied},       // 3A
    {"*RLA", kAbsoluteY},     // 3B
    {"*NOP", kAbsoluteX},     // 3C
    {" AND", kAbsoluteX},     // 3D
    {" ROL", kAbsoluteX},     // 3E
    {"*RLA", kAbsoluteX},     // 3F
    // 4x: opcodes 40 to 4F
    {" RTI", kImplied},       // 40
    {" EOR", kIndirectX},     // 41
    {"*HLT", kHalt},          // 42
    {"*SRE", kIndirectX},     // 43
    {"*NOP", kZeroPage},      // 44
    {" EOR", kZeroPage},      // 45
    {" LSR", kZeroPage},      // 46
    {"*SRE", kZeroPage},      // 47
    {" PHA", kImplied},       // 48
    {" EOR", kImmediate},     // 49
    {" LSR", kAccumulator},   // 4A
    {" ???", kImmediate},     // 4B
    {" JMP", kAbsoluteJump},  // 4C
    {" EOR", kAbsolute},      // 4D
    {" LSR", kAbsolute},      // 4E
    {"*SRE", kAbsolute},      // 4F
    // 5x: opcodes 50 to 5F
    {" BVC", kRelative},      // 50
    {" EOR", kIndirectY},     // 51
    {"*HLT", kHalt},          // 52
    {"*SRE", kIndirectY},     // 53
    {"*NOP", kZeroPageX},     // 54
    {" EOR", kZeroPageX},     // 55
    {" LSR", kZeroPageX},     // 56
    {"*SRE", kZeroPageX},     // 57
    {" CLI", kImplied},       // 58
    {" EOR", kAbsoluteY},     // 59
    {"*NOP", kImplied},       // 5A
    {"*SRE", kAbsoluteY},     // 5B
    {"*NOP", kAbsoluteX},     // 5C
    {" EOR", kAbsoluteX},     // 5D
    {" LSR", kAbsoluteX},     // 5E
    {"*SRE", kAbsoluteX},     // 5F
    // 6x: opcodes 60 to 6F
    {" RTS", kImplied},       // 60
    {" ADC", kIndirectX},     // 61
    {"*HLT", kHalt},          // 62
    {"*RRA", kIndirectX},     // 63
    {"*NOP", kZeroPage},      // 64
    {" ADC", kZeroPage},      // 65
    {" ROR", kZeroPage},      // 66
    {"*RRA", kZeroPage},      // 67
    {" PLA", kImplied},       // 68
    {" ADC", kImmediate},     // 69
    {" ROR", kAccumulator},   // 6A
    {" ???", kImmediate},     // 6B
    {" JMP", kIndirect},      // 6C
    {" ADC", kAbsolute},      // 6D
    {" ROR", kAbsolute},      // 6E
    {"*RRA", kAbsolute},      // 6F
    // 7x: opcodes 70 to 7F
    {" BVS", kRelative},      // 70
    {" ADC", kIndirectY},     // 71
    {"*HLT", kHalt},          // 72
    {"*RRA", kIndirectY},     // 73
    {"*NOP", kZeroPageX},     // 74
    {" ADC", kZeroPageX},     // 75
    {" ROR", kZeroPageX},     // 76
    {"*RRA", kZeroPageX},     // 77
    {" SEI", kImplied},       // 78
    {" ADC", kAbsoluteY},     // 79
    {"*NOP", kImplied},       // 7A
    {"*RRA", kAbsoluteY},     // 7B
    {"*NOP", kAbsoluteX},     // 7C
    {" ADC", kAbsoluteX},     // 7D
    {" ROR", kAbsoluteX},     // 7E
    {"*RRA", kAbsoluteX},     // 7F
    // 8x: opcodes 80 to 8F
    {"*NOP", kImmediate},     // 80
    {" STA", kIndirectX},     // 81
    {"*NOP", kImmediate},     // 82
    {"*SAX", kIndirectX},     // 83
    {" STY", kZeroPage},      // 84
    {" STA", kZeroPage},      // 85
    {" STX", kZeroPage},      // 86
    {"*SAX", kZeroPage},      // 87
    {" DEY", kImplied},       // 88
    {"*NOP", kImmediate},     // 89
    {" TXA", kImplied},       // 8A
    {" ???", kImmediate},     // 8B
    {" STY", kAbsolute},      // 8C
    {" STA", kAbsolute},      // 8D
    {" STX", kAbsolute},      // 8E
    {"*SAX", kAbsolute},      // 8F
    // 9x: opcodes 90 to 9F
    {" BCC", kRelative},      // 90
    {" STA", kIndirectY},     // 91
    {"*HLT", kHalt},          // 92
    {" ???", kIndirectY},     // 93
    {" STY", kZeroPageX},     // 94
    {" STA", kZeroPageX},     // 95
    {" STX", kZeroPageY},     // 96
    {"*SAX", kZeroPageY},     // 97
    {" TYA", kImplied},       // 98
    {" STA", kAbsoluteY},     // 99
    {" TXS", kImplied},       // 9A
    {" ???", kAbsoluteY},     // 9B
    {" ???", kAbsoluteX},     // 9C
    {" STA", kAbsoluteX},     // 9D
    {" ???", kAbsoluteY},     // 9E
    {" ???", kAbsoluteY},     // 9F
    // Ax: opcodes A0 to AF
    {" LDY", kImmediate},     // A0
    {" LDA", kIndirectX},     // A1
    {" LDX", kImmediate},     // A2
    {"*LAX", kIndirectX},     // A3
    {" LDY", kZeroPage},      // A4
    {" LDA", kZeroPage},      // A5
    {" LDX", kZeroPage},      // A6
    {"*LAX", kZeroPage},      // A7
    {" TAY", kImplied},       // A8
    {" LDA", kImmediate},     // A9
    {" TAX", kImplied},       // AA
    {" ???", kImmediate},     // AB
    {" LDY", kAbsolute},      // AC
    {" LDA", kAbsolute},      // AD
    {" LDX", kAbsolute},      // AE
    {"*LAX", kAbsolute},      // AF
    // Bx: opcodes B0 to BF
    {" BCS", kRelative},      // B0
    {" LDA", kIndirectY},     // B1
    {"*HLT", kHalt},          // B2
    {"*LAX", kIndirectY},     // B3
    {" LDY", kZeroPageX},     // B4
    {" LDA", kZeroPageX},     // B5
    {" LDX", kZeroPageY},     // B6
    {"*LAX", kZeroPageY},     // B7
    {" CLV", kImplied},       // B8
    {" LDA", kAbsoluteY},     // B9
    {" TSX", kImplied},       // BA
    {" ???", kAbsoluteY},     // BB
    {" LDY", kAbsoluteX},     // BC
    {" LDA", kAbsoluteX},     // BD
    {" LDX", kAbsoluteY},     // BE
    {"*LAX", kAbsoluteY},     // BF
    // Cx: opcodes C0 to CF
    {" CPY", kImmediate},     // C0
    {" CMP", kIndirectX},     // C1
    {"*NOP", kImmediate},     // C2
    {"*DCP", kIndirectX},     // C3
    {" CPY", kZeroPage},      // C4
    {" CMP", kZeroPage},      // C5
    {" DEC", kZeroPage},      // C6
    {"*DCP", kZeroPage},      // C7
    {" INY", kImplied},       // C8
    {" CMP", kImmediate},     // C9
    {" DEX", kImplied},       // CA
    {" ???", kImmediate},     // CB
    {" CPY", kAbsolute},      // CC
    {" CMP", kAbsolute},      // CD
    {" DEC", kAbsolute},      // CE
    {"*DCP", kAbsolute},      // CF
    // Dx: opcodes D0 to DF
    {" BNE", kRelative},      // D0
    {" CMP", kIndirectY},     // D1
    {"*HLT", kHalt},          // D2
    {"*DCP", kIndirectY},     // D3
    {"*NOP", kZeroPageX},     // D4
    {" CMP", kZeroPageX},     // D5
    {" DEC", kZeroPageX},     // D6
    {"*DCP", kZeroPageX},     // D7
    {" CLD", kImplied},       // D8
    {" CMP", kAbsoluteY},     // D9
    {"*NOP", kImplied},       // DA
    {"*DCP", kAbsoluteY},     // DB
    {"*NOP", kAbsoluteX},     // DC
    {" CMP", kAbsoluteX},     // DD
    {" DEC", kAbsoluteX},     // DE
    {"*DCP", kAbsoluteX},     // DF
    // Ex: opcodes E0 to EF
    {" CPX", kImmediate},     // E0
    {" SBC", kIndirectX},     // E1
    {"*NOP", kImmediate},     // E2
    {"*ISB", kIndirectX},     // E3
    {" CPX", kZeroPage},      // E4
    {" SBC", kZeroPage},      // E5
    {" INC", kZeroPage},      // E6
    {"*ISB", kZeroPage},      // E7
    {" INX", kImplied},       // E8
    {" SBC", kImmediate},     // E9
    {" NOP", kImplied},       // EA
    {"*SBC", kImmediate},     // EB
    {" CPX", kAbsolute},      // EC
    {" SBC", kAbsolute},      // ED
    {" INC", kAbsolute},      // EE
    {"*ISB", kAbsolute},      // EF
    // Fx: opcodes F0 to FF
    {" BEQ", kRelative},      // F0
    {" SBC", kIndirectY},     // F1
    {"*HLT", kHalt},          // F2
    {"*ISB", kIndirectY},     // F3
    {"*NOP", kZeroPageX},     // F4
    {" SBC", kZeroPageX},     // F5
    {" INC", kZeroPageX},     // F6
    {"*ISB", kZeroPageX},     // F7
    {" SED", kImplied},       // F8
    {" SBC", kAbsoluteY},     // F9
    {"*NOP", kImplied},       // FA
    {"*ISB", kAbsoluteY},     // FB
    {"*NOP", kAbsoluteX},     // FC
    {" SBC", kAbsoluteX},     // FD
    {" INC", kAbsoluteX},     // FE
    {"*ISB", kAbsoluteX},     // FF
}};
// clang-format on

constexpr bool WellFormed() {
    for (const Opcode& op : kOpcodes) {
        if (op.mnemonic.size() != kMnemonicSize - 1 ||
            (op.mnemonic[0] != ' ' && op.mnemonic[0] != '*') || op.mode > kHalt) {
            return false;
        }
    }
    for (std::size_t code = 0; code < kOpcodeCount; ++code) {
        if ((kOpcodes[code].mode == kAbsoluteJump) != (code == 0x20 || code == 0x4C)) {
            return false;
        }
    }
    return true;
}
static_assert(WellFormed());

// Trace line formats, one per addressing mode. The mnemonic always starts at column 15 and the
// lines keep their trailing blanks, so that traces line up column for column. The indexed and
// indirect modes show fixed placeholder values (0, FFFF) where a live trace would show effective
// addresses: the disassembler does not run the code, so it has no register values. A two-digit
// field that receives 0xFFFF prints all four digits.
constexpr char kLineImplied[] = "%04X  %02X       %s                           ";
constexpr char kLineAccumulator[] = "%04X  %02X       %s A                         ";
constexpr char kLineImmediate[] = "%04X  %02X %02X    %s #$%02X                  ";
constexpr char kLineAbsoluteJump[] = "%04X  %02X %02X %02X %s $%04X                     ";
constexpr char kLineAbsolute[] = "%04X  %02X %02X %02X %s $%04X = %02X              ";
constexpr char kLineIndirect[] = "%04X  %02X %02X %02X %s ($%04X) = %04X            ";
constexpr char kLineRelative[] = "%04X  %02X %02X    %s $%04X                   ";
constexpr char kLineAbsoluteX[] = "%04X  %02X %02X %02X %s $%04X,X @ %04X = %02X     ";
constexpr char kLineAbsoluteY[] = "%04X  %02X %02X %02X %s $%04X,Y @ %04X = %02X     ";
constexpr char kLineZeroPage[] = "%04X  %02X %02X    %s $%02X = %02X            ";
constexpr char kLineZeroPageX[] = "%04X  %02X %02X    %s $%02X,X @ %02X = %02X   ";
constexpr char kLineZeroPageY[] = "%04X  %02X %02X    %s $%02X,Y @ %02X = %02X   ";
constexpr char kLineIndirectX[] = "%04X  %02X %02X    %s ($%02X,X) @ %02X = %04X = %02X";
constexpr char kLineIndirectY[] = "%04X  %02X %02X    %s ($%02X),Y = %04X @ %04X = %02X";
constexpr std::size_t kUnknownModeWidth = 45;

constexpr std::uint16_t kPlaceholderAddress = 0xFFFF;
constexpr unsigned kPlaceholderZero = 0;

std::uint8_t Memory(std::uint32_t address) {
    return TraceMemory[address & kTraceAddressMask];
}

int LengthOf(std::uint32_t mode) {
    switch (mode) {
        case kImmediate:
        case kRelative:
        case kZeroPage:
        case kZeroPageX:
        case kZeroPageY:
        case kIndirectX:
        case kIndirectY:
            return 2;
        case kAbsoluteJump:
        case kAbsolute:
        case kIndirect:
        case kAbsoluteX:
        case kAbsoluteY:
            return 3;
        default:
            return 1;
    }
}

}  // namespace

const std::array<std::uint32_t, kOpcodeCount> AddressingModeTable = [] {
    std::array<std::uint32_t, kOpcodeCount> modes{};
    std::transform(kOpcodes.begin(), kOpcodes.end(), modes.begin(),
                   [](const Opcode& op) { return static_cast<std::uint32_t>(op.mode); });
    return modes;
}();

const std::array<std::array<char, kMnemonicSize>, kOpcodeCount> MnemonicTable = [] {
    std::array<std::array<char, kMnemonicSize>, kOpcodeCount> names{};
    for (std::size_t code = 0; code < kOpcodeCount; ++code) {
        std::copy(kOpcodes[code].mnemonic.begin(), kOpcodes[code].mnemonic.end(),
                  names[code].begin());
    }
    return names;
}();

int DisassembleInstruction(std::uint32_t address, std::span<char> line) {
    const std::uint32_t at = address & kTraceAddressMask;
    const unsigned opcode = Memory(at);
    const std::uint32_t mode = AddressingModeTable[opcode];
    const int length = LengthOf(mode);
    // Operand bytes, read only for the modes that have them; addresses wrap at 0xFFFF.
    const unsigned low = length >= 2 ? Memory(at + 1) : 0u;
    const unsigned high = length == 3 ? Memory(at + 2) : 0u;
    const unsigned word = low | (high << 8);
    if (line.empty()) {
        return length;
    }

    char* const out = line.data();
    const std::size_t size = line.size();
    const char* const name = MnemonicTable[opcode].data();
    const unsigned last = Memory(kPlaceholderAddress);
    switch (mode) {
        case kImplied:
        case kHalt:
            std::snprintf(out, size, kLineImplied, at, opcode, name);
            break;
        case kAccumulator:
            std::snprintf(out, size, kLineAccumulator, at, opcode, name);
            break;
        case kImmediate:
            std::snprintf(out, size, kLineImmediate, at, opcode, low, name, low);
            break;
        case kAbsoluteJump:
            std::snprintf(out, size, kLineAbsoluteJump, at, opcode, low, high, name, word);
            break;
        case kAbsolute:
            std::snprintf(out, size, kLineAbsolute, at, opcode, low, high, name, word,
                          static_cast<unsigned>(Memory(word)));
            break;
        case kIndirect:
            std::snprintf(out, size, kLineIndirect, at, opcode, low, high, name, word,
                          static_cast<unsigned>(kPlaceholderAddress));
            break;
        case kRelative: {
            const auto offset = static_cast<std::int8_t>(low);
            const std::uint32_t target =
                (at + 2 + static_cast<std::uint32_t>(static_cast<std::int32_t>(offset))) &
                kTraceAddressMask;
            std::snprintf(out, size, kLineRelative, at, opcode, low, name, target);
            break;
        }
        case kAbsoluteX:
            std::snprintf(out, size, kLineAbsoluteX, at, opcode, low, high, name, word,
                          static_cast<unsigned>(kPlaceholderAddress), last);
            break;
        case kAbsoluteY:
            std::snprintf(out, size, kLineAbsoluteY, at, opcode, low, high, name, word,
                          static_cast<unsigned>(kPlaceholderAddress), last);
            break;
        case kZeroPage:
            std::snprintf(out, size, kLineZeroPage, at, opcode, low, name, low,
                          static_cast<unsigned>(Memory(low)));
            break;
        case kZeroPageX:
            std::snprintf(out, size, kLineZeroPageX, at, opcode, low, name, low,
                          static_cast<unsigned>(kPlaceholderAddress), last);
            break;
        case kZeroPageY:
            std::snprintf(out, size, kLineZeroPageY, at, opcode, low, name, low,
                          static_cast<unsigned>(kPlaceholderAddress), last);
            break;
        case kIndirectX:
            std::snprintf(out, size, kLineIndirectX, at, opcode, low, name, low, kPlaceholderZero,
                          static_cast<unsigned>(kPlaceholderAddress), last);
            break;
        case kIndirectY:
            std::snprintf(out, size, kLineIndirectY, at, opcode, low, name, low, kPlaceholderZero,
                          static_cast<unsigned>(kPlaceholderAddress), last);
            break;
        default: {
            // No opcode has such a mode; a blank line keeps the trace's shape.
            const std::size_t blanks = std::min(kUnknownModeWidth, size - 1);
            std::fill_n(out, blanks, ' ');
            out[blanks] = '\0';
            break;
        }
    }
    return length;
}

int TraceDisassemble(const std::uint8_t* source, int position) {
    if (source == nullptr) {
        return 0;
    }
    std::array<char, kTraceLineBufferSize> line{};
    // Each byte goes to its address modulo 0x10000, like every other access to TraceMemory, so a
    // position near the top (or below 0) wraps round instead of running off the end.
    const auto start = static_cast<std::uint32_t>(position);
    for (std::size_t i = 0; i < kTraceSourceSize; ++i) {
        TraceMemory[(start + i) & kTraceAddressMask] = source[i];
    }
    TraceLineCount = kTraceLines;
    std::uint32_t address = start & kTraceAddressMask;
    for (std::uint16_t printed = 0; printed < TraceLineCount; ++printed) {
        const int length = DisassembleInstruction(address, line);
        platform::StreamPrintf("%s\n", line.data());
        address = (address + static_cast<std::uint32_t>(length)) & kTraceAddressMask;
    }
    return TraceLineCount;
}

}  // namespace reader
