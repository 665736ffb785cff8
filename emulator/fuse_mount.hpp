// Mounts a FuseFront with libfuse3 and serves it on this thread.
#pragma once

#include <cstdio>
#include <string>

#include "emulator/fuse_front.hpp"

namespace reader::emulator {

struct FuseMountSettings {
    std::string mountPoint;
    bool debug = false;
    // Receives each transcript line as it arrives (flushed at once); may be null.
    std::FILE* transcript = nullptr;
};

// Mounts the front and answers the kernel's requests one at a time until the drive is unmounted
// (fusermount3 -u) or SIGINT, SIGTERM or SIGHUP arrives; SIGUSR1 toggles the reader's power.
// Returns true after a clean stop, false (with error set) when the mount could not be made.
bool ServeFuseFront(FuseFront& front, const FuseMountSettings& settings, std::string& error);

}  // namespace reader::emulator
