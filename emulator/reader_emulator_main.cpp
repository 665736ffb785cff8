// reader-emulator: mounts an emulated cartridge reader as a directory, so that the real programs
// (n64-update on Linux, n64-update.exe under Wine) and front-ends talk to it through the operating
// system as they would to the hardware. Run it with --help for the options.
#include <cstdio>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "emulator/emulator_options.hpp"
#include "emulator/fuse_front.hpp"
#include "emulator/fuse_mount.hpp"

namespace {

using namespace reader::emulator;

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};

constexpr std::string_view kProgram = "reader-emulator";
constexpr int kUsageStatus = 2;

int Fail(std::string_view message) {
    std::fprintf(stderr, "reader-emulator: %.*s\n", static_cast<int>(message.size()),
                 message.data());
    return 1;
}

}  // namespace

int main(int argc, char** argv) {
    const std::vector<std::string_view> args(argv + 1, argv + argc);
    std::string error;
    auto options = ParseEmulatorOptions(args, true, error);
    if (options && options->help) {
        std::fputs(EmulatorUsage(kProgram).c_str(), stdout);
        return 0;
    }
    if (!options) {
        std::fputs(EmulatorUsageError(kProgram, error).c_str(), stderr);
        return kUsageStatus;
    }
    if (!CheckMountPoint(options->mountPoint, error) || !LoadReaderState(*options, error) ||
        !LoadCartridgeImage(*options, error)) {
        return Fail(error);
    }

    std::unique_ptr<std::FILE, FileCloser> transcript;
    if (!options->transcriptPath.empty()) {
        transcript.reset(std::fopen(options->transcriptPath.c_str(), "w"));
        if (!transcript) {
            return Fail("cannot write the transcript " + options->transcriptPath);
        }
    }

    SteadyClock clock;
    // The model takes the configuration over, the cartridge image with it (up to 64 MiB).
    ReaderModel model(clock, options->letter, std::move(options->config));
    if (options->startPoweredOff) {
        model.PowerCut();
    }
    FuseFront front(model, clock, options->letter, options->powerOnAfterMs);
    std::optional<DataPacer> pacer;
    if (options->dataBytesPerSecond) {
        pacer.emplace(*options->dataBytesPerSecond);
        front.SetDataPacer(&*pacer);
    }

    const FuseMountSettings settings{options->mountPoint, options->fuseDebug, transcript.get()};
    const bool served = ServeFuseFront(front, settings, error);

    // Whatever happened, the device keeps what it went through.
    int status = 0;
    if (!served) {
        status = Fail(error);
    }
    if (!options->statePath.empty() &&
        !SaveReaderState(options->statePath, model.Flash(), model.BootFlag(), error)) {
        status = Fail(error);
    }
    if (!options->cartridgeOutPath.empty() &&
        !SaveCartridgeImage(options->cartridgeOutPath, model.CartridgeImage(), error)) {
        status = Fail(error);
    }
    if (transcript) {
        for (const std::string& line : front.TakeTranscript()) {
            std::fprintf(transcript.get(), "%s\n", line.c_str());
        }
    }
    return status;
}
