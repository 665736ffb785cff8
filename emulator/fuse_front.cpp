#include "emulator/fuse_front.hpp"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <limits>
#include <thread>
#include <utility>

#include "text/text.hpp"

namespace reader::emulator {
namespace {

constexpr std::array<std::string_view, 3> kRootFiles = {kCommandFileName, kStatusFileName,
                                                        kDataFileName};

// The errno of every access while the drive is gone.
constexpr int kDriveGone = ENOMEDIUM;

bool IsRoot(std::string_view path) {
    return path == "/";
}

bool WantsWrite(int flags) {
    const int access = flags & O_ACCMODE;
    return access == O_WRONLY || access == O_RDWR;
}

int ByteCount(std::uint32_t count) {
    return static_cast<int>(std::min<std::uint32_t>(count, std::numeric_limits<int>::max()));
}

}  // namespace

DataPacer::DataPacer(std::uint64_t bytesPerSecond, Now now, Wait wait)
    : bytesPerSecond_(std::max<std::uint64_t>(bytesPerSecond, 1)),
      now_(std::move(now)),
      wait_(std::move(wait)) {}

DataPacer::DataPacer(std::uint64_t bytesPerSecond)
    : DataPacer(
          bytesPerSecond, [] { return std::chrono::steady_clock::now(); },
          [](std::chrono::steady_clock::duration length) { std::this_thread::sleep_for(length); }) {
}

void DataPacer::Carry(std::uint64_t bytes) {
    using std::chrono::nanoseconds;
    const auto now = now_();
    const auto transfer = std::chrono::duration_cast<std::chrono::steady_clock::duration>(
        nanoseconds(static_cast<nanoseconds::rep>(bytes * 1'000'000'000ull / bytesPerSecond_)));
    busFreeAt_ = std::max(busFreeAt_, now) + transfer;
    if (busFreeAt_ > now) {
        wait_(busFreeAt_ - now);
    }
}

FuseFront::FuseFront(ReaderModel& model, const Clock& clock, char letter,
                     std::optional<std::uint32_t> powerOnAfterMs)
    : model_(model), clock_(clock), letter_(letter), powerOnAfterMs_(powerOnAfterMs) {
    NotePower();
}

std::optional<std::string_view> FuseFront::RootFileName(std::string_view path) {
    if (path.size() < 2 || path[0] != '/') {
        return std::nullopt;
    }
    const std::string_view name = path.substr(1);
    for (const std::string_view file : kRootFiles) {
        if (text::SameIgnoringCase(name, file)) {
            return file;
        }
    }
    return std::nullopt;
}

void FuseFront::NotePower() {
    if (model_.Powered()) {
        powerCutAtMs_.reset();
    } else if (!powerCutAtMs_) {
        powerCutAtMs_ = clock_.NowMs();
    }
}

bool FuseFront::DriveHere() {
    NotePower();
    if (powerCutAtMs_ && powerOnAfterMs_ && clock_.NowMs() - *powerCutAtMs_ >= *powerOnAfterMs_) {
        model_.PowerOn();
        powerCutAtMs_.reset();
    }
    return model_.Present() && model_.Letter() == letter_;
}

void FuseFront::TogglePower() {
    if (model_.Powered()) {
        model_.PowerCut();
    } else {
        model_.PowerOn();
    }
    NotePower();
}

int FuseFront::GetAttributes(std::string_view path, FrontAttributes& out) {
    if (!DriveHere()) {
        return -kDriveGone;
    }
    if (IsRoot(path)) {
        out = FrontAttributes{.directory = true, .size = 0, .writable = true};
        return 0;
    }
    const auto name = RootFileName(path);
    const auto size = name ? model_.FileSize(*name) : std::nullopt;
    if (!size) {
        return -ENOENT;
    }
    out = FrontAttributes{.directory = false, .size = *size, .writable = *name == kCommandFileName};
    return 0;
}

int FuseFront::OpenDirectory(std::string_view path) {
    if (!DriveHere()) {
        return -kDriveGone;
    }
    if (IsRoot(path)) {
        return 0;
    }
    return RootFileName(path) ? -ENOTDIR : -ENOENT;
}

int FuseFront::ListDirectory(std::string_view path, std::vector<std::string>& names) {
    const int opened = OpenDirectory(path);
    if (opened != 0) {
        return opened;
    }
    names.assign(kRootFiles.begin(), kRootFiles.end());
    return 0;
}

int FuseFront::Open(std::string_view path, int flags) {
    if (!DriveHere()) {
        return -kDriveGone;
    }
    if (IsRoot(path)) {
        return WantsWrite(flags) ? -EISDIR : 0;
    }
    const auto name = RootFileName(path);
    if (!name) {
        return -ENOENT;
    }
    if (!WantsWrite(flags)) {
        return 0;
    }
    if (*name != kCommandFileName) {
        return -EACCES;
    }
    return model_.OpenCommandFile((flags & O_TRUNC) != 0) ? 0 : -EIO;
}

int FuseFront::Create(std::string_view path, int flags) {
    if (!DriveHere()) {
        return -kDriveGone;
    }
    const auto name = RootFileName(path);
    if (!name || *name != kCommandFileName) {
        return -EACCES;
    }
    return Open(path, flags);
}

int FuseFront::Read(std::string_view path, std::uint64_t offset, std::span<std::uint8_t> out) {
    if (!DriveHere()) {
        return -kDriveGone;
    }
    if (IsRoot(path)) {
        return -EISDIR;
    }
    const auto name = RootFileName(path);
    const auto delivered = name ? model_.ReadFile(*name, offset, out) : std::nullopt;
    if (!delivered) {
        return -ENOENT;
    }
    if (dataPacer_ != nullptr && *name == kDataFileName) {
        dataPacer_->Carry(*delivered);
    }
    return ByteCount(*delivered);
}

int FuseFront::Write(std::string_view path, std::uint64_t offset,
                     std::span<const std::uint8_t> bytes) {
    if (!DriveHere()) {
        return -kDriveGone;
    }
    const auto name = RootFileName(path);
    if (!name || *name != kCommandFileName) {
        return -EACCES;
    }
    const auto written = model_.WriteCommandFile(offset, bytes);
    // A power cut inside this write: from now on the drive is gone.
    NotePower();
    if (!written) {
        return -EIO;
    }
    return ByteCount(*written);
}

int FuseFront::Truncate(std::string_view path, std::uint64_t size) {
    if (!DriveHere()) {
        return -kDriveGone;
    }
    if (IsRoot(path)) {
        return -EISDIR;
    }
    const auto name = RootFileName(path);
    if (!name) {
        return -ENOENT;
    }
    if (*name != kCommandFileName) {
        return -EACCES;
    }
    return model_.TruncateCommandFile(size) ? 0 : -EIO;
}

int FuseFront::Access(std::string_view path, int mask) {
    FrontAttributes attributes;
    const int found = GetAttributes(path, attributes);
    if (found != 0) {
        return found;
    }
    if ((mask & W_OK) != 0 && !attributes.writable) {
        return -EACCES;
    }
    if ((mask & X_OK) != 0 && !attributes.directory) {
        return -EACCES;
    }
    return 0;
}

int FuseFront::Touch(std::string_view path) {
    FrontAttributes attributes;
    return GetAttributes(path, attributes);
}

std::vector<std::string> FuseFront::TakeTranscript() {
    const auto& transcript = model_.Transcript();
    // Line by line: GCC 12 at -O2 takes a range assign of strings for a null dereference.
    std::vector<std::string> lines;
    for (std::size_t at = transcriptTaken_; at < transcript.size(); ++at) {
        lines.push_back(transcript[at]);
    }
    transcriptTaken_ = transcript.size();
    return lines;
}

}  // namespace reader::emulator
