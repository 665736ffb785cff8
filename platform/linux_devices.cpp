#include "platform/linux_devices.hpp"

#include <fstream>
#include <system_error>

namespace reader::platform::linux_os {
namespace {

namespace fs = std::filesystem;

constexpr std::string_view kDevPrefix = "/dev/";
constexpr std::string_view kUdevEscape = "\\x";
constexpr std::size_t kUdevEscapeLength = 4;  // backslash, x, two hex digits
constexpr unsigned kHexBase = 16;
constexpr std::string_view kUsbComponent = "usb";
constexpr int kMaxLinkHops = 40;  // as the kernel allows

// sysfs layout: class/block/<name> leads to the device's directory; a partition's directory sits
// inside the directory of its disk, and only the disk carries the removable flag.
constexpr std::string_view kSysfsBlockClass = "class/block";
constexpr std::string_view kRemovableFlag = "removable";
constexpr std::string_view kPartitionMarker = "partition";
constexpr std::string_view kByLabel = "disk/by-label";

std::optional<unsigned> HexValue(char c) {
    if (c >= '0' && c <= '9') {
        return static_cast<unsigned>(c - '0');
    }
    if (c >= 'a' && c <= 'f') {
        return static_cast<unsigned>(c - 'a' + 10);
    }
    if (c >= 'A' && c <= 'F') {
        return static_cast<unsigned>(c - 'A' + 10);
    }
    return std::nullopt;
}

// The path with its links resolved, also a link whose target does not exist (yet); the path as it
// is when even that fails.
fs::path Resolved(const fs::path& path) {
    fs::path current = path;
    std::error_code error;
    for (int hop = 0; hop < kMaxLinkHops && fs::is_symlink(current, error); ++hop) {
        const fs::path target = fs::read_symlink(current, error);
        if (error) {
            break;
        }
        current = target.is_absolute() ? target : current.parent_path() / target;
    }
    auto resolved = fs::weakly_canonical(current, error);
    return error ? current.lexically_normal() : resolved;
}

bool Exists(const fs::path& path) {
    std::error_code error;
    return fs::exists(path, error);
}

// A sysfs flag file holds "1\n" when set.
bool FlagSet(const fs::path& file) {
    std::ifstream in(file);
    char value = 0;
    return in.get(value) && value == '1';
}

// "usb1", "usb2", ...: the USB bus a device hangs off.
bool IsUsbComponent(const std::string& component) {
    if (component.compare(0, kUsbComponent.size(), kUsbComponent) != 0) {
        return false;
    }
    for (std::size_t at = kUsbComponent.size(); at < component.size(); ++at) {
        if (component[at] < '0' || component[at] > '9') {
            return false;
        }
    }
    return true;
}

// The sysfs directory of a block device: class/block/<name>, or for a partition that has no entry
// of its own there, the <name> directory inside its disk's directory.
std::optional<fs::path> SysfsDirectory(const fs::path& sysfsRoot, const std::string& kernelName) {
    const fs::path blockClass = sysfsRoot / kSysfsBlockClass;
    const fs::path direct = blockClass / kernelName;
    if (Exists(direct)) {
        return Resolved(direct);
    }
    // A partition's name begins with its disk's name (sdb1 in sdb, mmcblk0p1 in mmcblk0).
    std::error_code error;
    for (fs::directory_iterator disk(blockClass, error), end; !error && disk != end;
         disk.increment(error)) {
        const auto diskName = disk->path().filename().string();
        const fs::path inside = disk->path() / kernelName;
        if (kernelName.size() > diskName.size() && kernelName.starts_with(diskName) &&
            Exists(inside)) {
            return Resolved(inside);
        }
    }
    return std::nullopt;
}

}  // namespace

std::string DecodeUdevEscapes(std::string_view name) {
    std::string text;
    text.reserve(name.size());
    for (std::size_t at = 0; at < name.size(); ++at) {
        if (name.substr(at, kUdevEscape.size()) == kUdevEscape &&
            name.size() - at >= kUdevEscapeLength) {
            const auto high = HexValue(name[at + 2]);
            const auto low = HexValue(name[at + 3]);
            if (high && low) {
                text.push_back(
                    static_cast<char>(static_cast<unsigned char>(*high * kHexBase + *low)));
                at += kUdevEscapeLength - 1;
                continue;
            }
        }
        text.push_back(name[at]);
    }
    return text;
}

std::optional<std::string> KernelDeviceName(const fs::path& devRoot, std::string_view device) {
    if (device.substr(0, kDevPrefix.size()) != kDevPrefix || device.size() == kDevPrefix.size()) {
        return std::nullopt;
    }
    const fs::path node = Resolved(devRoot / device.substr(kDevPrefix.size()));
    auto name = node.filename().string();
    if (name.empty() || name == "." || name == "..") {
        return std::nullopt;
    }
    return name;
}

bool IsRemovableDevice(const fs::path& sysfsRoot, const std::string& kernelName) {
    const auto directory = SysfsDirectory(sysfsRoot, kernelName);
    if (!directory) {
        return false;
    }
    if (FlagSet(*directory / kRemovableFlag)) {
        return true;
    }
    // A partition carries no flag of its own: its disk's directory holds it.
    const bool partition =
        Exists(*directory / kPartitionMarker) || !Exists(*directory / kRemovableFlag);
    if (partition && FlagSet(directory->parent_path() / kRemovableFlag)) {
        return true;
    }
    // Only the part below the sysfs root tells how the device is attached.
    for (const auto& component : directory->lexically_relative(Resolved(sysfsRoot))) {
        if (IsUsbComponent(component.string())) {
            return true;
        }
    }
    return false;
}

std::optional<std::string> LabelOfDevice(const fs::path& devRoot, std::string_view device) {
    if (device.substr(0, kDevPrefix.size()) != kDevPrefix) {
        return std::nullopt;
    }
    const fs::path node = Resolved(devRoot / device.substr(kDevPrefix.size()));
    std::error_code error;
    for (fs::directory_iterator link(devRoot / kByLabel, error), end; !error && link != end;
         link.increment(error)) {
        if (Resolved(link->path()) == node) {
            return DecodeUdevEscapes(link->path().filename().string());
        }
    }
    return std::nullopt;
}

}  // namespace reader::platform::linux_os
