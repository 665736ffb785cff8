// Bootloader entry: the reader programs its flash only while it runs its bootloader. A reader with
// older firmware is told to start into the bootloader at its next restart, restarted, given a
// fixed time to come back as a drive, and probed again on the same letter.
#include "commands/maintenance.hpp"
#include "drivers/system_driver.hpp"
#include "link/discovery.hpp"
#include "platform/host.hpp"
#include "update/console.hpp"
#include "update/update_client.hpp"

namespace reader {

bool EnterBootloader() {
    ConsoleSuccess("Try to reboot device to bootloader\n");
    ConsolePlain("Please wait......\n");

    if (SetBootMode(kBootIntoBootloader) == 0) {
        ConsoleError("set bootloader error.\n");
        return false;
    }
    if (Reboot() == 0) {
        ConsoleError("set reboot error.\n");
        return false;
    }
    // One fixed wait and one probe: the drive is gone while the reader restarts.
    platform::ActiveHost().Sleep(kRestartWaitMs);

    // Only the reader's own letter is probed. When it is not back (yet), the identity read before
    // the restart stays and is what the message shows.
    (void)IdentifyDevice(static_cast<unsigned char>(DeviceDrive), 0);
    if (IsBootloaderIdentity()) {
        return true;
    }
    ConsoleError("Device(%s) not in bootloader mode,please try again.\n", DeviceIdentity.data());
    return false;
}

}  // namespace reader
