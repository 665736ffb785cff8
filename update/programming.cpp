// Flash programming and verification.
//
// The bootloader takes the image combined with the reader's own serial number and takes the
// combination off again as it programs. Block 0 holds the identity the reader boots by: it is
// erased before any other block is touched and, the blocks going from 29 down to 0, written last,
// so an update interrupted anywhere leaves it erased or the boot flag set, and the reader starts
// into its bootloader again. Every block is judged by the checksum the reader reports after the
// write.
#include <algorithm>
#include <span>

#include "commands/maintenance.hpp"
#include "drivers/system_driver.hpp"
#include "platform/host.hpp"
#include "update/console.hpp"
#include "update/release_data.hpp"
#include "update/update_client.hpp"

namespace reader {

std::array<std::uint8_t, kSerialKeySize> SerialKey{};

void ApplySerialKey() {
    for (std::size_t k = 0; k < FirmwareImage.size(); ++k) {
        FirmwareImage[k] =
            static_cast<std::uint8_t>(FirmwareImage[k] ^ SerialKey[k % kSerialKeySize]);
    }
}

void ResetUpdateGlobals() {
    ResetDeviceGlobals();
    SerialKey.fill(0);
    const auto stored = StoredFirmwareImage();
    std::copy(stored.begin(), stored.end(), FirmwareImage.begin());
}

namespace {

// The checksum the reader reports, as the unsigned 16-bit value it is.
std::uint16_t BlockChecksumAt(std::uint32_t address) {
    return static_cast<std::uint16_t>(FlashBlockChecksum(address));
}

// Checks one block and, when it differs, erases, writes and checks it again. Returns whether the
// block ends up as the table wants it.
bool UpdateBlock(std::uint32_t block) {
    const std::uint32_t address = FlashBlockAddress(block);
    const std::uint16_t expected = BlockChecksumTable[block];
    const std::uint16_t found = BlockChecksumAt(address);
    if (found == expected) {
        ConsoleSuccess("Update block %d success\r", static_cast<int>(block));
        return true;
    }
    platform::StreamPrintf("Update block %d (%.4x)\r", static_cast<int>(block),
                           static_cast<unsigned>(found));
    (void)EraseFlashBlock(address);
    platform::ActiveHost().Sleep(kEraseSettleMs);
    const auto image =
        std::span<const std::uint8_t>(FirmwareImage)
            .subspan(static_cast<std::size_t>(block) * kFlashBlockSize, kFlashBlockSize);
    (void)WriteFlash(address, image.data(), kFlashBlockSize);
    if (BlockChecksumAt(address) == expected) {
        ConsoleSuccess(": success");
        return true;
    }
    ConsoleError("\nUpdate block %d failure\n", static_cast<int>(block));
    return false;
}

}  // namespace

void ProgramFirmware() {
    ConsoleSuccess("Start update firmware.\n");
    if (UpdateBegin() == 0) {
        ConsoleError("update init error.\n");
        return;
    }
    if (ReadSerial(SerialKey.data(), kSerialKeySize) == 0) {
        ConsoleError("read serial number error.\n");
        return;
    }
    platform::StreamPrintf("SN:%.2X%.2X%.2X%.2X\n", static_cast<unsigned>(SerialKey[0]),
                           static_cast<unsigned>(SerialKey[1]), static_cast<unsigned>(SerialKey[2]),
                           static_cast<unsigned>(SerialKey[3]));

    // Set the boot flag before the first flash command. The reader starts its firmware whenever
    // the flag is clear and block 0 is not wholly erased, so a reader found in its bootloader with
    // the flag clear (block 0 erased by an earlier, interrupted update) would start a half-written
    // block 0 if the power went while block 0 is being written, or between its check and the final
    // erase of a failed run. An update that came through EnterBootloader has the flag set already;
    // sending it again costs one sector. The result is not examined: a command file that cannot be
    // written shows in the checks that follow.
    (void)SetBootMode(kBootIntoBootloader);

    // From here to the second ApplySerialKey the image is in its transformed form; nothing in
    // between leaves this function early, so every path restores it.
    ApplySerialKey();

    platform::StreamPrintf("Erase block 0 (%.4X).\n",
                           static_cast<unsigned>(BlockChecksumAt(kFlashBase)));
    (void)EraseFlashBlock(kFlashBase);
    platform::StreamPrintf("Erase block 0 finished %.4X\n",
                           static_cast<unsigned>(BlockChecksumAt(kFlashBase)));

    bool failed = false;
    for (std::uint32_t block = kFlashBlockCount; block-- > 0;) {
        if (!UpdateBlock(block)) {
            failed = true;
        }
    }

    ApplySerialKey();

    if (!failed) {
        ConsoleSuccess("\nUpdate firmware success.\n");
        (void)SetBootMode(kBootIntoFirmware);
        (void)Reboot();
        return;
    }
    // Keep the reader in its bootloader: with block 0 erased the boot rule cannot start the
    // half-written firmware, whatever became of the boot flag.
    (void)EraseFlashBlock(kFlashBase);
    ConsoleError("\nUpdate firmware failure.try again\n");
}

}  // namespace reader
