// The in-process front of the emulated reader: a host whose drives and files live in memory, with a
// virtual clock and a captured console.
//
// It enforces the unbuffered-read rules of the real platform (position, count and buffer address
// each a multiple of 512, otherwise the read fails), because Wine, where the Windows build is
// tested, does not: alignment faults must show here.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "emulator/reader_model.hpp"
#include "platform/host.hpp"

namespace reader::emulator {

class VirtualClock final : public Clock {
  public:
    std::uint64_t NowMs() const override { return nowMs_; }
    void Advance(std::uint64_t ms) { nowMs_ += ms; }

  private:
    std::uint64_t nowMs_ = 0;
};

// One piece of console output: its text, which path it took, and the colour attribute in force
// while it was written (nothing when standard output is not a terminal).
struct ConsolePiece {
    enum class Path : std::uint8_t { Stream, Direct };
    Path path;
    std::string text;
    std::optional<std::uint16_t> attribute;

    friend bool operator==(const ConsolePiece&, const ConsolePiece&) = default;
};

// One write of a command file through WriteCommandFile: when it happened on the virtual clock,
// the drive, the bytes handed over and what the write reported.
struct CommandWrite {
    std::uint64_t atMs;
    char letter;
    std::vector<std::uint8_t> data;
    std::optional<std::uint32_t> result;
};

// One unbuffered read of a file on a drive: the drive, the file, the position the read started at
// and the number of bytes it asked for, whether or not the unbuffered rules let it through.
struct UnbufferedRead {
    char letter;
    std::string name;
    std::uint32_t position;
    std::size_t size;
};

// Counts of the device-file operations, for benchmarks and tests.
struct DeviceFileCounters {
    std::uint64_t opens = 0;
    std::uint64_t reads = 0;
    std::uint64_t writes = 0;
    std::uint64_t bytesRead = 0;
    std::uint64_t bytesWritten = 0;
    std::uint64_t refusedReads = 0;  // reads refused by the unbuffered rules
};

// The volume label an attached reader has unless it is given another (or none).
inline constexpr std::string_view kReaderVolumeLabel = "READER";

class EmulatedHost final : public platform::Host {
  public:
    EmulatedHost();
    ~EmulatedHost() override;

    // --- drives -----------------------------------------------------------------------------
    // A plain drive with the given files (for instance a fixed disk, or a removable drive that is
    // not the reader).
    void AddDrive(char letter, platform::DriveType type,
                  std::map<std::string, std::vector<std::uint8_t>> files = {},
                  std::string label = {});
    void RemoveDrive(char letter);
    // Plugs in an emulated reader; the model decides its letter and presence from then on. The
    // label is the volume's; an empty one is a volume without a label, whose label call succeeds
    // with an empty text, as Windows answers for it.
    ReaderModel& AttachReader(char letter, ReaderConfig config = {},
                              std::string label = std::string(kReaderVolumeLabel));
    ReaderModel& Reader(std::size_t index = 0) { return *readers_.at(index); }

    // --- time, console and keyboard ---------------------------------------------------------
    VirtualClock& Clock() { return clock_; }
    // When set, Sleep also waits in real time (the demo), besides advancing the virtual clock.
    void SetRealTime(bool realTime) { realTime_ = realTime; }
    // When set, console output is also passed to the real standard output, colours included.
    void SetEcho(platform::Host* echo) { echo_ = echo; }
    void SetTerminal(bool terminal) { terminal_ = terminal; }
    void SetAttribute(std::uint16_t attribute) { attribute_ = attribute; }
    std::uint16_t Attribute() const { return attribute_; }
    // New keys to read from the start; KeysRead counts again from 0.
    void SetInput(std::string keys) {
        input_ = std::move(keys);
        keysRead_ = 0;
    }
    // When set, ReadKey asks this host (the demo passes the native one, so keys come from the real
    // standard input) instead of the keys given with SetInput.
    void SetKeyboard(platform::Host* keyboard) { keyboard_ = keyboard; }
    std::size_t KeysRead() const { return keysRead_; }
    const std::vector<ConsolePiece>& Console() const { return console_; }
    std::string ConsoleText() const;
    void ClearConsole() { console_.clear(); }
    // Every Sleep, in order, in milliseconds.
    const std::vector<std::uint32_t>& Sleeps() const { return sleeps_; }
    // Called as each Sleep begins (before the clock moves) and as it ends, with the wait's index
    // among all Sleeps so far (0-based) and its length: lets a test cut the reader's power, or
    // bring it back, in the middle of one of the client's fixed waits.
    enum class SleepPhase : std::uint8_t { Begins, Ends };
    using SleepObserver =
        std::function<void(std::size_t index, std::uint32_t milliseconds, SleepPhase phase)>;
    void SetSleepObserver(SleepObserver observer) { sleepObserver_ = std::move(observer); }
    const DeviceFileCounters& Counters() const { return counters_; }
    // Every WriteCommandFile call, in order, whether or not it reached a drive.
    const std::vector<CommandWrite>& CommandWrites() const { return commandWrites_; }
    // Every ReadUnbuffered call that found its file, in order.
    const std::vector<UnbufferedRead>& UnbufferedReads() const { return unbufferedReads_; }
    void ResetCounters() { counters_ = {}; }

