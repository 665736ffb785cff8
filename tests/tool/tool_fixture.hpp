// reader-tool in process: the whole program run with RunTool against an emulated reader, its
// output captured, its operating system replaced by one whose terminal, Ctrl-C, clock and output
// files a test controls.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <functional>
#include <initializer_list>
#include <iterator>
#include <memory>
#include <optional>
#include <random>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "emulator/emulated_host.hpp"
#include "frontend/tool.hpp"
#include "frontend/tool_os.hpp"
#include "support/cartridge_fixture.hpp"
#include "support/host_fixture.hpp"
#include "text/text.hpp"

namespace reader::testing {

namespace fs = std::filesystem;

// A folder of its own for each test, removed with everything in it at the end.
class TempFolder {
  public:
    TempFolder() {
        static std::atomic<unsigned> counter{0};
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        std::string name = "reader-tool-";
        name += info != nullptr ? info->name() : "test";
        for (char& c : name) {
            if (!std::isalnum(static_cast<unsigned char>(c)) && c != '-') {
                c = '-';
            }
        }
        path_ = fs::temp_directory_path() / (name + "-" + std::to_string(std::random_device{}()) +
                                             "-" + std::to_string(counter++));
        fs::create_directories(path_);
    }
    ~TempFolder() {
        std::error_code ignored;
        fs::remove_all(path_, ignored);
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    const fs::path& Path() const { return path_; }
    std::string File(std::string_view name) const { return (path_ / name).string(); }

    // The names in the folder, sorted: what a failed transfer must not leave behind.
    std::vector<std::string> Names() const {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(path_)) {
            names.push_back(entry.path().filename().string());
        }
        std::sort(names.begin(), names.end());
        return names;
    }

  private:
    fs::path path_;
};

inline std::vector<std::uint8_t> ReadBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline void WriteBytes(const std::string& path, const std::vector<std::uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
}

// The test's operating system: output files are the real ones (so the atomic rename is the real
// one, in the order every backend shares), everything else is under the test's control.
class TestOs final : public tool::ToolOs {
  public:
    // Called with the final path when the n-th Write (1-based) of an output file starts: fail it,
    // or do something to the folder meanwhile (another program creating the final file).
    struct WriteHook {
        std::size_t atWrite = 1;
        bool fail = false;
        std::function<void(const std::string& finalPath)> action;
    };
    // A step of the output file ("reserve", "flush", "close", "move") that fails with reason.
    struct FileFault {
        std::string step;
        std::string reason;
    };

    std::unique_ptr<tool::PendingOutput> CreateOutput(const std::string& finalPath,
                                                      std::string& reason) override {
        auto inner = tool::CreateTemporaryFile(finalPath, reason);
        if (!inner) {
            return nullptr;
        }
        return tool::StageOutput(std::make_unique<HookedFile>(std::move(inner), finalPath, *this),
                                 finalPath);
    }

    std::optional<std::uint64_t> FreeSpace(const std::string& path) override {
        return freeSpace ? freeSpace : tool::NativeToolOs().FreeSpace(path);
    }
    bool InputIsTerminal() override { return inputTerminal; }
    bool ErrorIsTerminal() override { return errorTerminal; }
    std::optional<unsigned> TerminalWidth() override { return terminalWidth; }
    std::optional<std::size_t> ReadInput(std::span<std::uint8_t> bytes,
                                         std::string& /*reason*/) override {
        // A pipe delivers a little at a time.
        const std::size_t count =
            std::min({bytes.size(), std::size_t{1000}, standardInput.size() - inputAt});
        std::copy_n(standardInput.begin() + static_cast<std::ptrdiff_t>(inputAt), count,
                    bytes.begin());
        inputAt += count;
        return count;
    }
    std::optional<tool::StopSignal> Interruption() override {
        ++interruptChecks;
        if (interruptAtCheck && interruptChecks >= *interruptAtCheck && !interruption) {
            interruption = interruptSignal;
        }
        return interruption;
    }
    // Back to a quiet start: no terminal, no request to stop, no hook.
    void Reset() {
        inputTerminal = errorTerminal = false;
        interruption.reset();
        interruptSignal = tool::StopSignal::CtrlC;
        interruptAtCheck.reset();
        interruptChecks = 0;
        writeHook.reset();
        datFolders.clear();
        fileFault.reset();
        fileSteps.clear();
        freeSpace.reset();
        terminalWidth.reset();
        msPerReading = 200;
    }
    // Clears the request to stop that arrived; one still to come (at a later check) stays.
    void ClearInterrupt() override {
        if (interruption) {
            interruption.reset();
            interruptAtCheck.reset();
        }
    }
    // Every reading of the clock moves it on, so rates and times left have something to show. By
    // default each read of the reader seems slow, so reads stay at their first size (1 MiB).
    std::uint64_t NowMs() override { return nowMs += msPerReading; }
    // No DAT folder unless a test gives one: a test never meets the DAT files of the machine.
    std::vector<fs::path> DatFolders() override { return datFolders; }
    // The words of a system that names drives by letters, unless a test asks for the other.
    tool::DriveWords Drives() override { return drives; }

