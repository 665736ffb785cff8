#include "link/command_sector.hpp"

#include "link/bytes.hpp"
#include "link/crc16.hpp"
#include "link/device_files.hpp"
#include "link/discovery.hpp"
#include "platform/host.hpp"

namespace reader {

std::uint16_t SectorChecksum(std::span<const std::uint8_t, kSectorSize> sector) {
    return link::Crc16Xmodem(sector.first(kSectorChecksumOffset));
}

void StampSectors(std::span<std::uint8_t> buffer) {
    for (std::size_t at = 0; at + kSectorSize <= buffer.size(); at += kSectorSize) {
        const auto sector = buffer.subspan(at).first<kSectorSize>();
        sector[kSectorMarkerOffset] = kSectorMarker;
        // The one number of a sector that is stored high byte first.
        link::PutBe16(sector, kSectorChecksumOffset, SectorChecksum(sector));
    }
}

std::uint32_t SendCommands(std::span<std::uint8_t> buffer, std::uint32_t length) {
    // A partial sector or a length past the caller's data would stamp bytes that are not the
    // caller's: refuse before touching anything.
    if (length % kSectorSize != 0 || length > buffer.size()) {
        return 0;
    }
    const auto sectors = buffer.first(length);
    StampSectors(sectors);

    std::array<char, kCommandPathBufferSize> path{};
    FormatDevicePath(path, kCommandFileName, DeviceDrive);
    const auto written = platform::ActiveHost().WriteCommandFile(path.data(), sectors);
    return written.value_or(0);
}

}  // namespace reader
