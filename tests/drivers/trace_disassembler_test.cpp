#include "drivers/trace_disassembler.hpp"

#include <gtest/gtest.h>

#include <array>
#include <sstream>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "support/host_fixture.hpp"

namespace reader {
namespace {

class TraceTest : public testing::HostFixture {
  protected:
    static void Place(std::uint32_t address, const std::vector<std::uint8_t>& bytes) {
        for (std::size_t i = 0; i < bytes.size(); ++i) {
            TraceMemory[(address + i) & 0xFFFF] = bytes[i];
        }
    }

    std::vector<std::string> ConsoleLines() const {
        std::vector<std::string> lines;
        std::istringstream text(host_.ConsoleText());
        for (std::string line; std::getline(text, line);) {
            lines.push_back(line);
        }
        return lines;
    }
};

struct InstructionCase {
    std::uint32_t address;
    std::vector<std::uint8_t> bytes;
    int length;
    std::string line;
};

// One case per addressing mode (and the star and "???" forms); 0xFFFF holds 5C, 0x0010 holds 77
// and 0x1234 holds 99, so every looked-up value is told apart from the fixed ones.
TEST_F(TraceTest, EveryAddressingModeHasItsExactLine) {
    const InstructionCase cases[] = {
        {0x8000, {0xEA}, 1, "8000  EA        NOP                           "},
        {0x8000, {0x02}, 1, "8000  02       *HLT                           "},
        {0x8000, {0x0A}, 1, "8000  0A        ASL A                         "},
        {0x8000, {0xA9, 0x42}, 2, "8000  A9 42     LDA #$42                  "},
        {0x8000, {0x0B, 0x42}, 2, "8000  0B 42     ??? #$42                  "},
        {0x8000, {0x00, 0x07}, 2, "8000  00 07     BRK #$07                  "},
        {0x8000, {0x20, 0x34, 0x12}, 3, "8000  20 34 12  JSR $1234                     "},
        {0x8000, {0x4C, 0x34, 0x12}, 3, "8000  4C 34 12  JMP $1234                     "},
        {0x8000, {0xAD, 0x34, 0x12}, 3, "8000  AD 34 12  LDA $1234 = 99              "},
        {0x8000, {0x6C, 0x34, 0x12}, 3, "8000  6C 34 12  JMP ($1234) = FFFF            "},
        {0xC000, {0xD0, 0xFE}, 2, "C000  D0 FE     BNE $C000                   "},
        {0x0000, {0x10, 0x80}, 2, "0000  10 80     BPL $FF82                   "},
        {0xFFF0, {0xF0, 0x7F}, 2, "FFF0  F0 7F     BEQ $0071                   "},
        {0x8000, {0xBD, 0x34, 0x12}, 3, "8000  BD 34 12  LDA $1234,X @ FFFF = 5C     "},
        {0x8000, {0xB9, 0x34, 0x12}, 3, "8000  B9 34 12  LDA $1234,Y @ FFFF = 5C     "},
        {0x8000, {0xA5, 0x10}, 2, "8000  A5 10     LDA $10 = 77            "},
        {0x8000, {0xA7, 0x10}, 2, "8000  A7 10    *LAX $10 = 77            "},
        {0x8000, {0xB5, 0x10}, 2, "8000  B5 10     LDA $10,X @ FFFF = 5C   "},
        {0x8000, {0xB6, 0x10}, 2, "8000  B6 10     LDX $10,Y @ FFFF = 5C   "},
        {0x8000, {0xA1, 0x10}, 2, "8000  A1 10     LDA ($10,X) @ 00 = FFFF = 5C"},
        {0x8000, {0xB1, 0x10}, 2, "8000  B1 10     LDA ($10),Y = 0000 @ FFFF = 5C"},
        // The cells of the opcode matrix that are easiest to get wrong: zero page,Y (only STX,
        // LDX and their undocumented twins), absolute,Y outside the ALU columns, the indirect
        // JMP, the immediate NOPs and the undocumented SBC.
        {0x8000, {0x96, 0x10}, 2, "8000  96 10     STX $10,Y @ FFFF = 5C   "},
        {0x8000, {0x97, 0x10}, 2, "8000  97 10    *SAX $10,Y @ FFFF = 5C   "},
        {0x8000, {0xB7, 0x10}, 2, "8000  B7 10    *LAX $10,Y @ FFFF = 5C   "},
        {0x8000, {0x99, 0x34, 0x12}, 3, "8000  99 34 12  STA $1234,Y @ FFFF = 5C     "},
        {0x8000, {0x9E, 0x34, 0x12}, 3, "8000  9E 34 12  ??? $1234,Y @ FFFF = 5C     "},
        {0x8000, {0x9F, 0x34, 0x12}, 3, "8000  9F 34 12  ??? $1234,Y @ FFFF = 5C     "},
        {0x8000, {0xBE, 0x34, 0x12}, 3, "8000  BE 34 12  LDX $1234,Y @ FFFF = 5C     "},
        {0x8000, {0xBF, 0x34, 0x12}, 3, "8000  BF 34 12 *LAX $1234,Y @ FFFF = 5C     "},
        {0x8000, {0x80, 0x42}, 2, "8000  80 42    *NOP #$42                  "},
        {0x8000, {0x82, 0x42}, 2, "8000  82 42    *NOP #$42                  "},
        {0x8000, {0x89, 0x42}, 2, "8000  89 42    *NOP #$42                  "},
        {0x8000, {0xC2, 0x42}, 2, "8000  C2 42    *NOP #$42                  "},
        {0x8000, {0xE2, 0x42}, 2, "8000  E2 42    *NOP #$42                  "},
        {0x8000, {0xEB, 0x42}, 2, "8000  EB 42    *SBC #$42                  "},
        // The address is taken modulo 0x10000.
        {0x18000, {0xEA}, 1, "8000  EA        NOP                           "},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line);
        TraceMemory.fill(0);
        TraceMemory[0xFFFF] = 0x5C;
        TraceMemory[0x0010] = 0x77;
        TraceMemory[0x1234] = 0x99;
        Place(c.address, c.bytes);
        std::array<char, kTraceLineBufferSize> line{};
        EXPECT_EQ(DisassembleInstruction(c.address, line), c.length);
        EXPECT_EQ(std::string(line.data()), c.line);
        // Without a line buffer: the same length, and nothing written anywhere.
        EXPECT_EQ(DisassembleInstruction(c.address, {}), c.length);
    }
    EXPECT_TRUE(host_.ConsoleText().empty());
}

TEST_F(TraceTest, OperandBytesWrapAroundTheTopOfMemory) {
    Place(0xFFFF, {0xAD});
    Place(0x0000, {0x34, 0x12});
    TraceMemory[0x1234] = 0x99;
    std::array<char, kTraceLineBufferSize> line{};
    EXPECT_EQ(DisassembleInstruction(0xFFFF, line), 3);
    EXPECT_EQ(std::string(line.data()), "FFFF  AD 34 12  LDA $1234 = 99              ");
}

TEST_F(TraceTest, ZeroBytesGiveTenBrkLinesWhereverTheyArePlaced) {
    for (const int position : {0x0000, 0x8000, 0xFF00}) {
        SCOPED_TRACE(position);
        host_.ClearConsole();
        const std::array<std::uint8_t, 256> zeros{};
        TraceMemory.fill(0xEE);
        EXPECT_EQ(TraceDisassemble(zeros.data(), position), 10);
        EXPECT_EQ(TraceLineCount, 10);
        const auto lines = ConsoleLines();
        ASSERT_EQ(lines.size(), 10u);
        for (std::size_t i = 0; i < lines.size(); ++i) {
            char expected[64];
            std::snprintf(expected, sizeof expected, "%04X  00 00     BRK #$00                  ",
                          static_cast<unsigned>(position) + 2 * static_cast<unsigned>(i));
            EXPECT_EQ(lines[i], expected);
        }
    }
}

TEST_F(TraceTest, StartUpRoutineWithLookupsFromAnEarlierCall) {
    // An earlier call leaves bytes at 0x2000: the second call's lookups of $2002 and $2000 see
    // them, although that call copied nothing there.
    std::array<std::uint8_t, 256> registers{};
    registers[0x00] = 0x80;
    registers[0x02] = 0x1F;
    ASSERT_EQ(TraceDisassemble(registers.data(), 0x2000), 10);
    host_.ClearConsole();

    std::array<std::uint8_t, 256> code{};
    const std::uint8_t routine[] = {0x78, 0xD8, 0xA2, 0xFF, 0x9A, 0xAD, 0x02, 0x20, 0x10, 0xFB,
                                    0xA9, 0x00, 0x8D, 0x00, 0x20, 0x4C, 0x0F, 0x80, 0x02, 0x1A};
    std::copy(std::begin(routine), std::end(routine), code.begin());
    EXPECT_EQ(TraceDisassemble(code.data(), 0x8000), 10);
    const std::vector<std::string> expected = {
        "8000  78        SEI                           ",
        "8001  D8        CLD                           ",
        "8002  A2 FF     LDX #$FF                  ",
        "8004  9A        TXS                           ",
        "8005  AD 02 20  LDA $2002 = 1F              ",
        "8008  10 FB     BPL $8005                   ",
        "800A  A9 00     LDA #$00                  ",
        "800C  8D 00 20  STA $2000 = 80              ",
        "800F  4C 0F 80  JMP $800F                     ",
        "8012  02       *HLT                           ",
    };
    EXPECT_EQ(ConsoleLines(), expected);
}

TEST_F(TraceTest, HaltIsOneByteAndTheNextLineStartsRightAfterIt) {
    std::array<std::uint8_t, 256> code{};
    const std::uint8_t bytes[] = {0x02, 0x12, 0xEA, 0xA9, 0x01, 0x02};
    std::copy(std::begin(bytes), std::end(bytes), code.begin());
    TraceDisassemble(code.data(), 0x0400);
    const auto lines = ConsoleLines();
    ASSERT_EQ(lines.size(), 10u);
    EXPECT_EQ(lines[0], "0400  02       *HLT                           ");
    EXPECT_EQ(lines[1], "0401  12       *HLT                           ");
    EXPECT_EQ(lines[2], "0402  EA        NOP                           ");
    EXPECT_EQ(lines[3], "0403  A9 01     LDA #$01                  ");
    EXPECT_EQ(lines[4], "0405  02       *HLT                           ");
    EXPECT_EQ(lines[5], "0406  00 00     BRK #$00                  ");
}

TEST_F(TraceTest, TheLastCopiedByteAtTheTopShowsInIndexedLines) {
    std::array<std::uint8_t, 256> code{};
    const std::uint8_t bytes[] = {0xB5, 0x10, 0xB1, 0x20, 0xA1, 0x30, 0x1D, 0x00, 0x03};
    std::copy(std::begin(bytes), std::end(bytes), code.begin());
    code[255] = 0xAB;
    TraceDisassemble(code.data(), 0xFF00);
    const auto lines = ConsoleLines();
    ASSERT_EQ(lines.size(), 10u);
    EXPECT_EQ(lines[0], "FF00  B5 10     LDA $10,X @ FFFF = AB   ");
    EXPECT_EQ(lines[1], "FF02  B1 20     LDA ($20),Y = 0000 @ FFFF = AB");
    EXPECT_EQ(lines[2], "FF04  A1 30     LDA ($30,X) @ 00 = FFFF = AB");
    EXPECT_EQ(lines[3], "FF06  1D 00 03  ORA $0300,X @ FFFF = AB     ");
    EXPECT_EQ(TraceMemory[0xFFFF], 0xAB);
}

// Positions past 0xFF00 (or below 0) used to run the copy off the end of TraceMemory; every byte
// now goes to its address modulo 0x10000, like every other access.
TEST_F(TraceTest, CopiesNearTheTopWrapToTheBottom) {
    for (const int position : {0xFFF0, -16}) {
        SCOPED_TRACE(position);
        TraceMemory.fill(0xEE);
        host_.ClearConsole();
        std::array<std::uint8_t, 256> code{};
        for (std::size_t i = 0; i < code.size(); ++i) {
            code[i] = static_cast<std::uint8_t>(0xEA);  // NOP, one byte each
        }
        code[15] = 0xA9;  // LDA # at 0xFFFF, its operand at 0x0000
        code[16] = 0x44;
        EXPECT_EQ(TraceDisassemble(code.data(), position), 10);
        for (std::uint32_t address = 0xFFF0; address <= 0xFFFF; ++address) {
            ASSERT_EQ(TraceMemory[address], code[address - 0xFFF0]) << address;
        }
        for (std::uint32_t address = 0x0000; address < 0x00F0; ++address) {
            ASSERT_EQ(TraceMemory[address], code[address + 16]) << address;
        }
        EXPECT_EQ(TraceMemory[0x00F0], 0xEE);
        EXPECT_EQ(TraceMemory[0xFFEF], 0xEE);
        const auto lines = ConsoleLines();
        ASSERT_EQ(lines.size(), 10u);
        EXPECT_EQ(lines[0], "FFF0  EA        NOP                           ");
        EXPECT_EQ(lines[9], "FFF9  EA        NOP                           ");
    }
    host_.ClearConsole();
    std::array<std::uint8_t, 256> code{};
    code.fill(0xEA);
    code[0] = 0xA9;
    code[1] = 0x44;
    TraceDisassemble(code.data(), 0xFFFF);
    const auto lines = ConsoleLines();
    ASSERT_EQ(lines.size(), 10u);
    EXPECT_EQ(lines[0], "FFFF  A9 44     LDA #$44                  ");
    EXPECT_EQ(lines[1], "0001  EA        NOP                           ");
}

TEST_F(TraceTest, NoSourceCopiesAndPrintsNothing) {
    TraceMemory[0x8000] = 0x12;
    EXPECT_EQ(TraceDisassemble(nullptr, 0x8000), 0);
    EXPECT_TRUE(host_.ConsoleText().empty());
    EXPECT_EQ(TraceMemory[0x8000], 0x12);
}

// The 6502's opcode matrix as the processor's documentation lays it out, written down here on its
// own rather than taken from the program: row H holds opcodes 0xH0 to 0xHF. A cell is the
// mnemonic and the operand in assembler notation: "#" immediate, "d" zero page, "d,X" and "d,Y",
// "(d,X)" and "(d),Y", "a" absolute, "a,X" and "a,Y", "(a)" indirect, "r" relative, "A" the
// accumulator, nothing for implied. A '*' marks an undocumented instruction; "???" is an opcode
// the trace leaves unnamed. BRK is shown with the signature byte that follows it.
// clang-format off
constexpr const char* kOpcodeMatrix[16][16] = {
    {"BRK #", "ORA (d,X)", "*HLT", "*SLO (d,X)", "*NOP d",   "ORA d",   "ASL d",   "*SLO d",
     "PHP",   "ORA #",     "ASL A", "??? #",     "*NOP a",   "ORA a",   "ASL a",   "*SLO a"},
    {"BPL r", "ORA (d),Y", "*HLT", "*SLO (d),Y", "*NOP d,X", "ORA d,X", "ASL d,X", "*SLO d,X",
     "CLC",   "ORA a,Y",   "*NOP",  "*SLO a,Y",  "*NOP a,X", "ORA a,X", "ASL a,X", "*SLO a,X"},
    {"JSR a", "AND (d,X)", "*HLT", "*RLA (d,X)", "BIT d",    "AND d",   "ROL d",   "*RLA d",
     "PLP",   "AND #",     "ROL A", "??? #",     "BIT a",    "AND a",   "ROL a",   "*RLA a"},
    {"BMI r", "AND (d),Y", "*HLT", "*RLA (d),Y", "*NOP d,X", "AND d,X", "ROL d,X", "*RLA d,X",
     "SEC",   "AND a,Y",   "*NOP",  "*RLA a,Y",  "*NOP a,X", "AND a,X", "ROL a,X", "*RLA a,X"},
    {"RTI",   "EOR (d,X)", "*HLT", "*SRE (d,X)", "*NOP d",   "EOR d",   "LSR d",   "*SRE d",
     "PHA",   "EOR #",     "LSR A", "??? #",     "JMP a",    "EOR a",   "LSR a",   "*SRE a"},
    {"BVC r", "EOR (d),Y", "*HLT", "*SRE (d),Y", "*NOP d,X", "EOR d,X", "LSR d,X", "*SRE d,X",
     "CLI",   "EOR a,Y",   "*NOP",  "*SRE a,Y",  "*NOP a,X", "EOR a,X", "LSR a,X", "*SRE a,X"},
    {"RTS",   "ADC (d,X)", "*HLT", "*RRA (d,X)", "*NOP d",   "ADC d",   "ROR d",   "*RRA d",
     "PLA",   "ADC #",     "ROR A", "??? #",     "JMP (a)",  "ADC a",   "ROR a",   "*RRA a"},
    {"BVS r", "ADC (d),Y", "*HLT", "*RRA (d),Y", "*NOP d,X", "ADC d,X", "ROR d,X", "*RRA d,X",
     "SEI",   "ADC a,Y",   "*NOP",  "*RRA a,Y",  "*NOP a,X", "ADC a,X", "ROR a,X", "*RRA a,X"},
    {"*NOP #", "STA (d,X)", "*NOP #", "*SAX (d,X)", "STY d",  "STA d",   "STX d",   "*SAX d",
     "DEY",   "*NOP #",    "TXA",   "??? #",     "STY a",    "STA a",   "STX a",   "*SAX a"},
    {"BCC r", "STA (d),Y", "*HLT", "??? (d),Y",  "STY d,X",  "STA d,X", "STX d,Y", "*SAX d,Y",
     "TYA",   "STA a,Y",   "TXS",   "??? a,Y",   "??? a,X",  "STA a,X", "??? a,Y", "??? a,Y"},
    {"LDY #", "LDA (d,X)", "LDX #", "*LAX (d,X)", "LDY d",   "LDA d",   "LDX d",   "*LAX d",
     "TAY",   "LDA #",     "TAX",   "??? #",     "LDY a",    "LDA a",   "LDX a",   "*LAX a"},
    {"BCS r", "LDA (d),Y", "*HLT", "*LAX (d),Y", "LDY d,X",  "LDA d,X", "LDX d,Y", "*LAX d,Y",
     "CLV",   "LDA a,Y",   "TSX",   "??? a,Y",   "LDY a,X",  "LDA a,X", "LDX a,Y", "*LAX a,Y"},
    {"CPY #", "CMP (d,X)", "*NOP #", "*DCP (d,X)", "CPY d",  "CMP d",   "DEC d",   "*DCP d",
     "INY",   "CMP #",     "DEX",   "??? #",     "CPY a",    "CMP a",   "DEC a",   "*DCP a"},
    {"BNE r", "CMP (d),Y", "*HLT", "*DCP (d),Y", "*NOP d,X", "CMP d,X", "DEC d,X", "*DCP d,X",
     "CLD",   "CMP a,Y",   "*NOP",  "*DCP a,Y",  "*NOP a,X", "CMP a,X", "DEC a,X", "*DCP a,X"},
    {"CPX #", "SBC (d,X)", "*NOP #", "*ISB (d,X)", "CPX d",  "SBC d",   "INC d",   "*ISB d",
     "INX",   "SBC #",     "NOP",   "*SBC #",    "CPX a",    "SBC a",   "INC a",   "*ISB a"},
    {"BEQ r", "SBC (d),Y", "*HLT", "*ISB (d),Y", "*NOP d,X", "SBC d,X", "INC d,X", "*ISB d,X",
     "SED",   "SBC a,Y",   "*NOP",  "*ISB a,Y",  "*NOP a,X", "SBC a,X", "INC a,X", "*ISB a,X"},
};
// clang-format on

// A matrix cell as the program's two tables must hold it: the four mnemonic characters and the
// number of the addressing mode.
std::string ExpectedCell(std::string_view cell) {
    const bool undocumented = cell.front() == '*';
    if (undocumented) {
        cell.remove_prefix(1);
    }
    const std::string_view name = cell.substr(0, 3);
    const std::string_view operand = cell.size() > 4 ? cell.substr(4) : std::string_view{};
    const bool jump = name == "JSR" || name == "JMP";
    int mode = -1;
    if (operand.empty()) {
        mode = name == "HLT" ? 14 : 0;
    } else {
        const std::pair<std::string_view, int> modes[] = {
            {"A", 1},   {"#", 2}, {"a", jump ? 3 : 4}, {"(a)", 5},  {"r", 6},      {"a,X", 7},
            {"a,Y", 8}, {"d", 9}, {"d,X", 10},         {"d,Y", 11}, {"(d,X)", 12}, {"(d),Y", 13},
        };
        for (const auto& [notation, number] : modes) {
            if (operand == notation) {
                mode = number;
            }
        }
    }
    std::string expected(1, undocumented ? '*' : ' ');
    expected.append(name);
    expected += ' ';
    expected += std::to_string(mode);
    return expected;
}

TEST_F(TraceTest, EveryOpcodeHasTheMnemonicAndModeOfTheOpcodeMatrix) {
    for (unsigned row = 0; row < 16; ++row) {
        std::vector<std::string> expected;
        std::vector<std::string> tables;
        for (unsigned column = 0; column < 16; ++column) {
            const unsigned opcode = row * 16 + column;
            expected.push_back(ExpectedCell(kOpcodeMatrix[row][column]));
            tables.push_back(std::string(MnemonicTable[opcode].data()) + " " +
                             std::to_string(AddressingModeTable[opcode]));
        }
        EXPECT_EQ(tables, expected) << "row " << std::hex << std::uppercase << row << "x";
    }
}

TEST_F(TraceTest, TablesAgreeOnEveryOpcode) {
    // Lengths by mode, checked over the whole table through the line each opcode produces: the
    // mnemonic starts at column 15 and the bytes shown match the length returned.
    for (unsigned opcode = 0; opcode < 256; ++opcode) {
        SCOPED_TRACE(opcode);
        TraceMemory.fill(0);
        TraceMemory[0x8000] = static_cast<std::uint8_t>(opcode);
        TraceMemory[0x8001] = 0x11;
        TraceMemory[0x8002] = 0x22;
        std::array<char, kTraceLineBufferSize> line{};
        const int length = DisassembleInstruction(0x8000, line);
        const std::string text(line.data());
        ASSERT_GE(text.size(), 19u);
        EXPECT_EQ(text.substr(15, 4), std::string(MnemonicTable[opcode].data()));
        const bool showsFirst = text.substr(9, 2) == "11";
        const bool showsSecond = text.substr(12, 2) == "22";
        EXPECT_EQ(length, 1 + (showsFirst ? 1 : 0) + (showsSecond ? 1 : 0));
    }
}

}  // namespace
}  // namespace reader