    bool inputTerminal = false;
    bool errorTerminal = false;
    std::optional<tool::StopSignal> interruption;  // the request to stop that arrived
    // interruptSignal arrives at this check (1-based).
    std::optional<std::size_t> interruptAtCheck;
    tool::StopSignal interruptSignal = tool::StopSignal::CtrlC;
    std::size_t interruptChecks = 0;
    std::uint64_t nowMs = 0;
    std::uint64_t msPerReading = 200;
    std::optional<WriteHook> writeHook;
    std::vector<fs::path> datFolders;
    tool::DriveWords drives = tool::kLetterDriveWords;
    std::optional<FileFault> fileFault;
    // The steps of every output file, in order: "reserve", "write", "flush", "close",
    // "move <name>", "sync", "remove".
    std::vector<std::string> fileSteps;
    std::optional<std::uint64_t> freeSpace;  // else the real file system's
    std::optional<unsigned> terminalWidth;
    std::vector<std::uint8_t> standardInput;
    std::size_t inputAt = 0;

  private:
    // The backend's own file, its steps recorded and failed as the test asks.
    class HookedFile final : public tool::TemporaryFile {
      public:
        HookedFile(std::unique_ptr<tool::TemporaryFile> inner, std::string finalPath, TestOs& os)
            : inner_(std::move(inner)), final_(std::move(finalPath)), os_(os) {}

        bool Reserve(std::uint64_t size) override {
            return Step("reserve") && inner_->Reserve(size);
        }
        bool Write(std::span<const std::uint8_t> bytes) override {
            const auto& hook = os_.writeHook;
            if (hook && ++writes_ == hook->atWrite) {
                if (hook->action) {
                    hook->action(final_);
                }
                if (hook->fail) {
                    reason_ = "No space left on device";
                    return false;
                }
            }
            return Step("write") && inner_->Write(bytes);
        }
        bool Flush() override { return Step("flush") && inner_->Flush(); }
        bool Close() override { return Step("close") && inner_->Close(); }
        Moved MoveTo(const std::string& path, bool replace) override {
            return Step("move " + fs::path(path).filename().string())
                       ? inner_->MoveTo(path, replace)
                       : Moved::Failed;
        }
        void SyncFolderOf(const std::string& path) override {
            Step("sync");
            inner_->SyncFolderOf(path);
        }
        void Remove() override {
            Step("remove");
            inner_->Remove();
        }
        std::string Reason() const override { return reason_.empty() ? inner_->Reason() : reason_; }

      private:
        // Records the step (a run of writes as one) and fails it when the fault names it.
        bool Step(const std::string& step) {
            auto& steps = os_.fileSteps;
            if (step != "write" || steps.empty() || steps.back() != "write") {
                steps.push_back(step);
            }
            if (os_.fileFault && step.starts_with(os_.fileFault->step)) {
                reason_ = os_.fileFault->reason;
                return false;
            }
            return true;
        }

        std::unique_ptr<tool::TemporaryFile> inner_;
        std::string final_;
        TestOs& os_;
        std::size_t writes_ = 0;
        std::string reason_;
    };
};

// In front of the emulated host: lets a test act on the reader at the n-th read of the data file
// (cut its power before the read, or flip a byte of what it delivered).
class DataReadHost final : public platform::ForwardingHost {
  public:
    explicit DataReadHost(emulator::EmulatedHost& inner) : ForwardingHost(inner) {}

