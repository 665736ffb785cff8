// write: a file to the cartridge through WriteSlot, optionally read back and compared.
#include "drivers/device_library.hpp"
#include "frontend/commands.hpp"
#include "frontend/reader.hpp"
#include "frontend/transfer.hpp"
#include "text/text.hpp"

namespace reader::tool {
namespace {

constexpr std::uint64_t kHighestAddress = 0xFFFFFFFF;

struct WriteRequest {
    std::string in;
    std::optional<std::uint64_t> start;
    bool verify = false;
};

constexpr auto kWriteOptions = std::to_array<OptionBinding<WriteRequest>>({
    {{"start", "ADDR", "the cartridge address of the file's first byte"},
     StoreNumber<&WriteRequest::start, kHighestAddress, true>},
    {{"verify", "", "reads the bytes back afterwards and names the first address that\ndiffers"},
     StoreFlag<&WriteRequest::verify>},
});

constexpr auto kWriteOperands = std::to_array<OperandBinding<WriteRequest>>({
    {{"IN"}, StoreText<&WriteRequest::in>},
});

Outcome RunWrite(ToolContext& context, const WriteRequest& request) {
    const std::string& in = request.in;
    if (!request.start) {
        return UsageError(
            "write needs --start ADDR, the cartridge address of the file's first byte",
            &kWriteCommand);
    }
    const auto data = ReadInputFile(in, kLargestImage, false);
    if (!data) {
        return data.Error();
    }
    if (data->empty()) {
        return Failure(in + " is empty: there is nothing to write.");
    }

    const auto reader = ConnectReader(context);
    if (!reader) {
        return reader.Error();
    }
    if (!SlotOffered(DriverSlot::Write)) {
        return Failure(NotOffered(*reader,
                                  "cannot write cartridges: its driver has no write handler (the "
                                  "SFC, FC2, NES and PCE readers have one)."));
    }
    const std::uint64_t size = data->size();
    const std::uint64_t end = reader->profile->writeEnd;
    if (*request.start + size > end) {
        return UsageError("--start " + text::AddressText(*request.start) + " and the " +
                              text::SizeText(size) + " of " + in + " reach past " +
                              text::AddressText(end - 1) + ", the last address the " +
                              reader->Name() + " can write",
                          &kWriteCommand);
    }

    const auto address = static_cast<std::uint32_t>(*request.start);
    context.Out("writing " + in + ", " + text::LengthText(size) + ", to " +
                text::AddressText(address) + " to " + text::AddressText(address + size - 1) +
                " of the " + reader->Name() + "\n");
    {
        Progress progress(context, "write", size);
        std::uint64_t reached = address;
        auto failed = WriteRange(context, address, *data, &progress, &reached);
        progress.Finish();
        if (failed) {
            return GoneOr(
                context, *reader, std::move(*failed), "writing at " + text::AddressText(reached),
                "write again: the bytes before " + text::AddressText(reached) + " are written");
        }
    }
    context.Out("wrote " + text::ByteCountText(size) + "\n");

    if (request.verify) {
        Progress progress(context, "verify", size);
        std::optional<Mismatch> mismatch;
        auto failed =
            CompareRange(context, *reader, address, *data, "verifying", &progress, mismatch);
        progress.Finish();
        if (failed) {
            return GoneOr(context, *reader, std::move(*failed), "reading back the bytes it took",
                          "write again with --verify: every byte was written before it went away");
        }
        if (mismatch) {
            return Failure("verification failed: the cartridge differs first at " +
                           text::AddressText(mismatch->address) + " (written " +
                           text::Hex(mismatch->expected, 2) + ", read back " +
                           text::Hex(mismatch->found, 2) +
                           "). Check that the cartridge can be written there, reseat it and write "
                           "again.");
        }
        context.Out("verified: the cartridge holds the " + text::ByteCountText(size) +
                    " written\n");
    }
    return std::nullopt;
}

}  // namespace

constexpr CommandRow kWriteCommand = BoundRow<kWriteOptions, kWriteOperands, RunWrite>({
    .name = "write",
    .synopsis = "IN --start ADDR [--verify]",
    .summary = "writes the file IN to the cartridge (SFC, FC2, NES, PCE readers)",
    .details = "Writes the bytes of the file IN to the cartridge from ADDR on. The SFC, FC2, NES "
               "and\nPCE readers can write; the HND and N64 readers cannot.\n",
    .numbersHelp = true,
});

}  // namespace reader::tool
