// The host services on Linux. The reader's drive is a FAT volume mounted somewhere; drive letters
// are given to the FAT-family mounts in the order of their mount points (see linux_mounts.hpp),
// and sysfs says whether the disk behind one can be pulled out.
#include "platform/linux_host.hpp"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <string_view>
#include <system_error>
#include <utility>
#include <vector>

#include "platform/linux_devices.hpp"
#include "platform/linux_mounts.hpp"
#include "platform/posix_descriptor.hpp"
#include "text/text.hpp"

namespace reader::platform {
namespace {

namespace fs = std::filesystem;
using linux_os::MountEntry;
using posix::FileDescriptor;

// "E:" or "E:\" names a drive's root; "E:\NAME" a file in it.
constexpr std::size_t kLetterAt = 0;
constexpr std::size_t kColonAt = 1;
constexpr std::size_t kSeparatorAt = 2;
constexpr std::size_t kNameAt = 3;
constexpr char kDriveColon = ':';

constexpr mode_t kCommandFileMode = 0644;
constexpr std::size_t kLargestCount = UINT32_MAX;

bool IsPathSeparator(char c) {
    return c == '\\' || c == '/';
}

bool Exists(const fs::path& path) {
    std::error_code error;
    return fs::exists(fs::symlink_status(path, error)) && !error;
}

// The lettered volumes of the mount table as it stands now. An unreadable table has none.
std::vector<MountEntry> LetteredVolumesNow(const fs::path& table) {
    std::ifstream in(table, std::ios::binary);
    if (!in) {
        return {};
    }
    // Streamed whole through the buffer: the table reports a size of 0, and GCC's optimiser warns
    // (wrongly) about the iterator form in release builds.
    std::ostringstream text;
    text << in.rdbuf();
    return linux_os::LetteredVolumes(linux_os::ParseMountTable(text.str()));
}

std::optional<MountEntry> VolumeOfLetter(const fs::path& table, char letter) {
    const auto index = linux_os::VolumeIndexOf(letter);
    if (!index) {
        return std::nullopt;
    }
    auto volumes = LetteredVolumesNow(table);
    if (*index >= volumes.size()) {
        return std::nullopt;
    }
    return std::move(volumes[*index]);
}

// The volume of a root string: a letter and a colon, optionally followed by one separator.
std::optional<MountEntry> VolumeOfRoot(const fs::path& table, const char* root) {
    if (root == nullptr || root[kLetterAt] == '\0' || root[kColonAt] != kDriveColon) {
        return std::nullopt;
    }
    const bool bare = root[kSeparatorAt] == '\0';
    const bool withSeparator = IsPathSeparator(root[kSeparatorAt]) && root[kNameAt] == '\0';
    if (!bare && !withSeparator) {
        return std::nullopt;
    }
    return VolumeOfLetter(table, root[kLetterAt]);
}

// The entry called name in directory: the exact name when it is there, else the entry whose name
// matches without regard to case (the FAT volume itself ignores case, a copy on another file
// system may not). With keepWhenMissing, a name that matches nothing is kept as given.
std::optional<fs::path> EntryOf(const fs::path& directory, std::string_view name,
                                bool keepWhenMissing) {
    fs::path exact = directory / name;
    if (Exists(exact)) {
        return exact;
    }
    std::optional<fs::path> match;
    std::error_code error;
    for (fs::directory_iterator entry(directory, error), end; !error && entry != end;
         entry.increment(error)) {
        const auto candidate = entry->path().filename();
        // Several names that differ only in case: the first in byte order, so the choice does
        // not depend on the order of the listing.
        if (text::SameIgnoringCase(candidate.native(), name) &&
            (!match || candidate < match->filename())) {
            match = entry->path();
        }
    }
    if (match) {
        return match;
    }
    if (keepWhenMissing) {
        return exact;
    }
    return std::nullopt;
}

// A letter and a colon: a path on a lettered drive ("E:\NAME"); anything else is a path of the
// system's own.
bool IsDevicePath(const char* path) {
    return std::isalpha(static_cast<unsigned char>(path[kLetterAt])) != 0 &&
           path[kColonAt] == kDriveColon;
}

// The file that a path names. A device path is looked up in its drive's mount point, and one that
// would climb out of the drive is refused; any other path is the system's own and is used as it
// is, as CreateFileA takes both.
std::optional<fs::path> FileOf(const fs::path& table, const char* path, bool forCreate) {
    if (path == nullptr || path[kLetterAt] == '\0') {
        return std::nullopt;
    }
    if (!IsDevicePath(path)) {
        return fs::path(path);
    }
    if (!IsPathSeparator(path[kSeparatorAt])) {
        return std::nullopt;
    }
    std::vector<std::string_view> components;
    std::string_view rest(path + kNameAt);
    while (!rest.empty()) {
        const auto end = std::find_if(rest.begin(), rest.end(), IsPathSeparator);
        const auto length = static_cast<std::size_t>(end - rest.begin());
        const std::string_view component = rest.substr(0, length);
        if (component == "." || component == "..") {
            return std::nullopt;
        }
        if (!component.empty()) {
            components.push_back(component);
        }
        rest.remove_prefix(std::min(rest.size(), length + 1));
    }
    if (components.empty()) {
        return std::nullopt;
    }
    const auto volume = VolumeOfLetter(table, path[kLetterAt]);
    if (!volume) {
        return std::nullopt;
    }
    fs::path file = volume->mountPoint;
    for (std::size_t i = 0; i < components.size(); ++i) {
        const bool last = i + 1 == components.size();
        auto entry = EntryOf(file, components[i], forCreate && last);
        if (!entry) {
            return std::nullopt;
        }
        file = std::move(*entry);
    }
    return file;
}

// A plain open for file systems that refuse O_DIRECT (tmpfs on older kernels, some FUSE mounts):
// the cached pages are dropped first so the read still goes to the device.
FileDescriptor OpenDroppingCache(const fs::path& file) {
    FileDescriptor fd(::open(file.c_str(), O_RDONLY | O_CLOEXEC));
    if (fd) {
        (void)::posix_fadvise(fd.get(), 0, 0, POSIX_FADV_DONTNEED);
    }
    return fd;
}

}  // namespace

LinuxHost::LinuxHost(LinuxHostPaths paths) : paths_(std::move(paths)) {}

std::uint32_t LinuxHost::LogicalDrives() {
    const auto volumes = LetteredVolumesNow(paths_.mountTable);
    std::uint32_t mask = 0;
    for (std::size_t index = 0; index < volumes.size(); ++index) {
        mask |= 1u << (static_cast<std::size_t>(linux_os::kFirstVolumeLetter - 'A') + index);
    }
    return mask;
}

DriveType LinuxHost::DriveTypeOf(const char* root) {
    const auto volume = VolumeOfRoot(paths_.mountTable, root);
    if (!volume) {
        return DriveType::NoRootDir;
    }
    const auto kernelName = linux_os::KernelDeviceName(paths_.devRoot, volume->device);
    if (kernelName && linux_os::IsRemovableDevice(paths_.sysfsRoot, *kernelName)) {
        return DriveType::Removable;
    }
    return DriveType::Fixed;
}

bool LinuxHost::VolumeLabelOf(const char* root, std::span<char> label) {
    if (label.empty()) {
        return false;
    }
    const auto volume = VolumeOfRoot(paths_.mountTable, root);
    if (!volume) {
        return false;
    }
    const auto found = linux_os::LabelOfDevice(paths_.devRoot, volume->device);
    if (!found) {
        return false;
    }
    const std::size_t length = std::min(found->size(), label.size() - 1);
    std::copy_n(found->begin(), length, label.begin());
    label[length] = '\0';
    return true;
}

std::nullopt_t LinuxHost::Failed(int error) {
    failure_ = std::strerror(error);
    return std::nullopt;
}

std::nullopt_t LinuxHost::NoFile(const char* path) {
    // A drive letter that names no mounted volume (the reader unplugged, or restarting and not yet
    // mounted again) is a missing device, not a missing file.
    const bool drive = path != nullptr && path[kLetterAt] != '\0' &&
                       VolumeOfLetter(paths_.mountTable, path[kLetterAt]).has_value();
    return Failed(drive ? ENOENT : ENODEV);
}

std::string LinuxHost::FailureReason() {
    return failure_;
}

std::string LinuxHost::RootFolderOf(char letter) {
    const auto volume = VolumeOfLetter(paths_.mountTable, letter);
    return volume ? volume->mountPoint : std::string();
}

std::optional<std::uint32_t> LinuxHost::ReadUnbuffered(const char* path, std::uint32_t position,
                                                       std::span<std::uint8_t> destination) {
    const auto file = FileOf(paths_.mountTable, path, false);
    if (!file) {
        return NoFile(path);
    }
    // O_DIRECT keeps the page cache out of the way, so every read is served by the reader.
    FileDescriptor fd(::open(file->c_str(), O_RDONLY | O_DIRECT | O_CLOEXEC));
    bool direct = true;
    if (!fd && errno == EINVAL) {
        fd = OpenDroppingCache(*file);
        direct = false;
    }
    if (!fd) {
        return Failed(errno);
    }
    const std::size_t wanted = std::min(destination.size(), kLargestCount);
    std::size_t delivered = 0;
    while (delivered < wanted) {
        const ssize_t got = ::pread(fd.get(), destination.data() + delivered, wanted - delivered,
                                    static_cast<off_t>(position) + static_cast<off_t>(delivered));
        if (got > 0) {
            // A FUSE file served with direct_io may deliver less than asked before the end.
            delivered += static_cast<std::size_t>(got);
            continue;
        }
        if (got == 0) {
            break;
        }
        if (errno == EINTR) {
            continue;
        }
        // The file system took O_DIRECT at the open but refuses this position, count or buffer.
        if (errno == EINVAL && direct) {
            fd = OpenDroppingCache(*file);
            direct = false;
            if (!fd) {
                return Failed(errno);
            }
            continue;
        }
        return Failed(errno);
    }
    return static_cast<std::uint32_t>(delivered);
}

std::optional<std::uint32_t> LinuxHost::WriteCommandFile(const char* path,
                                                         std::span<const std::uint8_t> data) {
    const auto file = FileOf(paths_.mountTable, path, true);
    if (!file) {
        return NoFile(path);
    }
    // O_SYNC: the sectors have reached the reader, which acts on them, when the write returns.
    const FileDescriptor fd(
        ::open(file->c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_SYNC | O_CLOEXEC, kCommandFileMode));
    if (!fd) {
        return Failed(errno);
    }
    // One write for the whole command, so the reader receives its sectors together.
    const std::size_t length = std::min(data.size(), kLargestCount);
    ssize_t written = 0;
    do {
        written = ::write(fd.get(), data.data(), length);
    } while (written < 0 && errno == EINTR);
    if (written < 0) {
        return Failed(errno);
    }
    (void)::fsync(fd.get());
    return static_cast<std::uint32_t>(written);
}

Host& NativeHost() {
    static LinuxHost host;
    return host;
}

}  // namespace reader::platform
