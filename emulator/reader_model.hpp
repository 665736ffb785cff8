// The emulated reader: a model of the reader's firmware and bootloader, seen through the three
// files in the root of its drive. Two fronts share it: the in-process host (tests, demo) and the
// file-system front (the real binaries).
//
// The model knows nothing of either front: a front asks whether the drive is there and under
// which letter, reads the status and data files, and opens, truncates and writes the command
// file. Time comes from a Clock, so restarts happen in virtual time in process and in real time
// behind the file system.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace reader::emulator {

// Files in the drive's root; names are matched without regard to case.
inline constexpr std::string_view kCommandFileName = "CMD.CMD";
inline constexpr std::string_view kStatusFileName = "T-DRIVER.DMP";
inline constexpr std::string_view kDataFileName = "DUMP.ROM";

// T-DRIVER.DMP: the reply area, then the identity at 0x8000, then zeros.
inline constexpr std::size_t kStatusFileSize = 0x10000;
inline constexpr std::size_t kReplyAreaSize = 0x8000;
inline constexpr std::size_t kIdentityOffset = 0x8000;
inline constexpr std::size_t kIdentitySize = 16;

inline constexpr std::size_t kModelSectorSize = 512;

// Flash: 30 blocks of 1 KB from 0x8004000; erased bytes are 0xFF.
inline constexpr std::uint32_t kFlashBase = 0x8004000;
inline constexpr std::size_t kFlashBlockSize = 0x400;
inline constexpr std::size_t kFlashBlockCount = 30;
inline constexpr std::size_t kFlashSize = kFlashBlockSize * kFlashBlockCount;
inline constexpr std::uint8_t kErasedByte = 0xFF;
inline constexpr std::size_t kSerialSize = 8;

inline constexpr std::string_view kOldFirmwareIdentity = "N64_KRN03_RV300";
inline constexpr std::string_view kDefaultBootloaderIdentity = "BOOT_N64Q2";
inline constexpr std::string_view kSecondBootloaderIdentity = "BOOT_N64_R2_400";
inline constexpr std::array<std::uint8_t, kSerialSize> kDefaultSerial = {0x3A, 0x7C, 0x19, 0xE4,
                                                                         0x05, 0xB2, 0x6D, 0x81};
inline constexpr std::uint32_t kDefaultRestartMs = 2000;

// Milliseconds since an arbitrary start.
class Clock {
  public:
    virtual ~Clock() = default;
    virtual std::uint64_t NowMs() const = 0;
};

enum class ReaderMode : std::uint8_t { Firmware, Bootloader };

// The byte at `offset` of the `read`-th read of the data file (both counted from what the model
// serves: reads are numbered from 1 over the model's life, every read that delivers at least one
// byte counts, and the offset is relative to the start of that read) is delivered inverted. The
// cartridge itself keeps the right byte, so the next read of that address differs from this one.
// The transcript gets one line naming the read, the offset and the cartridge address. A front that
// splits one host read into several requests (the file-system front serves at most 1 MiB at a
// time) counts each request as a read.
struct DataReadFlip {
    std::uint64_t read = 1;
    std::uint32_t offset = 0;
};

// Switches of the model that tests and the file-system front's command line set.
struct ReaderFaults {
    std::uint32_t restartMs = kDefaultRestartMs;
    char returnLetter = 0;           // 0: back under the same letter
    bool neverReturns = false;       // the drive never comes back after a restart
    bool returnsInFirmware = false;  // a restart (Reboot) ignores the boot rule: firmware mode
    // The N-th open of the command file fails (1-based), or every open from then on.
    std::optional<std::uint32_t> failCommandOpenAt;
    bool failCommandOpenFromThenOn = false;
    // The N-th write of the command file fails (1-based) without executing anything.
    std::optional<std::uint32_t> failCommandWriteAt;
    // The status file ends at this length (a reply area cut short).
    std::optional<std::uint32_t> statusFileLength;
    // This byte of the status file reads inverted.
    std::optional<std::uint32_t> corruptStatusByte;
    // This flash block has stuck bits: bit 0 of every byte reads 0, so it never verifies.
    std::optional<std::size_t> stuckBlock;
    // The power is cut right after the N-th executed or rejected sector (1-based): the drive
    // vanishes and the rest of that write is lost; flash and the boot flag keep what they had.
    std::optional<std::uint64_t> powerCutAfterSector;
    // A dirty cartridge contact: the N-th read of the data file delivers one byte inverted.
    std::optional<DataReadFlip> flipDataRead;
};

