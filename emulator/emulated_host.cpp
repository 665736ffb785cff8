#include "emulator/emulated_host.hpp"

#include <algorithm>
#include <chrono>
#include <thread>

#include "drivers/system_driver.hpp"
#include "link/discovery.hpp"
#include "text/text.hpp"

namespace reader::emulator {
namespace {

using platform::DriveType;
using platform::kUnbufferedSectorSize;

// Why an operation failed, in the words the file-system front's errors have on Linux.
constexpr const char* kNoMedium = "No medium found";
constexpr const char* kNoDevice = "No such device";
constexpr const char* kNoFile = "No such file or directory";
constexpr const char* kBadPath = "Invalid argument";
constexpr const char* kUnalignedRead =
    "Invalid argument (an unbuffered read needs a position, a count and a buffer address that "
    "are multiples of 512)";
constexpr const char* kDeviceError = "Input/output error";
constexpr const char* kNotPermitted = "Operation not permitted";

std::optional<char> RootLetter(const char* root) {
    if (root == nullptr || root[0] == '\0' || root[1] != ':') {
        return std::nullopt;
    }
    return text::UpperAscii(root[0]);
}

}  // namespace

std::optional<DevicePath> ParseDevicePath(const char* path) {
    const auto letter = RootLetter(path);
    if (!letter || path[2] != '\\') {
        return std::nullopt;
    }
    return DevicePath{*letter, std::string(path + 3)};
}

EmulatedHost::EmulatedHost() = default;
EmulatedHost::~EmulatedHost() = default;

void EmulatedHost::AddDrive(char letter, DriveType type,
                            std::map<std::string, std::vector<std::uint8_t>> files,
                            std::string label) {
    drives_[letter] = PlainDrive{type, std::move(label), std::move(files)};
}

void EmulatedHost::RemoveDrive(char letter) {
    drives_.erase(letter);
}

ReaderModel& EmulatedHost::AttachReader(char letter, ReaderConfig config, std::string label) {
    readers_.push_back(std::make_unique<ReaderModel>(clock_, letter, std::move(config)));
    readerLabels_.push_back(std::move(label));
    return *readers_.back();
}

ReaderModel* EmulatedHost::ReaderAt(char letter, const std::string** label) {
    for (std::size_t i = 0; i < readers_.size(); ++i) {
        if (readers_[i]->Present() && readers_[i]->Letter() == letter) {
            if (label != nullptr) {
                *label = &readerLabels_[i];
            }
            return readers_[i].get();
        }
    }
    return nullptr;
}

EmulatedHost::PlainDrive* EmulatedHost::PlainAt(char letter) {
    const auto found = drives_.find(letter);
    return found == drives_.end() ? nullptr : &found->second;
}

void EmulatedHost::StopProcessAfterSector(std::uint64_t sector) {
    stopAfterSector_ = sector;
    sectorsToReaders_ = 0;
}

void EmulatedHost::StartProcess() {
    stopAfterSector_.reset();
    sectorsToReaders_ = 0;
    processStopped_ = false;
}

std::uint32_t EmulatedHost::LogicalDrives() {
    if (processStopped_) {
        return 0;
    }
    std::uint32_t mask = 0;
    for (char letter = 'A'; letter <= 'Z'; ++letter) {
        if (ReaderAt(letter) != nullptr || PlainAt(letter) != nullptr) {
            mask |= 1u << (letter - 'A');
        }
    }
    return mask;
}

DriveType EmulatedHost::DriveTypeOf(const char* root) {
    const auto letter = RootLetter(root);
    if (processStopped_ || !letter || root[2] != '\0') {
        return DriveType::NoRootDir;
    }
    if (ReaderAt(*letter) != nullptr) {
        return DriveType::Removable;
    }
    const PlainDrive* drive = PlainAt(*letter);
    return drive != nullptr ? drive->type : DriveType::NoRootDir;
}

bool EmulatedHost::VolumeLabelOf(const char* root, std::span<char> label) {
    const auto letter = RootLetter(root);
    if (processStopped_ || !letter || label.empty()) {
        return false;
    }
    // A volume without a label answers as Windows does for one: the call succeeds, the text is
    // empty.
    std::string text;
    const std::string* readerLabel = nullptr;
    if (ReaderAt(*letter, &readerLabel) != nullptr) {
        text = *readerLabel;
    } else if (const PlainDrive* drive = PlainAt(*letter)) {
        text = drive->label;
    } else {
        return false;
    }
    std::fill(label.begin(), label.end(), '\0');
    std::copy_n(text.begin(), std::min(text.size(), label.size() - 1), label.begin());
    return true;
}

std::nullopt_t EmulatedHost::Failed(std::string reason) {
    failure_ = std::move(reason);
    return std::nullopt;
}

std::nullopt_t EmulatedHost::NoDrive(char letter) {
    // A reader that is restarting or without power answers as the file-system front does, like a
    // card reader without its card; a letter with nothing behind it has no device.
    for (const auto& reader : readers_) {
        if (!reader->Present() && reader->Letter() == letter) {
            return Failed(kNoMedium);
        }
    }
    return Failed(kNoDevice);
}

std::string EmulatedHost::FailureReason() {
    return failure_;
}

std::optional<std::uint32_t> EmulatedHost::ReadUnbuffered(const char* path, std::uint32_t position,
                                                          std::span<std::uint8_t> destination) {
    const auto parsed = ParseDevicePath(path);
    if (processStopped_) {
        return std::nullopt;
    }
    if (!parsed) {
        return Failed(kBadPath);
    }
    ReaderModel* reader = ReaderAt(parsed->letter);
    PlainDrive* drive = reader == nullptr ? PlainAt(parsed->letter) : nullptr;
    // The open.
    std::optional<std::uint64_t> size;
    const std::vector<std::uint8_t>* plainFile = nullptr;
    if (reader != nullptr) {
        size = reader->FileSize(parsed->name);
    } else if (drive != nullptr) {
        for (const auto& [name, bytes] : drive->files) {
            if (text::SameIgnoringCase(name, parsed->name)) {
                plainFile = &bytes;
                size = bytes.size();
            }
        }
    }
    if (!size) {
        return reader == nullptr && drive == nullptr ? NoDrive(parsed->letter) : Failed(kNoFile);
    }
    ++counters_.opens;
    unbufferedReads_.push_back(
        UnbufferedRead{parsed->letter, parsed->name, position, destination.size()});
    // The rules of unbuffered reads: sector-aligned position, whole sectors, aligned buffer.
    const auto address = reinterpret_cast<std::uintptr_t>(destination.data());
    if (position % kUnbufferedSectorSize != 0 || destination.size() % kUnbufferedSectorSize != 0 ||
        address % kUnbufferedSectorSize != 0) {
        ++counters_.refusedReads;
        return Failed(kUnalignedRead);
    }
    ++counters_.reads;
    std::uint32_t delivered = 0;
    if (reader != nullptr) {
        const auto got = reader->ReadFile(parsed->name, position, destination);
        if (!got) {
            return Failed(kDeviceError);
        }
        delivered = *got;
    } else if (position < plainFile->size()) {
        const auto count = std::min(destination.size(), plainFile->size() - position);
        std::copy_n(std::span(*plainFile).subspan(position).begin(), count, destination.begin());
        delivered = static_cast<std::uint32_t>(count);
    }
    counters_.bytesRead += delivered;
    return delivered;
}

std::optional<std::uint32_t> EmulatedHost::WriteCommandFile(const char* path,
                                                            std::span<const std::uint8_t> data) {
    if (processStopped_) {
        return std::nullopt;
    }
    const auto parsed = ParseDevicePath(path);
    commandWrites_.push_back(CommandWrite{clock_.NowMs(), parsed ? parsed->letter : '\0',
                                          std::vector<std::uint8_t>(data.begin(), data.end()),
                                          std::nullopt});
    if (!parsed) {
        return Failed(kBadPath);
    }
    const auto result = WriteToDrive(parsed->letter, parsed->name, data);
    commandWrites_.back().result = result;
    return result;
}

std::optional<std::uint32_t> EmulatedHost::WriteToDrive(char letter, std::string_view name,
                                                        std::span<const std::uint8_t> data) {
    if (ReaderModel* reader = ReaderAt(letter)) {
        if (!text::SameIgnoringCase(name, kCommandFileName)) {
            return Failed(kNotPermitted);
        }
        if (!reader->OpenCommandFile(true)) {
            return Failed(kDeviceError);
        }
        ++counters_.opens;
        ++counters_.writes;
        // A process stopped inside this write gets the sectors up to the chosen one out.
        std::span<const std::uint8_t> reaching = data;
        if (stopAfterSector_) {
            const std::uint64_t left = *stopAfterSector_ - sectorsToReaders_;
            if (data.size() / kModelSectorSize >= left) {
                reaching = data.first(static_cast<std::size_t>(left) * kModelSectorSize);
                processStopped_ = true;
            }
            sectorsToReaders_ += reaching.size() / kModelSectorSize;
        }
        const auto written = reader->WriteCommandFile(0, reaching);
        counters_.bytesWritten += written.value_or(0);
        if (processStopped_) {
            return std::nullopt;  // nobody is there to hear how the write went
        }
        if (!written) {
            return Failed(reader->Present() ? kDeviceError : kNoMedium);
        }
        return written;
    }
    PlainDrive* drive = PlainAt(letter);
    if (drive == nullptr) {
        return NoDrive(letter);
    }
    ++counters_.opens;
    ++counters_.writes;
    drive->files[std::string(name)] = std::vector<std::uint8_t>(data.begin(), data.end());
    counters_.bytesWritten += data.size();
    return static_cast<std::uint32_t>(data.size());
}

std::optional<std::uint16_t> EmulatedHost::ConsoleAttribute() {
    if (processStopped_ || !terminal_) {
        return std::nullopt;
    }
    return attribute_;
}

void EmulatedHost::SetConsoleAttribute(std::uint16_t attribute) {
    if (processStopped_ || !terminal_) {
        return;
    }
    attribute_ = attribute;
    if (echo_ != nullptr) {
        echo_->SetConsoleAttribute(attribute);
    }
}

void EmulatedHost::Capture(ConsolePiece::Path path, std::string_view text) {
    if (processStopped_) {
        return;
    }
    const std::optional<std::uint16_t> attribute =
        terminal_ ? std::optional<std::uint16_t>(attribute_) : std::nullopt;
    // Consecutive pieces of the same path and colour are merged, so tests compare whole lines.
    if (!console_.empty() && console_.back().path == path &&
        console_.back().attribute == attribute) {
        console_.back().text.append(text);
    } else {
        console_.push_back(ConsolePiece{path, std::string(text), attribute});
    }
}

void EmulatedHost::WriteConsole(std::string_view text) {
    Capture(ConsolePiece::Path::Direct, text);
    if (echo_ != nullptr && !processStopped_) {
        echo_->WriteConsole(text);
    }
}

void EmulatedHost::WriteStream(std::string_view text) {
    Capture(ConsolePiece::Path::Stream, text);
    if (echo_ != nullptr && !processStopped_) {
        echo_->WriteStream(text);
    }
}

std::string EmulatedHost::ConsoleText() const {
    std::string text;
    for (const auto& piece : console_) {
        text += piece.text;
    }
    return text;
}

void EmulatedHost::Sleep(std::uint32_t milliseconds) {
    if (processStopped_) {
        return;
    }
    const std::size_t index = sleeps_.size();
    sleeps_.push_back(milliseconds);
    if (sleepObserver_) {
        sleepObserver_(index, milliseconds, SleepPhase::Begins);
    }
    if (realTime_) {
        std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
    }
    clock_.Advance(milliseconds);
    if (sleepObserver_) {
        sleepObserver_(index, milliseconds, SleepPhase::Ends);
    }
}

int EmulatedHost::ReadKey() {
    if (processStopped_) {
        return -1;
    }
    if (keyboard_ != nullptr) {
        ++keysRead_;
        return keyboard_->ReadKey();
    }
    if (keysRead_ >= input_.size()) {
        return -1;
    }
    return static_cast<unsigned char>(input_[keysRead_++]);
}

}  // namespace reader::emulator
