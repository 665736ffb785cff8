#include "drivers/status_report.hpp"

#include <gtest/gtest.h>

#include <string>

#include "commands/cartridge.hpp"
#include "support/cartridge_fixture.hpp"

namespace reader {
namespace {

class StatusReportTest : public testing::CartridgeFixture {};

struct MiscCase {
    std::uint8_t misc;
    std::string report;
};

TEST_F(StatusReportTest, ReportsTheMiscByteOfTheCartridge) {
    const MiscCase cases[] = {
        {0x00, "MISC byte: 00\nIRQ: 0\nVRAM/CS: 0\nMirror: 4L\n"},
        {0x3A, "MISC byte: 3A\nIRQ: 1\nVRAM/CS: 1\nMirror: V\n"},
        {0x2C, "MISC byte: 2C\nIRQ: 1\nVRAM/CS: 0\nMirror: H\n"},
        {0xFF, "MISC byte: FF\nIRQ: 1\nVRAM/CS: 1\nMirror: 4H\n"},
        {0xC5, "MISC byte: C5\nIRQ: 0\nVRAM/CS: 0\nMirror: Unknow(5)\n"},
        {0x1B, "MISC byte: 1B\nIRQ: 0\nVRAM/CS: 1\nMirror: Unknow(B)\n"},
        {0x0E, "MISC byte: 0E\nIRQ: 0\nVRAM/CS: 0\nMirror: Unknow(E)\n"},
        {0x81, "MISC byte: 81\nIRQ: 0\nVRAM/CS: 0\nMirror: Unknow(1)\n"},
    };
    auto& reader = Attach(emulator::kNesIdentity);
    ASSERT_EQ(InitNesBus(1), 512);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.report);
        reader.Config().miscByte = c.misc;
        host_.ClearConsole();
        ReportCartStatus();
        EXPECT_EQ(host_.ConsoleText(), c.report);
    }
}

TEST_F(StatusReportTest, AFailedStatusReadSaysSoInsteadOfDecodingTheRequest) {
    auto& reader = Attach(emulator::kFc2Identity, 0x3A);
    ASSERT_EQ(InitNesBus(0), 512);
    reader.Faults().statusFileLength = 0;
    ReportCartStatus();
    EXPECT_EQ(host_.ConsoleText(), "read cartridge status error.\n");
}

TEST_F(StatusReportTest, NoReaderAtAllIsAFailedRead) {
    DeviceDrive = 'Q';
    ReportCartStatus();
    EXPECT_EQ(host_.ConsoleText(), "read cartridge status error.\n");
}

}  // namespace
}  // namespace reader
