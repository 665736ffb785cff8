// The short commands: info, status, control, trace and check, the table of every command, and what
// the commands share.
#include "frontend/commands.hpp"

#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <system_error>

#include "drivers/device_library.hpp"
#include "frontend/cartridge.hpp"
#include "frontend/dat_files.hpp"
#include "frontend/image_input.hpp"
#include "frontend/reader.hpp"
#include "frontend/rom/hashes.hpp"
#include "frontend/rom/rom_report.hpp"
#include "frontend/transfer.hpp"
#include "platform/host.hpp"
#include "text/text.hpp"

namespace reader::tool {
namespace {

// The trace covers 256 bytes inside the 6502's 64 KiB.
constexpr std::uint64_t kHighestTraceAddress = kTraceMemorySize - kTraceSourceSize;
constexpr std::uint64_t kHighestControlValue = 0xFF;

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};

void Row(ToolContext& context, std::string_view name, const std::string& value) {
    context.Out(platform::FormatText("%-12s%s\n", std::string(name).c_str(), value.c_str()));
}

// What the reader can do, by the commands that do it.
std::string Abilities() {
    struct Offer {
        DriverSlot slot;
        const char* command;
    };
    constexpr std::array<Offer, 5> kOffers = {{
        {DriverSlot::Read, "dump"},
        {DriverSlot::Write, "write"},
        {DriverSlot::Status, "status"},
        {DriverSlot::Control, "control"},
        {DriverSlot::Disassemble, "trace"},
    }};
    std::string text;
    for (const Offer& offer : kOffers) {
        if (SlotOffered(offer.slot)) {
            text += (text.empty() ? "" : ", ") + std::string(offer.command);
        }
    }
    return text.empty() ? "nothing this tool offers" : text;
}

// What a dump without --start and --size reads. The library's ROM window means something only
// where a dump starts at it: the N64 ROM, and the 6502 readers' cartridge window.
std::string DumpRange(const VariantProfile& profile) {
    const std::string from = "from " + text::AddressText(DumpStartOf(profile));
    switch (profile.sizeRule) {
        case SizeRule::Required:
            return from + "; needs --size: " + std::string(profile.sizeReason);
        case SizeRule::FromSfcHeader:
            return from + ", as far as the cartridge's internal header says";
        case SizeRule::ToEndOfSpace:
            return text::AddressText(DumpStartOf(profile)) + " to " +
                   text::AddressText(profile.readEnd - 1) +
                   ": the cartridge window the reader reports (" +
                   text::AddressText(SystemDriver.RomWindowStart) + " to " +
                   text::AddressText(SystemDriver.RomWindowEnd) + ") and the vectors above it";
        case SizeRule::FromRomEnd:
            return from + ", the start of the ROM window, to where the ROM ends";
    }
    return from;
}

// The N64 cartridge: its ROM's size as a dump finds it, and its header.
Outcome N64Rows(ToolContext& context, const ConnectedReader& reader) {
    const auto size = FindRomSize(context, reader);
    if (!size) {
        return size.Error();
    }
    Row(context, "ROM",
        size->Found() || size->problem == rom::N64SizeProblem::NoRom
            ? size->explanation
            : "size not found: " + size->explanation + "; a dump needs --size");
    const auto header = ReadN64Header(context, reader);
    if (!header) {
        return header.Error();
    }
    Row(context, "byte order",
        header->order ? std::string(rom::N64ByteOrderName(*header->order))
                      : std::string("unknown: the first word is no N64 ROM marker"));
    Row(context, "title", header->title.empty() ? std::string("(blank)") : header->title);
    if (!header->gameCode.empty()) {
        Row(context, "game code", header->gameCode);
    }
    if (header->bootCodeCrc) {
        Row(context, "boot code",
            (header->bootCode ? std::string(rom::N64BootCodeName(*header->bootCode))
                              : std::string("unknown")) +
                " (CRC32 of " + text::Hex(rom::kN64BootCodeOffset) + ".." +
                text::Hex(rom::kN64BootCodeEnd - 1) + ": " +
                text::HexDigits(*header->bootCodeCrc, 8) + ")");
    }
    return std::nullopt;
}

// Where the DAT files that dump and check use without --dat are, and what they hold.
void DatRows(ToolContext& context) {
    const auto dats = LoadDats(context, {});
    if (!dats || dats->folders.empty()) {
        Row(context, "DAT files", "no default folder is known: give --dat");
        return;
    }
    for (const DatFolder& folder : dats->folders) {
        std::string held = "no DAT files there: put some there, or give --dat";
        if (!folder.exists) {
            held = "not there: make it and put DAT files in it, or give --dat";
        } else if (folder.files > 0) {
            held = std::to_string(folder.files) +
                   (folder.files == 1 ? " DAT file, " : " DAT files, ") +
                   std::to_string(folder.entries) + (folder.entries == 1 ? " entry" : " entries");
        }
        Row(context, "DAT folder", PathText(folder.path) + ": " + held);
    }
}

// --- info ------------------------------------------------------------------------------------

struct InfoRequest {};

Outcome RunInfo(ToolContext& context, const InfoRequest& /*request*/) {
    const auto reader = ConnectReader(context);
    if (!reader) {
        return reader.Error();
    }
    Row(context, "reader", std::string(reader->row->system) + " reader " + reader->identity);
    Row(context, "drive", reader->place.Detailed());
    Row(context, "can", Abilities());
    Row(context, "dump", DumpRange(*reader->profile));
    if (reader->profile->sizeRule == SizeRule::FromRomEnd) {
        if (auto failed = N64Rows(context, *reader)) {
            return failed;
        }
    }
    DatRows(context);
    return std::nullopt;
}

constexpr std::array<OptionBinding<InfoRequest>, 0> kInfoOptions{};
constexpr std::array<OperandBinding<InfoRequest>, 0> kInfoOperands{};

// --- status ----------------------------------------------------------------------------------

struct StatusRequest {};

Outcome RunStatus(ToolContext& context, const StatusRequest& /*request*/) {
    const auto reader = ConnectReader(context);
    if (!reader) {
        return reader.Error();
    }
    if (!SlotOffered(DriverSlot::Status)) {
        return Failure(NotOffered(*reader,
                                  "has no cartridge status report (the FC2 and NES readers have "
                                  "one)."));
    }
    const FailureWatch watch(context.Host());
    SystemDriver.StatusSlot();
    if (watch.Failed()) {
        return GoneOr(context, *reader,
                      Failure("reading the cartridge status failed: " + watch.Reason() +
                              ". Check that the reader is plugged in and try again."),
                      "reading the cartridge status", "run status again");
    }
    return std::nullopt;
}

constexpr std::array<OptionBinding<StatusRequest>, 0> kStatusOptions{};
constexpr std::array<OperandBinding<StatusRequest>, 0> kStatusOperands{};

// --- control ---------------------------------------------------------------------------------

struct ControlRequest {
    std::uint64_t value = 0;
};

Outcome RunControl(ToolContext& context, const ControlRequest& request) {
    const auto reader = ConnectReader(context);
    if (!reader) {
        return reader.Error();
    }
    if (!SlotOffered(DriverSlot::Control)) {
        return Failure(NotOffered(*reader, "takes no control value (the FC2 and NES readers do)."));
    }
    const FailureWatch watch(context.Host());
    const int sent = SystemDriver.ControlSlot(static_cast<int>(request.value));
    if (sent <= 0 || watch.Failed()) {
        const std::string reason = watch.Failed() ? watch.Reason() : "the reader took no command";
        return GoneOr(context, *reader,
                      Failure("sending the control value failed: " + reason +
                              ". Check that the reader is plugged in and try again."),
                      "taking the control value", "send it again");
    }
    context.Out("sent control value " + text::Hex(request.value, 2) + " to the " + reader->Name() +
                "\n");
    return std::nullopt;
}

constexpr std::array<OptionBinding<ControlRequest>, 0> kControlOptions{};
constexpr auto kControlOperands = std::to_array<OperandBinding<ControlRequest>>({
    {{"VALUE"}, StoreNumber<&ControlRequest::value, kHighestControlValue, false>},
});

// --- trace -----------------------------------------------------------------------------------

struct TraceRequest {
    std::uint64_t address = 0;
    std::optional<std::string> from;
};

Outcome RunTrace(ToolContext& context, const TraceRequest& request) {
    const auto position = static_cast<int>(request.address);
    std::vector<std::uint8_t> code(kTraceSourceSize, 0);

    if (request.from) {
        // The disassembler is the library's own TraceDisassemble, the handler that the SFC, FC2,
        // NES and PCE readers put in their DisassembleSlot: a file needs no reader.
        const auto bytes = ReadInputFile(*request.from, kTraceSourceSize, true);
        if (!bytes) {
            return bytes.Error();
        }
        std::copy(bytes->begin(), bytes->end(), code.begin());
        if (bytes->size() < kTraceSourceSize) {
            context.Out(*request.from + " holds " + std::to_string(bytes->size()) +
                        " bytes; zeros follow them\n");
        }
        ResetDeviceGlobals();
        TraceDisassemble(code.data(), position);
        return std::nullopt;
    }

    const auto reader = ConnectReader(context);
    if (!reader) {
        return reader.Error();
    }
    if (!SlotOffered(DriverSlot::Disassemble)) {
        return Failure(NotOffered(*reader,
                                  "has no 6502 trace (the SFC, FC2, NES and PCE readers have "
                                  "one); trace --from FILE needs no reader."));
    }
    if (auto error = ReadRange(
            context, *reader, static_cast<std::uint32_t>(request.address), kTraceSourceSize,
            "reading", nullptr, [&](std::uint32_t at, std::span<const std::uint8_t> bytes) {
                std::copy(bytes.begin(), bytes.end(),
                          code.begin() + static_cast<std::ptrdiff_t>(at - request.address));
                return true;
            })) {
        return GoneOr(context, *reader, std::move(*error), "reading the code to trace",
                      "trace again");
    }
    SystemDriver.DisassembleSlot(code.data(), position);
    return std::nullopt;
}

constexpr auto kTraceOptions = std::to_array<OptionBinding<TraceRequest>>({
    {{"from", "FILE",
      "the first 256 bytes of FILE, placed at ADDR, instead of the cartridge;\n"
      "needs no reader (a shorter file is followed by zeros)"},
     StoreText<&TraceRequest::from>},
});
constexpr auto kTraceOperands = std::to_array<OperandBinding<TraceRequest>>({
    {{"ADDR"}, StoreNumber<&TraceRequest::address, kHighestTraceAddress, false>},
});

// --- check -----------------------------------------------------------------------------------

struct CheckRequest {
    std::string file;
    std::vector<std::string> dats;
};

Outcome RunCheck(ToolContext& context, const CheckRequest& request) {
    const auto dats = LoadDats(context, request.dats);
    if (!dats) {
        return dats.Error();
    }
    // Hashed as it is read: the report and the DAT lookup take the hashes.
    const auto image = ReadImageToCheck(context, request.file, kLargestImage);
    if (!image) {
        return image.Error();
    }
    context.Out("file " + image->name + "\n");
    const rom::ImageReport report =
        rom::ReportImageWithVerdict(image->bytes, image->kind, image->digests.file);
    context.Out(report.text);
    const DatAnswer dat = AskDats(*dats, image->digests);
    context.Out(dat.line);
    // A DAT entry that verifies the image outweighs its header: some cartridges left the factory
    // with a wrong checksum.
    if (report.headerBad && !dat.Verified()) {
        return Failure("a header check of " + image->name +
                       " says bad (see the report): the image is damaged or altered, or its "
                       "header is wrong.");
    }
    if (dats->given && !dat.Verified()) {
        return Failure("no entry of the DAT files given verifies " + image->name +
                       " (see the DAT line).");
    }
    return std::nullopt;
}

constexpr auto kCheckOptions = std::to_array<OptionBinding<CheckRequest>>({
    {{"dat", "DAT",
      "checks FILE against the DAT file DAT (or the DAT files in a folder DAT),\n"
      "and fails when no entry verifies it; may be given more than once.\n"
      "Without it, the DAT files in the default folder are used, for information:\n"
      "$XDG_DATA_HOME/reader-tool/dat or ~/.local/share/reader-tool/dat (Linux),\n"
      "%APPDATA%\\reader-tool\\dat and a dat folder beside the program (Windows)",
      true},
     StoreAppend<&CheckRequest::dats>},
});
constexpr auto kCheckOperands = std::to_array<OperandBinding<CheckRequest>>({
    {{"FILE"}, StoreText<&CheckRequest::file>},
});

}  // namespace

