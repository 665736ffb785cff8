#include "drivers/trace_disassembler.hpp"

#include <gtest/gtest.h>

#include <array>
#include <sstream>
#include <string>
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
