// The update client: finds the reader, decides whether it needs new firmware, and runs the
// bootloader entry and the flash programming.
#pragma once

namespace reader {

// Firmware of this version or later needs no update.
inline constexpr int kUpdateThreshold = 315;

// The reader's firmware identity: the first 13 bytes are compared, the digits from byte 12 on are
// the version.
inline constexpr const char* kFirmwareIdentity = "N64_KRN03_RV315";
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

// Restarts the reader into its bootloader; true when it came back there, false after a message.
bool EnterBootloader();

// Programs and verifies the flash; prints its own outcome.
void ProgramFirmware();

}  // namespace reader
