// dump: the cartridge into a file, written atomically, with an optional second read to compare,
// the N64 byte order the user wants, and the dump report.
#include <filesystem>
#include <memory>
#include <system_error>

#include "drivers/device_library.hpp"
#include "frontend/commands.hpp"
#include "frontend/reader.hpp"
#include "frontend/rom/rom_report.hpp"
#include "frontend/transfer.hpp"

namespace reader::tool {
namespace {

namespace fs = std::filesystem;

// An SFC cartridge's internal header lies in its first 64 KiB (LoROM at 0x7FC0, HiROM at 0xFFC0).
constexpr std::uint64_t kSfcHeaderArea = 0x10000;
constexpr std::uint64_t kHighestAddress = 0xFFFFFFFF;

struct DumpRequest {
    std::string out;
    std::optional<std::uint64_t> start;
    std::optional<std::uint64_t> size;
    std::optional<rom::N64ByteOrder> byteOrder;
    bool verify = false;
    bool force = false;
};

std::optional<DumpRequest> ParseRequest(const ToolContext& context, const CommandLine& line,
                                        int& status) {
    DumpRequest request;
    request.out = line.operands[0];
    request.verify = line.Has("verify");
    request.force = line.Has("force");
    if (const std::string* text = line.Value("start")) {
        request.start =
            NumberValue(context, CommandId::Dump, "--start", *text, kHighestAddress, true, status);
        if (!request.start) {
            return std::nullopt;
        }
    }
    if (const std::string* text = line.Value("size")) {
        request.size =
            NumberValue(context, CommandId::Dump, "--size", *text, kLargestImage, true, status);
        if (!request.size) {
            return std::nullopt;
        }
        if (*request.size == 0) {
            status = context.Usage("--size must be more than 0", CommandId::Dump);
            return std::nullopt;
        }
    }
    if (const std::string* text = line.Value("byte-order")) {
        request.byteOrder = rom::ParseN64ByteOrder(*text);
        if (!request.byteOrder) {
            status = context.Usage(
                "--byte-order takes big-endian, byte-swapped or little-endian "
                "(or z64, v64, n64), not '" +
                    *text + "'",
                CommandId::Dump);
            return std::nullopt;
        }
    }
    return request;
}

// The size of an SFC cartridge from its internal header, with the sentence that says so.
std::optional<std::uint64_t> SfcSize(const ToolContext& context, const ConnectedReader& reader,
                                     std::uint64_t start, int& status) {
    std::vector<std::uint8_t> area(kSfcHeaderArea);
    const auto error =
        ReadRange(context, reader, 0, kSfcHeaderArea, "reading", nullptr,
                  [&](std::uint32_t at, std::span<const std::uint8_t> bytes) {
                      std::copy(bytes.begin(), bytes.end(), std::span(area).subspan(at).begin());
                      return true;
                  });
    if (error) {
        status = context.Failure(error->message);
        return std::nullopt;
    }
    const auto header = rom::FindSfcHeader(area);
    if (!header || header->romSize <= start || header->romSize > reader.profile->readEnd) {
        status = context.Usage(
            "the " + reader.Name() + " needs --size: " +
                (header ? "the cartridge's internal header gives a ROM size of " +
                              HumanSize(header->romSize) + ", which does not fit --start"
                        : std::string("the cartridge shows no plausible internal header at "
                                      "0x7FC0 or 0xFFC0, so its size is unknown")),
            CommandId::Dump);
        return std::nullopt;
    }
    context.Out("size from the cartridge's internal header (" +
                std::string(header->hiRom ? "HiROM at 0xFFC0" : "LoROM at 0x7FC0") + ", \"" +
                header->title + "\"): ROM size " + HumanSize(header->romSize) + "\n");
    return header->romSize - start;
}

// Works out the range when the user left it open, and checks it against what the reader can
// address.
bool SettleRange(const ToolContext& context, const ConnectedReader& reader, DumpRequest& request,
                 int& status) {
    const VariantProfile& profile = *reader.profile;
    if (!request.start) {
        request.start = profile.startsAtWindow ? SystemDriver.RomWindowStart : 0;
    }
    const std::uint64_t start = *request.start;
    if (start < profile.lowestRead) {
        status = context.Usage("the " + reader.Name() +
                                   " cannot read from address 0: its read command sends no "
                                   "address 0. Start at its ROM window " +
                                   Hex(SystemDriver.RomWindowStart, 8),
                               CommandId::Dump);
        return false;
    }
    if (start >= profile.readEnd) {
        status = context.Usage("--start " + Hex(start) + " is beyond the addresses of the " +
                                   reader.Name() + ", which end at " + Hex(profile.readEnd - 1),
                               CommandId::Dump);
        return false;
    }
    if (!request.size) {
        switch (profile.sizeRule) {
            case SizeRule::Required:
                status = context.Usage(
                    "the " + reader.Name() + " needs --size: " + std::string(profile.sizeReason),
                    CommandId::Dump);
                return false;
            case SizeRule::ToEndOfSpace:
                request.size = profile.readEnd - start;
                context.Out("size up to the end of the 6502's address space: " + Hex(start, 4) +
                            " to " + Hex(profile.readEnd - 1, 4) +
                            " (the cartridge window the reader reports, " +
                            Hex(SystemDriver.RomWindowStart, 4) + " to " +
                            Hex(SystemDriver.RomWindowEnd, 4) + ", and the vectors above it)\n");
                break;
            case SizeRule::FromSfcHeader:
                request.size = SfcSize(context, reader, start, status);
                if (!request.size) {
                    return false;
                }
                break;
        }
    }
    if (start + *request.size > profile.readEnd) {
        status = context.Usage("--start " + Hex(start) + " and --size " + Hex(*request.size) +
                                   " reach past " + Hex(profile.readEnd - 1) +
                                   ", the last address of the " + reader.Name(),
                               CommandId::Dump);
        return false;
    }
    return true;
}

// Puts an N64 image into the byte order asked for (big-endian unless --byte-order says
// otherwise) and says what it did.
void ArrangeN64(const ToolContext& context, const DumpRequest& request,
                std::span<std::uint8_t> image) {
    const rom::N64ByteOrder wanted = request.byteOrder.value_or(rom::N64ByteOrder::BigEndian);
    const auto presented = rom::DetectN64ByteOrder(image);
    if (!presented) {
        context.Out(
            "byte order: unknown (the image does not start with an N64 ROM marker); "
            "written as the cartridge presented it\n");
        return;
    }
    if (*presented != wanted) {
        rom::ConvertN64ByteOrder(image, *presented, wanted);
        context.Out("byte order: written " + std::string(rom::N64ByteOrderName(wanted)) +
                    " (the cartridge presented it " +
                    std::string(rom::N64ByteOrderName(*presented)) + ")\n");
        return;
    }
    context.Out("byte order: " + std::string(rom::N64ByteOrderName(wanted)) +
                ", as the cartridge presented it\n");
}

}  // namespace

int RunDump(const ToolContext& context, const CommandLine& line) {
    int status = kExitFailure;
    auto request = ParseRequest(context, line, status);
    if (!request) {
        return status;
    }
    const std::string& out = request->out;
    std::error_code error;
    const auto existing = fs::symlink_status(out, error);
    if (fs::is_directory(existing)) {
        return context.Failure(out + " is a folder. Name the file to write.");
    }
    if (fs::exists(existing) && !request->force) {
        return context.Failure(out +
                               " already exists. Give --force to replace it, or choose "
                               "another name.");
    }

    const auto reader = ConnectReader(context);
    if (!reader) {
        return kExitFailure;
    }
    const rom::ImageKind kind = reader->profile->kind;
    if (request->byteOrder && kind != rom::ImageKind::N64) {
        return context.Usage("--byte-order is for N64 cartridges; the " + reader->Name() +
                                 " reads its bytes in one order only",
                             CommandId::Dump);
    }
    if (!SettleRange(context, *reader, *request, status)) {
        return status;
    }
    const auto start = static_cast<std::uint32_t>(*request->start);
    const std::uint64_t size = *request->size;

    // The file is started before the long read, so a folder that cannot take it shows at once.
    std::string reason;
    auto pending = context.Os().CreateOutput(out, reason);
    if (!pending) {
        return context.Failure("cannot create a file beside " + out + ": " + reason +
                               ". Check that its folder exists and can be written.");
    }

    std::unique_ptr<AlignedBuffer> storage;
    std::span<std::uint8_t> image;
    context.Out("dumping " + Hex(start, 8) + " to " + Hex(start + size - 1, 8) + ", " +
                SizeText(size) + ", from the " + reader->Name() + "\n");
    const std::string notWritten = " " + out + " was not written.";
    {
        Progress progress(context, "dump", size);
        const std::uint64_t startedMs = context.Os().NowMs();
        const auto failed =
            ReadImage(context, *reader, start, size, "reading", &progress, storage, image);
        progress.Finish();
        if (failed) {
            return context.Failure(failed->message + notWritten);
        }
        context.Out("read " + HumanSize(size) + " in " +
                    RateText(size, context.Os().NowMs() - startedMs) + "\n");
    }

    if (request->verify) {
        Progress progress(context, "verify", size);
        std::optional<Mismatch> mismatch;
        const auto failed =
            CompareRange(context, *reader, start, image, "verifying", &progress, mismatch);
        progress.Finish();
        if (failed) {
            return context.Failure(failed->message + notWritten);
        }
        if (mismatch) {
            return context.Failure(
                "verification failed: the second read differs first at " +
                Hex(mismatch->address, 8) + " (" + Hex(mismatch->expected, 2) + ", then " +
                Hex(mismatch->found, 2) +
                "). The cartridge's contacts may be dirty or it may sit loosely: clean them, "
                "reseat it and dump again." +
                notWritten);
        }
        context.Out("verified: a second read of all " + HumanSize(size) + " matches\n");
    }

    if (kind == rom::ImageKind::N64) {
        ArrangeN64(context, *request, image);
    }
    if (!pending->Write(image)) {
        return context.Failure("writing " + out + " failed: " + pending->Reason() +
                               ". Free some space or choose another place." + notWritten);
    }
    if (context.Os().InterruptRequested()) {
        return context.Failure("interrupted (Ctrl-C) before " + out + " was put in place." +
                               notWritten);
    }
    if (!pending->Commit(request->force)) {
        if (pending->FinalPathTaken()) {
            return context.Failure(out +
                                   " appeared while the dump ran and was kept; the dump was "
                                   "not written. Give --force to replace it, or choose "
                                   "another name.");
        }
        return context.Failure("putting " + out + " in place failed: " + pending->Reason() + "." +
                               notWritten);
    }
    context.Out("wrote " + out + ": " + std::to_string(size) + " bytes\n");
    context.Out(rom::ReportImage(image, kind));
    return kExitSuccess;
}

}  // namespace reader::tool
