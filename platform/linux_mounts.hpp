// The Linux mount table, seen the way the reader's users see drives: every mounted FAT-family
// volume (the reader formats its drive as FAT) is a drive letter from D upward, in the order of
// the mount points, so the same set of mounts always gives the same letters.
#pragma once

#include <cstddef>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace reader::platform::linux_os {

// One line of a mount table in the /proc/self/mounts format, with its escapes undone.
struct MountEntry {
    std::string device;
    std::string mountPoint;
    std::string fsType;
};

// Drive letters D to Z; A, B and C are never given to a volume.
inline constexpr char kFirstVolumeLetter = 'D';
inline constexpr char kLastVolumeLetter = 'Z';
inline constexpr std::size_t kMaxLetteredVolumes = kLastVolumeLetter - kFirstVolumeLetter + 1;

// The kernel writes a space, tab, newline or backslash inside a field as a backslash and three
// octal digits ("\040" for a space). Anything else stands as it is.
std::string UnescapeMountField(std::string_view field);

// The entries of a mount table text; lines with fewer than three fields are passed over.
std::vector<MountEntry> ParseMountTable(std::string_view text);

// vfat, msdos or exfat.
bool IsFatFamily(std::string_view fsType);

// The volumes that carry drive letters, in letter order: for every mount point the entry mounted
// last (the one that is visible there), when it is of the FAT family, sorted by mount point; at
// most kMaxLetteredVolumes of them.
std::vector<MountEntry> LetteredVolumes(std::span<const MountEntry> entries);

// The index into LetteredVolumes of a drive letter (either case), or nothing for a letter that
// cannot name a volume.
std::optional<std::size_t> VolumeIndexOf(char letter);

}  // namespace reader::platform::linux_os
