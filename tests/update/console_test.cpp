#include <gtest/gtest.h>

#include <string>

#include "support/host_fixture.hpp"
#include "update/console.hpp"

namespace reader {
namespace {

using Path = emulator::ConsolePiece::Path;
using platform::kAttributeLightGreen;
using platform::kAttributeLightRed;

class ConsoleTest : public testing::HostFixture {};

TEST_F(ConsoleTest, ColouredMessagesRestoreTheColourInForce) {
    const std::uint16_t before[] = {0x07, 0x1E};  // the default, and yellow on blue
    for (const auto attribute : before) {
        host_.ClearConsole();
        host_.SetAttribute(attribute);
        EXPECT_EQ(ConsoleError("set bootloader error.\n"), 22);
        EXPECT_EQ(host_.Attribute(), attribute);
        EXPECT_EQ(ConsoleSuccess("Update block %d success\r", 29), 24);
        EXPECT_EQ(host_.Attribute(), attribute);
        EXPECT_EQ(ConsolePlain("Please wait......\n"), 18);
        const auto& console = host_.Console();
        ASSERT_EQ(console.size(), 3u);
        EXPECT_EQ(console[0].attribute, kAttributeLightRed);
        EXPECT_EQ(console[0].text, "set bootloader error.\n");
        EXPECT_EQ(console[1].attribute, kAttributeLightGreen);
        EXPECT_EQ(console[1].text, "Update block 29 success\r");
        EXPECT_EQ(console[2].attribute, attribute);
        EXPECT_EQ(console[2].path, Path::Direct);
    }
}

TEST_F(ConsoleTest, StreamAndDirectTextKeepCallOrder) {
    platform::StreamPrintf("Update block %d (%.4x)\r", 7, 0xab);
    ConsoleSuccess(": success");
    platform::StreamPrintf("SN:%.2X\n", 0x3A);
    ConsoleError("\nUpdate block %d failure\n", 6);
    const auto& console = host_.Console();
    ASSERT_EQ(console.size(), 4u);
    EXPECT_EQ(console[0].path, Path::Stream);
    EXPECT_EQ(console[1].path, Path::Direct);
    EXPECT_EQ(host_.ConsoleText(),
              "Update block 7 (00ab)\r: successSN:3A\n\nUpdate block 6 failure\n");
}

TEST_F(ConsoleTest, BareTextWhenNotATerminal) {
    host_.SetTerminal(false);
    ConsoleError("update init error.\n");
    ConsoleSuccess("\nUpdate firmware success.\n");
    for (const auto& piece : host_.Console()) {
        EXPECT_FALSE(piece.attribute.has_value());
    }
    EXPECT_EQ(host_.ConsoleText(), "update init error.\n\nUpdate firmware success.\n");
}

TEST_F(ConsoleTest, LongOutputIsCutAt1023Characters) {
    const std::string longText(2000, 'x');
    EXPECT_EQ(ConsolePlain("%s", longText.c_str()), 1023);
    EXPECT_EQ(host_.ConsoleText(), std::string(1023, 'x'));
}

}  // namespace
}  // namespace reader