// What the N64 reader presents past the end of the cartridge's ROM, where no chip drives the bus.
//
//   OpenBus  the reader latches the cartridge address once for each 512-byte block it reads and
//            nothing answers, so every 16-bit word of the block reads as the low 16 bits of the
//            block's first address, high byte first (the block at 0x10800200: 02 00 02 00 ...)
//   Mirror   the ROM repeats, as on a cartridge that leaves its upper address lines undecoded: the
//            byte at 0x10000000 + k is the ROM's byte k mod the ROM's size
//   Ff       every byte reads 0xFF, as on a reader whose data lines are pulled up
enum class PastEnd : std::uint8_t { OpenBus, Mirror, Ff };
// "open-bus", "mirror", "ff", and back.
std::string_view PastEndName(PastEnd pastEnd);
std::optional<PastEnd> ParsePastEnd(std::string_view text);

// The N64 cartridge bus: the ROM window starts at 0x10000000 and the largest ROM is 64 MiB; the
// reader reads the bus in blocks of 512 bytes.
inline constexpr std::uint32_t kN64RomBase = 0x10000000;
inline constexpr std::uint64_t kN64RomMaxSize = 0x4000000;
inline constexpr std::uint32_t kN64BusBlockSize = 512;

struct ReaderConfig {
    // The identity of a device whose identity does not come from flash (the cartridge variants,
    // or any other device). When empty, the model is the N64 reader: its firmware identity is
    // flash bytes 0..15, and it has a bootloader.
    std::string fixedIdentity;
    std::string bootloaderIdentity = std::string(kDefaultBootloaderIdentity);
    std::array<std::uint8_t, kSerialSize> serial = kDefaultSerial;
    // Flash contents at start; empty means the old firmware (identity N64_KRN03_RV300).
    std::vector<std::uint8_t> flash;
    bool bootFlag = false;
    // The cartridge status byte that ReadCartStatus reports.
    std::uint8_t miscByte = 0x00;
    // A cartridge image loaded from a file, served as it stands instead of the generated test
    // cartridge: byte k sits at CartridgeImageBase(variant) + k. Addresses outside it keep the
    // generated pattern, except past the end of an N64 image, where the ROM ends (see
    // ReaderModel); bytes beyond the variant's address space (CartridgeImageCapacity) are not
    // placed. The model takes the bytes over when it is made (see ReaderModel::CartridgeImage).
    std::vector<std::uint8_t> cartridgeImage;
    // What the N64 reader presents past the end of the cartridge's ROM (see ReaderModel).
    PastEnd pastEnd = PastEnd::OpenBus;
    ReaderFaults faults;
};

// The cartridge variants. The variant is chosen by the first 12 characters of the fixed identity;
// any other device (the N64 reader of the firmware update among them) has no cartridge side.
enum class CartridgeSystem : std::uint8_t { None, Hnd, N64, Sfc, Fc2, Nes, Pce };

inline constexpr std::string_view kHndIdentity = "HND_KRN02_RV100";
inline constexpr std::string_view kN64CartIdentity = "N64_KRN20_RV100";
inline constexpr std::string_view kSfcIdentity = "SFC_KRN02_RV100";
inline constexpr std::string_view kFc2Identity = "FC2_KRN02_RV100";
inline constexpr std::string_view kNesIdentity = "NES_KRN02_RV100";
inline constexpr std::string_view kPceIdentity = "PCE_KRN02_RV100";

CartridgeSystem CartridgeSystemOf(std::string_view identity);

// What the variant's test cartridge holds at an address before anything is written to it: a
// deterministic pattern that differs from address to address, with a small header (and for the
// 6502-family systems a short program and its vectors) at the usual places. Generated from the
// address, so even the 16 MiB address spaces cost no memory.
std::uint8_t CartridgeImageByte(CartridgeSystem system, std::uint32_t address);

