// The host reader-tool puts in front of the reader: every failed device-file operation counted
// (a command write cut short included), the reason passed up, the library's text on the tool's
// output; and the reasons the emulated reader's host gives.
#include <gtest/gtest.h>

#include "frontend/tool_host.hpp"
#include "tool/tool_fixture.hpp"

namespace reader::testing {
namespace {

// Takes only part of each command write, as a device might, and fails every read; the rest is
// the emulated host's.
class ShortWriteHost final : public platform::ForwardingHost {
  public:
    using ForwardingHost::ForwardingHost;
    std::optional<std::uint32_t> ReadUnbuffered(const char*, std::uint32_t,
                                                std::span<std::uint8_t>) override {
        return std::nullopt;
    }
    std::optional<std::uint32_t> WriteCommandFile(const char*,
                                                  std::span<const std::uint8_t> data) override {
        return static_cast<std::uint32_t>(data.size() / 2);
    }
    std::string FailureReason() override { return "the device's own reason"; }
};

TEST_F(ToolFixture, ToolHostCountsFailuresAndShortCommandWritesAndPassesTheReasonUp) {
    ShortWriteHost inner(host_);
    std::string out;
    tool::ToolHost host(inner, [&out](std::string_view text) { out += text; });
    const std::vector<std::uint8_t> sectors(1024, 0x5A);
    EXPECT_EQ(host.WriteCommandFile("E:\\CMD.CMD", sectors), 512u);
    EXPECT_EQ(host.Failures(), 1u);
    EXPECT_EQ(host.FailureReason(), "the command file took only 512 of 1024 bytes");

    std::array<std::uint8_t, 512> buffer{};
    EXPECT_EQ(host.ReadUnbuffered("E:\\DUMP.ROM", 0, buffer), std::nullopt);
    EXPECT_EQ(host.Failures(), 2u);
    EXPECT_EQ(host.FailureReason(), "the device's own reason");

    host.WriteStream("Init X OK\n");
    host.WriteConsole("direct\n");
    EXPECT_EQ(out, "Init X OK\ndirect\n");
}

TEST_F(ToolFixture, EmulatedHostSaysWhyAnOperationFailed) {
    auto& reader = Attach(emulator::kPceIdentity);
    std::array<std::uint8_t, 4096 + 512> storage{};
    auto* aligned =
        storage.data() + (4096 - reinterpret_cast<std::uintptr_t>(storage.data()) % 4096);
    const std::span<std::uint8_t> block(aligned, 512);

    EXPECT_EQ(host_.ReadUnbuffered("E:\\NOPE.ROM", 0, block), std::nullopt);
    EXPECT_EQ(host_.FailureReason(), "No such file or directory");
    EXPECT_EQ(host_.ReadUnbuffered("E:\\DUMP.ROM", 100, block), std::nullopt);
    EXPECT_EQ(host_.FailureReason().rfind("Invalid argument (an unbuffered read", 0), 0u);
    EXPECT_EQ(host_.ReadUnbuffered("Q:\\DUMP.ROM", 0, block), std::nullopt);
    EXPECT_EQ(host_.FailureReason(), "No such device");
    reader.PowerCut();
    EXPECT_EQ(host_.ReadUnbuffered("E:\\DUMP.ROM", 0, block), std::nullopt);
    EXPECT_EQ(host_.FailureReason(), "No medium found");
    EXPECT_EQ(host_.WriteCommandFile("E:\\CMD.CMD", std::vector<std::uint8_t>(512)), std::nullopt);
    EXPECT_EQ(host_.FailureReason(), "No medium found");
    reader.PowerOn();
    reader.Faults().failCommandOpenAt = 1;
    EXPECT_EQ(host_.WriteCommandFile("E:\\CMD.CMD", std::vector<std::uint8_t>(512)), std::nullopt);
    EXPECT_EQ(host_.FailureReason(), "Input/output error");
}

}  // namespace
}  // namespace reader::testing
