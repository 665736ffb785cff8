// WriteFlash and the four cartridge write handlers over any address and any length. A call either
// sends, in one write of the command file, exactly the sectors its length needs, each stamped and
// laid out byte for byte as the reader expects, or it refuses (a missing source, more sectors than
// a 32-bit signed count can report) and sends nothing. A length of 0 sends an empty write.
//
// Input: byte 0 the handler, bytes 1..4 the address, byte 5 flags (bit 0: no drive, bit 1: no
// source), bytes 6..9 the length; the rest is the source. A length beyond the source is cut to it
// unless the handler must refuse it anyway, so the handler never reads past what it was given.
#include <cstring>
#include <span>
#include <vector>

#include "commands/cartridge.hpp"
#include "commands/maintenance.hpp"
#include "fuzz/fuzz_support.hpp"
#include "link/bytes.hpp"
#include "link/command_sector.hpp"
#include "link/crc16.hpp"

namespace {

using namespace reader;

enum class Kind { Flash, NesBlock, NesBytes, PceBytes, SfcBytes };

struct Handler {
    Kind kind;
    int (*send)(std::uint32_t address, const std::uint8_t* source, std::uint32_t length);
};

constexpr Handler kHandlers[] = {
    {Kind::Flash, WriteFlash},       {Kind::NesBlock, NesWriteBlock},
    {Kind::NesBytes, NesWriteBytes}, {Kind::PceBytes, PceWriteBytes},
    {Kind::SfcBytes, SfcWriteBytes},
};

constexpr std::size_t kHeaderSize = 10;
constexpr std::uint64_t kChunk = 256;

bool Blocked(Kind kind) {
    return kind == Kind::Flash || kind == Kind::NesBlock;
}

std::uint64_t SectorsFor(Kind kind, std::uint64_t length) {
    return Blocked(kind) ? (length + kChunk - 1) / kChunk : length;
}

// Sector k as it must leave the host, bytes 1..509 (the marker and checksum are checked apart).
std::vector<std::uint8_t> ExpectedSector(Kind kind, std::uint32_t address,
                                         std::span<const std::uint8_t> source, std::uint32_t k) {
    std::vector<std::uint8_t> sector(kSectorSize, 0);
    const std::span<std::uint8_t> s(sector);
    const auto start = static_cast<std::size_t>(Blocked(kind) ? k * kChunk : k);
    const std::size_t chunk =
        Blocked(kind) ? std::min<std::size_t>(kChunk, source.size() - start) : 1;
    switch (kind) {
        case Kind::Flash:
            s[1] = 0xF0;
            s[2] = 0xE4;
            link::PutLe32(s, 3, address + static_cast<std::uint32_t>(start));
            link::PutLe16(s, 7, static_cast<std::uint16_t>(chunk));
            std::memcpy(&s[12], &source[start], chunk);
            break;
        case Kind::NesBlock:
        case Kind::NesBytes:
            s[1] = 0x0E;
            s[2] = 0x05;
            link::PutLe16(s, 4, static_cast<std::uint16_t>(address + start));
            link::PutLe16(s, 8, static_cast<std::uint16_t>(chunk));
            std::memcpy(&s[12], &source[start], chunk);
            break;
        case Kind::PceBytes:
            s[1] = 0x11;
            s[2] = 0x02;
            link::PutLe24(s, 3, address + k);
            s[6] = source[k];
            break;
        case Kind::SfcBytes:
            s[1] = 0x0F;
            s[2] = 0x03;
            link::PutLe24(s, 3, address + k);
            s[7] = source[k];
            break;
    }
    return sector;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < kHeaderSize) {
        return 0;
    }
    const std::span<const std::uint8_t> input(data, size);
    const Handler& handler = kHandlers[input[0] % std::size(kHandlers)];
    const std::uint32_t address = link::GetLe32(input, 1);
    const bool noDrive = (input[5] & 0x01) != 0;
    const bool noSource = (input[5] & 0x02) != 0;
    std::uint32_t length = link::GetLe32(input, 6);
    // An exact-size copy, so that AddressSanitizer sees any read past the source.
    const std::vector<std::uint8_t> source(input.begin() + kHeaderSize, input.end());
    const bool refused =
        noSource ? length != 0 : SectorsFor(handler.kind, length) > kMaxSectorsPerWrite;
    if (!refused && length > source.size()) {
        length = static_cast<std::uint32_t>(source.size());
    }

    ResetDeviceGlobals();
    emulator::EmulatedHost host;
    emulator::ScopedHost scoped(host);
    if (!noDrive) {
        host.AddDrive('E', platform::DriveType::Removable);
    }
    DeviceDrive = 'E';

    const int result = handler.send(address, noSource ? nullptr : source.data(), length);
    const auto& writes = host.CommandWrites();
    if (refused) {
        fuzz::Require(result == 0 && writes.empty());
        return 0;
    }
    const std::uint64_t sectors = SectorsFor(handler.kind, length);
    fuzz::Require(writes.size() == 1 && writes[0].data.size() == sectors * kSectorSize);
    fuzz::Require(result == (noDrive ? 0 : static_cast<int>(sectors * kSectorSize)));
    const std::span<const std::uint8_t> sent(writes[0].data);
    const std::span<const std::uint8_t> given(source.data(), length);
    for (std::uint32_t k = 0; k < sectors; ++k) {
        const auto sector = sent.subspan(static_cast<std::size_t>(k) * kSectorSize, kSectorSize);
        const std::uint16_t crc = link::Crc16Xmodem(sector.first(510));
        fuzz::Require(sector[0] == 0x5A && sector[510] == (crc >> 8) &&
                      sector[511] == (crc & 0xFF));
        const auto expected = ExpectedSector(handler.kind, address, given, k);
        fuzz::Require(std::equal(sector.begin() + 1, sector.begin() + 510, expected.begin() + 1));
    }
    return 0;
}
