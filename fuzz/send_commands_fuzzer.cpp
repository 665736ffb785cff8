// SendCommands over any buffer and length: it either sends exactly the whole sectors it was given,
// each stamped, or refuses and touches nothing.
#include <fuzzer/FuzzedDataProvider.h>

#include <vector>

#include "fuzz/fuzz_support.hpp"
#include "link/command_sector.hpp"
#include "link/crc16.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace reader;
    FuzzedDataProvider input(data, size);
    const auto bufferSize = input.ConsumeIntegralInRange<std::size_t>(0, 8 * 512 + 7);
    const auto length = input.ConsumeIntegralInRange<std::uint32_t>(0, 8 * 512 + 7);
    std::vector<std::uint8_t> buffer = input.ConsumeBytes<std::uint8_t>(bufferSize);
    buffer.resize(bufferSize, 0);
    const std::vector<std::uint8_t> before = buffer;

    ResetDeviceGlobals();
    emulator::EmulatedHost host;
    emulator::ScopedHost scoped(host);
    host.AddDrive('E', platform::DriveType::Removable);
    DeviceDrive = 'E';

    const std::uint32_t sent = SendCommands(buffer, length);
    const bool acceptable = length % 512 == 0 && length <= bufferSize;
    if (!acceptable) {
        fuzz::Require(sent == 0 && buffer == before && host.Counters().writes == 0);
        return 0;
    }
    fuzz::Require(sent == length);
    for (std::size_t at = 0; at < length; at += 512) {
        const std::span<const std::uint8_t> sector(buffer.data() + at, 512);
        fuzz::Require(sector[0] == 0x5A);
        const std::uint16_t crc = link::Crc16Xmodem(sector.first(510));
        fuzz::Require(sector[510] == (crc >> 8) && sector[511] == (crc & 0xFF));
    }
    for (std::size_t at = length; at < bufferSize; ++at) {
        fuzz::Require(buffer[at] == before[at]);
    }
    return 0;
}
