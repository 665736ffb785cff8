#include "update/update_client.hpp"

#include <cstring>

#include "drivers/system_driver.hpp"
#include "link/discovery.hpp"
#include "platform/host.hpp"
#include "update/release_data.hpp"

namespace reader {
namespace {

static_assert(kFirmwareCompareLength <= kReleaseIdentity.size());

bool IdentityStartsWith(const char* constant, int length) {
    return std::memcmp(DeviceIdentity.data(), constant, static_cast<std::size_t>(length)) == 0;
}

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

}  // namespace

bool IsBootloaderIdentity() {
    return IdentityStartsWith(kBootloaderIdentityQ2, kBootloaderQ2CompareLength) ||
           IdentityStartsWith(kBootloaderIdentityR2, kBootloaderR2CompareLength);
}

int FirmwareVersion() {
    if (!IdentityStartsWith(kReleaseIdentity.data(), kFirmwareCompareLength)) {
        return 0;
    }
    // The identity is terminated at byte 16 at the latest, so the run has one to four digits.
    int version = 0;
    for (auto at = static_cast<std::size_t>(kVersionDigitsOffset);
         at < DeviceIdentity.size() && IsDigit(DeviceIdentity[at]); ++at) {
        version = version * 10 + (DeviceIdentity[at] - '0');
    }
    return version;
}

void ExitPrompt() {
    platform::StreamPrintf("press any key to exit.\n");
    (void)platform::ActiveHost().ReadKey();
}

void UpdateClient() {
    (void)IdentifyDevice(0, 0);
    const int version = FirmwareVersion();
    if (IsBootloaderIdentity()) {
        ProgramFirmware();
    } else if (version >= kUpdateThreshold) {
        platform::StreamPrintf("Device %s not need update firmware\n", DeviceIdentity.data());
    } else if (version == 0) {
        platform::StreamPrintf("Firmware update client not used for your device(%s)\n",
                               DeviceIdentity.data());
    } else if (EnterBootloader()) {
        ProgramFirmware();
    }
    ExitPrompt();
}

}  // namespace reader
