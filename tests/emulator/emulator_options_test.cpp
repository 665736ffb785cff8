#include "emulator/emulator_options.hpp"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace reader::emulator {
namespace {

std::optional<EmulatorOptions> Parse(std::vector<std::string_view> args, std::string& error,
                                     bool mountPointRequired = true) {
    return ParseEmulatorOptions(args, mountPointRequired, error);
}

TEST(EmulatorOptions, EachOptionReachesItsSetting) {
    struct Case {
        std::vector<std::string_view> args;
        std::function<bool(const EmulatorOptions&)> holds;
    };
    const Case cases[] = {
        {{"/mnt"},
         [](const EmulatorOptions& o) {
             return o.mountPoint == "/mnt" && o.letter == 'E' &&
                    o.firmwareIdentity == "N64_KRN03_RV300" && o.config.fixedIdentity.empty() &&
                    o.config.faults.restartMs == kDefaultRestartMs && !o.startPoweredOff &&
                    o.config.pastEnd == PastEnd::OpenBus && !o.dataBytesPerSecond;
         }},
        {{"/mnt", "--letter", "g"}, [](const EmulatorOptions& o) { return o.letter == 'G'; }},
        {{"--firmware-identity", "N64_KRN03_RV315", "/mnt"},
         [](const EmulatorOptions& o) { return o.firmwareIdentity == "N64_KRN03_RV315"; }},
        {{"/mnt", "--identity", "NES_KRN02_RV100"},
         [](const EmulatorOptions& o) { return o.config.fixedIdentity == "NES_KRN02_RV100"; }},
        {{"/mnt", "--bootloader-identity", "BOOT_N64_R2_400"},
         [](const EmulatorOptions& o) { return o.config.bootloaderIdentity == "BOOT_N64_R2_400"; }},
        {{"/mnt", "--serial", "0011223344556677"},
         [](const EmulatorOptions& o) {
             return o.config.serial == std::array<std::uint8_t, kSerialSize>{
                                           0x00, 0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77};
         }},
        {{"/mnt", "--serial", "a1b2C3d4E5f60718"},
         [](const EmulatorOptions& o) {
             return o.config.serial[0] == 0xA1 && o.config.serial[7] == 0x18;
         }},
        {{"/mnt", "--misc-byte", "0x80"},
         [](const EmulatorOptions& o) { return o.config.miscByte == 0x80; }},
        {{"/mnt", "--restart-ms", "6000"},
         [](const EmulatorOptions& o) { return o.config.faults.restartMs == 6000; }},
        {{"/mnt", "--return-letter", "F"},
         [](const EmulatorOptions& o) { return o.config.faults.returnLetter == 'F'; }},
        {{"/mnt", "--never-return", "--return-in-firmware"},
         [](const EmulatorOptions& o) {
             return o.config.faults.neverReturns && o.config.faults.returnsInFirmware;
         }},
        {{"/mnt", "--fail-open", "3"},
         [](const EmulatorOptions& o) {
             return o.config.faults.failCommandOpenAt == 3u &&
                    !o.config.faults.failCommandOpenFromThenOn;
         }},
        {{"/mnt", "--fail-open", "3+"},
         [](const EmulatorOptions& o) {
             return o.config.faults.failCommandOpenAt == 3u &&
                    o.config.faults.failCommandOpenFromThenOn;
         }},
        {{"/mnt", "--fail-write", "2"},
         [](const EmulatorOptions& o) { return o.config.faults.failCommandWriteAt == 2u; }},
        {{"/mnt", "--status-length", "0x8008"},
         [](const EmulatorOptions& o) { return o.config.faults.statusFileLength == 0x8008u; }},
        {{"/mnt", "--corrupt-status-byte", "32771"},
         [](const EmulatorOptions& o) { return o.config.faults.corruptStatusByte == 0x8003u; }},
        {{"/mnt", "--stuck-block", "29"},
         [](const EmulatorOptions& o) { return o.config.faults.stuckBlock == 29u; }},
        {{"/mnt", "--power-cut-after", "40", "--power-on-after", "1500"},
         [](const EmulatorOptions& o) {
             return o.config.faults.powerCutAfterSector == 40u && o.powerOnAfterMs == 1500u;
         }},
        {{"/mnt", "--powered-off", "--debug"},
         [](const EmulatorOptions& o) { return o.startPoweredOff && o.fuseDebug; }},
        {{"/mnt", "--state", "s.bin", "--transcript", "t.txt"},
         [](const EmulatorOptions& o) {
             return o.statePath == "s.bin" && o.transcriptPath == "t.txt";
         }},
        {{"/mnt", "--identity", "N64_KRN20_RV100", "--cartridge", "rom.z64", "--cartridge-out",
          "out.z64"},
         [](const EmulatorOptions& o) {
             return o.cartridgePath == "rom.z64" && o.cartridgeOutPath == "out.z64";
         }},
        {{"/mnt", "--cartridge", "rom.sfc", "--identity", "SFC_KRN02_RV999"},
         [](const EmulatorOptions& o) { return o.cartridgePath == "rom.sfc"; }},
        {{"/mnt", "--corrupt-data-read", "3"},
         [](const EmulatorOptions& o) {
             const auto& flip = o.config.faults.flipDataRead;
             return flip && flip->read == 3 && flip->offset == 0;
         }},
        {{"/mnt", "--corrupt-data-read", "0x10@0x2000"},
         [](const EmulatorOptions& o) {
             const auto& flip = o.config.faults.flipDataRead;
             return flip && flip->read == 16 && flip->offset == 0x2000;
         }},
        {{"/mnt", "--data-rate", "40"},
         [](const EmulatorOptions& o) { return o.dataBytesPerSecond == 40u * 1024 * 1024; }},
        {{"/mnt", "--data-rate", "0.25"},
         [](const EmulatorOptions& o) { return o.dataBytesPerSecond == 262144u; }},
        {{"/mnt", "--past-end", "mirror"},
         [](const EmulatorOptions& o) { return o.config.pastEnd == PastEnd::Mirror; }},
        {{"/mnt", "--past-end", "ff"},
         [](const EmulatorOptions& o) { return o.config.pastEnd == PastEnd::Ff; }},
        {{"--help"}, [](const EmulatorOptions& o) { return o.help; }},
    };
    for (const auto& c : cases) {
        std::string trace;
        for (const auto arg : c.args) {
            trace += std::string(arg) + " ";
        }
        SCOPED_TRACE(trace);
        std::string error;
        const auto options = Parse(c.args, error);
        ASSERT_TRUE(options) << error;
        EXPECT_TRUE(c.holds(*options));
    }
}

TEST(EmulatorOptions, RefusesWhatItCannotTake) {
    const std::vector<std::vector<std::string_view>> cases = {
        {},                                                // no mount point
        {"/a", "/b"},                                      // two mount points
        {"/mnt", "--restart-ms"},                          // value missing
        {"/mnt", "--restart-ms", "soon"},                  // not a number
        {"/mnt", "--restart-ms", "99999999999"},           // does not fit
        {"/mnt", "--restart-ms", "-5"},                    // an option, not a value
        {"/mnt", "--letter", "EF"},                        // not one letter
        {"/mnt", "--letter", "5"},                         //
        {"/mnt", "--identity", "AN_IDENTITY_TOO_LONG"},    // more than 16 characters
        {"/mnt", "--identity", ""},                        //
        {"/mnt", "--serial", "3A7C19E405B26D"},            // 7 bytes
        {"/mnt", "--serial", "3A7C19E405B26DZZ"},          // not hex
        {"/mnt", "--misc-byte", "256"},                    // not a byte
        {"/mnt", "--fail-open", "0"},                      // counts start at 1
        {"/mnt", "--fail-open", "+"},                      //
        {"/mnt", "--fail-write", "0"},                     //
        {"/mnt", "--stuck-block", "30"},                   // blocks are 0..29
        {"/mnt", "--power-cut-after", "0"},                //
        {"/mnt", "--frobnicate", "1"},                     // unknown
        {"/mnt", "--restart-ms", "0x"},                    //
        {"/mnt", "--data-rate", "0"},                      // no data at all
        {"/mnt", "--data-rate", "4294967296"},             // past 32 bits
        {"/mnt", "--data-rate", "-1"},                     //
        {"/mnt", "--data-rate", "0.0"},                    //
        {"/mnt", "--data-rate", "0.0000001"},              // under a byte a second
        {"/mnt", "--data-rate", "1e3"},                    // plain decimals only
        {"/mnt", "--data-rate", "inf"},                    //
        {"/mnt", "--data-rate", "2.5MiB"},                 //
        {"/mnt", "--past-end", "zero"},                    // not one of the three
        {"/mnt", "--corrupt-data-read", "0"},              // reads count from 1
        {"/mnt", "--corrupt-data-read", "3@"},             // an offset that is not there
        {"/mnt", "--corrupt-data-read", "@5"},             //
        {"/mnt", "--corrupt-data-read", "3@0x100000000"},  // offset past 32 bits
        {"/mnt", "--corrupt-data-read", "3@4@5"},          //
        {"/mnt", "--cartridge", "rom.z64"},  // the N64 reader of the update has no cartridge
        {"/mnt", "--identity", "N64_KRN03_RV315", "--cartridge", "rom.z64"},      //
        {"/mnt", "--identity", "SFC_KRN02_RV100", "--cartridge-out", "out.sfc"},  // nothing to keep
    };
    for (const auto& args : cases) {
        std::string trace;
        for (const auto arg : args) {
            trace += std::string(arg) + " ";
        }
        SCOPED_TRACE(trace);
        std::string error;
        EXPECT_FALSE(Parse(args, error));
        EXPECT_FALSE(error.empty());
    }
}

TEST(EmulatorOptions, ACommandLineItCannotTakeGetsOneLineThatPointsToTheHelp) {
    const std::pair<std::vector<std::string_view>, std::string> cases[] = {
        {{"/mnt", "--frobnicate"},
         "reader-emulator: unknown option --frobnicate. Try 'reader-emulator --help'.\n"},
        {{"/mnt", "--restart-ms"},
         "reader-emulator: missing value after --restart-ms. Try 'reader-emulator --help'.\n"},
        {{}, "reader-emulator: no mount point given. Try 'reader-emulator --help'.\n"},
        {{"/mnt", "--past-end", "zero"},
         "reader-emulator: bad value for --past-end: zero (open-bus, mirror or ff). Try "
         "'reader-emulator --help'.\n"},
    };
    for (const auto& [args, line] : cases) {
        SCOPED_TRACE(line);
        std::string error;
        ASSERT_FALSE(Parse(args, error));
        EXPECT_EQ(EmulatorUsageError("reader-emulator", error), line);
    }
}

TEST(EmulatorOptions, TheReferenceRunNeedsNoMountPoint) {
    std::string error;
    const auto options = Parse({"--restart-ms", "500"}, error, false);
    ASSERT_TRUE(options) << error;
    EXPECT_TRUE(options->mountPoint.empty());
}

class ReaderStateTest : public ::testing::Test {
  protected:
    ReaderStateTest()
        : dir_(std::filesystem::temp_directory_path() /
               ("reader-state-" + std::to_string(::getpid()) + "-" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name())) {
        std::filesystem::create_directories(dir_);
    }
    ~ReaderStateTest() override { std::filesystem::remove_all(dir_); }

