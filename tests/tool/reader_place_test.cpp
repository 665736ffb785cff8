// Where the reader is: --drive with a letter or with a folder that holds the reader's files (a
// mount point), the checks of such a folder, and the reader named the way its user knows it.
#include <gtest/gtest.h>

#include "frontend/tool_host.hpp"
#include "tool/tool_fixture.hpp"

namespace reader::testing {
namespace {

constexpr char kReaderLetter = 'E';

// The system as a mount would show the emulated reader on E: in a folder on disk. The folder holds
// placeholder files (the tool looks for them); every read or write of a file in it reaches the
// reader on E:. It can also say which folder E: is mounted on, as the Linux backend does.
class MountedFolderHost final : public platform::ForwardingHost {
  public:
    MountedFolderHost(platform::Host& inner, fs::path folder)
        : ForwardingHost(inner), folder_(std::move(folder)) {}

    std::optional<std::uint32_t> ReadUnbuffered(const char* path, std::uint32_t position,
                                                std::span<std::uint8_t> destination) override {
        return Inner().ReadUnbuffered(ToDrive(path).c_str(), position, destination);
    }
    std::optional<std::uint32_t> WriteCommandFile(const char* path,
                                                  std::span<const std::uint8_t> data) override {
        return Inner().WriteCommandFile(ToDrive(path).c_str(), data);
    }
    std::string RootFolderOf(char letter) override {
        return letter == kReaderLetter ? mountOfE : Inner().RootFolderOf(letter);
    }

    std::string mountOfE;            // what the system says E: is mounted on; empty: nothing
    std::vector<std::string> paths;  // the paths of the system's own that reached it

  private:
    std::string ToDrive(const char* path) {
        const fs::path given(path);
        if (given.parent_path() != folder_) {
            return path;
        }
        paths.emplace_back(path);
        return std::string(1, kReaderLetter) + ":\\" + given.filename().string();
    }

