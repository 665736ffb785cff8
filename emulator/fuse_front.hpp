// The file-system front of the emulated reader: the file operations that the kernel (through
// libfuse) asks of the mounted drive, answered from a ReaderModel in real time.
//
// This class holds the drive's behaviour and knows nothing of libfuse, so it is tested directly;
// emulator/fuse_mount.cpp connects it to the kernel. Operations answer as a file system does:
// 0 or a byte count on success, a negative errno on failure.
//
// What the kernel and Wine do to the drive, and how it is answered:
//   - The root holds exactly CMD.CMD, T-DRIVER.DMP and DUMP.ROM; names are found without regard to
//     case (FAT is case-insensitive, and Wine looks names up that way too). Anything else, such as
//     the /.windows-label and /.windows-serial files that Wine asks for, does not exist.
//   - While the reader restarts, or has no power, or came back under another letter, the drive
//     is gone: every access fails with ENOMEDIUM, as a removable drive without its medium does.
//   - CMD.CMD may be opened for writing (also read-write, as Wine does) with or without O_TRUNC;
//     a create-always arrives either as O_TRUNC or as an open followed by a truncate to 0. The
//     other files are read-only, and no other file can be created.
//   - Writes of CMD.CMD may arrive in pieces (the kernel splits them at page edges); the model
//     assembles them by offset and runs each sector once it is complete, before the write returns.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "emulator/reader_model.hpp"

namespace reader::emulator {

// Real time, for the model behind a mounted drive.
class SteadyClock final : public Clock {
  public:
    std::uint64_t NowMs() const override {
        return static_cast<std::uint64_t>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                              std::chrono::steady_clock::now() - start_)
                                              .count());
    }

  private:
    std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
};

// The pace at which a reader on a USB bus delivers its data file: no faster than a set rate.
// The bus is busy for bytes / rate after it starts a transfer, and a transfer starts when the bus
// is free; an idle bus saves nothing up for later. Time and waiting come from outside, so tests
// run it on a made-up clock.
class DataPacer {
  public:
    using Now = std::function<std::chrono::steady_clock::time_point()>;
    using Wait = std::function<void(std::chrono::steady_clock::duration)>;

    DataPacer(std::uint64_t bytesPerSecond, Now now, Wait wait);
    // Real time.
    explicit DataPacer(std::uint64_t bytesPerSecond);

    // Returns once the bus has carried the bytes.
    void Carry(std::uint64_t bytes);

  private:
    std::uint64_t bytesPerSecond_;
    Now now_;
    Wait wait_;
    std::chrono::steady_clock::time_point busFreeAt_{};
};

struct FrontAttributes {
    bool directory = false;
    std::uint64_t size = 0;
    bool writable = false;
};

class FuseFront {
  public:
    // letter: the drive letter this mount stands for. powerOnAfterMs: after a power cut the power
    // comes back by itself after this long; without it, only through TogglePower.
    FuseFront(ReaderModel& model, const Clock& clock, char letter,
              std::optional<std::uint32_t> powerOnAfterMs = std::nullopt);

    // Reads of DUMP.ROM go at the pace of this pacer (a reader on a slower bus); without one, as
    // fast as the model serves them.
    void SetDataPacer(DataPacer* pacer) { dataPacer_ = pacer; }

    int GetAttributes(std::string_view path, FrontAttributes& out);
    int OpenDirectory(std::string_view path);
    int ListDirectory(std::string_view path, std::vector<std::string>& names);
    int Open(std::string_view path, int flags);
    int Create(std::string_view path, int flags);
    int Read(std::string_view path, std::uint64_t offset, std::span<std::uint8_t> out);
    int Write(std::string_view path, std::uint64_t offset, std::span<const std::uint8_t> bytes);
    int Truncate(std::string_view path, std::uint64_t size);
    // access(2): mask of R_OK, W_OK, X_OK.
    int Access(std::string_view path, int mask);
    // Time stamps, statfs and the like: succeed while the drive is there.
    int Touch(std::string_view path);

    // Cuts the power, or turns it on again (the boot rule then decides the mode).
    void TogglePower();
    // The transcript lines that arrived since the last call, in order.
    std::vector<std::string> TakeTranscript();

  private:
    bool DriveHere();
    void NotePower();
    // The file's canonical name for "/name" (any case); nothing for the root or anything else.
    static std::optional<std::string_view> RootFileName(std::string_view path);

    ReaderModel& model_;
    const Clock& clock_;
    char letter_;
    std::optional<std::uint32_t> powerOnAfterMs_;
    std::optional<std::uint64_t> powerCutAtMs_;
    std::size_t transcriptTaken_ = 0;
    DataPacer* dataPacer_ = nullptr;
};

}  // namespace reader::emulator
