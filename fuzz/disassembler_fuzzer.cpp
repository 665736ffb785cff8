// The 6502 trace disassembler over any bytes, any position and any line buffer. TraceDisassemble
// must store the 256 bytes at their addresses (modulo 0x10000) and touch nothing else of
// TraceMemory, print exactly ten lines, each naming the instruction at the address the lengths
// lead to, with its mnemonic at column 15; DisassembleInstruction must report the same length
// with or without a line buffer and never write past the buffer it was given, whose text is then
// the start of the full line.
//
// Input: bytes 0..3 the position (any signed 32-bit value), bytes 4..7 an address for
// DisassembleInstruction, bytes 8..9 the size of its line buffer; the rest is the code, padded
// with zeros to 256 bytes. TraceMemory keeps what earlier inputs stored, as it does between calls.
#include <array>
#include <cstdio>
#include <cstring>
#include <span>
#include <string>
#include <vector>

#include "drivers/trace_disassembler.hpp"
#include "fuzz/fuzz_support.hpp"
#include "link/bytes.hpp"

namespace {

using namespace reader;

constexpr std::size_t kHeaderSize = 10;
constexpr std::size_t kMaxLineBuffer = 400;
constexpr std::size_t kMnemonicColumn = 15;
constexpr std::size_t kGuard = 32;
constexpr char kGuardByte = '\x5A';

std::string Hex4(std::uint32_t value) {
    std::array<char, 8> text{};
    std::snprintf(text.data(), text.size(), "%04X", static_cast<unsigned>(value));
    return text.data();
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    for (std::size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1) {
        lines.push_back(text.substr(start, end - start));
    }
    fuzz::Require(start == text.size());  // nothing after the last line end
    return lines;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < kHeaderSize) {
        return 0;
    }
    const std::span<const std::uint8_t> input(data, size);
    const auto position = static_cast<int>(link::GetLe32(input, 0));
    const std::uint32_t address = link::GetLe32(input, 4);
    const std::size_t lineSize = link::GetLe16(input, 8) % (kMaxLineBuffer + 1);
    std::vector<std::uint8_t> code(input.begin() + kHeaderSize, input.end());
    code.resize(kTraceSourceSize, 0);

    emulator::EmulatedHost host;
    emulator::ScopedHost scoped(host);

    // --- TraceDisassemble ---------------------------------------------------------------------
    std::vector<std::uint8_t> expected(TraceMemory.begin(), TraceMemory.end());
    const auto start = static_cast<std::uint32_t>(position);
    for (std::size_t i = 0; i < kTraceSourceSize; ++i) {
        expected[(start + static_cast<std::uint32_t>(i)) & kTraceAddressMask] = code[i];
    }
    fuzz::Require(TraceDisassemble(code.data(), position) == kTraceLines);
    fuzz::Require(TraceLineCount == kTraceLines);
    fuzz::Require(std::memcmp(expected.data(), TraceMemory.data(), kTraceMemorySize) == 0);

    const std::vector<std::string> lines = Lines(host.ConsoleText());
    fuzz::Require(lines.size() == kTraceLines);
    std::uint32_t at = start & kTraceAddressMask;
    for (const auto& line : lines) {
        const unsigned opcode = TraceMemory[at];
        fuzz::Require(line.size() < kTraceLineBufferSize);
        fuzz::Require(line.compare(0, 4, Hex4(at)) == 0);
        fuzz::Require(line.size() >= kMnemonicColumn + 4 &&
                      line.compare(kMnemonicColumn, 4, MnemonicTable[opcode].data()) == 0);
        const int length = DisassembleInstruction(at, {});
        fuzz::Require(length >= 1 && length <= 3);
        at = (at + static_cast<std::uint32_t>(length)) & kTraceAddressMask;
    }

    // --- DisassembleInstruction with a buffer of any size ----------------------------------------
    std::array<char, kTraceLineBufferSize> full{};
    const int length = DisassembleInstruction(address, full);
    fuzz::Require(length == DisassembleInstruction(address, {}));
    fuzz::Require(std::memchr(full.data(), '\0', full.size()) != nullptr);

    std::vector<char> storage(lineSize + kGuard, kGuardByte);
    const std::span<char> line(storage.data(), lineSize);
    fuzz::Require(DisassembleInstruction(address, line) == length);
    for (std::size_t i = lineSize; i < storage.size(); ++i) {
        fuzz::Require(storage[i] == kGuardByte);
    }
    if (lineSize > 0) {
        const char* end = static_cast<const char*>(std::memchr(line.data(), '\0', line.size()));
        fuzz::Require(end != nullptr);
        const auto written = static_cast<std::size_t>(end - line.data());
        fuzz::Require(std::strncmp(line.data(), full.data(), written) == 0);
        fuzz::Require(written == std::min(std::strlen(full.data()), lineSize - 1));
    }
    return 0;
}
