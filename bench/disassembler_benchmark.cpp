// The 6502 trace disassembler: lines per second, for a whole TraceDisassemble call (copy, ten
// lines formatted and printed) and for DisassembleInstruction alone over every opcode.
#include <benchmark/benchmark.h>

#include <array>
#include <cstdint>

#include "bench/silent_host.hpp"
#include "drivers/trace_disassembler.hpp"
#include "emulator/emulated_host.hpp"

namespace {

using namespace reader;

// A short program that goes through most addressing modes, repeated to fill 256 bytes.
std::array<std::uint8_t, kTraceSourceSize> Program() {
    constexpr std::uint8_t kCode[] = {
        0xA9, 0x01,        // LDA #$01
        0x8D, 0x00, 0x20,  // STA $2000
        0xB5, 0x10,        // LDA $10,X
        0xB1, 0x20,        // LDA ($20),Y
        0xA1, 0x30,        // LDA ($30,X)
        0xBD, 0x00, 0x30,  // LDA $3000,X
        0x0A,              // ASL A
        0xE8,              // INX
        0xD0, 0xF0,        // BNE
        0x6C, 0xFC, 0xFF,  // JMP ($FFFC)
        0x20, 0x00, 0xC0,  // JSR $C000
    };
    std::array<std::uint8_t, kTraceSourceSize> program{};
    for (std::size_t i = 0; i < program.size(); ++i) {
        program[i] = kCode[i % sizeof(kCode)];
    }
    return program;
}

void BM_TraceDisassemble(benchmark::State& state) {
    bench::SilentHost host;
    const emulator::ScopedHost installed(host);
    const auto program = Program();
    std::int64_t lines = 0;
    for (auto _ : state) {
        lines += TraceDisassemble(program.data(), 0xC000);
    }
    state.counters["lines_per_second"] =
        benchmark::Counter(static_cast<double>(lines), benchmark::Counter::kIsRate);
}

void BM_DisassembleInstruction(benchmark::State& state) {
    // Every opcode once, each followed by two operand bytes.
    for (std::uint32_t opcode = 0; opcode < kOpcodeCount; ++opcode) {
        TraceMemory[opcode * 3] = static_cast<std::uint8_t>(opcode);
        TraceMemory[opcode * 3 + 1] = static_cast<std::uint8_t>(opcode * 7);
        TraceMemory[opcode * 3 + 2] = static_cast<std::uint8_t>(opcode * 13);
    }
    std::array<char, kTraceLineBufferSize> line{};
    std::uint32_t opcode = 0;
    std::int64_t lines = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(DisassembleInstruction(opcode * 3, line));
        benchmark::ClobberMemory();
        opcode = (opcode + 1) % kOpcodeCount;
        ++lines;
    }
    state.counters["lines_per_second"] =
        benchmark::Counter(static_cast<double>(lines), benchmark::Counter::kIsRate);
}

BENCHMARK(BM_TraceDisassemble);
BENCHMARK(BM_DisassembleInstruction);

}  // namespace
