// Any 16 identity bytes through discovery, identification and the update decision. The identity
// must stay a terminated text, the version must be one the identity can spell, and every run must
// end at the exit prompt.
#include <cstring>
#include <string>
#include <vector>

#include "fuzz/fuzz_support.hpp"
#include "update/update_client.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace reader;
    if (size < 16) {
        return 0;
    }
    ResetUpdateGlobals();
    std::vector<std::uint8_t> status(0x10000, 0);
    std::memcpy(status.data() + 0x8000, data, 16);

    emulator::EmulatedHost host;
    emulator::ScopedHost scoped(host);
    host.AddDrive('E', platform::DriveType::Removable, {{"T-DRIVER.DMP", status}});

    fuzz::Require(IdentifyDevice(0, 0) == 0 || SystemDriver.ReadSlot != nullptr);
    fuzz::Require(DeviceIdentity[16] == '\0');
    fuzz::Require(std::memcmp(DeviceIdentity.data(), data, 16) == 0);

    const int version = FirmwareVersion();
    fuzz::Require(version == 0 || (version >= 3 && version <= 3999));
    if (version != 0) {
        fuzz::Require(std::memcmp(data, "N64_KRN03_RV3", 13) == 0);
    }
    const bool bootloader = IsBootloaderIdentity();
    fuzz::Require(!bootloader || std::memcmp(data, "BOOT_N64", 8) == 0);

    ResetUpdateGlobals();
    UpdateClient();
    const std::string text = host.ConsoleText();
    const std::string prompt = "press any key to exit.\n";
    fuzz::Require(text.size() >= prompt.size() &&
                  text.compare(text.size() - prompt.size(), prompt.size(), prompt) == 0);
    return 0;
}