constexpr CommandRow kInfoCommand = BoundRow<kInfoOptions, kInfoOperands, RunInfo>({
    .name = "info",
    .summary = "the reader, what it can do, the cartridge and the DAT folders",
    .details =
        "Finds the reader and shows where it is, which commands it can serve and what a dump\n"
        "without --start and --size reads. For an N64 cartridge it finds the ROM's size as a\n"
        "dump does and shows the header's title, game code and boot code. Last, the folders\n"
        "where dump and check look for DAT files without --dat, and what they hold.\n",
});

constexpr CommandRow kStatusCommand = BoundRow<kStatusOptions, kStatusOperands, RunStatus>({
    .name = "status",
    .summary = "the cartridge status report (FC2, NES readers)",
    .details = "Prints the cartridge status report: the MISC byte, its IRQ and VRAM/CS bits and "
               "the\nmirroring (FC2 and NES readers).\n",
});

constexpr CommandRow kControlCommand = BoundRow<kControlOptions, kControlOperands, RunControl>({
    .name = "control",
    .synopsis = "VALUE",
    .summary = "sends a control value, 0 to 255, to the reader (FC2, NES readers)",
    .details = "Sends one control value, 0 to 255, to the reader (FC2 and NES readers).\n",
    .numbersHelp = true,
});

