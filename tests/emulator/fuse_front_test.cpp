#include "emulator/fuse_front.hpp"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "commands/cartridge.hpp"
#include "commands/maintenance.hpp"
#include "emulator/emulated_host.hpp"
#include "emulator/emulator_options.hpp"
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

// --- a cartridge image behind the mount ---------------------------------------------------------

using namespace reader::cartridge;
using SectorBody = std::vector<std::pair<std::size_t, std::uint8_t>>;

// Stamped cartridge sectors, one per body (bytes by position; every other byte 0).
std::vector<std::uint8_t> CartridgeSectors(std::initializer_list<SectorBody> bodies) {
    std::vector<std::uint8_t> bytes(bodies.size() * kSectorSize, 0);
    std::size_t at = 0;
    for (const auto& body : bodies) {
        for (const auto& [position, value] : body) {
            bytes[at + position] = value;
        }
        at += kSectorSize;
    }
    StampSectors(bytes);
    return bytes;
}

std::vector<std::uint8_t> ImageFile(std::size_t size) {
    std::vector<std::uint8_t> bytes(size);
    for (std::size_t k = 0; k < size; ++k) {
        bytes[k] = static_cast<std::uint8_t>(k * 13 + (k >> 9) + 0xA5);
    }
    return bytes;
}

// A mounted reader of one variant serving a loaded image.
struct MountedCartridge {
    MountedCartridge(std::string_view identity, std::vector<std::uint8_t> image,
                     ReaderFaults faults = {})
        : model(clock, 'E',
                [&] {
                    ReaderConfig config;
                    config.fixedIdentity = std::string(identity);
                    config.cartridgeImage = std::move(image);
                    config.faults = faults;
                    return config;
                }()),
          front(model, clock, 'E') {}

    int Send(const std::vector<std::uint8_t>& sectors) {
        const int opened = front.Open("/CMD.CMD", O_WRONLY | O_CREAT | O_TRUNC);
        return opened != 0 ? opened : front.Write("/CMD.CMD", 0, sectors);
    }

    VirtualClock clock;
    ReaderModel model;
    FuseFront front;
};

struct FrontReadCase {
    const char* what;
    std::string_view identity;
    std::size_t fileSize;
    std::vector<std::uint8_t> sectors;  // the set-up and the read command
    std::uint32_t start;                // the cartridge address at data-file offset 0
    std::uint64_t offset;
    std::size_t count;
    std::size_t delivered;
};

