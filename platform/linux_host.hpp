// Linux backend of the host services.
//
// Drive letters D to Z name the mounted FAT-family volumes (vfat, msdos, exfat) in a stable order,
// sorted by mount point. A path "E:\NAME" means NAME in the mount point of drive E, matched
// without regard to case as on the FAT volume itself; any other path is a file of the system's
// own, used as it is (as CreateFileA takes both). The mount table is read afresh on every
// call: the reader vanishes while it restarts and may come back on another mount point. The
// console, the waits and the key are POSIX's (PosixConsoleHost).
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>

#include "platform/posix_console.hpp"

namespace reader::platform {

// Where the backend reads the system's state from. The program uses the defaults; tests point
// them at a tree they make.
struct LinuxHostPaths {
    std::filesystem::path mountTable = "/proc/self/mounts";
    std::filesystem::path sysfsRoot = "/sys";
    std::filesystem::path devRoot = "/dev";
};

class LinuxHost final : public PosixConsoleHost {
  public:
    explicit LinuxHost(LinuxHostPaths paths = {});

    std::uint32_t LogicalDrives() override;
    DriveType DriveTypeOf(const char* root) override;
    bool VolumeLabelOf(const char* root, std::span<char> label) override;
    std::optional<std::uint32_t> ReadUnbuffered(const char* path, std::uint32_t position,
                                                std::span<std::uint8_t> destination) override;
    std::optional<std::uint32_t> WriteCommandFile(const char* path,
                                                  std::span<const std::uint8_t> data) override;
    std::string FailureReason() override;
    std::string RootFolderOf(char letter) override;

  private:
    // Records the reason of a failed device-file operation (an errno value) and returns nothing.
    std::nullopt_t Failed(int error);
    std::nullopt_t NoFile(const char* path);

    LinuxHostPaths paths_;
    std::string failure_;
};

}  // namespace reader::platform
