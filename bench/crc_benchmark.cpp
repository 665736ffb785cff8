// CRC-16/XMODEM throughput: the table-driven form that stamps every command sector, next to the
// bitwise form it replaces.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <vector>

#include "link/crc16.hpp"

namespace {

std::uint16_t BitwiseCrc16(const std::vector<std::uint8_t>& bytes) {
    unsigned reg = 0;
    for (const std::uint8_t b : bytes) {
        reg ^= static_cast<unsigned>(b) << 8;
        for (int bit = 0; bit < 8; ++bit) {
            reg = (reg & 0x8000u) != 0 ? ((reg << 1) ^ 0x1021u) : (reg << 1);
        }
        reg &= 0xFFFFu;
    }
    return static_cast<std::uint16_t>(reg);
}

std::vector<std::uint8_t> Payload(std::size_t size) {
    std::vector<std::uint8_t> bytes(size);
    for (std::size_t i = 0; i < size; ++i) {
        bytes[i] = static_cast<std::uint8_t>(i * 31 + 7);
    }
    return bytes;
}

void BM_Crc16Table(benchmark::State& state) {
    const auto bytes = Payload(static_cast<std::size_t>(state.range(0)));
    for (auto _ : state) {
        benchmark::DoNotOptimize(reader::link::Crc16Xmodem(bytes));
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * state.range(0));
}

void BM_Crc16Bitwise(benchmark::State& state) {
    const auto bytes = Payload(static_cast<std::size_t>(state.range(0)));
    for (auto _ : state) {
        benchmark::DoNotOptimize(BitwiseCrc16(bytes));
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * state.range(0));
}

// 510 bytes: one command sector. 1024: one flash block.
BENCHMARK(BM_Crc16Table)->Arg(510)->Arg(1024)->Arg(64 * 1024);
BENCHMARK(BM_Crc16Bitwise)->Arg(510)->Arg(1024)->Arg(64 * 1024);

}  // namespace
