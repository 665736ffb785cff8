// A fixture for the cartridge side: one emulated cartridge reader on drive E, every command-file
// write recorded, and helpers that build the sectors a test expects.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <initializer_list>
#include <string>
#include <utility>
#include <vector>

#include "emulator/emulated_host.hpp"
#include "link/command_sector.hpp"
#include "link/crc16.hpp"
#include "support/host_fixture.hpp"
#include "support/recording_host.hpp"

namespace reader::testing {

using SectorBytes = std::initializer_list<std::pair<std::size_t, std::uint8_t>>;

// Sets the marker and the checksum (high byte first) as the reader expects them.
inline void Stamp(CommandSector& sector) {
    sector[0] = 0x5A;
    const std::uint16_t checksum = link::Crc16Xmodem(std::span(sector).first(510));
    sector[510] = static_cast<std::uint8_t>(checksum >> 8);
    sector[511] = static_cast<std::uint8_t>(checksum & 0xFF);
}

// A sector as it must reach the command file: marker, the given body bytes, every other byte 0,
// and the checksum.
inline CommandSector ExpectedSector(SectorBytes body) {
    CommandSector sector{};
    for (const auto& [at, value] : body) {
        sector[at] = value;
    }
    Stamp(sector);
    return sector;
}

inline std::vector<std::uint8_t> SectorAt(const std::vector<std::uint8_t>& write, std::size_t k) {
    return {write.begin() + static_cast<std::ptrdiff_t>(k * kSectorSize),
            write.begin() + static_cast<std::ptrdiff_t>((k + 1) * kSectorSize)};
}

inline std::vector<std::uint8_t> AsVector(const CommandSector& sector) {
    return {sector.begin(), sector.end()};
}

// Deterministic data bytes for writes.
inline std::vector<std::uint8_t> DataBytes(std::size_t count, std::uint8_t seed = 0x31) {
    std::vector<std::uint8_t> bytes(count);
    for (std::size_t i = 0; i < count; ++i) {
        bytes[i] = static_cast<std::uint8_t>(seed + i * 7 + (i >> 8));
    }
    return bytes;
}

class CartridgeFixture : public HostFixture {
  protected:
    CartridgeFixture() : recorder_(host_), scoped_(recorder_) {}

    // Plugs in the variant with this identity on drive E and points the library at it.
    emulator::ReaderModel& Attach(std::string_view identity, std::uint8_t misc = 0) {
        emulator::ReaderConfig config;
        config.fixedIdentity = std::string(identity);
        config.miscByte = misc;
        auto& reader = host_.AttachReader('E', std::move(config));
        DeviceDrive = 'E';
        return reader;
    }

    // The image bytes the variant's cartridge holds from address on.
    static std::vector<std::uint8_t> Image(emulator::CartridgeSystem system, std::uint32_t address,
                                           std::size_t count) {
        std::vector<std::uint8_t> bytes(count);
        for (std::size_t i = 0; i < count; ++i) {
            bytes[i] =
                emulator::CartridgeImageByte(system, address + static_cast<std::uint32_t>(i));
        }
        return bytes;
    }

    RecordingHost recorder_;

  private:
    emulator::ScopedHost scoped_;
};

}  // namespace reader::testing
