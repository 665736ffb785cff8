#include <gtest/gtest.h>

#include <array>
#include <string>
#include <vector>

#include "link/discovery.hpp"
#include "support/host_fixture.hpp"

namespace reader {
namespace {

using platform::DriveType;

std::vector<std::uint8_t> StatusFile(std::string_view identity) {
    std::vector<std::uint8_t> bytes(0x10000, 0);
    std::copy(identity.begin(), identity.end(), bytes.begin() + 0x8000);
    return bytes;
}

struct Drive {
    char letter;
    DriveType type;
    const char* identity;    // nullptr: no status file
    const char* label = "";  // "": a volume without a label
};

struct DiscoveryCase {
    const char* what;
    std::vector<Drive> drives;
    int letter;
    const char* expected;
    int result;
    char drive;              // DeviceDrive afterwards
    std::string identity;    // DeviceIdentity afterwards
    std::string label = "";  // VolumeLabel afterwards
};

class DiscoveryTest : public testing::HostFixture {};

TEST_F(DiscoveryTest, FindsTheReaderAndLeavesDriveAndIdentity) {
    const DiscoveryCase cases[] = {
        {"nothing at all", {}, 0, nullptr, 0, 0, ""},
        {"no removable drive",
         {{'C', DriveType::Fixed, nullptr},
          {'D', DriveType::Fixed, nullptr},
          {'G', DriveType::CdRom, nullptr}},
         0,
         nullptr,
         0,
         'G',
         ""},
        {"removable drive without status file is passed over",
         {{'E', DriveType::Removable, nullptr}, {'F', DriveType::Removable, "N64_KRN03_RV315"}},
         0,
         nullptr,
         1,
         'F',
         "N64_KRN03_RV315"},
        {"two readers: the lowest letter wins",
         {{'F', DriveType::Removable, "N64_KRN03_RV300"},
          {'H', DriveType::Removable, "BOOT_N64Q2"}},
         0,
         nullptr,
         1,
         'F',
         "N64_KRN03_RV300"},
        {"A, B and C are not scanned",
         {{'B', DriveType::Removable, "N64_KRN03_RV315"}},
         0,
         nullptr,
         0,
         0,
         ""},
        {"a named letter below D is probed",
         {{'B', DriveType::Removable, "N64_KRN03_RV315"}},
         'B',
         nullptr,
         1,
         'B',
         "N64_KRN03_RV315"},
        {"a named letter probes that drive alone",
         {{'F', DriveType::Removable, "N64_KRN03_RV315"}},
         'E',
         nullptr,
         0,
         'E',
         ""},
        {"a fixed disk with a status file is not the reader",
         {{'D', DriveType::Fixed, "N64_KRN03_RV315"}},
         0,
         nullptr,
         0,
         'D',
         ""},
        {"a CD-ROM with a status file is not the reader",
         {{'D', DriveType::CdRom, "N64_KRN03_RV315"}},
         0,
         nullptr,
         0,
         'D',
         ""},
        {"a network drive with a status file is not the reader",
         {{'E', DriveType::Remote, "N64_KRN03_RV315"}},
         0,
         nullptr,
         0,
         'E',
         ""},
        {"a RAM disk with a status file is not the reader",
         {{'F', DriveType::RamDisk, "N64_KRN03_RV315"}},
         0,
         nullptr,
         0,
         'F',
         ""},
        {"a named fixed disk is not the reader either",
         {{'D', DriveType::Fixed, "N64_KRN03_RV315"}},
         'D',
         nullptr,
         0,
         'D',
         ""},
        {"a reader on C alone is not scanned and leaves the drive unchanged",
         {{'C', DriveType::Removable, "N64_KRN03_RV315"}},
         0,
         nullptr,
         0,
         0,
         ""},
        {"a reader on C next to a fixed D: the scan ends on D",
         {{'C', DriveType::Removable, "N64_KRN03_RV315"}, {'D', DriveType::Fixed, nullptr}},
         0,
         nullptr,
         0,
         'D',
         ""},
        {"Z is scanned",
         {{'D', DriveType::Fixed, nullptr}, {'Z', DriveType::Removable, "N64_KRN03_RV300"}},
         0,
         nullptr,
         1,
         'Z',
         "N64_KRN03_RV300"},
        {"nothing found: the drive is the highest letter present",
         {{'E', DriveType::Removable, nullptr}, {'Z', DriveType::CdRom, nullptr}},
         0,
         nullptr,
         0,
         'Z',
         ""},
        {"only the low 8 bits of the letter count",
         {{'F', DriveType::Removable, "N64_KRN03_RV315"}},
         0x100,
         nullptr,
         1,
         'F',
         "N64_KRN03_RV315"},
        {"expected identity narrows the scan",
         {{'E', DriveType::Removable, "HND_KRN02_RV100"},
          {'F', DriveType::Removable, "N64_KRN03_RV315"}},
         0,
         "N64",
         1,
         'F',
         "N64_KRN03_RV315"},
        {"the third character counts in the narrowing",
         {{'E', DriveType::Removable, "N65_KRN03_RV315"},
          {'F', DriveType::Removable, "N64_KRN03_RV300"}},
         0,
         "N64",
         1,
         'F',
         "N64_KRN03_RV300"},
        {"an identity that differs in its third byte only is not the reader",
         {{'E', DriveType::Removable, "N6x_KRN03_RV315"}},
         'E',
         "N64",
         0,
         'E',
         "N6x_KRN03_RV315"},
        {"rejected identity stays when nothing later qualifies",
         {{'E', DriveType::Removable, "HND_KRN02_RV100"}},
         0,
         "N64",
         0,
         'E',
         "HND_KRN02_RV100"},
        {"a reader without a volume label is found all the same",
         {{'E', DriveType::Removable, "N64_KRN03_RV300", ""}},
         0,
         nullptr,
         1,
         'E',
         "N64_KRN03_RV300",
         ""},
        {"an unlabelled reader after a labelled stick: the stick's label is not kept",
         {{'D', DriveType::Removable, nullptr, "STICK"},
          {'E', DriveType::Removable, "N64_KRN03_RV315", ""}},
         0,
         nullptr,
         1,
         'E',
         "N64_KRN03_RV315",
         ""},
        {"a labelled reader leaves its label",
         {{'F', DriveType::Removable, "BOOT_N64Q2", "CARTREADER"}},
         0,
         nullptr,
         1,
         'F',
         "BOOT_N64Q2",
         "CARTREADER"},
        {"sixteen identity bytes with no terminator",
         {{'E', DriveType::Removable, "ABCDEFGHIJKLMNOP"}},
         0,
         nullptr,
         1,
         'E',
         "ABCDEFGHIJKLMNOP"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        emulator::EmulatedHost host;
        emulator::ScopedHost scoped(host);
        ResetDeviceGlobals();
        for (const auto& d : c.drives) {
            std::map<std::string, std::vector<std::uint8_t>> files;
            if (d.identity != nullptr) {
                files["T-DRIVER.DMP"] = StatusFile(d.identity);
            }
            host.AddDrive(d.letter, d.type, std::move(files), d.label);
        }
        EXPECT_EQ(FindDevice(c.letter, c.expected), c.result);
        EXPECT_EQ(DeviceDrive, c.drive);
        EXPECT_EQ(std::string(DeviceIdentity.data()), c.identity);
        EXPECT_EQ(DeviceIdentity[16], '\0');
        EXPECT_EQ(std::string(VolumeLabel.data()), c.label);
    }
}

TEST_F(DiscoveryTest, AFailedProbeKeepsTheEarlierIdentity) {
    AttachN64Reader('E', "N64_KRN03_RV315");
    ASSERT_EQ(FindDevice(0, nullptr), 1);
    EXPECT_EQ(FindDevice('K', nullptr), 0);
    EXPECT_EQ(DeviceDrive, 'K');
    EXPECT_EQ(Identity(), "N64_KRN03_RV315");
}

TEST_F(DiscoveryTest, ReaderDuringARestartIsNotFound) {
    auto& reader = AttachN64Reader('E');
    ASSERT_EQ(FindDevice(0, nullptr), 1);
    reader.PowerCut();
    DeviceIdentity.fill(0);
    EXPECT_EQ(FindDevice('E', nullptr), 0);
    EXPECT_EQ(Identity(), "");
    reader.PowerOn();
    EXPECT_EQ(FindDevice('E', nullptr), 1);
    EXPECT_EQ(Identity(), "N64_KRN03_RV300");
}

TEST_F(DiscoveryTest, StatusFileEndingInsideTheIdentityIsNotAReader) {
    auto& reader = AttachN64Reader('E');
    reader.Faults().statusFileLength = 0x8008;
    EXPECT_EQ(FindDevice(0, nullptr), 0);
    EXPECT_EQ(Identity(), "");
}

// The emulated reader's volume, with its usual label or none (the label call succeeds with an
// empty text, as on Windows).
TEST_F(DiscoveryTest, AnEmulatedReaderIsFoundWhateverItsVolumeLabel) {
    for (const std::string_view label : {emulator::kReaderVolumeLabel, std::string_view()}) {
        SCOPED_TRACE(label);
        emulator::EmulatedHost host;
        emulator::ScopedHost scoped(host);
        ResetDeviceGlobals();
        host.AttachReader('E', {}, std::string(label));
        std::array<char, 16> answer{};
        answer.fill('#');
        EXPECT_TRUE(host.VolumeLabelOf("E:", answer));
        ASSERT_EQ(FindDevice(0, nullptr), 1);
        EXPECT_EQ(std::string(DeviceIdentity.data()), "N64_KRN03_RV300");
        EXPECT_EQ(std::string(answer.data()), label);
        EXPECT_EQ(std::string(VolumeLabel.data()), label);
    }
}

}  // namespace
}  // namespace reader
