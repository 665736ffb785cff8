#include "frontend/cartridge.hpp"

#include <algorithm>
#include <array>
#include <vector>

#include "drivers/device_library.hpp"
#include "frontend/transfer.hpp"

namespace reader::tool {
namespace {

// Copies what a read delivers into `into`, which starts at cartridge address `start`.
ReadConsumer CopyInto(std::span<std::uint8_t> into, std::uint32_t start) {
    return [into, start](std::uint32_t at, std::span<const std::uint8_t> bytes) {
        std::copy(bytes.begin(), bytes.end(), into.subspan(at - start).begin());
        return true;
    };
}

}  // namespace

std::uint64_t DumpStartOf(const VariantProfile& profile) {
    return profile.startsAtWindow ? SystemDriver.RomWindowStart : 0;
}

Expected<rom::N64RomSize> FindRomSize(ToolContext& context, const ConnectedReader& reader) {
    Outcome failed;
    rom::N64RomSize size = rom::FindN64RomSize(
        [&](std::uint32_t address, std::span<std::uint8_t, rom::kN64ProbeSize> block) {
            // Each block is a read of its own: the reader selects the address in a command, so
            // the bus shows that block, not one a larger read happens to reach.
            failed = ReadRange(context, reader, address, block.size(), "probing", nullptr,
                               CopyInto(block, address));
            return !failed;
        });
    if (failed) {
        return std::move(*failed);
    }
    return size;
}

Expected<rom::N64HeaderSummary> ReadN64Header(ToolContext& context, const ConnectedReader& reader) {
    std::vector<std::uint8_t> first(rom::kN64BootCodeEnd);
    if (auto failed = ReadRange(context, reader, rom::kN64RomStart, first.size(), "reading",
                                nullptr, CopyInto(first, rom::kN64RomStart))) {
        return std::move(*failed);
    }
    return rom::SummariseN64Header(first);
}

}  // namespace reader::tool
