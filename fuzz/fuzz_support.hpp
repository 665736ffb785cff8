// Shared by the fuzz targets. Each input runs against a fresh emulated host and starts with the
// globals as a program starts with them: ResetDeviceGlobals for the device library's targets,
// ResetUpdateGlobals for the update client's.
#pragma once

#include <cstdlib>

#include "drivers/system_driver.hpp"
#include "emulator/emulated_host.hpp"
#include "link/discovery.hpp"

namespace reader::fuzz {

// A broken invariant ends the run with a crash, which libFuzzer reports with the input.
inline void Require(bool condition) {
    if (!condition) {
        std::abort();
    }
}

}  // namespace reader::fuzz