TEST(FuseFrontCartridgeTest, DataFileReadsServeTheLoadedImageInLargePieces) {
    constexpr std::size_t kMiB = 0x100000;
    const auto n64 = [](std::uint32_t address) {
        return CartridgeSectors(
            {{{kSectorGroupOffset, kN64Group}, {kSectorOperationOffset, kOpInitBus}},
             {{kSectorGroupOffset, kN64Group},
              {kSectorOperationOffset, kOpN64Read},
              {kN64AddressOffset, static_cast<std::uint8_t>(address)},
              {kN64AddressOffset + 1, static_cast<std::uint8_t>(address >> 8)},
              {kN64AddressOffset + 2, static_cast<std::uint8_t>(address >> 16)},
              {kN64AddressOffset + 3, static_cast<std::uint8_t>(address >> 24)}}});
    };
    const auto sfcBank1 =
        CartridgeSectors({{{kSectorGroupOffset, kSfcGroup}, {kSectorOperationOffset, kOpInitBus}},
                          {{kSectorGroupOffset, kSfcGroup},
                           {kSectorOperationOffset, kOpSfcSelectBank},
                           {kSfcBankOffset, 1}}});
    const auto nes = CartridgeSectors({{{kSectorGroupOffset, kNesGroup},
                                        {kSectorOperationOffset, kOpInitBus},
                                        {kNesModeOffset, 1},
                                        {kNesModeCopyOffset, 1}}});
    const FrontReadCase cases[] = {
        {"N64, one request of 1 MiB", kN64CartIdentity, 3 * kMiB + 100, n64(0x10000000), 0x10000000,
         0, kMiB, kMiB},
        {"N64, across the end of the file", kN64CartIdentity, 3 * kMiB + 100, n64(0x10000000),
         0x10000000, 3 * kMiB - 512, 4096, 4096},
        {"N64, the end of the data file", kN64CartIdentity, 3 * kMiB + 100, n64(0x10000000),
         0x10000000, 0x4000000 - 512, 4096, 512},
        {"N64, from an address inside the file", kN64CartIdentity, 3 * kMiB + 100, n64(0x10200000),
         0x10200000, 0, kMiB, kMiB},
        {"SFC bank 1", kSfcIdentity, 0x810000, sfcBank1, 0x800000, 0, kMiB, kMiB},
        {"NES, the upper half", kNesIdentity, 0xC000, nes, 0, 0x8000, 0x8000, 0x8000},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const auto image = ImageFile(c.fileSize);
        MountedCartridge mounted(c.identity, image);
        ASSERT_EQ(mounted.Send(c.sectors), static_cast<int>(c.sectors.size()));
        const std::uint32_t base = CartridgeImageBase(mounted.model.Cartridge());

        std::vector<std::uint8_t> got(c.count, 0xEE);
        ASSERT_EQ(mounted.front.Read("/dump.rom", c.offset, got), static_cast<int>(c.delivered));
        EXPECT_EQ(mounted.model.DataReads(), 1u);
        const bool isN64 = mounted.model.Cartridge() == CartridgeSystem::N64;
        for (std::size_t i = 0; i < c.delivered; ++i) {
            const std::uint64_t address = c.start + c.offset + i;
            std::uint8_t want = 0;
            if (address >= base && address - base < image.size()) {
                want = image[static_cast<std::size_t>(address - base)];
            } else if (isN64 && address >= base) {
                // Past the N64 ROM's end: open bus, the word of the 512-byte block's first
                // address (blocks counted from the selected address), high byte first.
                const std::uint64_t position = (c.offset + i) % 512;
                const auto latched = static_cast<std::uint16_t>(address - position);
                want = static_cast<std::uint8_t>(position % 2 == 0 ? latched >> 8 : latched);
            } else {
                want = CartridgeImageByte(mounted.model.Cartridge(),
                                          static_cast<std::uint32_t>(address));
            }
            ASSERT_EQ(got[i], want) << "at offset " << c.offset + i;
        }
        // Nothing lands past the end of the data file.
        EXPECT_TRUE(std::all_of(got.begin() + static_cast<std::ptrdiff_t>(c.delivered), got.end(),
                                [](std::uint8_t b) { return b == 0xEE; }));
    }
}

// The data file at a reader's pace: a made-up clock that moves only when the pacer waits, and
// moves by hand for the pauses between reads.
TEST(DataPacerTest, TheBusCarriesNoMoreThanItsRateAndSavesNothingWhenIdle) {
    using namespace std::chrono_literals;
    using Clock = std::chrono::steady_clock;
    Clock::time_point now{};
    std::vector<Clock::duration> waits;
    DataPacer pacer(
        4 * 1024 * 1024, [&] { return now; },
        [&](Clock::duration length) {
            waits.push_back(length);
            now += length;
        });

    pacer.Carry(1024 * 1024);  // a quarter of a second's worth
    pacer.Carry(2 * 1024 * 1024);
    EXPECT_EQ(waits, (std::vector<Clock::duration>{250ms, 500ms}));
    EXPECT_EQ(now, Clock::time_point{750ms});

    // A pause of two seconds saves nothing up: the next megabyte takes its quarter again.
    now += 2s;
    pacer.Carry(1024 * 1024);
    EXPECT_EQ(waits.back(), 250ms);
    // A read that comes while the bus is still busy waits for it to be free first.
    now -= 100ms;
    pacer.Carry(1024 * 1024);
    EXPECT_EQ(waits.back(), 350ms);
}

TEST(FuseFrontCartridgeTest, OnlyTheDataFileGoesAtThePacersPace) {
    using Clock = std::chrono::steady_clock;
    std::uint64_t carried = 0;
    DataPacer pacer(
        1024, [] { return Clock::time_point{}; },
        [&](Clock::duration length) { carried += static_cast<std::uint64_t>(length.count()); });
    MountedCartridge mounted(kNesIdentity, ImageFile(0x10000));
    mounted.front.SetDataPacer(&pacer);
    std::vector<std::uint8_t> got(4096);
    ASSERT_EQ(mounted.front.Read("/T-DRIVER.DMP", 0, got), 4096);
    EXPECT_EQ(carried, 0u);
    ASSERT_EQ(mounted.front.Read("/DUMP.ROM", 0x8000, got), 4096);
    EXPECT_EQ(carried,
              static_cast<std::uint64_t>(
                  std::chrono::duration_cast<Clock::duration>(std::chrono::seconds(4)).count()));
}

