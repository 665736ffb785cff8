// What Linux knows about the block device behind a mounted volume: whether it can be pulled out
// (the reader is a USB mass-storage device) and what its volume label is.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace reader::platform::linux_os {

// udev writes characters that cannot stand in a link name as "\xHH" ("MY\x20CARD"); this undoes
// it. Anything else stands as it is.
std::string DecodeUdevEscapes(std::string_view name);

// The kernel's name of a block device as the mount table names it ("/dev/sdb1", or a link such as
// "/dev/disk/by-uuid/..."), with "/dev" standing for devRoot. Nothing for a device outside /dev.
std::optional<std::string> KernelDeviceName(const std::filesystem::path& devRoot,
                                            std::string_view device);

// True when the block device, or the disk it is a partition of, has removable set to 1 in sysfs,
// or when it sits on a USB transport.
bool IsRemovableDevice(const std::filesystem::path& sysfsRoot, const std::string& kernelName);

// The label of the volume on the block device, from the /dev/disk/by-label links that udev keeps;
// nothing when no link leads to the device.
std::optional<std::string> LabelOfDevice(const std::filesystem::path& devRoot,
                                         std::string_view device);

}  // namespace reader::platform::linux_os
