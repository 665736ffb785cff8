// The emulated reader's cartridge side, seen from the host through its files.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <set>
#include <string>
#include <vector>

#include "commands/cartridge.hpp"
#include "drivers/system_driver.hpp"
#include "support/cartridge_fixture.hpp"
#include "support/placed_buffer.hpp"

namespace reader {
namespace {

using emulator::CartridgeImageByte;
using emulator::CartridgeSystem;

// The bytes of a cartridge image file: every byte tells its offset apart from its neighbours and
// from offsets a multiple of 256 away.
std::uint8_t FileByte(std::size_t offset) {
    return static_cast<std::uint8_t>(offset * 13 + (offset >> 9) + 0xA5);
}

std::vector<std::uint8_t> ImageFile(std::size_t size) {
    std::vector<std::uint8_t> bytes(size);
    for (std::size_t k = 0; k < size; ++k) {
        bytes[k] = FileByte(k);
    }
    return bytes;
}

// The open-bus byte at `at` in a read of the N64 reader that selected `selected`: its blocks of
// 512 start there, and each one shows the low 16 bits of its first address, high byte first.
std::uint8_t OpenBusByte(std::uint32_t selected, std::uint64_t at) {
    const std::uint64_t position = (at - selected) % 512;
    const auto latched = static_cast<std::uint16_t>((at - position) & 0xFFFF);
    return static_cast<std::uint8_t>(position % 2 == 0 ? latched >> 8 : latched & 0xFF);
}

// What a cartridge with `image` placed at `base` holds from address on, byte by byte, read from
// there: the file where it reaches, open bus past the end of an N64 image (the default), the
// variant's test cartridge elsewhere.
std::vector<std::uint8_t> Placed(CartridgeSystem system, const std::vector<std::uint8_t>& image,
                                 std::uint32_t base, std::uint32_t address, std::size_t count) {
    std::vector<std::uint8_t> bytes(count);
    for (std::size_t i = 0; i < count; ++i) {
        const std::uint64_t at = std::uint64_t{address} + i;
        if (at >= base && at - base < image.size()) {
            bytes[i] = image[static_cast<std::size_t>(at - base)];
        } else if (system == CartridgeSystem::N64 && at >= base) {
            bytes[i] = OpenBusByte(address, at);
        } else {
            bytes[i] = CartridgeImageByte(system, static_cast<std::uint32_t>(at));
        }
    }
    return bytes;
}

// One emulated reader of a variant with a loaded image on its own host, identified through the
// library as a front-end does it.
struct LoadedReader {
    LoadedReader(std::string_view identity, std::vector<std::uint8_t> image,
                 emulator::ReaderFaults faults = {}, int fcMode = 0,
                 emulator::PastEnd pastEnd = emulator::PastEnd::OpenBus)
        : scoped(host) {
        ResetDeviceGlobals();
        emulator::ReaderConfig config;
        config.fixedIdentity = std::string(identity);
        config.cartridgeImage = std::move(image);
        config.faults = faults;
        config.pastEnd = pastEnd;
        model = &host.AttachReader('F', std::move(config));
        identified = IdentifyDevice(0, fcMode);
    }
    // A read through the installed read handler into a buffer on an unbuffered-read boundary.
    std::vector<std::uint8_t> Read(std::uint32_t address, std::size_t count) const {
        const testing::PlacedBuffer buffer(count, 0);
        const int got =
            SystemDriver.ReadSlot(address, buffer.data(), static_cast<std::uint32_t>(count));
        if (got != static_cast<int>(count)) {
            ADD_FAILURE() << "ReadSlot(" << address << ", " << count << ") gave " << got;
        }
        return {buffer.data(), buffer.data() + count};
    }

