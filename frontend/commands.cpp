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
#include "frontend/image_input.hpp"
#include "frontend/reader.hpp"
#include "frontend/rom/rom_report.hpp"
#include "frontend/transfer.hpp"
#include "platform/host.hpp"

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

std::string OfferedSlots() {
    struct Offer {
        DriverSlot slot;
        const char* text;
    };
    constexpr std::array<Offer, 5> kOffers = {{
        {DriverSlot::Read, "ReadSlot (dump)"},
        {DriverSlot::Write, "WriteSlot (write)"},
        {DriverSlot::Control, "ControlSlot (control)"},
        {DriverSlot::Status, "StatusSlot (status)"},
        {DriverSlot::Disassemble, "DisassembleSlot (trace)"},
    }};
    std::string text;
    for (const Offer& offer : kOffers) {
        if (SlotOffered(offer.slot)) {
            text += (text.empty() ? "" : ", ") + std::string(offer.text);
        }
    }
    return text.empty() ? "none" : text;
}

// --- info ------------------------------------------------------------------------------------

struct InfoRequest {};

Outcome RunInfo(ToolContext& context, const InfoRequest& /*request*/) {
    const auto reader = ConnectReader(context);
    if (!reader) {
        return reader.Error();
    }
    Row(context, "drive", std::string(1, reader->drive) + ":");
    Row(context, "identity", reader->identity);
    Row(context, "variant", reader->row->system);
    if (reader->row->keepWindow) {
        Row(context, "ROM window", "none (this reader sets no window)");
    } else {
        Row(context, "ROM window",
            Hex(SystemDriver.RomWindowStart, 8) + " to " + Hex(SystemDriver.RomWindowEnd, 8));
    }
    Row(context, "slots", OfferedSlots());
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
    const std::uint64_t failuresBefore = context.Host().Failures();
    SystemDriver.StatusSlot();
    if (context.Host().Failures() != failuresBefore) {
        return Failure("reading the cartridge status failed: " + context.Host().FailureReason() +
                       ". Check that the reader is plugged in and try again.");
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
    const std::uint64_t failuresBefore = context.Host().Failures();
    const int sent = SystemDriver.ControlSlot(static_cast<int>(request.value));
    if (sent <= 0 || context.Host().Failures() != failuresBefore) {
        const std::string reason = context.Host().Failures() != failuresBefore
                                       ? context.Host().FailureReason()
                                       : "the reader took no command";
        return Failure("sending the control value failed: " + reason +
                       ". Check that the reader is plugged in and try again.");
    }
    context.Out("sent control value " + Hex(request.value, 2) + " to the " + reader->Name() + "\n");
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
        return error;
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
};

Outcome RunCheck(ToolContext& context, const CheckRequest& request) {
    // Hashed as it is read: the report takes the hashes.
    const auto image = ReadImageToCheck(context, request.file, kLargestImage);
    if (!image) {
        return image.Error();
    }
    context.Out("file " + image->name + "\n");
    const rom::ImageReport report =
        rom::ReportImageWithVerdict(image->bytes, image->kind, image->digests.file);
    context.Out(report.text);
    if (report.headerBad) {
        return Failure("a header check of " + image->name +
                       " says bad (see the report): the image is damaged or altered, or its "
                       "header is wrong.");
    }
    return std::nullopt;
}

constexpr std::array<OptionBinding<CheckRequest>, 0> kCheckOptions{};
constexpr auto kCheckOperands = std::to_array<OperandBinding<CheckRequest>>({
    {{"FILE"}, StoreText<&CheckRequest::file>},
});

}  // namespace

constexpr CommandRow kInfoCommand = BoundRow<kInfoOptions, kInfoOperands, RunInfo>({
    .name = "info",
    .summary = "the reader: drive, identity, variant, ROM window, what it offers",
    .details = "Finds the reader and shows its drive, its identity, its variant, the ROM window "
               "it\nreports and the operations it offers.\n",
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
    .details = "Disassembles 6502 code: ten trace lines from ADDR (at most 0xFF00), of the 256 "
               "bytes\nat ADDR of the cartridge (SFC, FC2, NES and PCE readers).\n",
    .numbersHelp = true,
});

constexpr CommandRow kCheckCommand = BoundRow<kCheckOptions, kCheckOperands, RunCheck>({
    .name = "check",
    .synopsis = "FILE",
    .summary = "the dump report of an image on disk (needs no reader)",
    .details = "Prints the dump report of an image file: size, CRC32, SHA-1 and, for N64 and "
               "SFC\nimages (recognised from their content), what their headers say. Needs no "
               "reader.\nFILE - reads the image from standard input. The exit status is 1 when "
               "a header\ncheck says bad.\n",
});

std::span<const CommandRow* const> Commands() {
    static constexpr std::array<const CommandRow*, 8> kCommands = {
        &kInfoCommand,    &kDumpCommand,  &kWriteCommand, &kStatusCommand,
        &kControlCommand, &kTraceCommand, &kCheckCommand, &kShellCommand,
    };
    return kCommands;
}

Expected<std::vector<std::uint8_t>> ReadInputFile(const std::string& path, std::uint64_t most,
                                                  bool truncate) {
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
        return Failure(path + " is larger than " + HumanSize(most) +
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
            return Failure(path + " is larger than " + HumanSize(most) +
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
