#include "link/discovery.hpp"

#include <algorithm>
#include <array>
#include <cstring>

#include "link/device_files.hpp"
#include "platform/host.hpp"

namespace reader {

char DeviceDrive = 0;
std::array<char, kIdentityBufferSize> DeviceIdentity{};
std::array<char, kVolumeLabelSize> VolumeLabel{};

namespace {
constexpr std::size_t kExpectedPrefixLength = 3;
}  // namespace

int ProbeDrive(char letter, const char* expected) {
    auto& host = platform::ActiveHost();

    std::array<char, kDevicePathBufferSize> root{};
    root[0] = letter;
    root[1] = ':';
    DeviceDrive = letter;

    if (host.DriveTypeOf(root.data()) != platform::DriveType::Removable) {
        return 0;
    }
    // The label is only informative: a reader without one (no label at all, or a call that
    // fails) is probed like any other. It starts empty so that a failed call leaves no label of
    // an earlier drive behind.
    VolumeLabel.fill(0);
    (void)host.VolumeLabelOf(root.data(), VolumeLabel);

    std::array<char, kDevicePathBufferSize> statusPath{};
    FormatDevicePath(statusPath, kStatusFileName, DeviceDrive);
    // Read into a local copy first so that a failed read leaves the identity as it was.
    std::array<std::uint8_t, kIdentityLength> identity{};
    if (ReplyRead(statusPath.data(), identity.data(), kIdentityLength, kIdentityOffset) == 0) {
        return 0;
    }
    std::memcpy(DeviceIdentity.data(), identity.data(), identity.size());

    if (expected == nullptr) {
        return 1;
    }
    return std::equal(DeviceIdentity.begin(), DeviceIdentity.begin() + kExpectedPrefixLength,
                      expected)
               ? 1
               : 0;
}

int FindDevice(int letter, const char* expected) {
    const auto drive = static_cast<char>(static_cast<unsigned>(letter) & 0xFFu);
    if (drive != 0) {
        return ProbeDrive(drive, expected);
    }
    std::uint32_t mask = platform::ActiveHost().LogicalDrives() >> kFirstScannedDrive;
    for (int index = kFirstScannedDrive; index <= kLastScannedDrive; ++index, mask >>= 1) {
        if ((mask & 1u) != 0 && ProbeDrive(static_cast<char>('A' + index), expected) == 1) {
            return 1;
        }
    }
    return 0;
}

}  // namespace reader