    emulator::EmulatedHost host;
    emulator::ScopedHost scoped;
    emulator::ReaderModel* model = nullptr;
    int identified = 0;
};

class CartridgeModelTest : public testing::CartridgeFixture {};

struct VariantCase {
    std::string_view identity;
    CartridgeSystem system;
    std::uint64_t dataFileSize;
};

TEST_F(CartridgeModelTest, EachVariantHasItsDataWindow) {
    const VariantCase cases[] = {
        {emulator::kHndIdentity, CartridgeSystem::Hnd, 0x1000000},
        {emulator::kN64CartIdentity, CartridgeSystem::N64, 0x4000000},
        {emulator::kSfcIdentity, CartridgeSystem::Sfc, 0x800000},
        {emulator::kFc2Identity, CartridgeSystem::Fc2, 0x10000},
        {emulator::kNesIdentity, CartridgeSystem::Nes, 0x10000},
        {emulator::kPceIdentity, CartridgeSystem::Pce, 0x1000000},
        {"PCE_KRN02_RV999", CartridgeSystem::Pce, 0x1000000},
        {emulator::kOldFirmwareIdentity, CartridgeSystem::None, 0},
        {"N64_KRN20_RW100", CartridgeSystem::None, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.identity);
        emulator::EmulatedHost host;
        emulator::ReaderConfig config;
        config.fixedIdentity = std::string(c.identity);
        auto& reader = host.AttachReader('E', config);
        EXPECT_EQ(reader.Cartridge(), c.system);
        EXPECT_EQ(reader.FileSize("DUMP.ROM"), c.dataFileSize);
    }
}

TEST_F(CartridgeModelTest, TestCartridgesCarryTheirHeadersAndDifferEverywhereElse) {
    const auto image = [](CartridgeSystem system, std::uint32_t address, std::size_t count) {
        return Image(system, address, count);
    };
    EXPECT_EQ(image(CartridgeSystem::N64, 0x10000000, 4),
              (std::vector<std::uint8_t>{0x80, 0x37, 0x12, 0x40}));
    const auto title = image(CartridgeSystem::Sfc, 0x7FC0, 15);
    EXPECT_EQ(std::string(title.begin(), title.end()), "READER TEST SFC");
    for (const auto system : {CartridgeSystem::Fc2, CartridgeSystem::Nes, CartridgeSystem::Pce}) {
        // The reset vector points at a routine that ends in a jump to itself at 0x800F.
        EXPECT_EQ(image(system, 0xFFFC, 2), (std::vector<std::uint8_t>{0x00, 0x80}));
        EXPECT_EQ(image(system, 0x800A, 8),
                  (std::vector<std::uint8_t>{0xA9, 0x00, 0x8D, 0x00, 0x20, 0x4C, 0x0F, 0x80}));
    }
    // Outside the headers: neighbouring bytes differ often, and two variants differ.
    std::set<std::uint8_t> seen;
    int same = 0;
    for (std::uint32_t address = 0x20000; address < 0x20100; ++address) {
        seen.insert(CartridgeImageByte(CartridgeSystem::Hnd, address));
        same += CartridgeImageByte(CartridgeSystem::Hnd, address) ==
                CartridgeImageByte(CartridgeSystem::Pce, address);
    }
    EXPECT_GT(seen.size(), 128u);
    EXPECT_LT(same, 16);
}

TEST_F(CartridgeModelTest, CommandsBeforeTheSetUpOrOfAnotherGroupAreIgnored) {
    auto& reader = Attach(emulator::kSfcIdentity);
    std::vector<std::uint8_t> data(16);
    const std::uint8_t byte = 0x42;
    EXPECT_EQ(SfcRead(0x800000, data.data(), 16), 16);
    // The bus is not set up: the data file floats high.
    EXPECT_EQ(data, std::vector<std::uint8_t>(16, 0xFF));
    EXPECT_EQ(SfcWriteBytes(0x10, &byte, 1), 512);
    EXPECT_EQ(InitN64Bus(), 512);
    EXPECT_EQ(InitSfcBus(), 512);
    EXPECT_EQ(NesControl(1), 512);
    EXPECT_EQ(SfcRead(0x10, data.data(), 16), 16);
    EXPECT_EQ(data, Image(CartridgeSystem::Sfc, 0x10, 16));
    const std::vector<std::string> expected = {
        "0F 04 SfcRead bank=1 ignored",      "0F 03 SfcWrite address=000010 data=42 ignored",
        "10 01 InitN64Bus ignored",          "0F 01 InitSfcBus",
        "0E 02 NesControl value=01 ignored", "0F 04 SfcRead bank=0",
    };
    EXPECT_EQ(reader.Transcript(), expected);
    EXPECT_EQ(reader.SectorsRejected(), 0u);
}

TEST_F(CartridgeModelTest, TheHndBusNeedsBothSetUpSectorsInOrder) {
    auto& reader = Attach(emulator::kHndIdentity);
    CommandSector second{};
    second[1] = 0x03;
    second[2] = 0x01;
    ASSERT_EQ(SendCommands(second), 512u);
    EXPECT_FALSE(reader.CartridgeReady());
    ASSERT_EQ(InitHndBus(), 512);
    EXPECT_TRUE(reader.CartridgeReady());
    EXPECT_EQ(reader.Transcript(),
              (std::vector<std::string>{"03 01 InitHndBus ignored", "F0 03 HndPrepare",
                                        "03 01 InitHndBus"}));
}

TEST_F(CartridgeModelTest, TheNesReaderTakesOneByteASectorOnly) {
    auto& reader = Attach(emulator::kNesIdentity);
    ASSERT_EQ(InitNesBus(1), 512);
    const auto data = testing::DataBytes(2);
    EXPECT_EQ(NesWriteBlock(0x6000, data.data(), 2), 512);
    EXPECT_EQ(reader.Transcript().back(), "0E 05 NesWrite address=6000 length=2 ignored");
    EXPECT_EQ(reader.CartridgeByte(0x6000), CartridgeImageByte(CartridgeSystem::Nes, 0x6000));
}

TEST_F(CartridgeModelTest, WrittenBytesStayOnTheCartridgeAcrossAPowerCycle) {
    auto& reader = Attach(emulator::kPceIdentity);
    ASSERT_EQ(InitPceBus(), 512);
    const auto data = testing::DataBytes(3);
    ASSERT_EQ(PceWriteBytes(0x0FFFFF, data.data(), 3), 1536);
    char last[64];
    std::snprintf(last, sizeof last, "11 02 PceWrite address=100001 data=%02X",
                  static_cast<unsigned>(data[2]));
    EXPECT_EQ(reader.Transcript().back(), last);
    reader.PowerCut();
    reader.PowerOn();
    EXPECT_FALSE(reader.CartridgeReady());
    ASSERT_EQ(InitPceBus(), 512);
    std::vector<std::uint8_t> back(3);
    ASSERT_EQ(DirectRead(0x0FFFFF, back.data(), 3), 3);
    EXPECT_EQ(back, data);
}

struct Probe {
    std::uint32_t address;
    std::size_t count;
};

struct LoadedCase {
    std::string_view identity;
    std::uint32_t base;  // where byte 0 of the file sits
    std::size_t fileSize;
    std::vector<Probe> probes;
};

TEST(CartridgeImageTest, EachVariantServesALoadedFileWhereItsReadCommandsLookForIt) {
    const LoadedCase cases[] = {
        {emulator::kHndIdentity,
         0,
         0x3000,
         {{0, 64}, {0x2FF0, 32} /* the end of the file */, {0x5000, 64}, {0, 0x3800}}},
        {emulator::kN64CartIdentity,
         0x10000000,
         0x3000,
         {{0x10000000, 64},
          {0x0FFFFFF0, 32} /* the last addresses before the ROM window */,
          {0x10002FF0, 32} /* across the ROM's end: open bus after it */,
          {0x10100000, 64},
          {0x10000000, 0x3800}}},
        {emulator::kSfcIdentity,
         0,
         0x801000,
         {{0, 64},
          {0x7FFFF0, 16} /* the end of bank 0 */,
          {0x800000, 64} /* bank 1: file offset 0x800000 */,
          {0x800FF0, 32},
          {0xC00000, 64},
          {0x7FF000, 0x1000}}},
        {emulator::kFc2Identity,
         0,
         0x9000,
         {{0x8000, 64} /* the file, not the test cartridge's routine */,
          {0x8FF0, 32},
          {0xFFF0, 16}}},
        {emulator::kNesIdentity, 0, 0x10000, {{0, 64}, {0xFFF0, 16} /* the file's vectors */}},
        {emulator::kPceIdentity, 0, 0x2000, {{0, 64}, {0x1FF0, 32}, {0x100000, 64}, {0, 0x2400}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.identity);
        const auto image = ImageFile(c.fileSize);
        const LoadedReader reader(c.identity, image);
        ASSERT_EQ(reader.identified, 1);
        const CartridgeSystem system = reader.model->Cartridge();
        EXPECT_EQ(emulator::CartridgeImageBase(system), c.base);
        for (const auto& probe : c.probes) {
            SCOPED_TRACE(::testing::Message() << std::hex << probe.address << " +" << probe.count);
            EXPECT_EQ(reader.Read(probe.address, probe.count),
                      Placed(system, image, c.base, probe.address, probe.count));
        }
        EXPECT_EQ(reader.model->SectorsRejected(), 0u);
    }
}

struct PastEndCase {
    const char* what;
    emulator::PastEnd pastEnd;
    std::size_t romSize;  // of the loaded image; 0: none, the generated 64 MiB cartridge
    std::uint32_t address;
    std::size_t count;
    std::int64_t first;  // the first four bytes the read delivers, big-endian; -1: not checked
};

// Past the N64 ROM's end the reader presents open bus, the ROM mirrored or 0xFF; the data file
// spans 64 MiB from the selected address, so the end of a 64 MiB ROM shows at 0x14000000.
TEST(CartridgeImageTest, PastTheN64RomsEndTheReaderPresentsWhatItsBusGives) {
    using enum emulator::PastEnd;
    constexpr std::size_t k8 = 0x800000;
    constexpr std::size_t k64 = 0x4000000;
    constexpr std::size_t kSmall = 0x3000;
    const auto image = ImageFile(k64);
    const PastEndCase cases[] = {
        {"open bus, a MiB boundary", OpenBus, k8, 0x10800000, 1024, 0x00000000},
        {"open bus, the block after it", OpenBus, k8, 0x10800200, 512, 0x02000200},
        {"open bus, several blocks in one read", OpenBus, kSmall, 0x10004000, 2048, 0x40004000},
        {"open bus, a block straddling the end", OpenBus, kSmall, 0x10002F00, 1024, -1},
        {"open bus, blocks from an odd address", OpenBus, kSmall, 0x10003001, 1024, 0x30013001},
        {"open bus, an image of odd size", OpenBus, kSmall + 1, 0x10003000, 512, -1},
        {"open bus, the generated cartridge's end", OpenBus, 0, 0x13FFFE00, 1024, -1},
        {"open bus at 0x14000000", OpenBus, k64, 0x14000000, 1024, 0x00000000},
        {"open bus far up", OpenBus, kSmall, 0xFFFFFE00, 512, 0xFE00FE00},
        {"mirror, the image again", Mirror, kSmall, 0x10003000, 64, -1},
        {"mirror, across a repeat", Mirror, kSmall, 0x10005F00, 1024, -1},
        {"mirror, a block straddling the end", Mirror, kSmall, 0x10002E00, 1024, -1},
        {"mirror at 0x14000000 of a 64 MiB image", Mirror, k64, 0x13FFFF00, 1024, -1},
        {"mirror of the generated cartridge", Mirror, 0, 0x14000000, 8, 0x80371240},
        {"0xFF", Ff, k8, 0x10800000, 512, 0xFFFFFFFF},
        {"0xFF, a block straddling the end", Ff, kSmall, 0x10002F00, 1024, -1},
        {"0xFF at 0x14000000", Ff, k64, 0x14000000, 512, 0xFFFFFFFF},
        {"below the ROM window: the test cartridge", Ff, kSmall, 0x0FFFFF00, 256, -1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const std::uint64_t romSize = c.romSize != 0 ? c.romSize : k64;
        const auto romByte = [&](std::uint64_t offset) {
            return c.romSize != 0
                       ? image[static_cast<std::size_t>(offset)]
                       : CartridgeImageByte(CartridgeSystem::N64,
                                            static_cast<std::uint32_t>(0x10000000 + offset));
        };
        const LoadedReader reader(
            emulator::kN64CartIdentity,
            {image.begin(), image.begin() + static_cast<std::ptrdiff_t>(c.romSize)}, {}, 0,
            c.pastEnd);
        ASSERT_EQ(reader.identified, 1);
        const auto got = reader.Read(c.address, c.count);

        std::vector<std::uint8_t> want(c.count);
        for (std::size_t i = 0; i < c.count; ++i) {
            const std::uint64_t at = std::uint64_t{c.address} + i;
            if (at < 0x10000000) {
                want[i] = CartridgeImageByte(CartridgeSystem::N64, static_cast<std::uint32_t>(at));
            } else if (at - 0x10000000 < romSize) {
                want[i] = romByte(at - 0x10000000);
            } else if (c.pastEnd == OpenBus) {
                want[i] = OpenBusByte(c.address, at);
            } else if (c.pastEnd == Mirror) {
                want[i] = romByte((at - 0x10000000) % romSize);
            } else {
                want[i] = 0xFF;
            }
        }
        EXPECT_EQ(got, want);
        if (c.first >= 0) {
            EXPECT_EQ(std::int64_t{got[0]} << 24 | got[1] << 16 | got[2] << 8 | got[3], c.first);
        }
    }
}

TEST(CartridgeImageTest, AnHndReadAcrossTheTopOfThe24BitSpaceWrapsIntoTheFile) {
    const auto image = ImageFile(0x100);
    const LoadedReader reader(emulator::kHndIdentity, image);
    ASSERT_EQ(reader.identified, 1);
    auto expected = Placed(CartridgeSystem::Hnd, image, 0, 0xFFFFF0, 16);
    expected.insert(expected.end(), image.begin(), image.begin() + 48);
    EXPECT_EQ(reader.Read(0xFFFFF0, 64), expected);
}

TEST(CartridgeImageTest, AnN64ImageIsServedInTheByteOrderItWasStoredIn) {
    // The big-endian marker and title, stored byte-swapped (16-bit words), as some dumps are.
    std::vector<std::uint8_t> image = ImageFile(0x1000);
    const std::vector<std::uint8_t> swapped = {0x37, 0x80, 0x40, 0x12};
    std::copy(swapped.begin(), swapped.end(), image.begin());
    const std::string title = "EARDR EEST T46N";  // "READER TEST N64 " swapped pairwise
    std::copy(title.begin(), title.end(), image.begin() + 0x20);
    const LoadedReader reader(emulator::kN64CartIdentity, image);
    ASSERT_EQ(reader.identified, 1);
    EXPECT_EQ(reader.Read(0x10000000, 4), swapped);
    const auto read = reader.Read(0x10000020, title.size());
    EXPECT_EQ(std::string(read.begin(), read.end()), title);
}

TEST(CartridgeImageTest, AFileLargerThanTheAddressSpaceKeepsOnlyWhatFits) {
    const LoadedReader reader(emulator::kNesIdentity, ImageFile(0x10100));
    EXPECT_EQ(reader.model->CartridgeImage().size(), 0x10000u);
    EXPECT_EQ(emulator::CartridgeImageCapacity(CartridgeSystem::N64), 0x4000000u);
    EXPECT_EQ(emulator::CartridgeImageCapacity(CartridgeSystem::Sfc), 0x1000000u);
    EXPECT_EQ(emulator::CartridgeImageCapacity(CartridgeSystem::None), 0u);
}

struct WriteCase {
    std::string_view identity;
    int fcMode;
    std::size_t fileSize;
    std::uint32_t address;
    std::size_t length;
};

TEST(CartridgeImageTest, WritesChangeTheImageInsideTheFileAndTheCartridgeOutsideIt) {
    const WriteCase cases[] = {
        {emulator::kSfcIdentity, 0, 0x800100, 0x8000F8, 16},  // bank 1, across the file's end
        {emulator::kFc2Identity, 1, 0x6100, 0x6000, 300},     // block sectors: 256 in, 44 out
        {emulator::kNesIdentity, 0, 0x8000, 0x7FFC, 8},
        {emulator::kPceIdentity, 0, 0x100, 0xFC, 8},
        {emulator::kPceIdentity, 0, 0x100, 0x200, 4},  // wholly outside: the image stays
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.identity << " " << std::hex << c.address);
        const auto image = ImageFile(c.fileSize);
        const LoadedReader reader(c.identity, image, {}, c.fcMode);
        ASSERT_EQ(reader.identified, 1);
        const auto data = testing::DataBytes(c.length, 0x5C);
        ASSERT_GT(
            SystemDriver.WriteSlot(c.address, data.data(), static_cast<std::uint32_t>(c.length)),
            0);

        // The image keeps its size; inside the file the written bytes replaced the file's.
        auto expected = image;
        for (std::size_t i = 0; i < c.length && c.address + i < c.fileSize; ++i) {
            expected[c.address + i] = data[i];
        }
        const auto now = reader.model->CartridgeImage();
        EXPECT_TRUE(std::equal(now.begin(), now.end(), expected.begin(), expected.end()));
        // The whole write reads back, inside the file and out.
        EXPECT_EQ(reader.Read(c.address, c.length), data);
        EXPECT_EQ(reader.model->SectorsRejected(), 0u);
    }
}

struct FlipCase {
    std::string_view identity;
    std::array<std::uint32_t, 3> reads;  // three reads of 64 bytes, each one read of the data file
    emulator::DataReadFlip flip;
    std::string line;  // the transcript's line, with DATA and FLIP for the byte before and after
};

TEST(CartridgeImageTest, TheFlipFaultInvertsOneByteOfTheNthDataReadAndNamesItsAddress) {
    const FlipCase cases[] = {
        {emulator::kN64CartIdentity,
         {0x10000000, 0x10000400, 0x10000800},
         {2, 7},
         "DUMP.ROM read 2 flipped offset=00000007 address=10000407 data=DATA delivered=FLIP"},
        {emulator::kHndIdentity,
         {0x400, 0x2000, 0x400},
         {3, 0x3F},
         "DUMP.ROM read 3 flipped offset=0000003F address=0000043F data=DATA delivered=FLIP"},
        // SFC and the direct readers read the block that holds the address.
        {emulator::kSfcIdentity,
         {0x800000, 0x800400, 0x400},
         {2, 0x10},
         "DUMP.ROM read 2 flipped offset=00000010 address=00800410 data=DATA delivered=FLIP"},
        {emulator::kNesIdentity,
         {0x8000, 0xC000, 0xC000},
         {1, 0},
         "DUMP.ROM read 1 flipped offset=00000000 address=00008000 data=DATA delivered=FLIP"},
        {emulator::kFc2Identity,
         {0x8000, 0xC000, 0xC000},
         {2, 0x3E},
         "DUMP.ROM read 2 flipped offset=0000003E address=0000C03E data=DATA delivered=FLIP"},
        // Outside the loaded file the generated cartridge is corrupted the same way.
        {emulator::kPceIdentity,
         {0x0, 0x100000, 0x0},
         {2, 1},
         "DUMP.ROM read 2 flipped offset=00000001 address=00100001 data=DATA delivered=FLIP"},
        // An offset past what the read delivers flips nothing (a short read of a block).
        {emulator::kPceIdentity,
         {0x0, 0x400, 0x800},
         {2, 0x1000},
         "DUMP.ROM read 2 not flipped: offset=00001000 past the 2048 bytes delivered"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line);
        emulator::ReaderFaults faults;
        faults.flipDataRead = c.flip;
        const auto image = ImageFile(0x9000);
        const LoadedReader reader(c.identity, image, faults);
        ASSERT_EQ(reader.identified, 1);
        const CartridgeSystem system = reader.model->Cartridge();
        const std::uint32_t base = emulator::CartridgeImageBase(system);

        std::vector<std::uint32_t> flipped;
        for (std::size_t k = 0; k < c.reads.size(); ++k) {
            const auto want = Placed(system, image, base, c.reads[k], 64);
            const auto got = reader.Read(c.reads[k], 64);
            for (std::size_t i = 0; i < want.size(); ++i) {
                if (got[i] != want[i]) {
                    EXPECT_EQ(got[i], static_cast<std::uint8_t>(~want[i]));
                    flipped.push_back(c.reads[k] + static_cast<std::uint32_t>(i));
                }
            }
        }
        EXPECT_EQ(reader.model->DataReads(), 3u);
        std::string line = c.line;
        if (const auto at = line.find("address="); at != std::string::npos) {
            // Exactly one byte, in the read named, at the address named.
            const auto address =
                static_cast<std::uint32_t>(std::stoul(line.substr(at + 8, 8), nullptr, 16));
            ASSERT_EQ(flipped, std::vector<std::uint32_t>{address});
            EXPECT_GE(address, c.reads[static_cast<std::size_t>(c.flip.read - 1)]);
            char data[3];
            std::snprintf(data, sizeof data, "%02X", reader.model->CartridgeByte(address));
            line.replace(line.find("DATA"), 4, data);
            std::snprintf(data, sizeof data, "%02X",
                          static_cast<std::uint8_t>(~reader.model->CartridgeByte(address)));
            line.replace(line.find("FLIP"), 4, data);
        } else {
            EXPECT_TRUE(flipped.empty());
        }
        // One line for the fault, among the sectors' lines.
        std::vector<std::string> faultLines;
        for (const auto& entry : reader.model->Transcript()) {
            if (entry.starts_with("DUMP.ROM")) {
                faultLines.push_back(entry);
            }
        }
        EXPECT_EQ(faultLines, std::vector<std::string>{line});
    }
}

}  // namespace
}  // namespace reader
