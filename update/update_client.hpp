// The update client: finds the reader, decides whether it needs new firmware, and runs the
// bootloader entry and the flash programming.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace reader {

// Firmware of this version or later needs no update.
inline constexpr int kUpdateThreshold = 315;

// The reader's firmware identity is the one the release presents, kReleaseIdentity: the first 13
// bytes are compared, the digits from byte 12 on are the version.
inline constexpr int kFirmwareCompareLength = 13;
inline constexpr int kVersionDigitsOffset = 12;

// The two bootloader identities, compared on their first 10 and 13 bytes.
inline constexpr const char* kBootloaderIdentityQ2 = "BOOT_N64Q2";
inline constexpr int kBootloaderQ2CompareLength = 10;
inline constexpr const char* kBootloaderIdentityR2 = "BOOT_N64_R2_400";
inline constexpr int kBootloaderR2CompareLength = 13;

// One pass: identify, decide, act, ExitPrompt.
void UpdateClient();

// True when DeviceIdentity is one of the bootloader identities.
bool IsBootloaderIdentity();

// The firmware version of DeviceIdentity, 0 for any identity other than the reader's firmware.
int FirmwareVersion();

// "press any key to exit.\n", then one character from standard input.
void ExitPrompt();

// The reader needs up to this long to restart and come back as a drive; the client waits this
// fixed time after Reboot, whether the reader is back sooner or not.
inline constexpr std::uint32_t kRestartWaitMs = 5000;

// The time a block is left between its erase and its write.
inline constexpr std::uint32_t kEraseSettleMs = 300;

// Restarts the reader into its bootloader; true when it came back there, false after a message.
bool EnterBootloader();

// Programs and verifies the flash; prints its own outcome. The reader must present a bootloader
// identity.
void ProgramFirmware();

// The reader's serial number as ReadSerial delivers it; set by ProgramFirmware.
inline constexpr std::size_t kSerialKeySize = 8;
extern std::array<std::uint8_t, kSerialKeySize> SerialKey;

// Combines FirmwareImage in place with SerialKey: byte k XOR SerialKey[k mod 8]. Applied twice it
// gives back the image as it was.
void ApplySerialKey();

// Puts every global of the program back as the program starts with them: the device library's
// (ResetDeviceGlobals), SerialKey zero and FirmwareImage in its stored form. Whatever runs the
// client more than once in one process (tests, the power-cut campaign, fuzz targets, benchmarks)
// starts each run with it.
void ResetUpdateGlobals();

}  // namespace reader
