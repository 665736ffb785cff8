// The cartridge side of the emulated reader: the six cartridge variants, their test cartridges,
// and what each cartridge command does to the data file and the status reply.
//
//   HND, N64  an address sector makes the data file present the cartridge from that address on
//   SFC       a bank sector makes the data file present one 8 MiB bank
//   FC2, NES, PCE  the data file is the cartridge's address space itself
//
// A variant serves only its own command group, and only after its set-up command; anything else
// is ignored and shows so in the transcript.
#include <algorithm>
#include <array>
#include <string>
#include <utility>

#include "emulator/model_sector.hpp"
#include "emulator/reader_model.hpp"
#include "link/bytes.hpp"

namespace reader::emulator {
namespace {

// Groups and operations, as the reader decodes them.
constexpr std::uint8_t kHndGroup = 0x03;
constexpr std::uint8_t kNesGroup = 0x0E;
constexpr std::uint8_t kSfcGroup = 0x0F;
constexpr std::uint8_t kN64Group = 0x10;
constexpr std::uint8_t kPceGroup = 0x11;

constexpr std::uint8_t kOpInitBus = 0x01;
constexpr std::uint8_t kOpHndRead = 0x06;
constexpr std::uint8_t kOpN64Read = 0x02;
constexpr std::uint8_t kOpSfcWrite = 0x03;
constexpr std::uint8_t kOpSfcBank = 0x04;
constexpr std::uint8_t kOpNesControl = 0x02;
constexpr std::uint8_t kOpNesWrite = 0x05;
constexpr std::uint8_t kOpNesStatus = 0x12;
constexpr std::uint8_t kOpPceWrite = 0x02;

// Parameter positions.
constexpr std::size_t kNesModeOffset = 4;
constexpr std::size_t kNesControlOffset = 12;
constexpr std::size_t kHndAddressOffset = 4;
constexpr std::size_t kN64AddressOffset = 3;
constexpr std::size_t kSfcBankOffset = 3;
constexpr std::size_t kSfcAddressOffset = 3;
constexpr std::size_t kSfcDataOffset = 7;
constexpr std::size_t kPceAddressOffset = 3;
constexpr std::size_t kPceDataOffset = 6;
constexpr std::size_t kNesAddressOffset = 4;
constexpr std::size_t kNesLengthOffset = 8;
constexpr std::size_t kNesDataOffset = 12;
constexpr std::size_t kNesMaxLength = 256;

// Address spaces and data windows.
constexpr std::uint32_t kMask16 = 0xFFFF;
constexpr std::uint32_t kMask24 = 0xFFFFFF;
constexpr std::uint64_t kHndWindow = 0x1000000;  // 24-bit addresses
constexpr std::uint64_t kN64Window = 0x4000000;  // 64 MiB, the largest cartridge ROM
constexpr std::uint32_t kSfcBankSize = 0x800000;
constexpr std::uint64_t kCpuWindow = 0x10000;    // FC2, NES: the 6502 address space
constexpr std::uint64_t kPceWindow = 0x1000000;  // 24-bit addresses
constexpr std::uint8_t kOpenBus = 0xFF;          // what the data file shows before the set-up

constexpr std::array<std::pair<std::string_view, CartridgeSystem>, 6> kVariants = {{
    {kHndIdentity, CartridgeSystem::Hnd},
    {kN64CartIdentity, CartridgeSystem::N64},
    {kSfcIdentity, CartridgeSystem::Sfc},
    {kFc2Identity, CartridgeSystem::Fc2},
    {kNesIdentity, CartridgeSystem::Nes},
    {kPceIdentity, CartridgeSystem::Pce},
}};
constexpr std::size_t kVariantPrefixLength = 12;

// --- test cartridges ---------------------------------------------------------------------------

struct Patch {
    std::uint32_t address;
    std::string_view bytes;
};

// Raw bytes from a string literal, NULs included (the terminator left out).
template <std::size_t N>
constexpr std::string_view Bytes(const char (&text)[N]) {
    return {text, N - 1};
}

// A 6502 start-up routine: SEI; CLD; LDX #$FF; TXS; wait for vblank (LDA $2002; BPL); clear the
// control register (LDA #$00; STA $2000); spin (JMP $800F).
constexpr std::string_view kResetRoutine =
    Bytes("\x78\xD8\xA2\xFF\x9A\xAD\x02\x20\x10\xFB\xA9\x00\x8D\x00\x20\x4C\x0F\x80");
// NMI, RESET and IRQ vectors: 0x800F, 0x8000, 0x800F.
constexpr std::string_view kVectors = Bytes("\x0F\x80\x00\x80\x0F\x80");

constexpr std::array<Patch, 2> kHndPatches = {{
    {0x0000A0, "READER TEST "},  // title
    {0x0000AC, "RTST"},          // game code
}};
constexpr std::array<Patch, 2> kN64Patches = {{
    {0x10000000, Bytes("\x80\x37\x12\x40")},  // big-endian ROM marker
    {0x10000020, "READER TEST N64     "},     // title
}};
constexpr std::array<Patch, 1> kSfcPatches = {{
    {0x007FC0, "READER TEST SFC      "},  // title of a LoROM header
}};
constexpr std::array<Patch, 2> kCpuPatches = {{
    {0x8000, kResetRoutine},
    {0xFFFA, kVectors},
}};

std::uint32_t SeedOf(CartridgeSystem system) {
    return 0x9E3779B9u * (static_cast<std::uint32_t>(system) + 1);
}

// A 32-bit mix, so that neighbouring addresses (and the same address of two variants) differ.
std::uint8_t PatternByte(std::uint32_t seed, std::uint32_t address) {
    std::uint32_t x = address ^ seed;
    x ^= x >> 16;
    x *= 0x7FEB352Du;
    x ^= x >> 15;
    x *= 0x846CA68Bu;
    x ^= x >> 16;
    return static_cast<std::uint8_t>(x & 0xFFu);
}

template <std::size_t N>
bool FromPatches(const std::array<Patch, N>& patches, std::uint32_t address, std::uint8_t& byte) {
    for (const Patch& patch : patches) {
        if (address >= patch.address && address - patch.address < patch.bytes.size()) {
            byte = static_cast<std::uint8_t>(patch.bytes[address - patch.address]);
            return true;
        }
    }
    return false;
}

bool IsSetup(std::uint8_t group, std::uint8_t operation) {
    return operation == kOpInitBus || (group == kReaderGroup && operation == kOpHndPrepare);
}

// Whether a command group is served by the variant.
bool Serves(CartridgeSystem system, std::uint8_t group, std::uint8_t operation) {
    switch (system) {
        case CartridgeSystem::Hnd:
            return group == kHndGroup || (group == kReaderGroup && operation == kOpHndPrepare);
        case CartridgeSystem::N64:
            return group == kN64Group;
        case CartridgeSystem::Sfc:
            return group == kSfcGroup;
        case CartridgeSystem::Fc2:
        case CartridgeSystem::Nes:
            return group == kNesGroup;
        case CartridgeSystem::Pce:
            return group == kPceGroup;
        case CartridgeSystem::None:
            break;
    }
    return false;
}

}  // namespace

CartridgeSystem CartridgeSystemOf(std::string_view identity) {
    for (const auto& [variant, system] : kVariants) {
        if (identity.size() >= kVariantPrefixLength &&
            identity.substr(0, kVariantPrefixLength) == variant.substr(0, kVariantPrefixLength)) {
            return system;
        }
    }
    return CartridgeSystem::None;
}

std::uint8_t CartridgeImageByte(CartridgeSystem system, std::uint32_t address) {
    std::uint8_t byte = 0;
    bool patched = false;
    switch (system) {
        case CartridgeSystem::Hnd:
            patched = FromPatches(kHndPatches, address, byte);
            break;
        case CartridgeSystem::N64:
            patched = FromPatches(kN64Patches, address, byte);
            break;
        case CartridgeSystem::Sfc:
            patched = FromPatches(kSfcPatches, address, byte);
            break;
        case CartridgeSystem::Fc2:
        case CartridgeSystem::Nes:
        case CartridgeSystem::Pce:
            patched = FromPatches(kCpuPatches, address, byte);
            break;
        case CartridgeSystem::None:
            return 0;
    }
    return patched ? byte : PatternByte(SeedOf(system), address);
}

// --- the model's cartridge side
// -------------------------------------------------------------------

void ReaderModel::ResetCartridgeBus() {
    hndPrepared_ = false;
    cartridgeReady_ = false;
    cartridgeAddress_ = 0;
    sfcBank_ = 0;
    nesMode_ = 0;
    controlValue_ = 0;
}

std::uint8_t ReaderModel::CartridgeByte(std::uint32_t address) const {
    if (!cartridgeWrites_.empty()) {
        const auto written = cartridgeWrites_.find(address);
        if (written != cartridgeWrites_.end()) {
            return written->second;
        }
    }
    return CartridgeImageByte(Cartridge(), address);
}

ReaderModel::Outcome ReaderModel::ExecuteCartridge(
    std::span<const std::uint8_t, kModelSectorSize> sector, std::string& line) {
    const std::uint8_t group = sector[kGroupOffset];
    const std::uint8_t operation = sector[kOperationOffset];
    const CartridgeSystem system = Cartridge();
    const bool served = mode_ == ReaderMode::Firmware && Serves(system, group, operation) &&
                        (cartridgeReady_ || IsSetup(group, operation));

    switch ((group << 8) | operation) {
        case (kReaderGroup << 8) | kOpHndPrepare:
            line += "HndPrepare";
            if (!served) {
                return Outcome::Ignored;
            }
            hndPrepared_ = true;
            return Outcome::Executed;
        case (kHndGroup << 8) | kOpInitBus:
            line += "InitHndBus";
            // The bus comes up only after the reader's own preparation step.
            if (!served || !hndPrepared_) {
                return Outcome::Ignored;
            }
            cartridgeReady_ = true;
            return Outcome::Executed;
        case (kN64Group << 8) | kOpInitBus:
            line += "InitN64Bus";
            break;
        case (kSfcGroup << 8) | kOpInitBus:
            line += "InitSfcBus";
            break;
        case (kPceGroup << 8) | kOpInitBus:
            line += "InitPceBus";
            break;
        case (kNesGroup << 8) | kOpInitBus:
            line += "InitNesBus mode=" + std::to_string(sector[kNesModeOffset]);
            if (served) {
                nesMode_ = sector[kNesModeOffset];
            }
            break;
        case (kHndGroup << 8) | kOpHndRead: {
            const std::uint32_t address = link::GetLe24(sector, kHndAddressOffset);
            line += "HndRead address=" + Hex(address, 6);
            if (served) {
                cartridgeAddress_ = address;
            }
            return served ? Outcome::Executed : Outcome::Ignored;
        }
        case (kN64Group << 8) | kOpN64Read: {
            const std::uint32_t address = link::GetLe32(sector, kN64AddressOffset);
            line += "N64Read address=" + Hex(address, 8);
            if (served) {
                cartridgeAddress_ = address;
            }
            return served ? Outcome::Executed : Outcome::Ignored;
        }
        case (kSfcGroup << 8) | kOpSfcBank: {
            const std::uint8_t bank = sector[kSfcBankOffset];
            line += "SfcRead bank=" + std::to_string(bank);
            if (!served || bank > 1) {
                return Outcome::Ignored;
            }
            sfcBank_ = bank;
            return Outcome::Executed;
        }
        case (kSfcGroup << 8) | kOpSfcWrite: {
            const std::uint32_t address = link::GetLe24(sector, kSfcAddressOffset);
            line +=
                "SfcWrite address=" + Hex(address, 6) + " data=" + Hex(sector[kSfcDataOffset], 2);
            if (!served) {
                return Outcome::Ignored;
            }
            cartridgeWrites_[address] = sector[kSfcDataOffset];
            return Outcome::Executed;
        }
        case (kPceGroup << 8) | kOpPceWrite: {
            const std::uint32_t address = link::GetLe24(sector, kPceAddressOffset);
            line +=
                "PceWrite address=" + Hex(address, 6) + " data=" + Hex(sector[kPceDataOffset], 2);
            if (!served) {
                return Outcome::Ignored;
            }
            cartridgeWrites_[address] = sector[kPceDataOffset];
            return Outcome::Executed;
        }
        case (kNesGroup << 8) | kOpNesWrite: {
            const std::uint32_t address = link::GetLe16(sector, kNesAddressOffset);
            const std::size_t length = link::GetLe16(sector, kNesLengthOffset);
            line += "NesWrite address=" + Hex(address, 4) + " length=" + std::to_string(length);
            // The NES reader takes one byte per sector; only the FC2 reader takes blocks.
            const std::size_t most = system == CartridgeSystem::Fc2 ? kNesMaxLength : 1;
            if (!served || length == 0 || length > most) {
                return Outcome::Ignored;
            }
            for (std::size_t i = 0; i < length; ++i) {
                cartridgeWrites_[(address + static_cast<std::uint32_t>(i)) & kMask16] =
                    sector[kNesDataOffset + i];
            }
            return Outcome::Executed;
        }
        case (kNesGroup << 8) | kOpNesControl:
            line += "NesControl value=" + Hex(sector[kNesControlOffset], 2);
            if (!served) {
                return Outcome::Ignored;
            }
            controlValue_ = sector[kNesControlOffset];
            return Outcome::Executed;
        case (kNesGroup << 8) | kOpNesStatus: {
            line += "ReadCartStatus";
            if (!served) {
                return Outcome::Ignored;
            }
            line += " misc=" + Hex(config_.miscByte, 2);
            const std::array<std::uint8_t, 1> reply = {config_.miscByte};
            SetReply(reply);
            return Outcome::Executed;
        }
        default:
            line += "unknown";
            return Outcome::Ignored;
    }
    // The plain set-up commands.
    if (!served) {
        return Outcome::Ignored;
    }
    cartridgeReady_ = true;
    return Outcome::Executed;
}

std::uint64_t ReaderModel::DataFileSize() const {
    switch (Cartridge()) {
        case CartridgeSystem::Hnd:
            return kHndWindow;
        case CartridgeSystem::N64:
            return kN64Window;
        case CartridgeSystem::Sfc:
            return kSfcBankSize;
        case CartridgeSystem::Fc2:
        case CartridgeSystem::Nes:
            return kCpuWindow;
        case CartridgeSystem::Pce:
            return kPceWindow;
        case CartridgeSystem::None:
            break;
    }
    return 0;
}

std::uint32_t ReaderModel::ReadDataFile(std::uint64_t offset, std::span<std::uint8_t> out) const {
    const CartridgeSystem system = Cartridge();
    for (std::size_t i = 0; i < out.size(); ++i) {
        const auto at = static_cast<std::uint32_t>(offset + i);
        std::uint32_t address = at;
        switch (system) {
            case CartridgeSystem::Hnd:
                address = (cartridgeAddress_ + at) & kMask24;
                break;
            case CartridgeSystem::N64:
                address = cartridgeAddress_ + at;
                break;
            case CartridgeSystem::Sfc:
                address = sfcBank_ * kSfcBankSize + at;
                break;
            default:
                break;
        }
        out[i] = cartridgeReady_ ? CartridgeByte(address) : kOpenBus;
    }
    return static_cast<std::uint32_t>(out.size());
}

}  // namespace reader::emulator
