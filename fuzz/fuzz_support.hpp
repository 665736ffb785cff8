// Shared set-up for the fuzz targets: a fresh emulated host per input, and the program's globals
// back in their start-of-run state.
#pragma once

#include <cstdlib>

#include "drivers/system_driver.hpp"
#include "emulator/emulated_host.hpp"
#include "link/discovery.hpp"

namespace reader::fuzz {

inline void ResetGlobals() {
    ResetDeviceGlobals();
}

// A broken invariant ends the run with a crash, which libFuzzer reports with the input.
inline void Require(bool condition) {
    if (!condition) {
        std::abort();
    }
}

}  // namespace reader::fuzz
