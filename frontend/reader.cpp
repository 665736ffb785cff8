#include "frontend/reader.hpp"

#include <algorithm>
#include <array>
#include <vector>

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
     .sizeRule = SizeRule::FromRomEnd,
     .sizeReason = ""},
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
std::string WhyNotAReader(char letter, const FailureWatch& watch) {
    const std::string root = DriveText(letter);
    switch (platform::ActiveHost().DriveTypeOf(root.c_str())) {
        case platform::DriveType::Removable:
            if (watch.Failed()) {
                return "its files cannot be read: " + watch.Reason();
            }
            return "it presents no identity";
        case platform::DriveType::NoRootDir:
        case platform::DriveType::Unknown:
            return "there is no such drive";
        default:
            return "it is not a removable drive";
    }
}

// "CMD.CMD", "CMD.CMD and DUMP.ROM", "CMD.CMD, T-DRIVER.DMP and DUMP.ROM".
std::string NameList(const std::vector<std::string_view>& names) {
    std::string text;
    for (std::size_t i = 0; i < names.size(); ++i) {
        if (i > 0) {
            text += i + 1 == names.size() ? " and " : ", ";
        }
        text += names[i];
    }
    return text;
}

constexpr std::string_view kGiveTheFolder =
    "Give --drive the folder the reader is mounted on, or its drive letter.";

