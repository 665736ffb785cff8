#include "emulator/reader_model.hpp"

#include <algorithm>
#include <array>

#include "emulator/model_sector.hpp"
#include "link/bytes.hpp"
#include "link/crc16.hpp"
#include "text/text.hpp"

namespace reader::emulator {
namespace {

// Maintenance operations (reader group), as the reader decodes them.
constexpr std::uint8_t kOpSetBootMode = 0x07;
constexpr std::uint8_t kOpReboot = 0xFF;
constexpr std::uint8_t kOpUpdateBegin = 0x0A;
constexpr std::uint8_t kOpReadSerial = 0x04;
constexpr std::uint8_t kOpEraseFlashBlock = 0xE0;
constexpr std::uint8_t kOpFlashBlockChecksum = 0xE2;
constexpr std::uint8_t kOpWriteFlash = 0xE4;

constexpr std::size_t kMarkerOffset = 0;
constexpr std::size_t kAddressOffset = 3;
constexpr std::size_t kBootModeOffset = 4;
constexpr std::size_t kWriteLengthOffset = 7;
constexpr std::size_t kWriteDataOffset = 12;
constexpr std::size_t kWriteMaxLength = 256;
constexpr std::size_t kChecksumOffset = 510;
constexpr std::uint8_t kMarker = 0x5A;

std::string CodeOf(std::span<const std::uint8_t, kModelSectorSize> sector) {
    return text::HexDigits(sector[kGroupOffset], 2) + " " +
           text::HexDigits(sector[kOperationOffset], 2);
}

}  // namespace

std::vector<std::uint8_t> OldFirmwareFlash(std::string_view identity) {
    std::vector<std::uint8_t> flash(kFlashSize);
    // A fixed pseudo-random body, so that every block has a checksum of its own.
    std::uint32_t state = 0x2545F491u;
    for (auto& byte : flash) {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        byte = static_cast<std::uint8_t>(state >> 24);
    }
    std::fill_n(flash.begin(), kIdentitySize, std::uint8_t{0});
    std::copy_n(identity.begin(), std::min(identity.size(), kIdentitySize), flash.begin());
    return flash;
}

ReaderModel::ReaderModel(const Clock& clock, char letter, ReaderConfig config)
    : clock_(clock), config_(std::move(config)), letter_(letter) {
    // The loaded cartridge image becomes the cartridge's own (it may be tens of MiB: moved, not
    // copied); what lies beyond the variant's address space has nowhere to go.
    cartridgeImage_ = std::move(config_.cartridgeImage);
    config_.cartridgeImage.clear();
    const auto capacity = static_cast<std::size_t>(CartridgeImageCapacity(Cartridge()));
    if (cartridgeImage_.size() > capacity) {
        cartridgeImage_.resize(capacity);
    }
    cartridgeImageBase_ = CartridgeImageBase(Cartridge());
    if (Cartridge() == CartridgeSystem::N64) {
        romEnd_ = cartridgeImageBase_ +
                  (cartridgeImage_.empty() ? kN64RomMaxSize : cartridgeImage_.size());
    }
    flash_ = config_.flash.empty() ? OldFirmwareFlash() : config_.flash;
    flash_.resize(kFlashSize, kErasedByte);
    bootFlag_ = config_.bootFlag;
    Boot();
}

// --- modes and restarts ------------------------------------------------------------------------

void ReaderModel::Advance() {
    if (restarting_ && !config_.faults.neverReturns && clock_.NowMs() >= backAtMs_) {
        restarting_ = false;
        if (config_.faults.returnLetter != 0) {
            letter_ = config_.faults.returnLetter;
        }
        Boot(config_.faults.returnsInFirmware);
    }
}

void ReaderModel::Boot(bool forceFirmware) {
    flashArmed_ = false;
    reply_.fill(0);
    commandFile_.clear();
    commandFilled_.clear();
    commandProcessed_ = 0;
    ResetCartridgeBus();
    if (!config_.fixedIdentity.empty() || forceFirmware) {
        mode_ = ReaderMode::Firmware;
    } else {
        const bool block0Erased = std::all_of(flash_.begin(), flash_.begin() + kFlashBlockSize,
                                              [](std::uint8_t b) { return b == kErasedByte; });
        mode_ = (bootFlag_ || block0Erased) ? ReaderMode::Bootloader : ReaderMode::Firmware;
    }
    if (bootObserver_) {
        bootObserver_(mode_, flash_);
    }
}

void ReaderModel::BeginRestart() {
    restarting_ = true;
    backAtMs_ = clock_.NowMs() + config_.faults.restartMs;
}

void ReaderModel::PowerCut() {
    powered_ = false;
    restarting_ = false;
}

void ReaderModel::PowerOn() {
    powered_ = true;
    restarting_ = false;
    Boot();
}

bool ReaderModel::Present() {
    Advance();
    return powered_ && !restarting_;
}

char ReaderModel::Letter() {
    Advance();
    return letter_;
}

ReaderMode ReaderModel::Mode() {
    Advance();
    return mode_;
}

std::string ReaderModel::PresentedIdentity() {
    Advance();
    if (mode_ == ReaderMode::Bootloader) {
        return config_.bootloaderIdentity.substr(0, kIdentitySize);
    }
    if (!config_.fixedIdentity.empty()) {
        return config_.fixedIdentity.substr(0, kIdentitySize);
    }
    // Flash bytes 0..15 as they stand; only the NUL padding at the end is dropped.
    std::string identity;
    for (std::size_t i = 0; i < kIdentitySize; ++i) {
        identity.push_back(static_cast<char>(FlashByte(i)));
    }
    identity.erase(identity.find_last_not_of('\0') + 1);
    return identity;
}

// --- files ---------------------------------------------------------------------------------------

std::optional<std::uint64_t> ReaderModel::FileSize(std::string_view name) {
    if (!Present()) {
        return std::nullopt;
    }
    if (text::SameIgnoringCase(name, kCommandFileName)) {
        return commandFile_.size();
    }
    if (text::SameIgnoringCase(name, kStatusFileName)) {
        return config_.faults.statusFileLength.value_or(kStatusFileSize);
    }
    if (text::SameIgnoringCase(name, kDataFileName)) {
        return DataFileSize();
    }
    return std::nullopt;
}

std::optional<std::uint32_t> ReaderModel::ReadFile(std::string_view name, std::uint64_t offset,
                                                   std::span<std::uint8_t> out) {
    const auto size = FileSize(name);
    if (!size) {
        return std::nullopt;
    }
    if (offset >= *size) {
        return 0u;
    }
    const auto count =
        static_cast<std::size_t>(std::min<std::uint64_t>(out.size(), *size - offset));
    if (text::SameIgnoringCase(name, kDataFileName)) {
        return ReadDataFile(offset, out.first(count));
    }
    if (text::SameIgnoringCase(name, kCommandFileName)) {
        std::copy_n(commandFile_.begin() + static_cast<std::ptrdiff_t>(offset), count, out.begin());
        return static_cast<std::uint32_t>(count);
    }
    // The status file: reply area, identity, zeros.
    const std::string identity = PresentedIdentity();
    for (std::size_t i = 0; i < count; ++i) {
        const std::uint64_t at = offset + i;
        std::uint8_t byte = 0;
        if (at < kReplyAreaSize) {
            byte = reply_[static_cast<std::size_t>(at)];
        } else if (at - kIdentityOffset < identity.size()) {
            byte =
                static_cast<std::uint8_t>(identity[static_cast<std::size_t>(at - kIdentityOffset)]);
        }
        if (config_.faults.corruptStatusByte && at == *config_.faults.corruptStatusByte) {
            byte = static_cast<std::uint8_t>(~byte);
        }
        out[i] = byte;
    }
    return static_cast<std::uint32_t>(count);
}

bool ReaderModel::OpenCommandFile(bool truncate) {
    if (!Present()) {
        return false;
    }
    ++commandOpens_;
    const auto& faults = config_.faults;
    if (faults.failCommandOpenAt &&
        (commandOpens_ == *faults.failCommandOpenAt ||
         (faults.failCommandOpenFromThenOn && commandOpens_ > *faults.failCommandOpenAt))) {
        return false;
    }
    if (truncate) {
        return TruncateCommandFile(0);
    }
    return true;
}

bool ReaderModel::TruncateCommandFile(std::uint64_t size) {
    if (!Present()) {
        return false;
    }
    if (size == 0) {
        commandFile_.clear();
        commandFilled_.clear();
        commandProcessed_ = 0;
        return true;
    }
    commandFile_.resize(static_cast<std::size_t>(size));
    commandFilled_.resize(static_cast<std::size_t>(size), false);
    commandProcessed_ = std::min(commandProcessed_, static_cast<std::size_t>(size));
    return true;
}

std::optional<std::uint32_t> ReaderModel::WriteCommandFile(std::uint64_t offset,
                                                           std::span<const std::uint8_t> bytes) {
    if (!Present()) {
        return std::nullopt;
    }
    ++commandWrites_;
    if (config_.faults.failCommandWriteAt && commandWrites_ == *config_.faults.failCommandWriteAt) {
        return std::nullopt;
    }
    const auto end = static_cast<std::size_t>(offset) + bytes.size();
    if (commandFile_.size() < end) {
        commandFile_.resize(end, 0);
        commandFilled_.resize(end, false);
    }
    std::copy(bytes.begin(), bytes.end(),
              commandFile_.begin() + static_cast<std::ptrdiff_t>(offset));
    std::fill(commandFilled_.begin() + static_cast<std::ptrdiff_t>(offset),
              commandFilled_.begin() + static_cast<std::ptrdiff_t>(end), true);

    // Sectors are processed in order, each once its 512 bytes are all there.
    while (commandProcessed_ + kModelSectorSize <= commandFile_.size() &&
           std::all_of(commandFilled_.begin() + static_cast<std::ptrdiff_t>(commandProcessed_),
                       commandFilled_.begin() +
                           static_cast<std::ptrdiff_t>(commandProcessed_ + kModelSectorSize),
                       [](bool filled) { return filled; })) {
        const std::size_t at = commandProcessed_;
        commandProcessed_ += kModelSectorSize;
        std::array<std::uint8_t, kModelSectorSize> sector{};
        std::copy_n(commandFile_.begin() + static_cast<std::ptrdiff_t>(at), kModelSectorSize,
                    sector.begin());
        ProcessSector(sector);
        if (!powered_) {
            // The power went with this sector: the rest of the write never arrived.
            return std::nullopt;
        }
    }
    return static_cast<std::uint32_t>(bytes.size());
}

// --- command processing -------------------------------------------------------------------------

void ReaderModel::ProcessSector(std::span<const std::uint8_t, kModelSectorSize> sector) {
    ++sectorsReceived_;
    const std::uint16_t expected = link::Crc16Xmodem(sector.first(kChecksumOffset));
    const std::uint16_t stored = link::GetBe16(sector, kChecksumOffset);
    if (sector[kMarkerOffset] != kMarker || stored != expected) {
        ++sectorsRejected_;
        transcript_.push_back(CodeOf(sector) +
                              " rejected marker=" + text::HexDigits(sector[kMarkerOffset], 2) +
                              " checksum=" + text::HexDigits(stored, 4) +
                              " expected=" + text::HexDigits(expected, 4));
    } else {
        std::string line = CodeOf(sector) + " ";
        const bool maintenance =
            sector[kGroupOffset] == kReaderGroup && sector[kOperationOffset] != kOpHndPrepare;
        const Outcome outcome =
            maintenance ? ExecuteMaintenance(sector, line) : ExecuteCartridge(sector, line);
        if (outcome == Outcome::Ignored) {
            line += " ignored";
        }
        transcript_.push_back(line);
    }
    if (config_.faults.powerCutAfterSector &&
        sectorsReceived_ == *config_.faults.powerCutAfterSector) {
        PowerCut();
    }
}

void ReaderModel::SetReply(std::span<const std::uint8_t> reply) {
    reply_.fill(0);
    std::copy(reply.begin(), reply.end(), reply_.begin());
}

std::optional<std::size_t> ReaderModel::FlashIndex(std::uint32_t address) const {
    if (address < kFlashBase || address - kFlashBase >= kFlashSize) {
        return std::nullopt;
    }
    return address - kFlashBase;
}

std::uint8_t ReaderModel::FlashByte(std::size_t index) const {
    const std::uint8_t byte = flash_[index];
    if (config_.faults.stuckBlock && index / kFlashBlockSize == *config_.faults.stuckBlock) {
        return static_cast<std::uint8_t>(byte & 0xFEu);
    }
    return byte;
}

std::uint16_t ReaderModel::BlockChecksum(std::size_t block) const {
    std::array<std::uint8_t, kFlashBlockSize> bytes{};
    for (std::size_t i = 0; i < kFlashBlockSize; ++i) {
        bytes[i] = FlashByte(block * kFlashBlockSize + i);
    }
    return link::Crc16Xmodem(bytes);
}

ReaderModel::Outcome ReaderModel::ExecuteMaintenance(
    std::span<const std::uint8_t, kModelSectorSize> sector, std::string& line) {
    const std::uint8_t operation = sector[kOperationOffset];
    const std::uint32_t address = link::GetLe32(sector, kAddressOffset);
    const bool bootloader = mode_ == ReaderMode::Bootloader;

    switch (operation) {
        case kOpSetBootMode:
            bootFlag_ = (sector[kBootModeOffset] & 0x01u) != 0;
            line += "SetBootMode mode=" + std::to_string(bootFlag_ ? 1 : 0);
            return Outcome::Executed;
        case kOpReboot:
            line += "Reboot";
            BeginRestart();
            return Outcome::Executed;
        case kOpUpdateBegin:
            line += "UpdateBegin";
            if (!bootloader) {
                return Outcome::Ignored;
            }
            flashArmed_ = true;
            return Outcome::Executed;
        case kOpReadSerial:
            line += "ReadSerial";
            if (!bootloader) {
                return Outcome::Ignored;
            }
            SetReply(config_.serial);
            return Outcome::Executed;
        case kOpEraseFlashBlock: {
            line += "EraseFlashBlock address=" + text::HexDigits(address, 8);
            const auto index = FlashIndex(address);
            if (!bootloader || !flashArmed_ || !index || *index % kFlashBlockSize != 0) {
                return Outcome::Ignored;
            }
            std::fill_n(flash_.begin() + static_cast<std::ptrdiff_t>(*index), kFlashBlockSize,
                        kErasedByte);
            return Outcome::Executed;
        }
        case kOpFlashBlockChecksum: {
            line += "FlashBlockChecksum address=" + text::HexDigits(address, 8);
            const auto index = FlashIndex(address);
            if (!bootloader || !flashArmed_ || !index || *index % kFlashBlockSize != 0) {
                return Outcome::Ignored;
            }
            const std::uint16_t checksum = BlockChecksum(*index / kFlashBlockSize);
            line += " checksum=" + text::HexDigits(checksum, 4);
            std::array<std::uint8_t, 2> reply{};
            link::PutLe16(reply, 0, checksum);
            SetReply(reply);
            return Outcome::Executed;
        }
        case kOpWriteFlash: {
            const std::size_t length = link::GetLe16(sector, kWriteLengthOffset);
            line += "WriteFlash address=" + text::HexDigits(address, 8) +
                    " length=" + std::to_string(length);
            if (!bootloader || !flashArmed_ || length == 0 || length > kWriteMaxLength) {
                return Outcome::Ignored;
            }
            for (std::size_t i = 0; i < length; ++i) {
                const std::uint32_t at = address + static_cast<std::uint32_t>(i);
                const auto index = FlashIndex(at);
                if (!index) {
                    continue;
                }
                // The host combined the image with the serial number; take it off again, and
                // program NOR-style: a bit can only go from 1 to 0.
                const auto data = static_cast<std::uint8_t>(
                    sector[kWriteDataOffset + i] ^ config_.serial[(at - kFlashBase) % kSerialSize]);
                flash_[*index] = static_cast<std::uint8_t>(flash_[*index] & data);
            }
            return Outcome::Executed;
        }
        default:
            line += "unknown";
            return Outcome::Ignored;
    }
}

}  // namespace reader::emulator