constexpr CommandRow kTraceCommand = BoundRow<kTraceOptions, kTraceOperands, RunTrace>({
    .name = "trace",
    .synopsis = "ADDR [--from FILE]",
    .summary = "ten 6502 trace lines from ADDR (SFC, FC2, NES, PCE readers)",
    .details =
        "Disassembles 6502 code: ten trace lines from ADDR (at most 0xFF00), of the 256 bytes\n"
        "at ADDR of the cartridge (SFC, FC2, NES and PCE readers).\n"
        "\n"
        "A line shows the address, the instruction's bytes, its mnemonic (* marks an\n"
        "undocumented one) and its operand. The code is not run, so no register holds a value:\n"
        "after \"=\" an absolute or zero-page operand shows the byte at that address among the\n"
        "256 bytes traced (0 elsewhere), but indexed and indirect operands show fixed\n"
        "placeholders where a running trace would show the effective address, and then the\n"
        "byte at $FFFF, not the byte the instruction would reach:\n"
        "  LDA $1234,X @ FFFF = 00         FFFF stands for $1234 + X (also $12,X and $12,Y)\n"
        "  LDA ($12,X) @ 00 = FFFF = 00    00 for $12 + X, FFFF for the address read there\n"
        "  LDA ($12),Y = 0000 @ FFFF = 00  0000 for the address read at $12, FFFF for it + Y\n"
        "  JMP ($1234) = FFFF              FFFF for the target read at $1234\n",
    .numbersHelp = true,
});