// Why a folder the user named holds no reader's files.
std::string FolderProblem(const ReaderFolder& folder) {
    const std::string& name = folder.folder;
    switch (folder.found) {
        case ReaderFolder::Found::All:
            break;
        case ReaderFolder::Found::NoFolder:
            return "there is no folder " + name + ". " + std::string(kGiveTheFolder);
        case ReaderFolder::Found::NotAFolder:
            return name + " is not a folder. " + std::string(kGiveTheFolder);
        case ReaderFolder::Found::Unlisted:
            return "cannot look into " + name + ": " + folder.reason +
                   ". Check that the reader is plugged in and the folder can be read.";
        case ReaderFolder::Found::Missing:
            if (folder.missing.size() == kReaderFileNames.size()) {
                return "no cartridge reader at " + name +
                       ": it holds none of the reader's files (" +
                       NameList({kReaderFileNames.begin(), kReaderFileNames.end()}) +
                       "). Check that the reader is plugged in and mounted there. " +
                       std::string(kGiveTheFolder);
            }
            return "no cartridge reader at " + name + ": " + NameList(folder.missing) +
                   (folder.missing.size() == 1 ? " is" : " are") +
                   " missing there (a reader's drive holds " +
                   NameList({kReaderFileNames.begin(), kReaderFileNames.end()}) + "). " +
                   std::string(kGiveTheFolder);
    }
    return {};
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

std::string DrivePlace::Text() const {
    return folder.empty() ? DriveText(letter) : folder;
}

std::string DrivePlace::Phrase() const {
    return (folder.empty() ? "on " : "at ") + Text();
}

std::string DrivePlace::Detailed() const {
    return folder.empty() || !lettered ? Text() : folder + " (" + DriveText(letter) + ")";
}

DrivePlace PlaceOf(ToolContext& context, char letter) {
    return {letter, context.Host().RootFolderOf(letter), context.Host().Presented() != letter};
}

std::string ConnectedReader::Name() const {
    return std::string(row->system) + " reader " + identity + " " + place.Phrase();
}

std::string NotOffered(const ConnectedReader& reader, std::string_view what) {
    return "the " + reader.Name() + " " + std::string(what);
}

Expected<ConnectedReader> ConnectReader(ToolContext& context) {
    // Every command starts from the library's state at program start, so that an identity read by
    // an earlier command of the shell cannot pass for one read now.
    ResetDeviceGlobals();
    const auto& globals = context.Globals();
    ToolHost& host = context.Host();
    host.Forget();
    int letter = globals.drive ? static_cast<unsigned char>(*globals.drive) : 0;
    if (globals.folder) {
        // The user's folder is used as it is (it need not be a removable FAT volume), but only
        // when the reader's files are there.
        const ReaderFolder folder = FindReaderFiles(*globals.folder);
        if (folder.found != ReaderFolder::Found::All) {
            return Failure(FolderProblem(folder));
        }
        letter = static_cast<unsigned char>(host.PresentFolder(folder));
    }
    const bool named = globals.drive || globals.folder;
    const DriveWords words = context.Os().Drives();
    const FailureWatch watch(host);
    const int identified = IdentifyDevice(letter, globals.fcMode);
    const std::string identity(DeviceIdentity.data());

    if (identified == 0) {
        if (!identity.empty()) {
            return Failure("the device " + PlaceOf(context, DeviceDrive).Phrase() +
                           " presents the identity \"" + identity +
                           "\", which is no cartridge reader this tool knows (HND, N64, SFC, "
                           "FC2, NES and PCE readers). Plug in a cartridge reader" +
                           (named ? std::string() : ", or " + std::string(words.nameIt)) + ".");
        }
        if (globals.folder) {
            const std::string why =
                watch.Failed() ? "its identity cannot be read from " +
                                     std::string(kStatusFileName) + " (" + watch.Reason() + ")"
                               : std::string(kStatusFileName) + " presents no identity";
            return Failure("no cartridge reader at " + *globals.folder + ": " + why +
                           ". Check that the reader is plugged in and try again.");
        }
        if (globals.drive) {
            return Failure("no cartridge reader on drive " + DriveText(*globals.drive) + " (" +
                           WhyNotAReader(*globals.drive, watch) +
                           "). Check that the reader is plugged in and the drive letter is its "
                           "own, or leave out --drive to look on every drive.");
        }
        return Failure("no cartridge reader found " + std::string(words.scanned) +
                       ". Plug the reader in (it shows up as a removable drive) and try again, "
                       "or " +
                       std::string(words.nameIt) + ".");
    }

    const DrivePlace place = PlaceOf(context, DeviceDrive);
    const SystemInstallation* row = InstalledSystem();
    const VariantProfile* profile = row != nullptr ? ProfileOf(row->system) : nullptr;
    if (profile == nullptr) {
        return Failure("the reader " + place.Phrase() + " (" + identity +
                       ") was set up, but this tool does not know its variant " +
                       (row != nullptr ? std::string(row->system) : std::string("?")) +
                       ". Use a newer reader-tool.");
    }
    return ConnectedReader{row, profile, identity, place};
}

std::optional<std::string> WhyGone(ToolContext& context, const ConnectedReader& reader) {
    ToolHost& host = context.Host();
    const std::string root = DriveText(reader.place.letter);
    if (host.DriveTypeOf(root.c_str()) != platform::DriveType::Removable) {
        return "its drive is gone";
    }
    // Its identity, read afresh: a reader that restarted or was swapped is not the one the
    // command began with.
    std::array<char, kDevicePathBufferSize> path{};
    FormatDevicePath(path, kStatusFileName, reader.place.letter);
    std::array<std::uint8_t, kIdentityLength> identity{};
    const FailureWatch watch(host);
    if (ReplyRead(path.data(), identity.data(), kIdentityLength, kIdentityOffset) == 0) {
        return watch.Failed() ? watch.Reason() : "it presents no identity";
    }
    const std::string now(identity.begin(), std::find(identity.begin(), identity.end(), 0));
    if (now != reader.identity) {
        return "it now presents the identity \"" + now + "\"";
    }
    return std::nullopt;
}

ToolError GoneOr(ToolContext& context, const ConnectedReader& reader, ToolError error,
                 std::string_view doing, std::string_view afterwards) {
    if (error.kind != ErrorKind::Failure) {
        return error;
    }
    const auto why = WhyGone(context, reader);
    if (!why) {
        return error;
    }
    return Failure("the " + reader.Name() + " went away while " + std::string(doing) + " (" + *why +
                   "). Plug it in again (check its cable and that the cartridge is seated), "
                   "then " +
                   std::string(afterwards) + ".");
}

}  // namespace reader::tool
