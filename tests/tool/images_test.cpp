// reader-tool against emulated readers that serve the project's test images: what a dump writes
// is the image (an N64 image in big-endian order whatever order the cartridge presents), the SFC
// size comes from the image's own header, and --verify catches the reader's flipped byte.
#include <gtest/gtest.h>

#include "frontend/rom/rom_report.hpp"
#include "tool/tool_fixture.hpp"
#include "tools/test_images.hpp"

namespace reader::testing {
namespace {

using testimages::kMiB;

class ImageTest : public ToolFixture {
  protected:
    emulator::ReaderModel& Serve(std::string_view identity, std::vector<std::uint8_t> image) {
        emulator::ReaderConfig config;
        config.fixedIdentity = std::string(identity);
        config.cartridgeImage = std::move(image);
        return host_.AttachReader('E', std::move(config));
    }
    std::string Out() const { return folder.File("dump.bin"); }
};

TEST_F(ImageTest, N64ImagesInEveryOrderAreWrittenBigEndianAndReportedOk) {
    const auto bigEndian = testimages::MakeN64Image(rom::N64BootCode::Boot6105, 7, 2 * kMiB);
    struct Case {
        rom::N64ByteOrder presented;
        const char* said;
    };
    for (const Case& c :
         {Case{rom::N64ByteOrder::BigEndian, "byte order: big-endian, as the cartridge presented"},
          Case{rom::N64ByteOrder::ByteSwapped,
               "byte order: written big-endian (the cartridge presented it byte-swapped)"},
          Case{rom::N64ByteOrder::LittleEndian,
               "byte order: written big-endian (the cartridge presented it little-endian)"}}) {
        auto presented = bigEndian;
        rom::ConvertN64ByteOrder(presented, rom::N64ByteOrder::BigEndian, c.presented);
        auto& reader = Serve(emulator::kN64CartIdentity, presented);
        const ToolRun run = Run({"dump", Out(), "--size", "2M", "--force", "--quiet", "--verify"});
        ASSERT_EQ(run.status, tool::kExitSuccess) << run.err;
        EXPECT_NE(run.out.find(c.said), std::string::npos) << run.out;
        EXPECT_EQ(ReadBytes(Out()), bigEndian);
        EXPECT_NE(run.out.find("Byte order: big-endian\n"), std::string::npos) << run.out;
        EXPECT_NE(run.out.find("Header checksums: OK (boot code 6105"), std::string::npos)
            << run.out;
        reader.PowerCut();  // out of the way of the next one
    }
}

TEST_F(ImageTest, SfcSizeComesFromTheImagesHeaderForBothLayouts) {
    for (const bool hiRom : {false, true}) {
        SCOPED_TRACE(hiRom ? "HiROM" : "LoROM");
        const auto image = testimages::MakeSfcImage(hiRom, 9, hiRom ? 2 * kMiB : kMiB);
        auto& reader = Serve(emulator::kSfcIdentity, image);
        const ToolRun run = Run({"dump", Out(), "--force", "--quiet"});
        ASSERT_EQ(run.status, tool::kExitSuccess) << run.err;
        EXPECT_NE(run.out.find(hiRom ? "(HiROM at 0xFFC0, \"PROJECT HIROM TEST\"): ROM size 2 MiB"
                                     : "(LoROM at 0x7FC0, \"PROJECT LOROM TEST\"): ROM size 1 MiB"),
                  std::string::npos)
            << run.out;
        EXPECT_EQ(ReadBytes(Out()), image);
        EXPECT_NE(run.out.find("Checksum: OK"), std::string::npos) << run.out;
        reader.PowerCut();
    }
}

// A header check that says bad fails the dump (status 1) after the report, and the file keeps
// what the cartridge holds.
TEST_F(ImageTest, BrokenImagesAreDumpedAsTheyAreAndReportedBad) {
    auto image = testimages::MakeN64Image(rom::N64BootCode::Boot6102, 3, 2 * kMiB);
    testimages::BreakN64HeaderChecksum(image);
    Serve(emulator::kN64CartIdentity, image);
    const ToolRun run = Run({"dump", Out(), "--size", "2M", "--quiet"});
    EXPECT_EQ(run.status, tool::kExitFailure);
    EXPECT_EQ(ReadBytes(Out()), image);
    EXPECT_NE(run.out.find("Header checksums: bad"), std::string::npos) << run.out;
    EXPECT_EQ(run.err, "reader-tool: a header check of the dump says bad (see the report). " +
                           Out() +
                           " holds what the cartridge presented; if the cartridge is an "
                           "original, clean its contacts, reseat it and dump again with "
                           "--verify.\n");
}

// The reader delivers one byte inverted (a dirty contact) on one read of the data file: 2 MiB are
// two reads for the dump and two for the second pass, and the fault strikes the second pass's
// second read, which begins at 0x10100000.
TEST_F(ImageTest, VerifyNamesTheAddressOfTheReadersFlippedByte) {
    const auto image = testimages::MakeN64Image(rom::N64BootCode::Boot6102, 5, 2 * kMiB);
    auto& reader = Serve(emulator::kN64CartIdentity, image);
    reader.Faults().flipDataRead = emulator::DataReadFlip{4, 0x2345};
    const ToolRun run = Run({"dump", Out(), "--size", "2M", "--verify", "--quiet"});
    EXPECT_EQ(run.status, tool::kExitFailure);
    const std::uint8_t right = image[0x102345];
    EXPECT_EQ(
        run.err,
        "reader-tool: verification failed: the second read differs first at "
        "0x10102345 (" +
            platform::FormatText("0x%02X, then 0x%02X", right, static_cast<std::uint8_t>(~right)) +
            "). The cartridge's contacts may be dirty or it may sit loosely: clean "
            "them, reseat it and dump again. " +
            Out() + " was not written.\n");
    EXPECT_TRUE(folder.Names().empty());
    EXPECT_EQ(reader.DataReads(), 4u);

    // Without --verify the same fault goes into the file: here it strikes the header's first
    // checksum word, so the header check says bad; a flip elsewhere would pass unnoticed.
    reader.Faults().flipDataRead = emulator::DataReadFlip{reader.DataReads() + 1, 0x10};
    ASSERT_EQ(Run({"dump", Out(), "--size", "2M", "--quiet"}).status, tool::kExitFailure);
    const auto dumped = ReadBytes(Out());
    ASSERT_EQ(dumped.size(), image.size());
    EXPECT_EQ(dumped[0x10], static_cast<std::uint8_t>(~image[0x10]));
}

}  // namespace
}  // namespace reader::testing