    // Called before the n-th read of DUMP.ROM (1-based) is passed on.
    std::function<void(std::size_t read)> beforeRead;
    // Called with what the n-th read delivered.
    std::function<void(std::size_t read, std::span<std::uint8_t> delivered)> afterRead;
    // The n-th read (first) of DUMP.ROM delivers at most this many bytes (second).
    std::optional<std::pair<std::size_t, std::uint32_t>> shortDelivery;
    std::size_t DataReads() const { return dataReads_; }
    void Reset() {
        beforeRead = nullptr;
        afterRead = nullptr;
        shortDelivery.reset();
        dataReads_ = 0;
    }

    std::optional<std::uint32_t> ReadUnbuffered(const char* path, std::uint32_t position,
                                                std::span<std::uint8_t> destination) override {
        const auto parsed = emulator::ParseDevicePath(path);
        const bool data = parsed && text::SameIgnoringCase(parsed->name, emulator::kDataFileName);
        if (data) {
            ++dataReads_;
            if (beforeRead) {
                beforeRead(dataReads_);
            }
        }
        const auto delivered = Inner().ReadUnbuffered(path, position, destination);
        if (data && delivered && afterRead) {
            afterRead(dataReads_, destination.first(*delivered));
        }
        if (data && delivered && shortDelivery && shortDelivery->first == dataReads_) {
            return std::min(*delivered, shortDelivery->second);
        }
        return delivered;
    }

  private:
    std::size_t dataReads_ = 0;
};

struct ToolRun {
    int status;
    std::string out;
    std::string err;
    std::size_t refusedWrites = 0;  // writes of standard output that the output fault refused
};

// Standard output that takes `accepted` bytes and then refuses every write: a pipe whose reader
// went away, or a full disk.
struct OutputFault {
    std::size_t accepted;
    tool::StreamWrite::Result result;
    const char* reason;
};

class ToolFixture : public HostFixture {
  protected:
    ToolFixture() : dataHost_(host_), scoped_(dataHost_) {}

    emulator::ReaderModel& Attach(std::string_view identity, std::uint8_t misc = 0,
                                  char letter = 'E') {
        emulator::ReaderConfig config;
        config.fixedIdentity = std::string(identity);
        config.miscByte = misc;
        return host_.AttachReader(letter, std::move(config));
    }

    // Runs reader-tool with these arguments; the shell reads `input` line by line.
    ToolRun Run(std::vector<std::string> args) {
        std::vector<std::string_view> views(args.begin(), args.end());
        ToolRun run{0, {}, {}};
        std::size_t nextLine = 0;
        const tool::ToolStreams streams{
            [this, &run](std::string_view text) -> tool::StreamWrite {
                if (outputFault && run.out.size() + text.size() > outputFault->accepted) {
                    ++run.refusedWrites;
                    run.out += text.substr(
                        0, outputFault->accepted - std::min(run.out.size(), outputFault->accepted));
                    return {outputFault->result, outputFault->reason};
                }
                run.out += text;
                return {};
            },
            [&run](std::string_view text) { run.err += text; },
            // The prompt goes to standard output, as on a terminal.
            [this, &run, &nextLine](std::string_view prompt) -> std::optional<std::string> {
                run.out += prompt;
                if (nextLine >= input.size()) {
                    return std::nullopt;
                }
                return input[nextLine++];
            }};
        run.status = tool::RunTool(views, streams, os);
        return run;
    }

    // The image bytes the variant's test cartridge holds from address on.
    static std::vector<std::uint8_t> Image(emulator::CartridgeSystem system, std::uint64_t address,
                                           std::size_t count) {
        std::vector<std::uint8_t> bytes(count);
        for (std::size_t i = 0; i < count; ++i) {
            bytes[i] =
                emulator::CartridgeImageByte(system, static_cast<std::uint32_t>(address + i));
        }
        return bytes;
    }

    std::size_t CommandWrites() const { return host_.CommandWrites().size(); }

    TestOs os;
    std::vector<std::string> input;
    std::optional<OutputFault> outputFault;
    TempFolder folder;
    DataReadHost dataHost_;

  private:
    emulator::ScopedHost scoped_;
};

}  // namespace reader::testing
