// The Linux host services against real files: a made-up mount table, sysfs and /dev tree in a
// temporary directory, and real reads and writes. The console half is PosixConsoleHost's, tested
// in posix_console_test.cpp.
#include <fcntl.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <array>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

#include "drivers/system_driver.hpp"
#include "emulator/emulated_host.hpp"
#include "link/command_sector.hpp"
#include "link/device_files.hpp"
#include "link/discovery.hpp"
#include "platform/linux_host.hpp"
#include "platform/linux_mounts.hpp"
#include "support/placed_buffer.hpp"

namespace reader::platform {
namespace {

namespace fs = std::filesystem;

using testing::Pattern;
using testing::PatternByte;
using testing::PlacedBuffer;

void WriteBytes(const fs::path& file, const std::vector<std::uint8_t>& bytes) {
    fs::create_directories(file.parent_path());
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
}

void WriteText(const fs::path& file, const std::string& text) {
    WriteBytes(file, {text.begin(), text.end()});
}

std::vector<std::uint8_t> ReadBytes(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void Link(const fs::path& link, const fs::path& target) {
    fs::create_directories(link.parent_path());
    fs::create_symlink(target, link);
}

// A mount-table field as the kernel writes it.
std::string Escaped(const fs::path& path) {
    std::string text;
    for (const char c : path.string()) {
        text += c == ' ' ? std::string("\\040") : std::string(1, c);
    }
    return text;
}

class LinuxHostTest : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "linux-host-XXXXXX").string();
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        root_ = pattern;
    }
    void TearDown() override {
        std::error_code ignored;
        fs::remove_all(root_, ignored);
    }

    void WriteMounts(const std::vector<std::string>& lines) {
        std::string text;
        for (const auto& line : lines) {
            text += line + "\n";
        }
        WriteText(root_ / "mounts", text);
    }

    std::string Mount(const std::string& device, const std::string& at, const std::string& type) {
        return device + " " + Escaped(root_ / at) + " " + type + " rw,relatime 0 0";
    }

    LinuxHostPaths Paths() const { return {root_ / "mounts", root_ / "sys", root_ / "dev"}; }

    // Six FAT-family volumes and some others, listed out of order:
    //   D  media/boot efi     /dev/sda2, partition of a fixed disk          label EFI
    //   E  media/card reader  /dev/sdb1, partition of a removable disk      label CARD READER
    //   F  media/exfat        by-uuid link to /dev/sdd, a removable disk    label EXFAT_VOL
    //   G  media/fuse         not a block device
    //   H  media/old          /dev/sde1, unknown to sysfs
    //   I  media/zeta         /dev/sdc1, on a USB transport
    void BuildSystem() {
        WriteMounts({
            Mount("/dev/sdc1", "media/zeta", "vfat"),
            "proc /proc proc rw,nosuid 0 0",
            Mount("/dev/sdb1", "media/card reader", "vfat"),
            Mount("/dev/sda3", "media/data", "ext4"),
            Mount("fatfuse", "media/fuse", "vfat"),
            Mount("/dev/disk/by-uuid/4A2F-11C0", "media/exfat", "exfat"),
            Mount("tmpfs", "media/tmp", "tmpfs"),
            Mount("/dev/sde1", "media/old", "msdos"),
            Mount("/dev/sda2", "media/boot efi", "vfat"),
        });
        const fs::path block = root_ / "sys/class/block";
        WriteText(block / "sda/removable", "0\n");
        WriteText(block / "sda/sda2/partition", "2\n");
        WriteText(block / "sdb/removable", "1\n");
        WriteText(block / "sdb/sdb1/partition", "1\n");
        WriteText(block / "sdd/removable", "1\n");
        WriteText(block / "fatfuse/removable", "1\n");
        const fs::path usbDisk =
            root_ / "sys/devices/pci0000:00/0000:00:14.0/usb1/1-2/1-2:1.0/host3/block/sdc";
        WriteText(usbDisk / "removable", "0\n");
        WriteText(usbDisk / "sdc1/partition", "1\n");
        Link(block / "sdc",
             "../../devices/pci0000:00/0000:00:14.0/usb1/1-2/1-2:1.0/host3/block/sdc");

        const fs::path dev = root_ / "dev";
        for (const char* node : {"sda2", "sdb1", "sdc1", "sdd", "sde1"}) {
            WriteText(dev / node, "");
        }
        Link(dev / "disk/by-uuid/4A2F-11C0", "../../sdd");
        Link(dev / "disk/by-label/EFI", "../../sda2");
        Link(dev / "disk/by-label/CARD\\x20READER", "../../sdb1");
        Link(dev / "disk/by-label/EXFAT_VOL", "../../sdd");
    }