// Where a cartridge image loaded from a file begins in the variant's address space: the N64 ROM
// window (0x10000000) for the N64 reader, address 0 for every other variant.
std::uint32_t CartridgeImageBase(CartridgeSystem system);
// How many bytes of a loaded image the variant's address space holds: 16 MiB for the 24-bit
// address spaces (HND, SFC with its two 8 MiB banks, PCE), 64 MiB of N64 ROM, 64 KiB for the
// 6502 address space of FC2 and NES; 0 for a device without a cartridge side.
std::uint64_t CartridgeImageCapacity(CartridgeSystem system);
// The short name of a variant ("N64", "SFC", ...), for messages.
std::string_view CartridgeSystemName(CartridgeSystem system);

// The old firmware's flash: a deterministic image whose first 16 bytes are the identity.
std::vector<std::uint8_t> OldFirmwareFlash(std::string_view identity = kOldFirmwareIdentity);

// The N64 reader's cartridge and where its ROM ends. The ROM is the loaded image (byte k at
// 0x10000000 + k, so it ends at 0x10000000 + its size) or, with no image, the generated test
// cartridge, which fills the whole 64 MiB window and ends at 0x14000000. From the ROM's end up to
// the top of the 32-bit address space the reader presents config.pastEnd; below 0x10000000 it keeps
// the generated pattern. An N64 address sector makes the data file present the bus from the
// selected address S on, 64 MiB of it, so the reader's 512-byte blocks are S + k * 512 and the
// open-bus value of a byte is the low 16 bits of the first address of the block that holds it,
// high byte at even positions of the block, low byte at odd ones. A block that straddles the ROM's
// end delivers the ROM's bytes up to the end and the open-bus word of its first address (an
// address inside the ROM) after it. Mirror and 0xFF do not depend on the blocks. CartridgeByte
// reads past the end as a read from a 512-aligned address does.
class ReaderModel {
  public:
    ReaderModel(const Clock& clock, char letter, ReaderConfig config = {});

    // --- the drive as a front sees it -------------------------------------------------------
    // Whether the drive is there now (not restarting, not powered off).
    bool Present();
    // The letter the drive sits under now.
    char Letter();
    // The size of a root file, or nothing when there is no such file (or no drive).
    std::optional<std::uint64_t> FileSize(std::string_view name);
    // Reads a root file from offset; the count delivered, or nothing when there is no such file.
    std::optional<std::uint32_t> ReadFile(std::string_view name, std::uint64_t offset,
                                          std::span<std::uint8_t> out);
    // Opens CMD.CMD for writing. Returns false when the open is refused.
    bool OpenCommandFile(bool truncate);
    // Truncates CMD.CMD (an open followed by a truncate to 0 is a create-always).
    bool TruncateCommandFile(std::uint64_t size);
    // Writes bytes of CMD.CMD at offset; every sector whose 512 bytes are complete is processed
    // before the call returns. Returns the count written, or nothing when the write fails.
    std::optional<std::uint32_t> WriteCommandFile(std::uint64_t offset,
                                                  std::span<const std::uint8_t> bytes);

    // --- the device itself ------------------------------------------------------------------
    ReaderMode Mode();
    std::string PresentedIdentity();
    const std::vector<std::string>& Transcript() const { return transcript_; }
    void ClearTranscript() { transcript_.clear(); }
    std::uint64_t SectorsReceived() const { return sectorsReceived_; }
    std::uint64_t SectorsRejected() const { return sectorsRejected_; }
    std::span<const std::uint8_t> Flash() const { return flash_; }
    bool BootFlag() const { return bootFlag_; }
    ReaderFaults& Faults() { return config_.faults; }
    ReaderConfig& Config() { return config_; }

    // The cartridge side: the variant, whether its set-up command has arrived, and what the
    // cartridge holds now at an address (the image with every write stored so far).
    CartridgeSystem Cartridge() const { return CartridgeSystemOf(config_.fixedIdentity); }
    bool CartridgeReady() const { return cartridgeReady_; }
    std::uint8_t CartridgeByte(std::uint32_t address) const;
    // The loaded image as it stands now, every write that landed inside it included (empty when
    // none was loaded); it begins at CartridgeImageBase(Cartridge()). What a front saves at exit.
    std::span<const std::uint8_t> CartridgeImage() const { return cartridgeImage_; }
    // Reads of the data file served so far that delivered at least one byte.
    std::uint64_t DataReads() const { return dataReads_; }
    std::uint8_t NesMode() const { return nesMode_; }
    std::uint8_t ControlValue() const { return controlValue_; }

    // Cuts the power at once, or powers the reader on again (the boot rule decides the mode).
    void PowerCut();
    void PowerOn();
    bool Powered() const { return powered_; }