constexpr CommandRow kCheckCommand = BoundRow<kCheckOptions, kCheckOperands, RunCheck>({
    .name = "check",
    .synopsis = "FILE [--dat DAT]",
    .summary = "the dump report of an image on disk (needs no reader)",
    .details = "Prints the dump report of an image file: size, CRC32, SHA-1 and, for N64 and "
               "SFC\nimages (recognised from their content), what their headers say, and what "
               "the DAT\nfiles say of it. Needs no reader. FILE - reads the image from standard "
               "input.\nThe exit status is 1 when a header check says bad (unless a DAT entry "
               "verifies\nthe image), and with --dat when no entry verifies it.\n",
});

std::span<const CommandRow* const> Commands() {
    static constexpr std::array<const CommandRow*, 8> kCommands = {
        &kInfoCommand,    &kDumpCommand,  &kWriteCommand, &kStatusCommand,
        &kControlCommand, &kTraceCommand, &kCheckCommand, &kShellCommand,
    };
    return kCommands;
}

namespace {

// The folder a file named by path is in, as the user wrote it; empty for the current one.
std::string FolderOf(const std::string& path) {
    return std::filesystem::path(path).parent_path().string();
}

}  // namespace

std::optional<std::string> InputPathProblem(const std::string& path) {
    namespace fs = std::filesystem;
    std::error_code error;
    const auto status = fs::status(path, error);
    if (fs::is_directory(status)) {
        return path + " is a folder, not a file. Name a file in it.";
    }
    const std::string folder = FolderOf(path);
    if (!fs::exists(status) && !folder.empty() && !fs::is_directory(fs::status(folder, error))) {
        return "cannot open " + path + ": there is no folder " + folder + ". Check the name.";
    }
    return std::nullopt;
}

