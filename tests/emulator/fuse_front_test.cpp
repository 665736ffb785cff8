#include "emulator/fuse_front.hpp"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstring>
#include <string>
#include <vector>

#include "commands/maintenance.hpp"
#include "emulator/emulated_host.hpp"
#include "link/bytes.hpp"
#include "link/command_sector.hpp"

namespace reader::emulator {
namespace {

// A run of stamped maintenance sectors, as the client writes them.
std::vector<std::uint8_t> Sectors(
    std::initializer_list<std::pair<std::uint8_t, std::uint8_t>> ops) {
    std::vector<std::uint8_t> bytes(ops.size() * kSectorSize, 0);
    std::size_t at = 0;
    for (const auto& [operation, mode] : ops) {
        bytes[at + kSectorGroupOffset] = reader::kMaintenanceGroup;
        bytes[at + kSectorOperationOffset] = operation;
        bytes[at + reader::kBootModeOffset] = mode;
        at += kSectorSize;
    }
    StampSectors(bytes);
    return bytes;
}

class FuseFrontTest : public ::testing::Test {
  protected:
    explicit FuseFrontTest(ReaderConfig config = {}, std::optional<std::uint32_t> powerOnAfter = {})
        : model_(clock_, 'E', std::move(config)), front_(model_, clock_, 'E', powerOnAfter) {}

    // A create-always followed by one write, the Linux way (O_TRUNC).
    int Send(std::span<const std::uint8_t> bytes) {
        const int opened = front_.Open("/CMD.CMD", O_WRONLY | O_CREAT | O_TRUNC);
        if (opened != 0) {
            return opened;
        }
        return front_.Write("/CMD.CMD", 0, bytes);
    }

    std::string Identity() {
        std::array<std::uint8_t, kIdentitySize> bytes{};
        if (front_.Read("/T-DRIVER.DMP", kIdentityOffset, bytes) != kIdentitySize) {
            return "<unreadable>";
        }
        return std::string(reinterpret_cast<const char*>(bytes.data()));
    }

    // Every access that a program can make, each of which must fail with ENOMEDIUM.
    void ExpectDriveGone() {
        FrontAttributes attributes;
        std::vector<std::string> names;
        std::array<std::uint8_t, 16> buffer{};
        const auto command = Sectors({{reader::kOpUpdateBegin, 0}});
        EXPECT_EQ(front_.GetAttributes("/", attributes), -ENOMEDIUM);
        EXPECT_EQ(front_.GetAttributes("/T-DRIVER.DMP", attributes), -ENOMEDIUM);
        EXPECT_EQ(front_.OpenDirectory("/"), -ENOMEDIUM);
        EXPECT_EQ(front_.ListDirectory("/", names), -ENOMEDIUM);
        EXPECT_EQ(front_.Open("/T-DRIVER.DMP", O_RDONLY), -ENOMEDIUM);
        EXPECT_EQ(front_.Open("/CMD.CMD", O_WRONLY | O_TRUNC), -ENOMEDIUM);
        EXPECT_EQ(front_.Create("/CMD.CMD", O_WRONLY | O_CREAT | O_TRUNC), -ENOMEDIUM);
        EXPECT_EQ(front_.Read("/T-DRIVER.DMP", kIdentityOffset, buffer), -ENOMEDIUM);
        EXPECT_EQ(front_.Write("/CMD.CMD", 0, command), -ENOMEDIUM);
        EXPECT_EQ(front_.Truncate("/CMD.CMD", 0), -ENOMEDIUM);
        EXPECT_EQ(front_.Access("/", R_OK), -ENOMEDIUM);
        EXPECT_EQ(front_.Touch("/CMD.CMD"), -ENOMEDIUM);
    }