    // Called at every start of the reader (power-on, the end of a restart) once the boot rule has
    // chosen the mode, with that mode and the flash the reader starts from: what a watcher needs
    // to tell whether the reader ever starts a firmware that is only half there.
    using BootObserver = std::function<void(ReaderMode mode, std::span<const std::uint8_t> flash)>;
    void SetBootObserver(BootObserver observer) { bootObserver_ = std::move(observer); }

  private:
    enum class Outcome { Executed, Ignored };

    void Advance();
    // The boot rule; forceFirmware is the fault of a restart that ignores it.
    void Boot(bool forceFirmware = false);
    void BeginRestart();
    void ProcessSector(std::span<const std::uint8_t, kModelSectorSize> sector);
    Outcome ExecuteMaintenance(std::span<const std::uint8_t, kModelSectorSize> sector,
                               std::string& line);
    Outcome ExecuteCartridge(std::span<const std::uint8_t, kModelSectorSize> sector,
                             std::string& line);
    void SetReply(std::span<const std::uint8_t> reply);
    std::optional<std::size_t> FlashIndex(std::uint32_t address) const;
    std::uint8_t FlashByte(std::size_t index) const;
    std::uint16_t BlockChecksum(std::size_t block) const;
    void ResetCartridgeBus();
    std::uint64_t DataFileSize() const;
    // The cartridge address that data-file offset `at` presents under the present bus state.
    std::uint32_t DataFileAddress(std::uint64_t at) const;
    std::uint32_t ReadDataFile(std::uint64_t offset, std::span<std::uint8_t> out);
    // The cartridge from address on, addresses rising without wrapping: the loaded image copied
    // where it reaches, the generated pattern and the writes outside it elsewhere, and past the N64
    // ROM's end what the reader presents there. blockPhase: the reader's 512-byte blocks start at
    // the addresses equal to it modulo 512 (the selected address's low bits).
    void CopyCartridge(std::uint32_t address, std::span<std::uint8_t> out,
                       std::uint32_t blockPhase = 0) const;
    void PastRomEnd(std::uint32_t address, std::span<std::uint8_t> out,
                    std::uint32_t blockPhase) const;
    void GeneratedCartridge(std::uint32_t address, std::span<std::uint8_t> out) const;
    void StoreCartridgeByte(std::uint32_t address, std::uint8_t byte);
    void FlipDataRead(std::uint64_t offset, std::span<std::uint8_t> delivered);

    const Clock& clock_;
    ReaderConfig config_;
    char letter_;
    bool powered_ = true;
    bool restarting_ = false;
    bool gone_ = false;
    std::uint64_t backAtMs_ = 0;
    ReaderMode mode_ = ReaderMode::Firmware;
    bool bootFlag_ = false;
    bool flashArmed_ = false;
    std::vector<std::uint8_t> flash_;
    std::array<std::uint8_t, kReplyAreaSize> reply_{};
    std::vector<std::uint8_t> commandFile_;
    std::vector<bool> commandFilled_;
    std::size_t commandProcessed_ = 0;
    std::uint32_t commandOpens_ = 0;
    std::uint32_t commandWrites_ = 0;
    std::uint64_t sectorsReceived_ = 0;
    std::uint64_t sectorsRejected_ = 0;
    std::vector<std::string> transcript_;
    // Cartridge side. The bus state goes with a restart; what was written stays on the cartridge.
    bool hndPrepared_ = false;  // the first HND set-up sector has arrived
    bool cartridgeReady_ = false;
    std::uint32_t cartridgeAddress_ = 0;  // HND, N64: where the data file starts
    std::uint8_t sfcBank_ = 0;
    std::uint8_t nesMode_ = 0;
    std::uint8_t controlValue_ = 0;
    // Writes outside the loaded image (writes inside it change the image itself).
    std::map<std::uint32_t, std::uint8_t> cartridgeWrites_;
    std::vector<std::uint8_t> cartridgeImage_;
    std::uint32_t cartridgeImageBase_ = 0;
    // The N64 ROM's end; the top of the address space (nothing past it) for the other variants.
    std::uint64_t romEnd_ = std::uint64_t{1} << 32;
    std::uint64_t dataReads_ = 0;
    BootObserver bootObserver_;
};

}  // namespace reader::emulator