std::optional<std::string> OutputPathProblem(const std::string& path) {
    namespace fs = std::filesystem;
    std::error_code error;
    const std::string folder = FolderOf(path);
    if (folder.empty()) {
        return std::nullopt;
    }
    const auto status = fs::status(folder, error);
    if (!fs::exists(status)) {
        return "cannot write " + path + ": there is no folder " + folder +
               ". Create it, or choose another place.";
    }
    if (!fs::is_directory(status)) {
        return "cannot write " + path + ": " + folder +
               " is a file, not a folder. Choose another place.";
    }
    return std::nullopt;
}

Expected<std::vector<std::uint8_t>> ReadInputFile(const std::string& path, std::uint64_t most,
                                                  bool truncate) {
    if (auto problem = InputPathProblem(path)) {
        return Failure(std::move(*problem));
    }
    errno = 0;
    const std::unique_ptr<std::FILE, FileCloser> file(std::fopen(path.c_str(), "rb"));
    if (!file) {
        return Failure("cannot open " + path + ": " + std::strerror(errno) +
                       ". Check the name and that the file is readable.");
    }
    // A file larger than any image is refused from its size, before it is read.
    std::error_code sizeError;
    const std::uint64_t size = std::filesystem::file_size(path, sizeError);
    if (!truncate && !sizeError && size > most) {
        return Failure(path + " is larger than " + text::SizeText(most) +
                       ", more than any cartridge image this tool handles.");
    }
    std::vector<std::uint8_t> bytes;
    std::array<std::uint8_t, 64 * 1024> block{};
    while (true) {
        const std::size_t got = std::fread(block.data(), 1, block.size(), file.get());
        bytes.insert(bytes.end(), block.begin(), block.begin() + static_cast<std::ptrdiff_t>(got));
        if (bytes.size() > most) {
            if (truncate) {
                bytes.resize(static_cast<std::size_t>(most));
                return bytes;
            }
            return Failure(path + " is larger than " + text::SizeText(most) +
                           ", more than any cartridge image this tool handles.");
        }
        if (got < block.size()) {
            break;
        }
    }
    if (std::ferror(file.get()) != 0) {
        return Failure("reading " + path + " failed: " + std::strerror(errno) + ".");
    }
    return bytes;
}

}  // namespace reader::tool
