#include "commands/cartridge.hpp"

#include <algorithm>
#include <new>
#include <vector>

#include "link/bytes.hpp"
#include "link/device_files.hpp"

namespace reader {
namespace {

using namespace cartridge;

using SectorView = std::span<std::uint8_t, kSectorSize>;

void SetCode(SectorView sector, std::uint8_t group, std::uint8_t operation) {
    sector[kSectorGroupOffset] = group;
    sector[kSectorOperationOffset] = operation;
}

// Handler results are signed 32-bit counts. Sector runs stay below 2 GiB by
// kMaxSectorsPerWrite; a single read of 2 GiB or more is the only count that needs the cap.
int AsCount(std::uint32_t count) {
    return static_cast<int>(std::min(count, kMaxCountResult));
}

// One sector with only its command code set.
int SendPlain(std::uint8_t group, std::uint8_t operation) {
    CommandSector sector{};
    SetCode(sector, group, operation);
    return AsCount(SendCommands(sector));
}

// Builds sectorCount sectors in one zeroed buffer, fill(sector, k) setting sector k, and sends
// them in one write. The buffer is released before the return.
template <typename Fill>
int SendSectorRun(std::uint32_t sectorCount, Fill fill) {
    if (sectorCount > kMaxSectorsPerWrite) {
        return 0;
    }
    std::vector<std::uint8_t> buffer;
    try {
        buffer.resize(static_cast<std::size_t>(sectorCount) * kSectorSize);
    } catch (const std::bad_alloc&) {
        return 0;
    }
    const std::span<std::uint8_t> all(buffer);
    for (std::uint32_t k = 0; k < sectorCount; ++k) {
        fill(all.subspan(static_cast<std::size_t>(k) * kSectorSize).first<kSectorSize>(), k);
    }
    return AsCount(SendCommands(all, static_cast<std::uint32_t>(all.size())));
}

// The byte-wise handlers spend one whole sector on each data byte.
template <typename FillByte>
int SendByteWise(const std::uint8_t* source, std::uint32_t length, FillByte fillByte) {
    if (source == nullptr && length != 0) {
        return 0;
    }
    return SendSectorRun(
        length, [&](SectorView sector, std::uint32_t k) { fillByte(sector, k, source[k]); });
}

}  // namespace

// --- set-up commands ---------------------------------------------------------------------------

int InitHndBus() {
    CommandSector sector{};
    SetCode(sector, kMaintenanceGroup, kOpHndPrepare);
    (void)SendCommands(sector);
    // The same sector once more, with only the code changed: two commands, two writes.
    SetCode(sector, kHndGroup, kOpInitBus);
    return AsCount(SendCommands(sector));
}

int InitN64Bus() {
    return SendPlain(kN64Group, kOpInitBus);
}

int InitSfcBus() {
    return SendPlain(kSfcGroup, kOpInitBus);
}

int InitPceBus() {
    return SendPlain(kPceGroup, kOpInitBus);
}

int InitNesBus(int mode) {
    CommandSector sector{};
    SetCode(sector, kNesGroup, kOpInitBus);
    const auto low = static_cast<std::uint8_t>(static_cast<unsigned>(mode) & 0xFFu);
    sector[kNesModeOffset] = low;
    sector[kNesModeCopyOffset] = low;
    return AsCount(SendCommands(sector));
}

// --- NES and FC2 commands ----------------------------------------------------------------------

int NesControl(int value) {
    CommandSector sector{};
    SetCode(sector, kNesGroup, kOpNesControl);
    sector[kNesControlOffset] = static_cast<std::uint8_t>(static_cast<unsigned>(value) & 0xFFu);
    return AsCount(SendCommands(sector));
}

int ReadCartStatus(std::span<std::uint8_t, kSectorSize> reply) {
    std::fill(reply.begin(), reply.end(), std::uint8_t{0});
    SetCode(reply, kNesGroup, kOpNesCartStatus);
    (void)SendCommands(reply, static_cast<std::uint32_t>(reply.size()));
    return AsCount(StatusRead(0, reply.data(), static_cast<std::uint32_t>(reply.size())));
}

// --- read handlers -----------------------------------------------------------------------------

int DirectRead(std::uint32_t address, std::uint8_t* destination, std::uint32_t length) {
    return AsCount(DataRead(address, destination, length));
}

int HndRead(std::uint32_t address, std::uint8_t* destination, std::uint32_t length) {
    CommandSector sector{};
    SetCode(sector, kHndGroup, kOpHndRead);
    link::PutLe24(sector, kHndAddressOffset, address);
    (void)SendCommands(sector);
    return AsCount(DataRead(0, destination, length));
}

int N64Read(std::uint32_t address, std::uint8_t* destination, std::uint32_t length) {
    // Address 0 is not sent: the data file is read as the reader presents it now.
    if (address != 0) {
        CommandSector sector{};
        SetCode(sector, kN64Group, kOpN64Read);
        link::PutLe32(sector, kN64AddressOffset, address);
        (void)SendCommands(sector);
    }
    return AsCount(DataRead(0, destination, length));
}

int SfcRead(std::uint32_t address, std::uint8_t* destination, std::uint32_t length) {
    // The bank comes from the start address alone; a read that starts in bank 0 stays there.
    const std::uint8_t bank = address >= kSfcBankSize ? 1 : 0;
    CommandSector sector{};
    SetCode(sector, kSfcGroup, kOpSfcSelectBank);
    sector[kSfcBankOffset] = bank;
    (void)SendCommands(sector);
    return AsCount(DataRead(address & kSfcOffsetMask, destination, length));
}

// --- write handlers ----------------------------------------------------------------------------

int NesWriteBlock(std::uint32_t address, const std::uint8_t* source, std::uint32_t length) {
    if (source == nullptr && length != 0) {
        return 0;
    }
    // ceil(length / 256) without overflowing at the top of the range.
    const std::uint32_t sectors = length / kNesChunkSize + (length % kNesChunkSize != 0 ? 1 : 0);
    return SendSectorRun(sectors, [&](SectorView sector, std::uint32_t k) {
        const std::uint32_t start = k * kNesChunkSize;
        const std::uint32_t chunk = std::min(kNesChunkSize, length - start);
        SetCode(sector, kNesGroup, kOpNesWrite);
        link::PutLe16(sector, kNesAddressOffset,
                      static_cast<std::uint16_t>((address + start) & 0xFFFFu));
        link::PutLe16(sector, kNesLengthOffset, static_cast<std::uint16_t>(chunk));
        std::copy_n(source + start, chunk, sector.begin() + kNesDataOffset);
    });
}

int NesWriteBytes(std::uint32_t address, const std::uint8_t* source, std::uint32_t length) {
    return SendByteWise(source, length, [&](SectorView sector, std::uint32_t k, std::uint8_t data) {
        SetCode(sector, kNesGroup, kOpNesWrite);
        link::PutLe16(sector, kNesAddressOffset,
                      static_cast<std::uint16_t>((address + k) & 0xFFFFu));
        link::PutLe16(sector, kNesLengthOffset, 1);
        sector[kNesDataOffset] = data;
    });
}

int PceWriteBytes(std::uint32_t address, const std::uint8_t* source, std::uint32_t length) {
    return SendByteWise(source, length, [&](SectorView sector, std::uint32_t k, std::uint8_t data) {
        SetCode(sector, kPceGroup, kOpPceWrite);
        link::PutLe24(sector, kPceAddressOffset, address + k);
        sector[kPceDataOffset] = data;
    });
}

int SfcWriteBytes(std::uint32_t address, const std::uint8_t* source, std::uint32_t length) {
    return SendByteWise(source, length, [&](SectorView sector, std::uint32_t k, std::uint8_t data) {
        SetCode(sector, kSfcGroup, kOpSfcWrite);
        link::PutLe24(sector, kSfcAddressOffset, address + k);
        sector[kSfcDataOffset] = data;
    });
}

}  // namespace reader
