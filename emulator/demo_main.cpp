// n64-update-demo: the update client, exactly as n64-update runs it, against an emulated reader
// that lives in this process, so that the whole update can be watched without the hardware.
//
// The reader runs the old firmware (N64_KRN03_RV300) on removable drive E, next to a fixed C:
// drive. The waits are real (5 s after the restart, 0.3 s per programmed block, about 14 s in
// all), the messages reach the real console in their colours, and the closing key is read from
// the real standard input. The reader itself restarts in 2 s of the emulation's own time.
#include "emulator/emulated_host.hpp"
#include "platform/host.hpp"
#include "update/update_client.hpp"

int main() {
    using namespace reader;

    emulator::EmulatedHost host;
    host.AddDrive('C', platform::DriveType::Fixed, {}, "SYSTEM");
    emulator::ReaderConfig config;
    config.flash = emulator::OldFirmwareFlash(emulator::kOldFirmwareIdentity);
    host.AttachReader('E', config);

    host.SetRealTime(true);
    host.SetEcho(&platform::NativeHost());
    host.SetKeyboard(&platform::NativeHost());

    const emulator::ScopedHost installed(host);
    UpdateClient();
    return 0;
}
