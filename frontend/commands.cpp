// The short commands: info, status, control, trace and check, and what the commands share.
#include "frontend/commands.hpp"

#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

#include "drivers/device_library.hpp"
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

void Row(const ToolContext& context, std::string_view name, const std::string& value) {
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

}  // namespace

std::optional<std::uint64_t> NumberValue(const ToolContext& context, CommandId command,
                                         std::string_view what, std::string_view text,
                                         std::uint64_t most, bool allowSizeSuffix, int& status) {
    const auto value = ParseNumber(text, allowSizeSuffix);
    if (!value) {
        status = context.Usage(std::string(what) + " takes a number (decimal, or hexadecimal as " +
                                   "0x1F), not '" + std::string(text) + "'",
                               command);
        return std::nullopt;
    }
    if (*value > most) {
        status = context.Usage(std::string(what) + " " + std::string(text) + " is too large (at " +
                                   "most " + Hex(most) + ")",
                               command);
        return std::nullopt;
    }
    return value;
}

std::optional<std::vector<std::uint8_t>> ReadInputFile(const ToolContext& context,
                                                       const std::string& path, std::uint64_t most,
                                                       bool truncate) {
    errno = 0;
    const std::unique_ptr<std::FILE, FileCloser> file(std::fopen(path.c_str(), "rb"));
    if (!file) {
        context.Failure("cannot open " + path + ": " + std::strerror(errno) +
                        ". Check the name and that the file is readable.");
        return std::nullopt;
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
            context.Failure(path + " is larger than " + HumanSize(most) +
                            ", more than any cartridge image this tool handles.");
            return std::nullopt;
        }
        if (got < block.size()) {
            break;
        }
    }
    if (std::ferror(file.get()) != 0) {
        context.Failure("reading " + path + " failed: " + std::strerror(errno) + ".");
        return std::nullopt;
    }
    return bytes;
}

int RunInfo(const ToolContext& context, const CommandLine& /*line*/) {
    const auto reader = ConnectReader(context);
    if (!reader) {
        return kExitFailure;
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
    return kExitSuccess;
}

int RunStatus(const ToolContext& context, const CommandLine& /*line*/) {
    const auto reader = ConnectReader(context);
    if (!reader) {
        return kExitFailure;
    }
    if (!SlotOffered(DriverSlot::Status)) {
        return context.Failure(NotOffered(*reader,
                                          "has no cartridge status report (the FC2 and "
                                          "NES readers have one)."));
    }
    const std::uint64_t failuresBefore = context.Host().Failures();
    SystemDriver.StatusSlot();
    if (context.Host().Failures() != failuresBefore) {
        return context.Failure(
            "reading the cartridge status failed: " + context.Host().FailureReason() +
            ". Check that the reader is plugged in and try again.");
    }
    return kExitSuccess;
}

int RunControl(const ToolContext& context, const CommandLine& line) {
    int status = kExitSuccess;
    const auto value = NumberValue(context, CommandId::Control, "VALUE", line.operands[0],
                                   kHighestControlValue, false, status);
    if (!value) {
        return status;
    }
    const auto reader = ConnectReader(context);
    if (!reader) {
        return kExitFailure;
    }
    if (!SlotOffered(DriverSlot::Control)) {
        return context.Failure(
            NotOffered(*reader, "takes no control value (the FC2 and NES readers do)."));
    }
    const std::uint64_t failuresBefore = context.Host().Failures();
    const int sent = SystemDriver.ControlSlot(static_cast<int>(*value));
    if (sent <= 0 || context.Host().Failures() != failuresBefore) {
        const std::string reason = context.Host().Failures() != failuresBefore
                                       ? context.Host().FailureReason()
                                       : "the reader took no command";
        return context.Failure("sending the control value failed: " + reason +
                               ". Check that the reader is plugged in and try again.");
    }
    context.Out("sent control value " + Hex(*value, 2) + " to the " + reader->Name() + "\n");
    return kExitSuccess;
}

int RunTrace(const ToolContext& context, const CommandLine& line) {
    int status = kExitSuccess;
    const auto address = NumberValue(context, CommandId::Trace, "ADDR", line.operands[0],
                                     kHighestTraceAddress, false, status);
    if (!address) {
        return status;
    }
    const auto position = static_cast<int>(*address);
    std::vector<std::uint8_t> code(kTraceSourceSize, 0);

    if (const std::string* from = line.Value("from")) {
        // The disassembler is the library's own TraceDisassemble, the handler that the SFC, FC2,
        // NES and PCE readers put in their DisassembleSlot: a file needs no reader.
        const auto bytes = ReadInputFile(context, *from, kTraceSourceSize, true);
        if (!bytes) {
            return kExitFailure;
        }
        std::copy(bytes->begin(), bytes->end(), code.begin());
        if (bytes->size() < kTraceSourceSize) {
            context.Out(*from + " holds " + std::to_string(bytes->size()) +
                        " bytes; zeros follow them\n");
        }
        ResetDeviceGlobals();
        TraceDisassemble(code.data(), position);
        return kExitSuccess;
    }

    const auto reader = ConnectReader(context);
    if (!reader) {
        return kExitFailure;
    }
    if (!SlotOffered(DriverSlot::Disassemble)) {
        return context.Failure(NotOffered(*reader,
                                          "has no 6502 trace (the SFC, FC2, NES and PCE "
                                          "readers have one); trace --from FILE needs no "
                                          "reader."));
    }
    const auto error =
        ReadRange(context, *reader, static_cast<std::uint32_t>(*address), kTraceSourceSize,
                  "reading", nullptr, [&](std::uint32_t at, std::span<const std::uint8_t> bytes) {
                      std::copy(bytes.begin(), bytes.end(),
                                code.begin() + static_cast<std::ptrdiff_t>(at - *address));
                      return true;
                  });
    if (error) {
        return context.Failure(error->message);
    }
    SystemDriver.DisassembleSlot(code.data(), position);
    return kExitSuccess;
}

int RunCheck(const ToolContext& context, const CommandLine& line) {
    const std::string& path = line.operands[0];
    const auto image = ReadInputFile(context, path, kLargestImage, false);
    if (!image) {
        return kExitFailure;
    }
    context.Out("file " + path + "\n");
    context.Out(rom::ReportImage(*image, rom::RecogniseImage(*image)));
    return kExitSuccess;
}

}  // namespace reader::tool