TEST(FuseFrontCartridgeTest, TheFlipFaultCountsEachRequestAsARead) {
    constexpr std::size_t kMiB = 0x100000;
    ReaderFaults faults;
    faults.flipDataRead = DataReadFlip{.read = 2, .offset = 0x12345};
    const auto image = ImageFile(2 * kMiB);
    MountedCartridge mounted(kN64CartIdentity, image, faults);
    ASSERT_GT(mounted.Send(CartridgeSectors(
                  {{{kSectorGroupOffset, kN64Group}, {kSectorOperationOffset, kOpInitBus}},
                   {{kSectorGroupOffset, kN64Group},
                    {kSectorOperationOffset, kOpN64Read},
                    {kN64AddressOffset + 3, 0x10}}})),
              0);
    mounted.front.TakeTranscript();

    std::vector<std::vector<std::uint8_t>> reads(3, std::vector<std::uint8_t>(kMiB));
    for (auto& read : reads) {
        ASSERT_EQ(mounted.front.Read("/DUMP.ROM", 0, read), static_cast<int>(kMiB));
    }
    const std::vector<std::uint8_t> first(image.begin(), image.begin() + kMiB);
    EXPECT_EQ(reads[0], first);
    EXPECT_EQ(reads[2], first);
    std::vector<std::size_t> differ;
    for (std::size_t i = 0; i < kMiB; ++i) {
        if (reads[1][i] != first[i]) {
            differ.push_back(i);
        }
    }
    ASSERT_EQ(differ, std::vector<std::size_t>{0x12345});
    EXPECT_EQ(reads[1][0x12345], static_cast<std::uint8_t>(~first[0x12345]));
    char line[128];
    std::snprintf(line, sizeof line,
                  "DUMP.ROM read 2 flipped offset=00012345 address=10012345 data=%02X "
                  "delivered=%02X",
                  first[0x12345], static_cast<std::uint8_t>(~first[0x12345]));
    EXPECT_EQ(mounted.front.TakeTranscript(), std::vector<std::string>{line});
}

TEST(FuseFrontCartridgeTest, WritesReachTheSavedCartridgeImage) {
    const std::filesystem::path dir =
        std::filesystem::temp_directory_path() / ("reader-cartridge-" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    const auto image = ImageFile(0x20000);
    {
        std::ofstream out(dir / "in.sfc", std::ios::binary);
        out.write(reinterpret_cast<const char*>(image.data()),
                  static_cast<std::streamsize>(image.size()));
    }
    EmulatorOptions options;
    options.config.fixedIdentity = std::string(kSfcIdentity);
    options.cartridgePath = (dir / "in.sfc").string();
    std::string error;
    ASSERT_TRUE(LoadCartridgeImage(options, error)) << error;
    MountedCartridge mounted(kSfcIdentity, std::move(options.config.cartridgeImage));

    // One byte inside the file, one past its end (kept on the cartridge, not in the image).
    const auto write = [](std::uint32_t address, std::uint8_t data) -> SectorBody {
        return {{kSectorGroupOffset, kSfcGroup},
                {kSectorOperationOffset, kOpSfcWrite},
                {kSfcAddressOffset, static_cast<std::uint8_t>(address)},
                {kSfcAddressOffset + 1, static_cast<std::uint8_t>(address >> 8)},
                {kSfcAddressOffset + 2, static_cast<std::uint8_t>(address >> 16)},
                {kSfcDataOffset, data}};
    };
    const auto sectors =
        CartridgeSectors({{{kSectorGroupOffset, kSfcGroup}, {kSectorOperationOffset, kOpInitBus}},
                          write(0x01FFFF, 0x77),
                          write(0x020000, 0x66)});
    ASSERT_EQ(mounted.Send(sectors), static_cast<int>(sectors.size()));
    EXPECT_EQ(mounted.model.CartridgeByte(0x020000), 0x66);

    ASSERT_TRUE(
        SaveCartridgeImage((dir / "out.sfc").string(), mounted.model.CartridgeImage(), error))
        << error;
    std::ifstream in(dir / "out.sfc", std::ios::binary);
    const std::vector<std::uint8_t> saved{std::istreambuf_iterator<char>(in),
                                          std::istreambuf_iterator<char>()};
    auto expected = image;
    expected[0x01FFFF] = 0x77;
    EXPECT_EQ(saved, expected);
    std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace reader::emulator
