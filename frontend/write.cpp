// write: a file to the cartridge through WriteSlot, optionally read back and compared.
#include "drivers/device_library.hpp"
#include "frontend/commands.hpp"
#include "frontend/reader.hpp"
#include "frontend/transfer.hpp"

namespace reader::tool {
namespace {

constexpr std::uint64_t kHighestAddress = 0xFFFFFFFF;

}  // namespace

int RunWrite(const ToolContext& context, const CommandLine& line) {
    const std::string& in = line.operands[0];
    const std::string* startText = line.Value("start");
    if (startText == nullptr) {
        return context.Usage(
            "write needs --start ADDR, the cartridge address of the file's first "
            "byte",
            CommandId::Write);
    }
    int status = kExitFailure;
    const auto start = NumberValue(context, CommandId::Write, "--start", *startText,
                                   kHighestAddress, true, status);
    if (!start) {
        return status;
    }
    const auto data = ReadInputFile(context, in, kLargestImage, false);
    if (!data) {
        return kExitFailure;
    }
    if (data->empty()) {
        return context.Failure(in + " is empty: there is nothing to write.");
    }

    const auto reader = ConnectReader(context);
    if (!reader) {
        return kExitFailure;
    }
    if (!SlotOffered(DriverSlot::Write)) {
        return context.Failure(NotOffered(*reader,
                                          "cannot write cartridges: its driver has no "
                                          "write handler (the SFC, FC2, NES and PCE "
                                          "readers have one)."));
    }
    const std::uint64_t size = data->size();
    const std::uint64_t end = reader->profile->writeEnd;
    if (*start + size > end) {
        return context.Usage("--start " + Hex(*start) + " and the " + HumanSize(size) + " of " +
                                 in + " reach past " + Hex(end - 1) + ", the last address the " +
                                 reader->Name() + " can write",
                             CommandId::Write);
    }

    const auto address = static_cast<std::uint32_t>(*start);
    context.Out("writing " + in + ", " + SizeText(size) + ", to " + Hex(address, 8) + " to " +
                Hex(address + size - 1, 8) + " of the " + reader->Name() + "\n");
    {
        Progress progress(context, "write", size);
        const auto failed = WriteRange(context, address, *data, &progress);
        progress.Finish();
        if (failed) {
            return context.Failure(failed->message);
        }
    }
    context.Out("wrote " + std::to_string(size) + " bytes\n");

    if (line.Has("verify")) {
        Progress progress(context, "verify", size);
        std::optional<Mismatch> mismatch;
        const auto failed =
            CompareRange(context, *reader, address, *data, "verifying", &progress, mismatch);
        progress.Finish();
        if (failed) {
            return context.Failure(failed->message);
        }
        if (mismatch) {
            return context.Failure("verification failed: the cartridge differs first at " +
                                   Hex(mismatch->address, 8) + " (written " +
                                   Hex(mismatch->expected, 2) + ", read back " +
                                   Hex(mismatch->found, 2) +
                                   "). Check that the cartridge can be written there, reseat it "
                                   "and write again.");
        }
        context.Out("verified: the cartridge holds the " + std::to_string(size) +
                    " bytes written\n");
    }
    return kExitSuccess;
}

}  // namespace reader::tool