    std::string Path(const char* name) const { return (dir_ / name).string(); }

    std::filesystem::path dir_;
};

TEST_F(ReaderStateTest, TheMountPointMustBeAFolderThatExists) {
    std::filesystem::create_directories(Path("mnt"));
    std::ofstream(Path("file")) << "not a folder";
    const std::pair<std::string, std::string> cases[] = {
        {Path("mnt"), ""},
        {Path("none"), "the mount point " + Path("none") +
                           " does not exist: make the folder first (mkdir -p " + Path("none") +
                           ")"},
        {Path("file"),
         "the mount point " + Path("file") + " is not a folder: give an empty folder to mount on"},
        {Path("file") + "/inside",
         "cannot use the mount point " + Path("file") + "/inside: Not a directory"},
    };
    for (const auto& [path, message] : cases) {
        SCOPED_TRACE(path);
        std::string error;
        EXPECT_EQ(CheckMountPoint(path, error), message.empty());
        EXPECT_EQ(error, message);
    }
}

TEST_F(ReaderStateTest, AMissingFileIsAFreshReaderWithTheGivenFirmware) {
    EmulatorOptions options;
    options.statePath = Path("none.bin");
    options.firmwareIdentity = "N64_KRN03_RV315";
    std::string error;
    ASSERT_TRUE(LoadReaderState(options, error)) << error;
    EXPECT_EQ(options.config.flash, OldFirmwareFlash("N64_KRN03_RV315"));
    EXPECT_FALSE(options.config.bootFlag);
}

TEST_F(ReaderStateTest, WhatIsSavedIsLoadedAgain) {
    for (const bool bootFlag : {false, true}) {
        SCOPED_TRACE(bootFlag);
        std::vector<std::uint8_t> flash = OldFirmwareFlash();
        std::fill_n(flash.begin(), kFlashBlockSize, kErasedByte);  // block 0 erased
        flash.back() = 0x5A;
        std::string error;
        ASSERT_TRUE(SaveReaderState(Path("state.bin"), flash, bootFlag, error)) << error;
        EXPECT_EQ(std::filesystem::file_size(Path("state.bin")), kStateFileSize);
        EXPECT_FALSE(std::filesystem::exists(Path("state.bin.new")));

        EmulatorOptions options;
        options.statePath = Path("state.bin");
        ASSERT_TRUE(LoadReaderState(options, error)) << error;
        EXPECT_EQ(options.config.flash, flash);
        EXPECT_EQ(options.config.bootFlag, bootFlag);
    }
}

TEST_F(ReaderStateTest, AFileOfTheWrongSizeIsRefusedNotOverwritten) {
    {
        std::ofstream out(Path("short.bin"), std::ios::binary);
        out << "not a reader";
    }
    EmulatorOptions options;
    options.statePath = Path("short.bin");
    std::string error;
    EXPECT_FALSE(LoadReaderState(options, error));
    EXPECT_NE(error.find("12 bytes"), std::string::npos) << error;
    EXPECT_EQ(std::filesystem::file_size(Path("short.bin")), 12u);
}

TEST_F(ReaderStateTest, SavingIntoAMissingFolderFails) {
    std::string error;
    EXPECT_FALSE(
        SaveReaderState(Path("no/such/folder/state.bin"), OldFirmwareFlash(), false, error));
    EXPECT_FALSE(error.empty());
    EXPECT_FALSE(SaveReaderState(Path("state.bin"), std::vector<std::uint8_t>(10), false, error));
}

void WriteBytes(const std::string& path, const std::vector<std::uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
}

std::vector<std::uint8_t> ReadBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

TEST_F(ReaderStateTest, ACartridgeImageIsTakenUpToTheVariantsAddressSpace) {
    struct Case {
        std::string_view identity;
        std::size_t size;
        std::string error;  // empty: loaded
    };
    const Case cases[] = {
        {kNesIdentity, 0x10000, ""},
        {kNesIdentity, 0x10001,
         "is larger than the 65536 bytes that the NES reader's address space holds"},
        {kFc2Identity, 0, ""},  // an empty file places nothing
        {kSfcIdentity, 0x100003, ""},
        {kN64CartIdentity, 0x100000 + 7, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.identity << " " << c.size);
        std::vector<std::uint8_t> bytes(c.size);
        for (std::size_t i = 0; i < bytes.size(); ++i) {
            bytes[i] = static_cast<std::uint8_t>(i * 31 + (i >> 11));
        }
        WriteBytes(Path("rom.bin"), bytes);
        EmulatorOptions options;
        options.config.fixedIdentity = std::string(c.identity);
        options.cartridgePath = Path("rom.bin");
        std::string error;
        const bool loaded = LoadCartridgeImage(options, error);
        if (c.error.empty()) {
            ASSERT_TRUE(loaded) << error;
            EXPECT_EQ(options.config.cartridgeImage, bytes);
        } else {
            EXPECT_FALSE(loaded);
            EXPECT_EQ(error, "the cartridge image " + Path("rom.bin") + " " + c.error);
            EXPECT_TRUE(options.config.cartridgeImage.empty());
        }
    }
}

TEST_F(ReaderStateTest, AMissingOrUnreadableCartridgeImageIsNamedWithTheReason) {
    std::filesystem::create_directories(Path("folder"));
    const std::pair<std::string, std::string> cases[] = {
        {Path("none.z64"),
         "cannot open the cartridge image " + Path("none.z64") + ": No such file or directory"},
        {Path("folder"), "cannot read the cartridge image " + Path("folder") + ": Is a directory"},
    };
    for (const auto& [path, message] : cases) {
        SCOPED_TRACE(path);
        EmulatorOptions options;
        options.config.fixedIdentity = std::string(kN64CartIdentity);
        options.cartridgePath = path;
        std::string error;
        EXPECT_FALSE(LoadCartridgeImage(options, error));
        EXPECT_EQ(error, message);
    }
    // Without a path there is nothing to load.
    EmulatorOptions none;
    std::string error;
    EXPECT_TRUE(LoadCartridgeImage(none, error));
    EXPECT_TRUE(none.config.cartridgeImage.empty());
}

TEST_F(ReaderStateTest, TheCartridgeImageReplacesTheOutputFileWhole) {
    const std::vector<std::uint8_t> old(5000, 0x11);
    WriteBytes(Path("out.sfc"), old);
    const std::vector<std::uint8_t> image = {0x01, 0x02, 0x03, 0x04, 0x05};
    std::string error;
    ASSERT_TRUE(SaveCartridgeImage(Path("out.sfc"), image, error)) << error;
    EXPECT_EQ(ReadBytes(Path("out.sfc")), image);
    EXPECT_FALSE(std::filesystem::exists(Path("out.sfc.new")));

    // A failed save names the file and its reason, and leaves nothing behind.
    EXPECT_FALSE(SaveCartridgeImage(Path("no/such/folder/out.sfc"), image, error));
    EXPECT_EQ(error, "cannot write the cartridge image " + Path("no/such/folder/out.sfc.new") +
                         ": No such file or directory");
    // A name that is taken by a folder: written, then not renamed, and the temporary file goes.
    std::filesystem::create_directories(Path("taken.sfc"));
    EXPECT_FALSE(SaveCartridgeImage(Path("taken.sfc"), image, error));
    EXPECT_EQ(error,
              "cannot replace the cartridge image " + Path("taken.sfc") + ": Is a directory");
    EXPECT_FALSE(std::filesystem::exists(Path("taken.sfc.new")));
}

}  // namespace
}  // namespace reader::emulator
