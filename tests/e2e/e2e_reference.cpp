// e2e-reference: what one run of the update client against a reader configured with
// reader-emulator's options must produce, worked out in process.
//
//   e2e-reference [reader-emulator options] > expected-stdout
//
// The same update client code runs against the same device model, through the in-process host
// (virtual time, captured console, no terminal) instead of the operating system. Its console text,
// the model's transcript (--transcript) and the flash state it leaves (--state) are what the real
// program, the operating system and the mounted emulator together must reproduce byte for byte.
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "emulator/emulated_host.hpp"
#include "emulator/emulator_options.hpp"
#include "update/update_client.hpp"

namespace {

using namespace reader::emulator;

int Fail(const std::string& message) {
    std::fprintf(stderr, "e2e-reference: %s\n", message.c_str());
    return 1;
}

}  // namespace

int main(int argc, char** argv) {
    const std::vector<std::string_view> args(argv + 1, argv + argc);
    std::string error;
    auto options = ParseEmulatorOptions(args, false, error);
    if (!options || options->help) {
        std::fputs(EmulatorUsage("e2e-reference").c_str(), stderr);
        return options ? 0 : Fail(error);
    }
    if (!LoadReaderState(*options, error)) {
        return Fail(error);
    }

    EmulatedHost host;
    host.SetTerminal(false);  // the real runs write to a file
    ReaderModel& model = host.AttachReader(options->letter, options->config);
    if (options->startPoweredOff) {
        model.PowerCut();
    }
    {
        const ScopedHost scoped(host);
        reader::UpdateClient();
    }

    const std::string text = host.ConsoleText();
    std::fwrite(text.data(), 1, text.size(), stdout);
    std::fflush(stdout);

    if (!options->transcriptPath.empty()) {
        std::FILE* transcript = std::fopen(options->transcriptPath.c_str(), "w");
        if (transcript == nullptr) {
            return Fail("cannot write " + options->transcriptPath);
        }
        for (const std::string& line : model.Transcript()) {
            std::fprintf(transcript, "%s\n", line.c_str());
        }
        std::fclose(transcript);
    }
    if (!options->statePath.empty() &&
        !SaveReaderState(options->statePath, model.Flash(), model.BootFlag(), error)) {
        return Fail(error);
    }
    return 0;
}
