// The cartridge side of the emulated reader: the six cartridge variants, their test cartridges,
// and what each cartridge command does to the data file and the status reply.
//
//   HND, N64  an address sector makes the data file present the cartridge from that address on
//   SFC       a bank sector makes the data file present one 8 MiB bank
//   FC2, NES, PCE  the data file is the cartridge's address space itself
//
// A variant serves only its own command group, and only after its set-up command; anything else
// is ignored and shows so in the transcript.
//
// The cartridge's content is a loaded image where one was given (a file, byte k at the variant's
// image base + k) and the generated test cartridge everywhere else. Writes inside the image change
// it; writes outside it are kept beside it. Data-file reads copy the image in one piece and only
// generate the bytes that lie outside it, so a dump of a large image costs a copy, not a lookup
// per byte. Past the end of the N64 ROM the reader presents open bus, the ROM mirrored or 0xFF
// (ReaderConfig::pastEnd; the rules are in reader_model.hpp).
#include <algorithm>
#include <array>
#include <string>
#include <utility>

#include "emulator/model_sector.hpp"
#include "emulator/reader_model.hpp"
#include "link/bytes.hpp"
#include "text/text.hpp"

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
constexpr std::uint64_t kHndWindow = 0x1000000;       // 24-bit addresses
constexpr std::uint64_t kN64Window = kN64RomMaxSize;  // the data file spans the largest ROM
constexpr std::uint32_t kSfcBankSize = 0x800000;
constexpr std::uint64_t kSfcSpace = 2 * std::uint64_t{kSfcBankSize};  // banks 0 and 1
constexpr std::uint64_t kCpuWindow = 0x10000;    // FC2, NES: the 6502 address space
constexpr std::uint64_t kPceWindow = 0x1000000;  // 24-bit addresses
constexpr std::uint8_t kOpenBus = 0xFF;          // what the data file shows before the set-up
constexpr std::uint64_t kAddressSpace32 = std::uint64_t{1} << 32;

constexpr std::uint8_t kPulledUp = 0xFF;  // a data bus whose lines are pulled up

struct PastEndChoice {
    PastEnd pastEnd;
    std::string_view name;
};
constexpr std::array<PastEndChoice, 3> kPastEndChoices = {{
    {PastEnd::OpenBus, "open-bus"},
    {PastEnd::Mirror, "mirror"},
    {PastEnd::Ff, "ff"},
}};

