// Shared helpers of the dump report's tests.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace reader::rom::test {

// Deterministic bytes that any other tool can reproduce: the top byte of each step of the
// generator x = x * 1103515245 + 12345 (mod 2^32), starting from x = 1.
inline std::vector<std::uint8_t> LcgBytes(std::size_t size) {
    std::vector<std::uint8_t> bytes(size);
    std::uint32_t x = 1;
    for (auto& byte : bytes) {
        x = x * 1103515245u + 12345u;
        byte = static_cast<std::uint8_t>(x >> 24);
    }
    return bytes;
}

// The value of the report line "<name>: <value>", or "(missing)" when there is none.
inline std::string LineValue(const std::string& report, std::string_view name) {
    const std::string prefix = std::string(name) + ": ";
    std::size_t at = 0;
    while (at < report.size()) {
        const std::size_t end = report.find('\n', at);
        const std::string line = report.substr(at, end == std::string::npos ? end : end - at);
        if (line.starts_with(prefix)) {
            return line.substr(prefix.size());
        }
        if (end == std::string::npos) {
            break;
        }
        at = end + 1;
    }
    return "(missing)";
}

}  // namespace reader::rom::test