    fs::path folder_;
};

struct PlaceCase {
    const char* name;
    std::vector<std::string> files;  // placeholder files in the reader's folder
    std::string_view identity;       // of the emulated reader on E:; empty for none
    bool poweredOff;
    const char* mountOfE;  // the folder the system says E: is mounted on, or nullptr
    bool mountWords;       // a system that names drives by their mount points
    std::vector<std::string> args;
    int status;
    const char* out;  // part of standard output, or nullptr
    const char* err;  // part of standard error; "" for none at all
};

class ReaderPlace : public ToolFixture, public ::testing::WithParamInterface<PlaceCase> {
  protected:
    // "FOLDER" stands for the reader's folder, "OUT" for a file to dump into.
    std::string Expand(std::string text) const {
        for (const auto& [name, path] :
             {std::pair{"FOLDER", Folder().string()}, {"OUT", folder.File("game.bin")}}) {
            for (auto at = text.find(name); at != std::string::npos; at = text.find(name)) {
                text.replace(at, std::string_view(name).size(), path);
            }
        }
        return text;
    }
    fs::path Folder() const { return folder.Path() / "mount"; }
};

TEST_P(ReaderPlace, IsFoundCheckedAndNamed) {
    const PlaceCase& c = GetParam();
    fs::create_directories(Folder());
    for (const std::string& name : c.files) {
        WriteBytes((Folder() / name).string(), {});
    }
    if (!c.identity.empty()) {
        auto& reader = Attach(c.identity, 0, kReaderLetter);
        if (c.poweredOff) {
            reader.PowerCut();
        }
    }
    MountedFolderHost mounted(dataHost_, Folder());
    mounted.mountOfE = c.mountOfE != nullptr ? c.mountOfE : "";
    const platform::ScopedHost installed(mounted);
    if (c.mountWords) {
        os.drives = tool::kMountDriveWords;
    }
    std::vector<std::string> args;
    for (const std::string& arg : c.args) {
        args.push_back(Expand(arg));
    }

    const ToolRun run = Run(args);
    EXPECT_EQ(run.status, c.status) << run.err;
    if (c.out != nullptr) {
        EXPECT_NE(run.out.find(Expand(c.out)), std::string::npos) << run.out;
    }
    if (std::string_view(c.err).empty()) {
        EXPECT_EQ(run.err, "");
    } else {
        EXPECT_NE(run.err.find(Expand(c.err)), std::string::npos) << run.err;
    }
    // A folder is reached through its own files, the names as the folder has them.
    for (const std::string& path : mounted.paths) {
        const std::string name = fs::path(path).filename().string();
        EXPECT_NE(std::find(c.files.begin(), c.files.end(), name), c.files.end()) << path;
    }
}

const std::vector<std::string> kAll = {"CMD.CMD", "T-DRIVER.DMP", "DUMP.ROM"};
constexpr std::string_view kNes = emulator::kNesIdentity;
constexpr std::string_view kN64 = emulator::kN64CartIdentity;

// clang-format off
INSTANTIATE_TEST_SUITE_P(Places, ReaderPlace, ::testing::Values(
    // A folder that holds the reader's files: the reader there, named by the folder.
    PlaceCase{"Folder", kAll, kNes, false, nullptr, true, {"--drive", "FOLDER", "info"}, 0,
              "reader      NES reader NES_KRN02_RV100\ndrive       FOLDER\n",
              "Init NES_KRN02_RV100 OK\n"},
    PlaceCase{"FolderNamesInAnyCase", {"cmd.cmd", "T-Driver.dmp", "dump.rom"}, kNes, false,
              nullptr, false, {"info", "--drive=FOLDER"}, 0, "drive       FOLDER\n", "Init"},
    PlaceCase{"FolderInMessages", kAll, kN64, false, nullptr, false,
              {"--drive", "FOLDER", "status"}, 1, nullptr,
              "reader-tool: the N64 reader N64_KRN20_RV100 at FOLDER has no cartridge status"},
    PlaceCase{"DumpFromAFolder", kAll, kN64, false, nullptr, false,
              {"--drive", "FOLDER", "dump", "OUT", "--size", "4K"}, 1,
              "dumping 0x10000000 to 0x10000FFF, 0x1000 bytes (4 KiB), from the N64 reader "
              "N64_KRN20_RV100 at FOLDER\n", "header check of the dump says bad"},
    // What is wrong with a folder, in one line.
    PlaceCase{"NoSuchFolder", kAll, kNes, false, nullptr, false,
              {"--drive", "FOLDER/none", "info"}, 1, nullptr,
              "reader-tool: there is no folder FOLDER/none. Give --drive the folder the reader is "
              "mounted on, or its drive letter.\n"},
    PlaceCase{"AFileIsNoFolder", kAll, kNes, false, nullptr, false,
              {"--drive", "FOLDER/CMD.CMD", "info"}, 1, nullptr,
              "reader-tool: FOLDER/CMD.CMD is not a folder. Give --drive"},
    PlaceCase{"TwoFilesMissing", {"CMD.CMD"}, kNes, false, nullptr, false,
              {"--drive", "FOLDER", "info"}, 1, nullptr,
              "reader-tool: no cartridge reader at FOLDER: T-DRIVER.DMP and DUMP.ROM are missing "
              "there (a reader's drive holds CMD.CMD, T-DRIVER.DMP and DUMP.ROM)."},
    PlaceCase{"NotMountedThere", {}, kNes, false, nullptr, false, {"--drive", "FOLDER", "info"}, 1,
              nullptr, "no cartridge reader at FOLDER: it holds none of the reader's files "
              "(CMD.CMD, T-DRIVER.DMP and DUMP.ROM). Check that the reader is plugged in and "
              "mounted there."},
    PlaceCase{"IdentityUnreadable", kAll, kNes, true, nullptr, false,
              {"--drive", "FOLDER", "info"}, 1, nullptr,
              "reader-tool: no cartridge reader at FOLDER: its identity cannot be read from "
              "T-DRIVER.DMP (No medium found). Check that the reader is plugged in and try "
              "again.\n"},
    PlaceCase{"NoReaderIdentity", kAll, "N64_KRN03_RV300", false, nullptr, false,
              {"--drive", "FOLDER", "info"}, 1, nullptr,
              "reader-tool: the device at FOLDER presents the identity \"N64_KRN03_RV300\", which "
              "is no cartridge reader this tool knows (HND, N64, SFC, FC2, NES and PCE readers). "
              "Plug in a cartridge reader.\n"},
    // A drive found by its letter, on a system that says where it is mounted: named by the
    // folder, with the letter where it helps (info).
    PlaceCase{"ScanOfAMountedDrive", {}, kN64, false, "/media/you/READER", true, {"info"}, 0,
              "drive       /media/you/READER (E:)\n", "Init"},
    PlaceCase{"LetterAsTheRootOfADrive", {}, kNes, false, nullptr, false,
              {"--drive", "e:\\", "info"}, 0, "drive       E:\n", "Init"},
    // Where the tool looked, in the words of each kind of system.
    PlaceCase{"NoReaderOnMountedVolumes", {}, {}, false, nullptr, true, {"info"}, 1, nullptr,
              "reader-tool: no cartridge reader found on the removable FAT volumes mounted now. "
              "Plug the reader in (it shows up as a removable drive) and try again, or give "
              "--drive the folder it is mounted on (or any folder that holds its files).\n"}),
    [](const auto& row) { return std::string(row.param.name); });
// clang-format on

// The folder's letter is one no drive uses, answers as a removable drive, and holds the reader's
// three files only; forgotten, it is gone.
TEST_F(ToolFixture, ToolHostPresentsAFolderAsADrive) {
    Attach(emulator::kNesIdentity, 0, kReaderLetter);
    host_.AddDrive('Z', platform::DriveType::Fixed);
    for (const char* name : {"cmd.cmd", "T-DRIVER.DMP", "DUMP.ROM"}) {
        WriteBytes(folder.File(name), {});
    }
    MountedFolderHost mounted(dataHost_, folder.Path());
    tool::ToolHost host(mounted, [](std::string_view) {});
    EXPECT_EQ(host.PresentFolder(tool::FindReaderFiles(folder.Path().string())), 'Y');
    EXPECT_EQ(host.DriveTypeOf("y:\\"), platform::DriveType::Removable);
    EXPECT_EQ(host.DriveTypeOf("Z:"), platform::DriveType::Fixed);
    EXPECT_TRUE(host.WriteCommandFile("Y:\\CMD.CMD", std::vector<std::uint8_t>(512)));
    EXPECT_FALSE(host.WriteCommandFile("Y:\\..\\CMD.CMD", std::vector<std::uint8_t>(512)));
    EXPECT_EQ(mounted.paths, std::vector<std::string>{folder.File("cmd.cmd")});
    host.Forget();
    EXPECT_EQ(host.DriveTypeOf("Y:"), platform::DriveType::NoRootDir);
}

}  // namespace
}  // namespace reader::testing
