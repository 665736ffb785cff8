// CPU time of one full update from firmware 300 in process: the client's own work and the emulated
// reader's, without the waits (the clock is virtual). Setting up and checking each reader is not
// timed.
#include <benchmark/benchmark.h>

#include "bench/full_update.hpp"

namespace {

void BM_FullUpdateFrom300(benchmark::State& state) {
    for (auto _ : state) {
        state.PauseTiming();
        {
            reader::bench::FullUpdate update;
            state.ResumeTiming();
            update.Run();
            state.PauseTiming();
            if (!update.Completed()) {
                state.SkipWithError("the update did not complete");
            }
        }
        state.ResumeTiming();
    }
}

BENCHMARK(BM_FullUpdateFrom300)->Unit(benchmark::kMillisecond);

}  // namespace
