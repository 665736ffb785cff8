// dump: the cartridge into a file, written atomically, with an optional second read to compare,
// the N64 byte order the user wants, the dump report and what the DAT files say of it; into a
// folder, under the name of the game. The file is written and hashed as the cartridge is read
// (transfer.hpp); it takes its name only once the read (and the second read) is through.
#include <array>
#include <filesystem>
#include <memory>
#include <system_error>

#include "drivers/device_library.hpp"
#include "frontend/cartridge.hpp"
#include "frontend/commands.hpp"
#include "frontend/dat_files.hpp"
#include "frontend/output_name.hpp"
#include "frontend/reader.hpp"
#include "frontend/rom/hashes.hpp"
#include "frontend/rom/rom_report.hpp"
#include "frontend/transfer.hpp"
#include "text/text.hpp"

namespace reader::tool {
namespace {

namespace fs = std::filesystem;

// An SFC cartridge's internal header lies in its first 64 KiB (LoROM at 0x7FC0, HiROM at 0xFFC0).
constexpr std::uint64_t kSfcHeaderArea = 0x10000;
constexpr std::uint64_t kHighestAddress = 0xFFFFFFFF;
// What the temporary file of a dump into a folder is named after until the dump has its name.
constexpr std::string_view kUnnamedDump = "reader-tool dump";

// The largest cartridge ROM of each system whose sizes are known: a larger dump is allowed (the
// reader's addresses go on) but reads past any cartridge of that system, which deserves a word.
// Handheld cartridges come in many kinds; the FC2 and NES readers' space is smaller than any.
struct LargestCartridge {
    std::string_view system;
    std::uint64_t size;
};
constexpr auto kLargestCartridges = std::to_array<LargestCartridge>({
    {"N64", 64 * text::kMiB},
    {"SFC", 8 * text::kMiB},      // the largest ROM size an SFC header can state
    {"PCE", 5 * text::kMiB / 2},  // 20 Mbit, the largest card with a bank-switching mapper
});

// Alternative names for a dump whose OUT appeared while it ran: game-1.z64 to game-99.z64.
constexpr int kMostAlternativeNames = 99;

struct DumpRequest {
    std::string out;
    std::optional<std::uint64_t> start;
    std::optional<std::uint64_t> size;
    std::optional<rom::N64ByteOrder> byteOrder;
    bool verify = false;
    bool force = false;
    std::vector<std::string> dats;
};

std::optional<std::string> StoreSize(DumpRequest& request, std::string_view text) {
    std::uint64_t size = 0;
    if (auto problem = CheckNumber(text, kLargestImage, true, size)) {
        return problem;
    }
    if (size == 0) {
        return "must be more than 0";
    }
    request.size = size;
    return std::nullopt;
}

std::optional<std::string> StoreByteOrder(DumpRequest& request, std::string_view text) {
    request.byteOrder = rom::ParseN64ByteOrder(text);
    if (!request.byteOrder) {
        return "takes big-endian, byte-swapped or little-endian (or z64, v64, n64), not '" +
               std::string(text) + "'";
    }
    return std::nullopt;
}

constexpr auto kDumpOptions = std::to_array<OptionBinding<DumpRequest>>({
    {{"start", "ADDR",
      "first cartridge address (default 0x10000000 for N64, 0x8000 for FC2\n"
      "and NES, otherwise 0)"},
     StoreNumber<&DumpRequest::start, kHighestAddress, true>},
    {{"size", "N",
      "how many bytes. N64: up to where the cartridge's ROM ends (past it the\n"
      "reader shows open bus, a mirror of the ROM or 0xFF); SFC: from the\n"
      "cartridge's internal header when it has a plausible one; FC2 and NES: up\n"
      "to the end of the 6502's address space (0xFFFF); HND and PCE cartridges\n"
      "do not tell their size, so give it"},
     StoreSize},
    {{"verify", "",
      "reads everything a second time and compares: a difference (a dirty\n"
      "contact, a loose cartridge) names the first address and leaves OUT\n"
      "unwritten"},
     StoreFlag<&DumpRequest::verify>},
    {{"force", "",
      "replaces OUT if it exists (otherwise it is kept); into a folder, replaces\n"
      "the file of the name chosen (otherwise the dump is written as \"NAME (1)\")"},
     StoreFlag<&DumpRequest::force>},
    {{"byte-order", "ORDER",
      "N64 only: big-endian (z64, the default), byte-swapped (v64) or\n"
      "little-endian (n64)"},
     StoreByteOrder},
    {{"dat", "DAT",
      "verifies the dump against the DAT file DAT (or the DAT files in a folder\n"
      "DAT), and fails when no entry verifies it; may be given more than once.\n"
      "Without it, the DAT files in the default folder are used, for information:\n"
      "$XDG_DATA_HOME/reader-tool/dat or ~/.local/share/reader-tool/dat (Linux),\n"
      "%APPDATA%\\reader-tool\\dat and a dat folder beside the program (Windows)",
      true},
     StoreAppend<&DumpRequest::dats>},
});

constexpr auto kDumpOperands = std::to_array<OperandBinding<DumpRequest>>({
    {{"OUT"}, StoreText<&DumpRequest::out>},
});

// The size of an N64 cartridge from where its ROM ends, with the sentence that says how it was
// found. Evidence that disagrees, or no end at all, asks for --size and says why.
Expected<std::uint64_t> N64Size(ToolContext& context, const ConnectedReader& reader,
                                std::uint64_t start) {
    const auto found = FindRomSize(context, reader);
    if (!found) {
        return found.Error();
    }
    if (found->problem == rom::N64SizeProblem::NoRom) {
        return Failure("the " + reader.Name() + " finds no ROM: " + found->explanation +
                       ". Seat the cartridge firmly and try again.");
    }
    if (!found->Found()) {
        return UsageError("the " + reader.Name() +
                              " needs --size: the end of the cartridge's ROM could not be found (" +
                              found->explanation + "; usual sizes: 8M, 12M, 16M, 32M, 64M)",
                          &kDumpCommand);
    }
    const std::uint64_t end = std::uint64_t{rom::kN64RomStart} + found->size;
    if (start >= end) {
        return UsageError("--start " + text::AddressText(start) +
                              " is past the end of the cartridge's ROM at " +
                              text::AddressText(end - 1) + " (" + found->explanation + ")",
                          &kDumpCommand);
    }
    // An end in 0xFF may be the ROM's own padding: the dump goes on with what the reader shows,
    // and a DAT line will say whether it is the whole game.
    context.Out(
        found->explanation +
        (found->uncertain ? "; if the cartridge is larger, dump it again with --size" : "") + "\n");
    return end - start;
}

// The size of an SFC cartridge from its internal header, with the sentence that says so.
Expected<std::uint64_t> SfcSize(ToolContext& context, const ConnectedReader& reader,
                                std::uint64_t start) {
    std::vector<std::uint8_t> area(kSfcHeaderArea);
    if (auto error = ReadRange(context, reader, 0, kSfcHeaderArea, "reading", nullptr,
                               [&](std::uint32_t at, std::span<const std::uint8_t> bytes) {
                                   std::copy(bytes.begin(), bytes.end(),
                                             std::span(area).subspan(at).begin());
                                   return true;
                               })) {
        return std::move(*error);
    }
    const auto header = rom::FindSfcHeader(area);
    if (!header || header->romSize <= start || header->romSize > reader.profile->readEnd) {
        return UsageError(
            "the " + reader.Name() + " needs --size: " +
                (header ? "the cartridge's internal header gives a ROM size of " +
                              text::SizeText(header->romSize) + ", which does not fit --start"
                        : std::string("the cartridge shows no plausible internal header at "
                                      "0x7FC0 or 0xFFC0, so its size is unknown")),
            &kDumpCommand);
    }
    context.Out("size from the cartridge's internal header (" +
                std::string(header->hiRom ? "HiROM at 0xFFC0" : "LoROM at 0x7FC0") + ", \"" +
                header->title + "\"): ROM size " + text::SizeText(header->romSize) + "\n");
    return header->romSize - start;
}

// Works out the range when the user left it open, and checks it against what the reader can
// address.
Outcome SettleRange(ToolContext& context, const ConnectedReader& reader, DumpRequest& request) {
    const VariantProfile& profile = *reader.profile;
    if (!request.start) {
        request.start = DumpStartOf(profile);
    }
    const std::uint64_t start = *request.start;
    if (start < profile.lowestRead) {
        return UsageError("the " + reader.Name() +
                              " cannot read from address 0: its read command sends no address 0. "
                              "Start at its ROM window " +
                              text::AddressText(SystemDriver.RomWindowStart),
                          &kDumpCommand);
    }
    if (start >= profile.readEnd) {
        return UsageError("--start " + text::AddressText(start) +
                              " is beyond the addresses of the " + reader.Name() +
                              ", which end at " + text::AddressText(profile.readEnd - 1),
                          &kDumpCommand);
    }
    if (!request.size) {
        switch (profile.sizeRule) {
            case SizeRule::Required:
                return UsageError(
                    "the " + reader.Name() + " needs --size: " + std::string(profile.sizeReason),
                    &kDumpCommand);
            case SizeRule::ToEndOfSpace:
                request.size = profile.readEnd - start;
                context.Out(
                    "size up to the end of the 6502's address space: " + text::AddressText(start) +
                    " to " + text::AddressText(profile.readEnd - 1) +
                    " (the cartridge window the reader reports, " +
                    text::AddressText(SystemDriver.RomWindowStart) + " to " +
                    text::AddressText(SystemDriver.RomWindowEnd) + ", and the vectors above it)\n");
                break;
            case SizeRule::FromSfcHeader: {
                const auto size = SfcSize(context, reader, start);
                if (!size) {
                    return size.Error();
                }
                request.size = *size;
                break;
            }
            case SizeRule::FromRomEnd: {
                const auto size = N64Size(context, reader, start);
                if (!size) {
                    return size.Error();
                }
                request.size = *size;
                break;
            }
        }
    }
    if (start + *request.size > profile.readEnd) {
        return UsageError(
            "--start " + text::AddressText(start) + " and --size " + text::Hex(*request.size) +
                " reach past " + text::AddressText(profile.readEnd - 1) +
                ", the last address of the " + reader.Name() + ": from " +
                text::AddressText(start) + " at most --size " + text::Hex(profile.readEnd - start),
            &kDumpCommand);
    }
    return std::nullopt;
}

// A size beyond the largest cartridge of the system is allowed, with a warning.
void WarnAboutSize(const ToolContext& context, const ConnectedReader& reader, std::uint64_t size) {
    for (const LargestCartridge& largest : kLargestCartridges) {
        if (largest.system == reader.profile->system && size > largest.size) {
            context.Err("reader-tool: warning: " + text::SizeText(size) +
                        " is more than the largest " + std::string(largest.system) +
                        " cartridge, " + text::SizeText(largest.size) +
                        ": the rest is what the reader shows past the cartridge's ROM.\n");
        }
    }
}

// A dump the disk cannot hold says so before the read: the free space of OUT's file system,
// then the room for the file set aside where the file system allows.
Outcome MakeRoom(ToolContext& context, const std::string& out, const std::string& filePath,
                 std::uint64_t size, PendingOutput& file) {
    // The free space where the file is: beside OUT, or in the folder OUT.
    const auto freeBytes = context.Os().FreeSpace(filePath);
    if (freeBytes && *freeBytes < size) {
        return Failure(out + " needs " + text::SizeText(size) + ", but its file system has only " +
                       text::SizeText(*freeBytes) +
                       " free. Free some space or choose another place.");
    }
    if (!file.Reserve(size)) {
        const auto left = context.Os().FreeSpace(filePath);
        return Failure("setting aside " + text::SizeText(size) + " for " + out + " failed: " +
                       file.Reason() + (left ? " (" + text::SizeText(*left) + " free)" : "") +
                       ". Free some space or choose another place.");
    }
    return std::nullopt;
}

// "game.z64" -> "game-1.z64", beside it.
std::string AlternativeName(const std::string& out, int number) {
    const fs::path path(out);
    // Built by appending: GCC 12's restrict warning misfires on "-" + number at -O3.
    std::string name = path.stem().string();
    name += '-';
    name += std::to_string(number);
    name += path.extension().string();
    return (path.parent_path() / name).string();
}

// What became of an N64 image's byte order (big-endian unless --byte-order said otherwise).
void SayByteOrder(ToolContext& context, rom::N64ByteOrder wanted,
                  std::optional<rom::N64ByteOrder> presented) {
    if (!presented) {
        context.Out(
            "byte order: unknown (the image does not start with an N64 ROM marker); "
            "written as the cartridge presented it\n");
        return;
    }
    if (*presented != wanted) {
        context.Out("byte order: written " + std::string(rom::N64ByteOrderName(wanted)) +
                    " (the cartridge presented it " +
                    std::string(rom::N64ByteOrderName(*presented)) + ")\n");
        return;
    }
    context.Out("byte order: " + std::string(rom::N64ByteOrderName(wanted)) +
                ", as the cartridge presented it\n");
}

// The path in the folder OUT for a dump that has been read, said to the user: the game's name
// from the DAT entry that verifies it, else the header's title, else the CRC32; a name already
// taken gets a number, unless --force replaces its file.
Expected<std::string> NameInFolder(ToolContext& context, const DumpRequest& request,
                                   const ConnectedReader& reader,
                                   std::span<const std::uint8_t> image,
                                   const rom::ImageDigests& digests, const DatAnswer& dat) {
    const DumpName name = NameOfDump(image, reader.profile->kind,
                                     request.byteOrder.value_or(rom::N64ByteOrder::BigEndian),
                                     dat.match, reader.profile->system, digests.file.crc32);
    const fs::path folder(request.out);
    const auto path = FreePathIn(folder, name, request.force);
    if (!path) {
        return Failure("every name from \"" + name.FileName() + "\" to \"" + name.stem + " (999)" +
                       std::string(name.extension) + "\" is taken in " + request.out +
                       ". Give OUT a file name of your own.");
    }
    std::string said = "named after " + name.source + ": " + name.FileName();
    const fs::path wanted = folder / name.FileName();
    if (*path != wanted) {
        said += "; that name is taken, so the dump is written as " + PathText(path->filename()) +
                " (--force replaces the file of that name)";
    } else if (request.force && fs::exists(*path)) {
        said += ", replacing the file of that name (--force)";
    }
    context.Out(said + "\n");
    return path->string();
}

// The dump proper, into the pending file: the cartridge read into memory and, chunk by chunk as
// it arrives, put into the byte order wanted, hashed and written; with --verify a second read
// compared with it. What it hands on: the image as the file holds it, and its digests.
Expected<DumpedImage> DumpIntoFile(ToolContext& context, const ConnectedReader& reader,
                                   const DumpRequest& request, std::uint32_t start,
                                   std::uint64_t size, PendingOutput& file) {
    const bool n64 = reader.profile->kind == rom::ImageKind::N64;
    const rom::N64ByteOrder wanted = request.byteOrder.value_or(rom::N64ByteOrder::BigEndian);
    rom::ImageHasher hasher = n64 ? rom::ImageHasher(std::nullopt, wanted) : rom::ImageHasher();
    DumpedImage dumped;
    {
        Progress progress(context, "dump", size);
        const std::uint64_t startedMs = context.Os().NowMs();
        auto failed = ReadIntoFile(context, reader, start, size, &progress, hasher, file,
                                   request.out, dumped);
        progress.Finish();
        if (failed) {
            return std::move(*failed);
        }
        context.Out("read " + text::SizeText(size) + " in " +
                    RateText(size, context.Os().NowMs() - startedMs) + "\n");
    }
    if (request.verify) {
        Progress progress(context, "verify", size);
        std::optional<Mismatch> mismatch;
        auto failed = CompareRange(context, reader, start, dumped.image, "verifying", &progress,
                                   mismatch, dumped.wordSwap, "dump again");
        progress.Finish();
        if (failed) {
            return std::move(*failed);
        }
        if (mismatch) {
            return Failure(
                "verification failed: the second read differs first at " +
                text::AddressText(mismatch->address) + " (" + text::Hex(mismatch->expected, 2) +
                ", then " + text::Hex(mismatch->found, 2) +
                "). The cartridge's contacts may be dirty or it may sit loosely: clean them, "
                "reseat it and dump again.");
        }
        context.Out("verified: a second read of all " + text::SizeText(size) + " matches\n");
    }
    if (n64) {
        SayByteOrder(context, wanted, dumped.presented);
    }
    return dumped;
}

// Puts the file in place under target (OUT, or the name chosen in the folder OUT). When target
// appeared while the dump ran (and --force was not given), that file is kept and the dump goes
// under the first free name beside it; savedAs says which.
Outcome PutInPlace(PendingOutput& file, const std::string& target, bool force,
                   std::string& savedAs) {
    savedAs = target;
    if (file.Commit(force)) {
        return std::nullopt;
    }
    if (!file.FinalPathTaken()) {
        return Failure("putting " + target + " in place failed: " + file.Reason() + ".");
    }
    for (int number = 1; number <= kMostAlternativeNames; ++number) {
        savedAs = AlternativeName(target, number);
        if (file.PlaceElsewhere(savedAs)) {
            return std::nullopt;
        }
        if (!file.FinalPathTaken()) {
            return Failure(target +
                           " appeared while the dump ran and was kept; saving the dump as " +
                           savedAs + " failed: " + file.Reason() + ".");
        }
    }
    return Failure(target + " appeared while the dump ran and was kept, and " +
                   AlternativeName(target, 1) + " to " +
                   AlternativeName(target, kMostAlternativeNames) +
                   " are taken: the dump was not saved. Choose another name.");
}

// Settles the range, makes room beside OUT, dumps into the pending file (with --verify a second
// read compares), puts it in place and reports.
Outcome RunDump(ToolContext& context, const DumpRequest& given) {
    DumpRequest request = given;
    const std::string& out = request.out;
    std::error_code error;
    // Into a folder (or a link to one) that exists, the dump is named once it has been read.
    const bool intoFolder = fs::is_directory(out, error);
    const auto existing = fs::symlink_status(out, error);
    if (!intoFolder) {
        if (auto problem = OutputPathProblem(out)) {
            return Failure(std::move(*problem));
        }
    }
    if (!intoFolder && fs::exists(existing) && !request.force) {
        return Failure(out +
                       " already exists. Give --force to replace it, or choose another name.");
    }
    // A DAT file given that cannot be read stops the dump before anything is sent to the reader.
    const auto dats = LoadDats(context, request.dats);
    if (!dats) {
        return dats.Error();
    }

    const auto reader = ConnectReader(context);
    if (!reader) {
        return reader.Error();
    }
    const rom::ImageKind kind = reader->profile->kind;
    if (request.byteOrder && kind != rom::ImageKind::N64) {
        return UsageError("--byte-order is for N64 cartridges; the " + reader->Name() +
                              " reads its bytes in one order only",
                          &kDumpCommand);
    }
    if (auto unsettled = SettleRange(context, *reader, request)) {
        return unsettled;
    }
    const auto start = static_cast<std::uint32_t>(*request.start);
    const std::uint64_t size = *request.size;
    WarnAboutSize(context, *reader, size);

    // The file is started before the long read, so a folder that cannot take it shows at once.
    std::string reason;
    const std::string filePath = intoFolder ? (fs::path(out) / kUnnamedDump).string() : out;
    auto pending = context.Os().CreateOutput(filePath, reason);
    if (!pending) {
        return Failure("cannot create a file " + std::string(intoFolder ? "in " : "beside ") + out +
                       ": " + reason + ". Check that " + (intoFolder ? "it" : "its folder") +
                       " exists and can be written.");
    }
    // From here on every failure leaves OUT unwritten; the closing line of a run whose standard
    // output failed says so too. In a folder, the file has a name only once the dump is read.
    std::string target = out;
    bool named = !intoFolder;
    const auto fail = [&](ToolError failure) {
        failure.message +=
            named ? " " + target + " was not written." : " Nothing was written to " + out + ".";
        context.NoteOutputFile(named ? target : "the dump into " + out, false);
        return failure;
    };
    if (auto noRoom = MakeRoom(context, out, filePath, size, *pending)) {
        return fail(std::move(*noRoom));
    }

    context.Out("dumping " + text::AddressText(start) + " to " +
                text::AddressText(start + size - 1) + ", " + text::LengthText(size) +
                ", from the " + reader->Name() + "\n");
    auto dumped = DumpIntoFile(context, *reader, request, start, size, *pending);
    if (!dumped) {
        return fail(dumped.Error());
    }
    const DatAnswer dat = AskDats(*dats, dumped->digests);
    if (intoFolder) {
        const auto path =
            NameInFolder(context, request, *reader, dumped->image, dumped->digests, dat);
        if (!path) {
            return fail(path.Error());
        }
        target = *path;
        named = true;
        pending->SetFinalPath(target);
    }
    if (const auto signal = context.Os().Interruption()) {
        return fail(InterruptedBy(*signal, " before " + target + " was put in place."));
    }
    std::string savedAs;
    if (auto unplaced = PutInPlace(*pending, target, request.force, savedAs)) {
        // Nothing was saved, but the file under the target (if any) is not the dump's.
        context.NoteOutputFile(target, false);
        if (savedAs == target) {
            unplaced->message += " " + target + " was not written.";
        }
        return unplaced;
    }
    Outcome appeared;
    if (savedAs != target) {
        context.NoteOutputFile(target, false);
        appeared =
            Failure(target + " appeared while the dump ran and was kept; the dump was saved as " +
                    savedAs + ".");
    }
    context.NoteOutputFile(savedAs, true);
    context.Out("wrote " + savedAs + ": " + text::ByteCountText(size) + "\n");
    const rom::ImageReport report =
        rom::ReportImageWithVerdict(dumped->image, kind, dumped->digests.file);
    context.Out(report.text);
    context.Out(dat.line);
    if (appeared) {
        return appeared;
    }
    // A header says something about the image that starts with it: a dump from elsewhere in the
    // cartridge is not judged by it. A dump that a DAT entry verifies is the good dump a database
    // knows, whatever its header says (some cartridges left the factory with a wrong checksum).
    if (report.headerBad && !dat.Verified() && start == DumpStartOf(*reader->profile)) {
        return Failure("a header check of the dump says bad (see the report). " + savedAs +
                       " holds what the cartridge presented; if the cartridge is an original, "
                       "clean its contacts, reseat it and dump again with --verify.");
    }
    if (dats->given && !dat.Verified()) {
        return Failure("no entry of the DAT files given verifies the dump (see the DAT line). " +
                       savedAs +
                       " holds what the cartridge presented; if the cartridge is an original, "
                       "clean its contacts, reseat it and dump again with --verify.");
    }
    return std::nullopt;
}

}  // namespace

constexpr CommandRow kDumpCommand = BoundRow<kDumpOptions, kDumpOperands, RunDump>({
    .name = "dump",
    .synopsis =
        "OUT [--start ADDR] [--size N] [--verify] [--force] [--byte-order ORDER] [--dat DAT]",
    .listHead = "OUT [options]",
    .summary = "reads the cartridge into the file (or folder) OUT and reports on it",
    .details =
        "Reads the cartridge through the reader into the file OUT, then prints the dump report\n"
        "(size, CRC32, SHA-1 and, for N64 and SFC cartridges, what their headers say) and what\n"
        "the DAT files say: \"DAT: verified, <game> (<DAT>)\" when an entry's size, CRC32 and\n"
        "SHA-1 all match. A dump from the cartridge's first address exits with status 1 when a\n"
        "header check says bad (unless a DAT entry verifies it), and with --dat when no entry\n"
        "verifies it; OUT is kept all the same, as the cartridge holds it.\n"
        "\n"
        "OUT may be a folder that exists: the file in it is named after the game's DAT entry,\n"
        "else the header's title (N64: and game code), else the CRC32, with the system's usual\n"
        "extension (.z64, .v64 or .n64 by byte order, .sfc, .bin).\n"
        "\n"
        "OUT appears only once the whole dump is on the disk: a failed read, a reader that goes\n"
        "away, a full disk or Ctrl-C leave no partial file under its name. A dump the disk\n"
        "cannot hold is refused before the read. A file that appears under OUT while the dump\n"
        "runs is kept, and the dump is saved beside it (game-1.z64, ...), with status 1.\n"
        "\n"
        "Progress goes to standard error: one line rewritten on a terminal, a line at each\n"
        "quarter elsewhere, nothing with --quiet.\n",
    .numbersHelp = true,
});

}  // namespace reader::tool