struct Variant {
    std::string_view identity;
    CartridgeSystem system;
    std::string_view name;
};
constexpr std::array<Variant, 6> kVariants = {{
    {kHndIdentity, CartridgeSystem::Hnd, "HND"},
    {kN64CartIdentity, CartridgeSystem::N64, "N64"},
    {kSfcIdentity, CartridgeSystem::Sfc, "SFC"},
    {kFc2Identity, CartridgeSystem::Fc2, "FC2"},
    {kNesIdentity, CartridgeSystem::Nes, "NES"},
    {kPceIdentity, CartridgeSystem::Pce, "PCE"},
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

std::span<const Patch> PatchesOf(CartridgeSystem system) {
    switch (system) {
        case CartridgeSystem::Hnd:
            return kHndPatches;
        case CartridgeSystem::N64:
            return kN64Patches;
        case CartridgeSystem::Sfc:
            return kSfcPatches;
        case CartridgeSystem::Fc2:
        case CartridgeSystem::Nes:
        case CartridgeSystem::Pce:
            return kCpuPatches;
        case CartridgeSystem::None:
            break;
    }
    return {};
}

// The test cartridge from address on, addresses rising without wrapping: the pattern, then the
// headers laid over the part of them that the range covers.
void FillTestCartridge(CartridgeSystem system, std::uint32_t address, std::span<std::uint8_t> out) {
    if (system == CartridgeSystem::None) {
        std::fill(out.begin(), out.end(), std::uint8_t{0});
        return;
    }
    const std::uint32_t seed = SeedOf(system);
    for (std::size_t i = 0; i < out.size(); ++i) {
        out[i] = PatternByte(seed, address + static_cast<std::uint32_t>(i));
    }
    const std::uint64_t end = std::uint64_t{address} + out.size();
    for (const Patch& patch : PatchesOf(system)) {
        const std::uint64_t from = std::max<std::uint64_t>(patch.address, address);
        const std::uint64_t to = std::min<std::uint64_t>(patch.address + patch.bytes.size(), end);
        for (std::uint64_t at = from; at < to; ++at) {
            out[static_cast<std::size_t>(at - address)] = static_cast<std::uint8_t>(
                patch.bytes[static_cast<std::size_t>(at - patch.address)]);
        }
    }
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
    for (const Variant& variant : kVariants) {
        if (identity.size() >= kVariantPrefixLength &&
            identity.substr(0, kVariantPrefixLength) ==
                variant.identity.substr(0, kVariantPrefixLength)) {
            return variant.system;
        }
    }
    return CartridgeSystem::None;
}

std::string_view CartridgeSystemName(CartridgeSystem system) {
    for (const Variant& variant : kVariants) {
        if (variant.system == system) {
            return variant.name;
        }
    }
    return "none";
}

std::string_view PastEndName(PastEnd pastEnd) {
    for (const PastEndChoice& choice : kPastEndChoices) {
        if (choice.pastEnd == pastEnd) {
            return choice.name;
        }
    }
    return "?";
}

std::optional<PastEnd> ParsePastEnd(std::string_view text) {
    for (const PastEndChoice& choice : kPastEndChoices) {
        if (text::SameIgnoringCase(text, choice.name)) {
            return choice.pastEnd;
        }
    }
    return std::nullopt;
}

std::uint32_t CartridgeImageBase(CartridgeSystem system) {
    return system == CartridgeSystem::N64 ? kN64RomBase : 0;
}

std::uint64_t CartridgeImageCapacity(CartridgeSystem system) {
    switch (system) {
        case CartridgeSystem::Hnd:
            return kHndWindow;
        case CartridgeSystem::N64:
            return kN64Window;
        case CartridgeSystem::Sfc:
            return kSfcSpace;
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

std::uint8_t CartridgeImageByte(CartridgeSystem system, std::uint32_t address) {
    std::uint8_t byte = 0;
    FillTestCartridge(system, address, std::span(&byte, 1));
    return byte;
}

// --- the model's cartridge side ----------------------------------------------------------------

void ReaderModel::ResetCartridgeBus() {
    hndPrepared_ = false;
    cartridgeReady_ = false;
    cartridgeAddress_ = 0;
    sfcBank_ = 0;
    nesMode_ = 0;
    controlValue_ = 0;
}

std::uint8_t ReaderModel::CartridgeByte(std::uint32_t address) const {
    std::uint8_t byte = 0;
    CopyCartridge(address, std::span(&byte, 1));
    return byte;
}

void ReaderModel::CopyCartridge(std::uint32_t address, std::span<std::uint8_t> out,
                                std::uint32_t blockPhase) const {
    if (std::uint64_t{address} + out.size() > romEnd_) {
        // Past the N64 ROM's end: what the reader presents there, and the ROM before it.
        const auto inside =
            static_cast<std::size_t>(romEnd_ > address ? romEnd_ - address : std::uint64_t{0});
        PastRomEnd(static_cast<std::uint32_t>(address + inside), out.subspan(inside), blockPhase);
        out = out.first(inside);
    }
    const std::uint64_t imageStart = cartridgeImageBase_;
    const std::uint64_t imageEnd = imageStart + cartridgeImage_.size();
    std::size_t done = 0;
    while (done < out.size()) {
        const std::uint64_t at = std::uint64_t{address} + done;
        const std::size_t left = out.size() - done;
        std::size_t count = left;
        if (at >= imageStart && at < imageEnd) {
            // The loaded image: one copy for the whole stretch it covers.
            count = static_cast<std::size_t>(std::min<std::uint64_t>(left, imageEnd - at));
            std::copy_n(cartridgeImage_.begin() + static_cast<std::ptrdiff_t>(at - imageStart),
                        count, out.begin() + static_cast<std::ptrdiff_t>(done));
        } else {
            if (at < imageStart) {
                count = static_cast<std::size_t>(std::min<std::uint64_t>(left, imageStart - at));
            }
            GeneratedCartridge(static_cast<std::uint32_t>(at), out.subspan(done, count));
        }
        done += count;
    }
}

void ReaderModel::PastRomEnd(std::uint32_t address, std::span<std::uint8_t> out,
                             std::uint32_t blockPhase) const {
    switch (config_.pastEnd) {
        case PastEnd::Ff:
            std::fill(out.begin(), out.end(), kPulledUp);
            return;
        case PastEnd::Mirror: {
            // The ROM again from its start: byte k of the window is the ROM's byte k mod its size.
            const std::uint64_t size = romEnd_ - cartridgeImageBase_;
            std::size_t done = 0;
            while (done < out.size()) {
                const std::uint64_t offset =
                    (std::uint64_t{address} + done - cartridgeImageBase_) % size;
                const auto count = static_cast<std::size_t>(
                    std::min<std::uint64_t>(out.size() - done, size - offset));
                CopyCartridge(static_cast<std::uint32_t>(cartridgeImageBase_ + offset),
                              out.subspan(done, count));
                done += count;
            }
            return;
        }
        case PastEnd::OpenBus:
            break;
    }
    // Open bus: each byte shows the address its block latched, as a 16-bit word, high byte first.
    // The 32-bit arithmetic wraps at a multiple of 512, so the blocks stay in step across it.
    std::array<std::uint8_t, 2> word{};
    for (std::size_t i = 0; i < out.size(); ++i) {
        const std::uint32_t at = address + static_cast<std::uint32_t>(i);
        const std::uint32_t position = (at - blockPhase) % kN64BusBlockSize;
        const std::uint32_t latched = at - position;
        link::PutBe16(word, 0, static_cast<std::uint16_t>(latched & kMask16));
        out[i] = word[position % word.size()];
    }
}

void ReaderModel::GeneratedCartridge(std::uint32_t address, std::span<std::uint8_t> out) const {
    FillTestCartridge(Cartridge(), address, out);
    // The bytes written there, in one walk over the stored writes in that range.
    const std::uint64_t end = std::uint64_t{address} + out.size();
    for (auto written = cartridgeWrites_.lower_bound(address);
         written != cartridgeWrites_.end() && written->first < end; ++written) {
        out[written->first - address] = written->second;
    }
}

void ReaderModel::StoreCartridgeByte(std::uint32_t address, std::uint8_t byte) {
    if (address >= cartridgeImageBase_ && address - cartridgeImageBase_ < cartridgeImage_.size()) {
        cartridgeImage_[address - cartridgeImageBase_] = byte;
    } else {
        cartridgeWrites_[address] = byte;
    }
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
            line += "HndRead address=" + text::HexDigits(address, 6);
            if (served) {
                cartridgeAddress_ = address;
            }
            return served ? Outcome::Executed : Outcome::Ignored;
        }
        case (kN64Group << 8) | kOpN64Read: {
            const std::uint32_t address = link::GetLe32(sector, kN64AddressOffset);
            line += "N64Read address=" + text::HexDigits(address, 8);
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
            line += "SfcWrite address=" + text::HexDigits(address, 6) +
                    " data=" + text::HexDigits(sector[kSfcDataOffset], 2);
            if (!served) {
                return Outcome::Ignored;
            }
            StoreCartridgeByte(address, sector[kSfcDataOffset]);
            return Outcome::Executed;
        }
        case (kPceGroup << 8) | kOpPceWrite: {
            const std::uint32_t address = link::GetLe24(sector, kPceAddressOffset);
            line += "PceWrite address=" + text::HexDigits(address, 6) +
                    " data=" + text::HexDigits(sector[kPceDataOffset], 2);
            if (!served) {
                return Outcome::Ignored;
            }
            StoreCartridgeByte(address, sector[kPceDataOffset]);
            return Outcome::Executed;
        }
        case (kNesGroup << 8) | kOpNesWrite: {
            const std::uint32_t address = link::GetLe16(sector, kNesAddressOffset);
            const std::size_t length = link::GetLe16(sector, kNesLengthOffset);
            line += "NesWrite address=" + text::HexDigits(address, 4) +
                    " length=" + std::to_string(length);
            // The NES reader takes one byte per sector; only the FC2 reader takes blocks.
            const std::size_t most = system == CartridgeSystem::Fc2 ? kNesMaxLength : 1;
            if (!served || length == 0 || length > most) {
                return Outcome::Ignored;
            }
            for (std::size_t i = 0; i < length; ++i) {
                StoreCartridgeByte((address + static_cast<std::uint32_t>(i)) & kMask16,
                                   sector[kNesDataOffset + i]);
            }
            return Outcome::Executed;
        }
        case (kNesGroup << 8) | kOpNesControl:
            line += "NesControl value=" + text::HexDigits(sector[kNesControlOffset], 2);
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
            line += " misc=" + text::HexDigits(config_.miscByte, 2);
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

std::uint32_t ReaderModel::DataFileAddress(std::uint64_t at) const {
    const auto offset = static_cast<std::uint32_t>(at);
    switch (Cartridge()) {
        case CartridgeSystem::Hnd:
            return (cartridgeAddress_ + offset) & kMask24;
        case CartridgeSystem::N64:
            return cartridgeAddress_ + offset;
        case CartridgeSystem::Sfc:
            return sfcBank_ * kSfcBankSize + offset;
        default:
            return offset;
    }
}

std::uint32_t ReaderModel::ReadDataFile(std::uint64_t offset, std::span<std::uint8_t> out) {
    if (!cartridgeReady_) {
        std::fill(out.begin(), out.end(), kOpenBus);
    } else {
        // The addresses rise with the offset until the variant's address arithmetic wraps (the
        // HND reader's at 24 bits, the N64 reader's at 32): copy one rising run at a time.
        const std::uint64_t wrap =
            Cartridge() == CartridgeSystem::Hnd ? kHndWindow : kAddressSpace32;
        std::size_t done = 0;
        while (done < out.size()) {
            const std::uint32_t address = DataFileAddress(offset + done);
            const auto count = static_cast<std::size_t>(
                std::min<std::uint64_t>(out.size() - done, wrap - address));
            // The reader's blocks start at the selected address (data-file offset 0).
            CopyCartridge(address, out.subspan(done, count), DataFileAddress(0) % kN64BusBlockSize);
            done += count;
        }
    }
    if (!out.empty()) {
        ++dataReads_;
        FlipDataRead(offset, out);
    }
    return static_cast<std::uint32_t>(out.size());
}

void ReaderModel::FlipDataRead(std::uint64_t offset, std::span<std::uint8_t> delivered) {
    const auto& flip = config_.faults.flipDataRead;
    if (!flip || dataReads_ != flip->read) {
        return;
    }
    std::string line = std::string(kDataFileName) + " read " + std::to_string(dataReads_);
    if (flip->offset >= delivered.size()) {
        line += " not flipped: offset=" + text::HexDigits(flip->offset, 8) + " past the " +
                std::to_string(delivered.size()) + " bytes delivered";
    } else {
        std::uint8_t& byte = delivered[flip->offset];
        line += " flipped offset=" + text::HexDigits(flip->offset, 8) +
                " address=" + text::HexDigits(DataFileAddress(offset + flip->offset), 8) +
                " data=" + text::HexDigits(byte, 2);
        byte = static_cast<std::uint8_t>(~byte);
        line += " delivered=" + text::HexDigits(byte, 2);
    }
    transcript_.push_back(line);
}

}  // namespace reader::emulator
