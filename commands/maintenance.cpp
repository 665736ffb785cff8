#include "commands/maintenance.hpp"

#include <algorithm>
#include <array>
#include <new>
#include <span>
#include <vector>

#include "link/bytes.hpp"
#include "link/command_sector.hpp"
#include "link/device_files.hpp"

namespace reader {
namespace {

// A zeroed sector carrying the maintenance group and the given operation.
CommandSector MaintenanceSector(std::uint8_t operation) {
    CommandSector sector{};
    sector[kSectorGroupOffset] = kMaintenanceGroup;
    sector[kSectorOperationOffset] = operation;
    return sector;
}

int Send(CommandSector& sector) {
    return static_cast<int>(SendCommands(sector));
}

}  // namespace

int SetBootMode(std::uint8_t flags) {
    auto sector = MaintenanceSector(kOpSetBootMode);
    sector[kBootModeOffset] =
        (flags & kBootModeFlagMask) != 0 ? kBootIntoBootloader : kBootIntoFirmware;
    return Send(sector);
}

int Reboot() {
    auto sector = MaintenanceSector(kOpReboot);
    return Send(sector);
}

int UpdateBegin() {
    auto sector = MaintenanceSector(kOpUpdateBegin);
    return Send(sector);
}

int ReadSerial(std::uint8_t* destination, std::uint32_t length) {
    auto sector = MaintenanceSector(kOpReadSerial);
    if (Send(sector) == 0) {
        return 0;
    }
    return StatusRead(kReplyOffset, destination, length) != 0 ? 1 : 0;
}

int EraseFlashBlock(std::uint32_t address) {
    auto sector = MaintenanceSector(kOpEraseFlashBlock);
    link::PutLe32(sector, kFlashAddressOffset, address);
    return Send(sector);
}

int FlashBlockChecksum(std::uint32_t address) {
    auto sector = MaintenanceSector(kOpFlashBlockChecksum);
    link::PutLe32(sector, kFlashAddressOffset, address);
    (void)Send(sector);
    std::array<std::uint8_t, kBlockChecksumReplyLength> reply{};
    if (StatusRead(kReplyOffset, reply.data(), kBlockChecksumReplyLength) == 0) {
        return 0;
    }
    return link::GetLe16(reply, 0);
}

int WriteFlash(std::uint32_t address, const std::uint8_t* source, std::uint32_t length) {
    const std::uint64_t sectorCount =
        (static_cast<std::uint64_t>(length) + kWriteFlashChunkSize - 1) / kWriteFlashChunkSize;
    if (sectorCount > kMaxSectorsPerWrite || (length != 0 && source == nullptr)) {
        return 0;
    }
    std::vector<std::uint8_t> buffer;
    try {
        buffer.resize(static_cast<std::size_t>(sectorCount) * kSectorSize, 0);
    } catch (const std::bad_alloc&) {
        return 0;
    }
    const std::span<const std::uint8_t> data(source, length);
    std::uint32_t chunkAddress = address;
    for (std::size_t k = 0; k < sectorCount; ++k) {
        const auto sector = std::span(buffer).subspan(k * kSectorSize, kSectorSize);
        const auto chunk = data.subspan(k * kWriteFlashChunkSize)
                               .first(std::min<std::size_t>(kWriteFlashChunkSize,
                                                            length - k * kWriteFlashChunkSize));
        sector[kSectorGroupOffset] = kMaintenanceGroup;
        sector[kSectorOperationOffset] = kOpWriteFlash;
        link::PutLe32(sector, kFlashAddressOffset, chunkAddress);
        link::PutLe16(sector, kWriteFlashLengthOffset, static_cast<std::uint16_t>(chunk.size()));
        std::copy(chunk.begin(), chunk.end(), sector.begin() + kWriteFlashDataOffset);
        chunkAddress += static_cast<std::uint32_t>(chunk.size());
    }
    // One write for every sector; a length of 0 still creates the command file, empty.
    return static_cast<int>(SendCommands(buffer, static_cast<std::uint32_t>(buffer.size())));
}

}  // namespace reader