    // --- the process that runs the client ---------------------------------------------------
    // Stops the process right after the n-th command sector that reaches a reader from now on
    // (1-based), as a closed console window or Ctrl-C would: the sectors after it in the same
    // write never reach the reader, and from then on nothing the process does reaches anything.
    // Its device-file accesses fail without touching a drive, its waits take no time, its console
    // output and its key reads go nowhere. The readers keep running on the virtual clock.
    void StopProcessAfterSector(std::uint64_t sector);
    bool ProcessStopped() const { return processStopped_; }
    // A new process: the client's next run reaches the drives and the console again. Its globals
    // are the caller's to reset.
    void StartProcess();

    // --- platform::Host ---------------------------------------------------------------------
    std::uint32_t LogicalDrives() override;
    platform::DriveType DriveTypeOf(const char* root) override;
    bool VolumeLabelOf(const char* root, std::span<char> label) override;
    std::optional<std::uint32_t> ReadUnbuffered(const char* path, std::uint32_t position,
                                                std::span<std::uint8_t> destination) override;
    std::optional<std::uint32_t> WriteCommandFile(const char* path,
                                                  std::span<const std::uint8_t> data) override;
    std::optional<std::uint16_t> ConsoleAttribute() override;
    void SetConsoleAttribute(std::uint16_t attribute) override;
    void WriteConsole(std::string_view text) override;
    void WriteStream(std::string_view text) override;
    void Sleep(std::uint32_t milliseconds) override;
    int ReadKey() override;
    std::string FailureReason() override;

  private:
    struct PlainDrive {
        platform::DriveType type;
        std::string label;
        std::map<std::string, std::vector<std::uint8_t>> files;
    };
    // The reader present under a letter, and its label.
    ReaderModel* ReaderAt(char letter, const std::string** label = nullptr);
    PlainDrive* PlainAt(char letter);
    void Capture(ConsolePiece::Path path, std::string_view text);
    std::optional<std::uint32_t> WriteToDrive(char letter, std::string_view name,
                                              std::span<const std::uint8_t> data);
    std::nullopt_t Failed(std::string reason);
    std::nullopt_t NoDrive(char letter);

    VirtualClock clock_;
    std::map<char, PlainDrive> drives_;
    std::vector<std::unique_ptr<ReaderModel>> readers_;
    std::vector<std::string> readerLabels_;  // beside readers_
    bool realTime_ = false;
    platform::Host* echo_ = nullptr;
    bool terminal_ = true;
    std::uint16_t attribute_ = platform::kAttributeDefault;
    std::string input_;
    platform::Host* keyboard_ = nullptr;
    std::vector<CommandWrite> commandWrites_;
    std::vector<UnbufferedRead> unbufferedReads_;
    std::optional<std::uint64_t> stopAfterSector_;
    std::uint64_t sectorsToReaders_ = 0;
    bool processStopped_ = false;
    std::size_t keysRead_ = 0;
    std::vector<ConsolePiece> console_;
    std::vector<std::uint32_t> sleeps_;
    SleepObserver sleepObserver_;
    DeviceFileCounters counters_;
    std::string failure_;
};

// Installs a host for the lifetime of a scope and puts the previous one back.
using ScopedHost = platform::ScopedHost;

// Splits "E:\NAME" into its letter and its name; nothing for any other shape.
struct DevicePath {
    char letter;
    std::string name;
};
std::optional<DevicePath> ParseDevicePath(const char* path);

}  // namespace reader::emulator