    VirtualClock clock_;
    ReaderModel model_;
    FuseFront front_;
};

TEST_F(FuseFrontTest, RootHoldsTheThreeFilesFoundInAnyCase) {
    struct Case {
        const char* path;
        int result;
        bool directory;
        std::uint64_t size;
        bool writable;
    };
    const Case cases[] = {
        {"/", 0, true, 0, true},
        {"/T-DRIVER.DMP", 0, false, kStatusFileSize, false},
        {"/t-driver.dmp", 0, false, kStatusFileSize, false},
        {"/CMD.CMD", 0, false, 0, true},
        {"/Cmd.Cmd", 0, false, 0, true},
        {"/DUMP.ROM", 0, false, 0, false},
        // Wine asks for these on every volume; they must simply not exist.
        {"/.windows-label", -ENOENT, false, 0, false},
        {"/.windows-serial", -ENOENT, false, 0, false},
        {"/CMD.CMD/x", -ENOENT, false, 0, false},
        {"/sub/CMD.CMD", -ENOENT, false, 0, false},
        {"/CMD.CM", -ENOENT, false, 0, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        FrontAttributes attributes;
        ASSERT_EQ(front_.GetAttributes(c.path, attributes), c.result);
        if (c.result == 0) {
            EXPECT_EQ(attributes.directory, c.directory);
            EXPECT_EQ(attributes.size, c.size);
            EXPECT_EQ(attributes.writable, c.writable);
        }
    }
    std::vector<std::string> names;
    ASSERT_EQ(front_.ListDirectory("/", names), 0);
    EXPECT_EQ(names, (std::vector<std::string>{"CMD.CMD", "T-DRIVER.DMP", "DUMP.ROM"}));
    EXPECT_EQ(front_.ListDirectory("/CMD.CMD", names), -ENOTDIR);
}

TEST_F(FuseFrontTest, OnlyTheCommandFileTakesWrites) {
    struct Case {
        const char* what;
        int result;
        int (*call)(FuseFront&);
    };
    const Case cases[] = {
        {"read the status file", 0, [](FuseFront& f) { return f.Open("/T-DRIVER.DMP", O_RDONLY); }},
        {"write the status file", -EACCES,
         [](FuseFront& f) { return f.Open("/T-DRIVER.DMP", O_WRONLY); }},
        {"read-write the data file", -EACCES,
         [](FuseFront& f) { return f.Open("/DUMP.ROM", O_RDWR); }},
        {"read-write the command file (Wine)", 0,
         [](FuseFront& f) { return f.Open("/CMD.CMD", O_RDWR); }},
        {"create the command file in lower case", 0,
         [](FuseFront& f) { return f.Create("/cmd.cmd", O_WRONLY | O_CREAT | O_TRUNC); }},
        {"create another file", -EACCES,
         [](FuseFront& f) { return f.Create("/NEW.TXT", O_WRONLY | O_CREAT); }},
        {"open a missing file", -ENOENT, [](FuseFront& f) { return f.Open("/NEW.TXT", O_RDONLY); }},
        {"truncate the status file", -EACCES,
         [](FuseFront& f) { return f.Truncate("/T-DRIVER.DMP", 0); }},
        {"write the status file's bytes", -EACCES,
         [](FuseFront& f) {
             const std::array<std::uint8_t, 1> byte{};
             return f.Write("/T-DRIVER.DMP", 0, byte);
         }},
        {"access the status file for writing", -EACCES,
         [](FuseFront& f) { return f.Access("/T-DRIVER.DMP", W_OK); }},
        {"access the command file for writing", 0,
         [](FuseFront& f) { return f.Access("/CMD.CMD", W_OK); }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(c.call(front_), c.result);
    }
}

TEST_F(FuseFrontTest, EitherFormOfCreateAlwaysStartsANewCommand) {
    const auto first = Sectors({{reader::kOpSetBootMode, 1}});
    ASSERT_EQ(Send(first), static_cast<int>(kSectorSize));

    // Wine: a read-write open, then a truncate to 0, then the write.
    const auto second = Sectors({{reader::kOpSetBootMode, 0}});
    ASSERT_EQ(front_.Open("/CMD.CMD", O_RDWR), 0);
    ASSERT_EQ(front_.Truncate("/CMD.CMD", 0), 0);
    ASSERT_EQ(front_.Write("/CMD.CMD", 0, second), static_cast<int>(kSectorSize));

    // Linux: O_TRUNC on the open itself.
    ASSERT_EQ(Send(first), static_cast<int>(kSectorSize));

    EXPECT_EQ(front_.TakeTranscript(),
              (std::vector<std::string>{"F0 07 SetBootMode mode=1", "F0 07 SetBootMode mode=0",
                                        "F0 07 SetBootMode mode=1"}));
    FrontAttributes attributes;
    ASSERT_EQ(front_.GetAttributes("/CMD.CMD", attributes), 0);
    EXPECT_EQ(attributes.size, kSectorSize);
}

TEST_F(FuseFrontTest, WithoutTruncationARewrittenSectorIsNotRunAgain) {
    // The file already holds a processed sector at offset 0; writing the same place again without
    // a create-always is not a new command.
    ASSERT_EQ(Send(Sectors({{reader::kOpSetBootMode, 1}})), static_cast<int>(kSectorSize));
    ASSERT_EQ(front_.Open("/CMD.CMD", O_WRONLY), 0);
    ASSERT_EQ(front_.Write("/CMD.CMD", 0, Sectors({{reader::kOpSetBootMode, 0}})),
              static_cast<int>(kSectorSize));
    EXPECT_EQ(front_.TakeTranscript(), (std::vector<std::string>{"F0 07 SetBootMode mode=1"}));
    EXPECT_TRUE(model_.BootFlag());
}

TEST_F(FuseFrontTest, PiecesOfOneWriteRunEachSectorOnceItIsComplete) {
    // The kernel splits a write at page edges; pieces may even arrive out of order.
    const auto command = Sectors({{reader::kOpSetBootMode, 1},
                                  {reader::kOpSetBootMode, 0},
                                  {reader::kOpSetBootMode, 1},
                                  {reader::kOpSetBootMode, 0}});
    struct Piece {
        std::size_t from;
        std::size_t to;
        std::size_t linesAfter;
    };
    const Piece pieces[] = {{0, 100, 0}, {1500, 2048, 0}, {100, 1100, 2}, {1100, 1500, 4}};
    ASSERT_EQ(front_.Open("/CMD.CMD", O_WRONLY | O_TRUNC), 0);
    std::size_t lines = 0;
    for (const auto& piece : pieces) {
        SCOPED_TRACE(piece.from);
        const std::span<const std::uint8_t> bytes(command.data() + piece.from,
                                                  piece.to - piece.from);
        ASSERT_EQ(front_.Write("/CMD.CMD", piece.from, bytes), static_cast<int>(bytes.size()));
        lines += front_.TakeTranscript().size();
        EXPECT_EQ(lines, piece.linesAfter);
    }
    EXPECT_EQ(model_.SectorsReceived(), 4u);
    EXPECT_FALSE(model_.BootFlag());  // the last sector ran last
}

TEST_F(FuseFrontTest, ReadsServeTheReplyOfTheLastCommandAndStopAtTheEnd) {
    // The serial is a bootloader reply: restart into the bootloader first.
    ASSERT_GT(Send(Sectors({{reader::kOpSetBootMode, 1}, {reader::kOpReboot, 0}})), 0);
    clock_.Advance(kDefaultRestartMs);
    ASSERT_GT(Send(Sectors({{reader::kOpUpdateBegin, 0}, {reader::kOpReadSerial, 0}})), 0);
    std::array<std::uint8_t, kSerialSize> serial{};
    ASSERT_EQ(front_.Read("/t-driver.dmp", 0, serial), static_cast<int>(kSerialSize));
    EXPECT_EQ(serial, kDefaultSerial);

    std::array<std::uint8_t, 4096> tail{};
    EXPECT_EQ(front_.Read("/T-DRIVER.DMP", kStatusFileSize - 1024, tail), 1024);
    EXPECT_EQ(front_.Read("/T-DRIVER.DMP", kStatusFileSize, tail), 0);
    EXPECT_EQ(front_.Read("/", 0, tail), -EISDIR);
}

TEST_F(FuseFrontTest, DuringARestartEveryAccessFailsUntilTheReaderIsBack) {
    EXPECT_EQ(Identity(), "N64_KRN03_RV300");
    ASSERT_EQ(Send(Sectors({{reader::kOpSetBootMode, 1}, {reader::kOpReboot, 0}})),
              static_cast<int>(2 * kSectorSize));
    ExpectDriveGone();
    clock_.Advance(kDefaultRestartMs - 1);
    ExpectDriveGone();
    clock_.Advance(1);
    EXPECT_EQ(Identity(), "BOOT_N64Q2");
}

class FuseFrontReturnLetterTest : public FuseFrontTest {
  protected:
    static ReaderConfig Config() {
        ReaderConfig config;
        config.faults.returnLetter = 'F';
        return config;
    }
    FuseFrontReturnLetterTest() : FuseFrontTest(Config()) {}
};

TEST_F(FuseFrontReturnLetterTest, AReaderBackUnderAnotherLetterIsGoneFromThisMount) {
    ASSERT_GT(Send(Sectors({{reader::kOpReboot, 0}})), 0);
    clock_.Advance(10 * kDefaultRestartMs);
    EXPECT_TRUE(model_.Present());
    ExpectDriveGone();
}

class FuseFrontPowerTest : public FuseFrontTest {
  protected:
    static ReaderConfig Config() {
        ReaderConfig config;
        config.faults.powerCutAfterSector = 2;
        return config;
    }
    FuseFrontPowerTest() : FuseFrontTest(Config(), 700) {}
};

TEST_F(FuseFrontPowerTest, PowerCutInsideAWriteThenBackAfterTheSetTime) {
    // The power goes with the second of three sectors: the write fails, the third never runs.
    EXPECT_EQ(Send(Sectors({{reader::kOpSetBootMode, 1},
                            {reader::kOpSetBootMode, 0},
                            {reader::kOpSetBootMode, 1}})),
              -EIO);
    EXPECT_EQ(front_.TakeTranscript().size(), 2u);
    ExpectDriveGone();
    clock_.Advance(699);
    ExpectDriveGone();
    clock_.Advance(1);
    // The boot flag survived the cut, cleared by the second sector: the firmware starts.
    EXPECT_EQ(Identity(), "N64_KRN03_RV300");
}

TEST_F(FuseFrontTest, TogglePowerTakesTheDriveAwayAndBringsItBack) {
    front_.TogglePower();
    ExpectDriveGone();
    clock_.Advance(1'000'000);  // no automatic power-on was asked for
    ExpectDriveGone();
    front_.TogglePower();
    EXPECT_EQ(Identity(), "N64_KRN03_RV300");
}

class FuseFrontFaultTest : public FuseFrontTest {
  protected:
    static ReaderConfig Config() {
        ReaderConfig config;
        config.faults.failCommandOpenAt = 2;
        config.faults.failCommandWriteAt = 3;
        return config;
    }
    FuseFrontFaultTest() : FuseFrontTest(Config()) {}
};

TEST_F(FuseFrontFaultTest, FailingOpensAndWritesOfTheCommandFileReportIo) {
    const auto command = Sectors({{reader::kOpSetBootMode, 1}});
    EXPECT_EQ(Send(command), static_cast<int>(kSectorSize));  // open 1, write 1
    EXPECT_EQ(Send(command), -EIO);                           // open 2 fails
    EXPECT_EQ(Send(command), static_cast<int>(kSectorSize));  // open 3, write 2
    EXPECT_EQ(Send(command), -EIO);                           // open 4, write 3 fails
    // Opening the command file only for reading is no command and counts for nothing.
    EXPECT_EQ(front_.Open("/CMD.CMD", O_RDONLY), 0);
    EXPECT_EQ(front_.TakeTranscript().size(), 2u);
}

}  // namespace
}  // namespace reader::emulator