    fs::path root_;
};

TEST(MountTableTest, FieldEscapesAreUndone) {
    const struct {
        const char* field;
        const char* text;
    } cases[] = {
        {"/media/card\\040reader", "/media/card reader"},
        {"a\\011b", "a\tb"},
        {"new\\012line", "new\nline"},
        {"back\\134slash", "back\\slash"},
        {"cut\\04", "cut\\04"},
        {"not\\999octal", "not\\999octal"},
        {"over\\400byte", "over\\400byte"},
        {"/plain", "/plain"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(linux_os::UnescapeMountField(c.field), c.text) << c.field;
    }
}

TEST(MountTableTest, LettersFollowTheVisibleFatMountsInMountPointOrder) {
    std::string many;  // 30 volumes, listed backwards
    std::vector<std::string> first23;
    for (int i = 30; i > 0; --i) {
        many += "/dev/x /m/" + std::to_string(100 + i) + " vfat rw 0 0\n";
    }
    for (int i = 1; i <= 23; ++i) {
        first23.push_back("/m/" + std::to_string(100 + i));
    }
    const struct {
        const char* what;
        std::string table;
        std::vector<std::string> mountPoints;
    } cases[] = {
        {"malformed lines are passed over",
         "garbage\n\n/dev/a /m/a\n/dev/b /m/b vfat rw 0 0",
         {"/m/b"}},
        {"tabs separate fields", "/dev/a\t/m/a\tmsdos\trw 0 0\n", {"/m/a"}},
        {"a later mount hides the FAT volume",
         "/dev/a /m/a vfat rw 0 0\n/dev/b /m/a ext4 rw 0 0\n",
         {}},
        {"a FAT volume mounted over another one",
         "/dev/a /m/a ext4 rw 0 0\n/dev/b /m/a exfat rw 0 0\n/dev/c /m/0 vfat rw 0 0\n",
         {"/m/0", "/m/a"}},
        {"23 letters at most, the first mount points win", many, first23},
    };
    for (const auto& c : cases) {
        std::vector<std::string> got;
        for (const auto& volume : linux_os::LetteredVolumes(linux_os::ParseMountTable(c.table))) {
            got.push_back(volume.mountPoint);
        }
        EXPECT_EQ(got, c.mountPoints) << c.what;
    }
}

TEST_F(LinuxHostTest, DrivesTypesAndLabels) {
    BuildSystem();
    LinuxHost host(Paths());
    EXPECT_EQ(host.LogicalDrives(), 0x1F8u) << "D to I";

    const struct {
        const char* root;
        DriveType type;
        const char* label;  // nullptr: no label found
    } cases[] = {
        {"D:", DriveType::Fixed, "EFI"},
        {"E:", DriveType::Removable, "CARD READER"},
        {"e:\\", DriveType::Removable, "CARD READER"},
        {"F:", DriveType::Removable, "EXFAT_VOL"},
        {"G:", DriveType::Fixed, nullptr},
        {"H:", DriveType::Fixed, nullptr},
        {"I:", DriveType::Removable, nullptr},
        {"J:", DriveType::NoRootDir, nullptr},
        {"C:", DriveType::NoRootDir, nullptr},
        {"A:", DriveType::NoRootDir, nullptr},
        {"E", DriveType::NoRootDir, nullptr},
        {"E:x", DriveType::NoRootDir, nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.root);
        EXPECT_EQ(host.DriveTypeOf(c.root), c.type);
        std::array<char, 64> label{};
        label.fill('#');
        ASSERT_EQ(host.VolumeLabelOf(c.root, label), c.label != nullptr);
        if (c.label != nullptr) {
            EXPECT_STREQ(label.data(), c.label);
        }
    }
    std::array<char, 4> tiny{};
    ASSERT_TRUE(host.VolumeLabelOf("E:", tiny));
    EXPECT_STREQ(tiny.data(), "CAR") << "a label is cut to the buffer and stays terminated";

    // The folder of each letter, for the messages that name a drive as its user knows it.
    const std::pair<char, fs::path> folders[] = {
        {'D', root_ / "media/boot efi"},
        {'E', root_ / "media/card reader"},
        {'e', root_ / "media/card reader"},
        {'I', root_ / "media/zeta"},
        {'J', fs::path()},
        {'C', fs::path()},
        {'\0', fs::path()},
    };
    for (const auto& [letter, folder] : folders) {
        EXPECT_EQ(host.RootFolderOf(letter), folder.string()) << letter;
    }
}

TEST_F(LinuxHostTest, TheMountTableIsReadOnEveryCall) {
    LinuxHost host(Paths());
    EXPECT_EQ(host.LogicalDrives(), 0u) << "no mount table";
    WriteText(root_ / "b/NOTE.TXT", "b");
    WriteMounts({Mount("/dev/sdb1", "b", "vfat")});
    EXPECT_EQ(host.LogicalDrives(), 1u << 3);
    WriteMounts({});
    EXPECT_EQ(host.LogicalDrives(), 0u);
    EXPECT_EQ(host.DriveTypeOf("D:"), DriveType::NoRootDir);
    WriteMounts({Mount("/dev/sdb1", "b", "vfat"), Mount("/dev/sdc1", "a", "vfat")});
    EXPECT_EQ(host.LogicalDrives(), (1u << 3) | (1u << 4));
    std::array<std::uint8_t, 8> out{};
    EXPECT_EQ(host.ReadUnbuffered("E:\\NOTE.TXT", 0, out), 1u) << "b now sorts second";
}

TEST_F(LinuxHostTest, ReadsAtPositions) {
    BuildSystem();
    const fs::path drive = root_ / "media/card reader";
    WriteBytes(drive / "DATA.BIN", Pattern(10000));
    WriteBytes(drive / "SHORT.BIN", Pattern(3000));
    fs::create_directories(drive / "SUBDIR");
    WriteText(root_ / "media/secret.txt", "outside the drive");
    LinuxHost host(Paths());

    const struct {
        const char* what;
        std::string path;
        std::uint32_t position;
        std::size_t size;
        std::size_t misalignment;
        std::optional<std::uint32_t> result;
    } cases[] = {
        {"whole file", "E:\\DATA.BIN", 0, 12288, 0, 10000},
        {"one block inside", "E:\\DATA.BIN", 4096, 4096, 0, 4096},
        {"tail of the file", "E:\\DATA.BIN", 8192, 4096, 0, 1808},
        {"beyond the end", "E:\\DATA.BIN", 12288, 4096, 0, 0},
        {"short file", "E:\\SHORT.BIN", 0, 4096, 0, 3000},
        {"name in another case", "e:\\data.bin", 1024, 2048, 0, 2048},
        {"destination off the sector grid", "E:\\DATA.BIN", 1024, 2048, 1, 2048},
        {"position off the sector grid", "E:\\DATA.BIN", 100, 512, 0, 512},
        {"missing file", "E:\\MISSING.BIN", 0, 512, 0, std::nullopt},
        {"a directory", "E:\\SUBDIR", 0, 512, 0, std::nullopt},
        {"climbing out of the drive", "E:\\..\\secret.txt", 0, 512, 0, std::nullopt},
        {"no drive behind the letter", "J:\\DATA.BIN", 0, 512, 0, std::nullopt},
        {"no separator", "E:DATA.BIN", 0, 512, 0, std::nullopt},
        {"drive root", "E:\\", 0, 512, 0, std::nullopt},
        // Any other path is the system's own, used as it is.
        {"a path of the system's own", (drive / "DATA.BIN").string(), 1024, 2048, 0, 2048},
        {"the system's own path through a parent",
         (root_ / "media/../media/card reader/SHORT.BIN").string(), 0, 4096, 0, 3000},
        {"the system's own path keeps its case", (drive / "data.bin").string(), 0, 512, 0,
         std::nullopt},
        {"the system's own path to a missing file", (drive / "MISSING.BIN").string(), 0, 512, 0,
         std::nullopt},
        {"an empty path", "", 0, 512, 0, std::nullopt},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        PlacedBuffer buffer(c.size, c.misalignment);
        const auto got = host.ReadUnbuffered(c.path.c_str(), c.position, buffer.span());
        ASSERT_EQ(got, c.result);
        for (std::uint32_t i = 0; i < got.value_or(0); ++i) {
            ASSERT_EQ(buffer.data()[i], PatternByte(c.position + i)) << "byte " << i;
        }
    }
}

// Z is a drive letter like any other: the 23rd FAT volume is drive Z, for reading and writing.
TEST_F(LinuxHostTest, TheTwentyThirdVolumeIsDriveZ) {
    std::vector<std::string> mounts;
    for (int i = 1; i <= 24; ++i) {
        const std::string at = "v/" + std::to_string(100 + i);
        WriteText(root_ / at / "NAME.TXT", at);
        mounts.push_back(Mount("/dev/x" + std::to_string(i), at, "vfat"));
    }
    WriteMounts(mounts);
    LinuxHost host(Paths());
    EXPECT_EQ(host.LogicalDrives(), 0x3FFFFF8u) << "D to Z";
    EXPECT_EQ(host.DriveTypeOf("Z:"), DriveType::Fixed);
    std::array<std::uint8_t, 512> out{};
    ASSERT_EQ(host.ReadUnbuffered("Z:\\NAME.TXT", 0, out), 5u);
    EXPECT_EQ(std::string(out.begin(), out.begin() + 5), "v/123");
    const auto sector = Pattern(512);
    ASSERT_EQ(host.WriteCommandFile("Z:\\CMD.CMD", sector), 512u);
    EXPECT_EQ(ReadBytes(root_ / "v/123/CMD.CMD"), sector);
}

// A file on a file system that refuses O_DIRECT at the open: tmpfs on older kernels, procfs
// everywhere.
struct RefusingFile {
    fs::path directory;
    std::string name;
    std::vector<std::uint8_t> content;
};

bool RefusesDirectOpen(const fs::path& file) {
    const int fd = ::open(file.c_str(), O_RDONLY | O_DIRECT);
    if (fd >= 0) {
        ::close(fd);
        return false;
    }
    return errno == EINVAL;
}

TEST_F(LinuxHostTest, FallsBackWhereODirectIsRefused) {
    std::optional<RefusingFile> refusing;
    std::string shm = "/dev/shm/linux-host-XXXXXX";
    const int fd = fs::is_directory("/dev/shm") ? ::mkstemp(shm.data()) : -1;
    if (fd >= 0) {
        ::close(fd);
        WriteBytes(shm, Pattern(5000));
        if (RefusesDirectOpen(shm)) {
            refusing = RefusingFile{"/dev/shm", fs::path(shm).filename().string(), Pattern(5000)};
        }
    }
    if (!refusing && RefusesDirectOpen("/proc/version")) {
        refusing = RefusingFile{"/proc", "version", ReadBytes("/proc/version")};
    }
    if (!refusing) {
        fs::remove(shm);
        GTEST_SKIP() << "no file system here refuses O_DIRECT";
    }
    WriteText(root_ / "mounts",
              refusing->directory.string() + " " + refusing->directory.string() + " vfat rw 0 0\n");
    LinuxHost host(Paths());
    PlacedBuffer buffer(8192, 0);
    const auto got = host.ReadUnbuffered(("D:\\" + refusing->name).c_str(), 0, buffer.span());
    fs::remove(shm);
    ASSERT_EQ(got, refusing->content.size());
    EXPECT_TRUE(std::equal(refusing->content.begin(), refusing->content.end(), buffer.data()));
}

TEST_F(LinuxHostTest, CommandFileWriteTruncatesAndReplaces) {
    BuildSystem();
    const fs::path drive = root_ / "media/card reader";
    const auto sectors = Pattern(1024);
    LinuxHost host(Paths());

    WriteBytes(drive / "CMD.CMD", std::vector<std::uint8_t>(4096, 0xEE));
    ASSERT_EQ(host.WriteCommandFile("E:\\CMD.CMD", std::span(sectors).first(512)), 512u);
    EXPECT_EQ(ReadBytes(drive / "CMD.CMD"), std::vector(sectors.begin(), sectors.begin() + 512));

    ASSERT_EQ(host.WriteCommandFile("E:\\cmd.cmd", sectors), 1024u);
    EXPECT_EQ(ReadBytes(drive / "CMD.CMD"), sectors) << "the existing file, whatever the case";
    EXPECT_FALSE(fs::exists(drive / "cmd.cmd"));

    ASSERT_EQ(host.WriteCommandFile("E:\\CMD.CMD", {}), 0u);
    EXPECT_EQ(fs::file_size(drive / "CMD.CMD"), 0u) << "an empty command still truncates";

    ASSERT_EQ(host.WriteCommandFile("E:\\NEW.CMD", std::span(sectors).first(512)), 512u);
    EXPECT_EQ(ReadBytes(drive / "NEW.CMD").size(), 512u);

    EXPECT_EQ(host.WriteCommandFile("J:\\CMD.CMD", sectors), std::nullopt);
    EXPECT_EQ(host.WriteCommandFile("G:\\CMD.CMD", sectors), std::nullopt)
        << "mount point not there";
    EXPECT_EQ(host.WriteCommandFile("E:\\..\\CMD.CMD", sectors), std::nullopt);
    EXPECT_FALSE(fs::exists(root_ / "media/CMD.CMD"));

    // A path of the system's own: the file it names, created if need be.
    const fs::path own = root_ / "own folder/CMD.CMD";
    fs::create_directories(own.parent_path());
    ASSERT_EQ(host.WriteCommandFile(own.c_str(), std::span(sectors).first(512)), 512u);
    EXPECT_EQ(ReadBytes(own), std::vector(sectors.begin(), sectors.begin() + 512));
    EXPECT_EQ(host.WriteCommandFile((root_ / "no folder/CMD.CMD").c_str(), sectors), std::nullopt);
    EXPECT_EQ(host.FailureReason(), "No such file or directory");
}

// A failed read or command write leaves the system's reason behind, for a front-end's message.
TEST_F(LinuxHostTest, FailuresLeaveTheirReason) {
    BuildSystem();
    const fs::path drive = root_ / "media/card reader";
    WriteBytes(drive / "DATA.BIN", Pattern(4096));
    fs::create_directories(drive / "SUBDIR");
    LinuxHost host(Paths());
    EXPECT_EQ(host.FailureReason(), "");

    PlacedBuffer buffer(512, 0);
    const struct {
        const char* path;
        const char* reason;
    } reads[] = {
        {"E:\\MISSING.BIN", "No such file or directory"},
        {"J:\\DATA.BIN", "No such device"},  // no volume behind the letter: the reader is gone
        {"E:\\SUBDIR", "Is a directory"},
    };
    for (const auto& c : reads) {
        SCOPED_TRACE(c.path);
        EXPECT_EQ(host.ReadUnbuffered(c.path, 0, buffer.span()), std::nullopt);
        EXPECT_EQ(host.FailureReason(), c.reason);
    }
    EXPECT_EQ(host.WriteCommandFile("E:\\SUBDIR", Pattern(512)), std::nullopt);
    EXPECT_EQ(host.FailureReason(), "Is a directory");
    EXPECT_EQ(host.WriteCommandFile("J:\\CMD.CMD", Pattern(512)), std::nullopt);
    EXPECT_EQ(host.FailureReason(), "No such device");
    // A success does not clear it: it is the reason of the last failure.
    EXPECT_EQ(host.ReadUnbuffered("E:\\DATA.BIN", 0, buffer.span()), 512u);
    EXPECT_EQ(host.FailureReason(), "No such device");
}

// The device link finds the reader and reads its replies through the Linux backend.
TEST_F(LinuxHostTest, DeviceLinkFindsTheReaderThroughTheBackend) {
    std::vector<std::uint8_t> status(0x10000, 0);
    const std::array<std::uint8_t, 8> serial = {0x3A, 0x7C, 0x19, 0xE4, 0x05, 0xB2, 0x6D, 0x81};
    std::copy(serial.begin(), serial.end(), status.begin());
    const std::string identity = "N64_KRN03_RV300";
    std::copy(identity.begin(), identity.end(), status.begin() + kIdentityOffset);
    WriteBytes(root_ / "reader/T-DRIVER.DMP", status);
    // A fixed FAT disk that sorts first and carries a status file of its own.
    std::vector<std::uint8_t> decoy(0x10000, 0);
    std::copy_n("HND_KRN02_RV100", 15, decoy.begin() + kIdentityOffset);
    WriteBytes(root_ / "fixed/T-DRIVER.DMP", decoy);
    WriteText(root_ / "sys/class/block/sda/removable", "0\n");
    WriteText(root_ / "sys/class/block/sdb/removable", "1\n");
    // A labelled USB stick without a status file, whose mount point sorts first.
    WriteText(root_ / "sys/class/block/sdc/removable", "1\n");
    fs::create_directories(root_ / "aaa-stick");
    const auto reader = Mount("/dev/sdb", "reader", "vfat");
    const auto fixed = Mount("/dev/sda", "fixed", "vfat");
    const auto stick = Mount("/dev/sdc", "aaa-stick", "vfat");

    LinuxHost host(Paths());
    emulator::ScopedHost installed(host);

    // The label is information only: a reader whose volume has no by-label link is found too, and
    // shows no label (not the stick's, probed before it).
    const struct {
        const char* what;
        const char* readerLabel;  // nullptr: no by-label link
        bool withStick;
        char drive;
        const char* label;
    } cases[] = {
        {"a labelled reader", "N64READER", false, 'E', "N64READER"},
        {"a reader without a label", nullptr, false, 'E', ""},
        {"an unlabelled reader after a labelled stick", nullptr, true, 'F', ""},
        {"a labelled reader after a labelled stick", "N64READER", true, 'F', "N64READER"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        fs::remove_all(root_ / "dev/disk/by-label");
        Link(root_ / "dev/disk/by-label/STICK", "../../sdc");
        if (c.readerLabel != nullptr) {
            Link(root_ / "dev/disk/by-label" / c.readerLabel, "../../sdb");
        }
        WriteMounts(c.withStick ? std::vector{reader, fixed, stick} : std::vector{reader, fixed});
        ResetDeviceGlobals();
        ASSERT_EQ(FindDevice(0, nullptr), 1);
        EXPECT_EQ(DeviceDrive, c.drive);
        EXPECT_STREQ(DeviceIdentity.data(), identity.c_str());
        EXPECT_STREQ(VolumeLabel.data(), c.label);
    }

    WriteMounts({reader, fixed});
    ASSERT_EQ(FindDevice(0, nullptr), 1);
    std::array<std::uint8_t, 8> reply{};
    ASSERT_EQ(StatusRead(0, reply.data(), reply.size()), 8u);
    EXPECT_EQ(reply, serial);

    CommandSector reboot{};
    reboot[1] = 0xF0;
    reboot[2] = 0xFF;
    ASSERT_EQ(SendCommands(reboot), 512u);
    const auto written = ReadBytes(root_ / "reader/CMD.CMD");
    ASSERT_EQ(written.size(), 512u);
    EXPECT_EQ(written[0], 0x5A);
    EXPECT_EQ(written[510], 0x76);
    EXPECT_EQ(written[511], 0x5B);

    // The reader restarts: its drive vanishes, then comes back.
    WriteMounts({fixed});
    EXPECT_EQ(FindDevice(0, nullptr), 0);
    EXPECT_EQ(DeviceDrive, 'D');
    WriteMounts({fixed, reader});
    EXPECT_EQ(FindDevice(0, nullptr), 1);
    EXPECT_EQ(DeviceDrive, 'E');
}

}  // namespace
}  // namespace reader::platform
