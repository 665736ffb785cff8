#include "frontend/reader.hpp"

#include <array>

namespace reader::tool {
namespace {

// How far each variant's commands reach: the HND read command and the SFC and PCE commands carry
// 24-bit addresses (the SFC reader's two 8 MiB banks), the N64 read command 32 bits; the data file
// of the FC2 and NES readers is the 6502's 64 KiB address space.
constexpr std::uint64_t k24BitSpace = 0x1000000;
constexpr std::uint64_t kCpuSpace = 0x10000;
// The N64 read command carries 32 bits, but the cartridge's ROM domain ends where the console's
// boot ROM begins: nothing of a cartridge lies at or above 0x1FC00000.
constexpr std::uint64_t kN64CartridgeDomainEnd = 0x1FC00000;
constexpr std::uint64_t kNoWrite = 0;

constexpr auto kProfiles = std::to_array<VariantProfile>({
    {.system = "HND",
     .kind = rom::ImageKind::Other,
     .startsAtWindow = false,
     .addressInDataFile = false,
     .readEnd = k24BitSpace,
     .writeEnd = kNoWrite,
     .lowestRead = 0,
     .bankSize = 0,
     .sizeRule = SizeRule::Required,
     .sizeReason = "a handheld cartridge does not tell the reader its size"},
    {.system = "N64",
     .kind = rom::ImageKind::N64,
     .startsAtWindow = true,
     .addressInDataFile = false,
     .readEnd = kN64CartridgeDomainEnd,
     .writeEnd = kNoWrite,
     .lowestRead = 1,
     .bankSize = 0,
     .sizeRule = SizeRule::Required,
     .sizeReason = "an N64 cartridge does not tell the reader its size (usual sizes: 8M, 12M, "
                   "16M, 32M, 64M)"},
    {.system = "SFC",
     .kind = rom::ImageKind::Sfc,
     .startsAtWindow = false,
     .addressInDataFile = true,
     .readEnd = k24BitSpace,
     .writeEnd = k24BitSpace,
     .lowestRead = 0,
     .bankSize = cartridge::kSfcBankSize,
     .sizeRule = SizeRule::FromSfcHeader,
     .sizeReason = ""},
    {.system = "FC2",
     .kind = rom::ImageKind::Other,
     .startsAtWindow = true,
     .addressInDataFile = true,
     .readEnd = kCpuSpace,
     .writeEnd = kCpuSpace,
     .lowestRead = 0,
     .bankSize = 0,
     .sizeRule = SizeRule::ToEndOfSpace,
     .sizeReason = ""},
    {.system = "NES",
     .kind = rom::ImageKind::Other,
     .startsAtWindow = true,
     .addressInDataFile = true,
     .readEnd = kCpuSpace,
     .writeEnd = kCpuSpace,
     .lowestRead = 0,
     .bankSize = 0,
     .sizeRule = SizeRule::ToEndOfSpace,
     .sizeReason = ""},
    {.system = "PCE",
     .kind = rom::ImageKind::Other,
     .startsAtWindow = false,
     .addressInDataFile = true,
     .readEnd = k24BitSpace,
     .writeEnd = k24BitSpace,
     .lowestRead = 0,
     .bankSize = 0,
     .sizeRule = SizeRule::Required,
     .sizeReason = "a PCE card does not tell the reader its size"},
});

std::string DriveText(char letter) {
    return std::string(1, letter) + ":";
}

// Why the drive a user named is not the reader: not there, not removable, or the reason its
// status file could not be read.
std::string WhyNotAReader(ToolContext& context, char letter, std::uint64_t failuresBefore) {
    const std::string root = DriveText(letter);
    switch (platform::ActiveHost().DriveTypeOf(root.c_str())) {
        case platform::DriveType::Removable:
            if (context.Host().Failures() != failuresBefore) {
                return "its files cannot be read: " + context.Host().FailureReason();
            }
            return "it presents no identity";
        case platform::DriveType::NoRootDir:
        case platform::DriveType::Unknown:
            return "there is no such drive";
        default:
            return "it is not a removable drive";
    }
}

}  // namespace

const VariantProfile* ProfileOf(std::string_view system) {
    for (const VariantProfile& profile : kProfiles) {
        if (profile.system == system) {
            return &profile;
        }
    }
    return nullptr;
}

std::string ConnectedReader::Name() const {
    return std::string(row->system) + " reader " + identity + " on " + DriveText(drive);
}

std::string NotOffered(const ConnectedReader& reader, std::string_view what) {
    return "the " + reader.Name() + " " + std::string(what);
}

Expected<ConnectedReader> ConnectReader(ToolContext& context) {
    // Every command starts from the library's state at program start, so that an identity read by
    // an earlier command of the shell cannot pass for one read now.
    ResetDeviceGlobals();
    const auto& globals = context.Globals();
    const int letter = globals.drive ? static_cast<unsigned char>(*globals.drive) : 0;
    const std::uint64_t failuresBefore = context.Host().Failures();
    const int identified = IdentifyDevice(letter, globals.fcMode);
    const std::string identity(DeviceIdentity.data());

    if (identified == 0) {
        if (!identity.empty()) {
            return Failure("the device on " + DriveText(DeviceDrive) + " presents the identity \"" +
                           identity +
                           "\", which is no cartridge reader this tool knows (HND, N64, SFC, "
                           "FC2, NES and PCE readers). Plug in a cartridge reader" +
                           (globals.drive ? "" : ", or name its drive with --drive") + ".");
        }
        if (globals.drive) {
            return Failure("no cartridge reader on drive " + DriveText(*globals.drive) + " (" +
                           WhyNotAReader(context, *globals.drive, failuresBefore) +
                           "). Check that the reader is plugged in and the drive letter is its "
                           "own, or leave out --drive to look on every drive.");
        }
        return Failure(
            "no cartridge reader found on the drives D: to Z:. Plug the reader in (it shows up "
            "as a removable drive) and try again, or name its drive with --drive.");
    }

    const SystemInstallation* row = InstalledSystem();
    const VariantProfile* profile = row != nullptr ? ProfileOf(row->system) : nullptr;
    if (profile == nullptr) {
        return Failure("the reader on " + DriveText(DeviceDrive) + " (" + identity +
                       ") was set up, but this tool does not know its variant " +
                       (row != nullptr ? std::string(row->system) : std::string("?")) +
                       ". Use a newer reader-tool.");
    }
    return ConnectedReader{row, profile, DeviceDrive, identity};
}

}  // namespace reader::tool
