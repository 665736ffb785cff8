// SHA-1's compression on a processor architecture without an accelerated version here: the
// portable code alone. Built instead of sha1_x86.cpp (frontend/rom/CMakeLists.txt).
#include "frontend/rom/sha1_compress.hpp"

namespace reader::rom {

Sha1Compress Sha1CompressAccelerated() {
    return nullptr;
}

}  // namespace reader::rom
