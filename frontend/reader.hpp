// Finding the reader, and what the tool knows about each variant beyond the library's table: how
// far its read and write commands reach, how a dump of it starts and how big it is.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "drivers/device_library.hpp"
#include "frontend/context.hpp"
#include "frontend/outcome.hpp"
#include "frontend/rom/rom_report.hpp"

namespace reader::tool {

// How a dump finds its size when the user gives none.
enum class SizeRule : std::uint8_t {
    Required,       // the cartridge does not tell: --size is needed
    FromSfcHeader,  // the ROM size byte of the SFC internal header
    ToEndOfSpace,   // up to the end of the address space (the 6502 readers' cartridge window)
    FromRomEnd,     // where the N64 ROM ends: the reader shows open bus, a mirror or 0xFF past it
};

struct VariantProfile {
    std::string_view system;  // the name the library's table gives the variant
    rom::ImageKind kind;
    // The dump starts at the library's RomWindowStart by default (else at 0).
    bool startsAtWindow;
    // The read handler reads the data file at the address itself (DirectRead, SfcRead), so large
    // reads must start on a 1024-byte block; otherwise the address goes to the reader in a
    // command and the data file is read from its start.
    bool addressInDataFile;
    // The first address the read (and write) commands cannot reach; 0: no write handler.
    std::uint64_t readEnd;
    std::uint64_t writeEnd;
    // The lowest address a read can start at: the N64 read handler sends no address command for
    // address 0, so a read there gets whatever the reader presented last.
    std::uint64_t lowestRead;
    // A read never crosses a multiple of this (the SFC reader picks its 8 MiB bank from the
    // start address of a read); 0 when the variant has no banks.
    std::uint32_t bankSize;
    SizeRule sizeRule;
    // Why a dump needs --size, for the message.
    std::string_view sizeReason;
};

// The profile of a variant by its name in the library's table; nothing for one the tool does not
// know.
const VariantProfile* ProfileOf(std::string_view system);

// Where a drive is, as its user knows it: the folder it is mounted on (Linux) or the folder the
// user named, else its letter (Windows).
struct DrivePlace {
    char letter = 0;
    std::string folder;    // empty: the letter is the drive's name
    bool lettered = true;  // found under a letter the user may give --drive (not a named folder)

    // "E:" or "/media/you/READER".
    std::string Text() const;
    // "on E:" or "at /media/you/READER", for a sentence.
    std::string Phrase() const;
    // For info: "E:", "/media/you/READER (E:)", or a named folder alone.
    std::string Detailed() const;
};

// The place of a drive letter as the active host (and the tool's host) knows it.
DrivePlace PlaceOf(ToolContext& context, char letter);

struct ConnectedReader {
    const SystemInstallation* row;
    const VariantProfile* profile;
    std::string identity;
    DrivePlace place;

    // "SFC reader SFC_KRN02_RV100 on E:", "N64 reader N64_KRN20_RV100 at /media/you/READER".
    std::string Name() const;
};

// Finds the reader (the drive or folder of --drive, else every removable drive), identifies its
// variant and sets it up through IdentifyDevice; the error says why that failed and what to do.
Expected<ConnectedReader> ConnectReader(ToolContext& context);

// After a failed operation on a connected reader: nothing when the reader is still there (its
// drive present and presenting the identity it had), else why it is not ("No medium found", "its
// drive is gone").
std::optional<std::string> WhyGone(ToolContext& context, const ConnectedReader& reader);

// The error of an operation that failed: when the reader went away meanwhile, a failure that says
// so and what to do ("the NES reader ... on E: went away while writing at 0x8400 (No medium
// found). Plug it in again ..., then " + afterwards + "."); otherwise the error as it was.
ToolError GoneOr(ToolContext& context, const ConnectedReader& reader, ToolError error,
                 std::string_view doing, std::string_view afterwards);

// "N64 reader N64_KRN20_RV100 cannot write cartridges" and the like: the sentence for a slot the
// variant does not offer.
std::string NotOffered(const ConnectedReader& reader, std::string_view what);

}  // namespace reader::tool
