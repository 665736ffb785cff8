// write: the write handlers in chunks, failures named by their address, and the read-back.
#include <gtest/gtest.h>

#include "tool/tool_fixture.hpp"

namespace reader::testing {
namespace {

class WriteTest : public ToolFixture {
  protected:
    std::string In() const { return folder.File("in.bin"); }
};

TEST_F(WriteTest, AFileLargerThanAChunkLandsWhereAsked) {
    // 2500 bytes are three write calls (1024 bytes each at most): for the byte-wise PCE handler
    // three command writes of 1024, 1024 and 452 sectors.
    auto& reader = Attach(emulator::kPceIdentity);
    const auto data = DataBytes(2500, 0x5B);
    WriteBytes(In(), data);
    const ToolRun run = Run({"write", In(), "--start", "0x12345", "--quiet"});
    ASSERT_EQ(run.status, tool::kExitSuccess) << run.err;
    for (std::size_t i = 0; i < data.size(); ++i) {
        ASSERT_EQ(reader.CartridgeByte(0x12345 + static_cast<std::uint32_t>(i)), data[i]) << i;
    }
    const auto& writes = host_.CommandWrites();
    ASSERT_EQ(writes.size(), 4u);  // the set-up, then the three chunks
    EXPECT_EQ(writes[1].data.size(), 1024u * 512);
    EXPECT_EQ(writes[3].data.size(), 452u * 512);
    EXPECT_EQ(run.out, "writing " + In() +
                           ", 0x9C4 bytes (2.4 KiB), to 0x00012345 to 0x00012D08 of the PCE "
                           "reader PCE_KRN02_RV100 on E:\nwrote 2500 bytes (2.4 KiB)\n");
}

TEST_F(WriteTest, PastTheEndOfWhatTheReaderWritesIsRefused) {
    Attach(emulator::kNesIdentity);
    WriteBytes(In(), DataBytes(0x101));
    const ToolRun run = Run({"write", In(), "--start", "0xFF00"});
    EXPECT_EQ(run.status, tool::kExitUsage);
    EXPECT_NE(run.err.find("--start 0x0000FF00 and the 257 bytes of " + In() +
                           " reach past 0x0000FFFF, the last address the NES reader"),
              std::string::npos)
        << run.err;
    EXPECT_EQ(CommandWrites(), 1u) << "only the set-up";
}

TEST_F(WriteTest, AnEmptyOrMissingFileWritesNothing) {
    Attach(emulator::kNesIdentity);
    WriteBytes(In(), {});
    ToolRun run = Run({"write", In(), "--start", "0x8000"});
    EXPECT_EQ(run.status, tool::kExitFailure);
    EXPECT_EQ(run.err, "reader-tool: " + In() + " is empty: there is nothing to write.\n");
    run = Run({"write", folder.File("missing.bin"), "--start", "0x8000"});
    EXPECT_EQ(run.status, tool::kExitFailure);
    EXPECT_NE(run.err.find("No such file or directory"), std::string::npos);
    EXPECT_EQ(CommandWrites(), 0u);
}

TEST_F(WriteTest, AFailedCommandWriteNamesItsAddress) {
    auto& reader = Attach(emulator::kFc2Identity);
    // The set-up is write 1, the first chunk write 2: the second chunk's write fails.
    reader.Faults().failCommandWriteAt = 3;
    WriteBytes(In(), DataBytes(3000));
    const ToolRun run = Run({"write", In(), "--start", "0x8000", "--quiet"});
    EXPECT_EQ(run.status, tool::kExitFailure);
    EXPECT_EQ(run.err,
              "reader-tool: writing the cartridge at 0x00008400 failed: Input/output error. The "
              "bytes before that address are written. Check that the reader is plugged in and "
              "the cartridge seated, then write again.\n");
}

TEST_F(WriteTest, CtrlCStopsBetweenChunksAndSaysHowFarItGot) {
    Attach(emulator::kSfcIdentity);
    os.interruptAtCheck = 2;
    WriteBytes(In(), DataBytes(3000));
    const ToolRun run = Run({"write", In(), "--start", "0", "--quiet"});
    EXPECT_EQ(run.status, 130);
    EXPECT_EQ(run.err,
              "reader-tool: interrupted by Ctrl-C (SIGINT) while writing at 0x00000400: the "
              "cartridge holds the new bytes up to there.\n");
    EXPECT_EQ(CommandWrites(), 2u);
}

TEST_F(WriteTest, VerifyNamesTheFirstAddressThatReadsBackDifferently) {
    Attach(emulator::kNesIdentity);
    const auto data = DataBytes(600);
    WriteBytes(In(), data);
    dataHost_.afterRead = [](std::size_t, std::span<std::uint8_t> bytes) {
        bytes[0x1F7] ^= 0xFF;  // 0x9000 + 0x1F7: the bytes were read from the block at 0x9000
    };
    const ToolRun run = Run({"write", In(), "--start", "0x9100", "--verify", "--quiet"});
    EXPECT_EQ(run.status, tool::kExitFailure);
    EXPECT_EQ(run.err,
              "reader-tool: verification failed: the cartridge differs first at "
              "0x000091F7 (written " +
                  platform::FormatText("0x%02X, read back 0x%02X", data[0xF7], data[0xF7] ^ 0xFF) +
                  "). Check that the cartridge can be written there, reseat it and "
                  "write again.\n");
}

}  // namespace
}  // namespace reader::testing
