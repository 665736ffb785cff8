// ReplyRead over any file size, offset, count and destination placement: it must never write past
// the count it was asked for, never hand out a byte the file does not hold at that place, and
// report no more than it delivered.
#include <fuzzer/FuzzedDataProvider.h>

#include <vector>

#include "fuzz/fuzz_support.hpp"
#include "link/device_files.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace reader;
    FuzzedDataProvider input(data, size);
    const auto fileSize = input.ConsumeIntegralInRange<std::size_t>(0, 0x12000);
    const auto offset = input.ConsumeIntegral<std::uint32_t>() % 0x14000;
    const auto count = input.ConsumeIntegralInRange<std::uint32_t>(0, 0x6000);
    const auto misalignment = input.ConsumeIntegralInRange<std::size_t>(0, 4095);

    std::vector<std::uint8_t> file(fileSize);
    for (std::size_t i = 0; i < file.size(); ++i) {
        file[i] = static_cast<std::uint8_t>(i * 13 + (i >> 8));
    }
    emulator::EmulatedHost host;
    emulator::ScopedHost scoped(host);
    host.AddDrive('E', platform::DriveType::Removable, {{"T-DRIVER.DMP", file}});

    // Guard bytes on both sides of the destination catch any write outside it.
    constexpr std::size_t kGuard = 64;
    constexpr std::uint8_t kGuardByte = 0xA5;
    std::vector<std::uint8_t> storage(misalignment + kGuard * 2 + count, kGuardByte);
    std::uint8_t* destination = storage.data() + misalignment + kGuard;

    const std::uint32_t given = ReplyRead("E:\\T-DRIVER.DMP", destination, count, offset);

    fuzz::Require(given <= count);
    for (std::uint32_t i = 0; i < given; ++i) {
        fuzz::Require(offset + i < file.size() && destination[i] == file[offset + i]);
    }
    for (std::size_t i = 0; i < misalignment + kGuard; ++i) {
        fuzz::Require(storage[i] == kGuardByte);
    }
    for (std::size_t i = misalignment + kGuard + count; i < storage.size(); ++i) {
        fuzz::Require(storage[i] == kGuardByte);
    }
    // A small request is all or nothing.
    if (count < 1024 && given != 0) {
        fuzz::Require(given == count);
    }
    return 0;
}
