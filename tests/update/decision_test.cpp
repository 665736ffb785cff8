#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "support/client_fixture.hpp"
#include "update/update_client.hpp"

namespace reader {
namespace {

void SetIdentity(std::string_view identity) {
    DeviceIdentity.fill(0);
    std::memcpy(DeviceIdentity.data(), identity.data(), std::min<std::size_t>(identity.size(), 16));
}

struct IdentityCase {
    std::string identity;
    int version;
    bool bootloader;
};

TEST(UpdateDecision, VersionAndBootloaderOfEveryIdentityShape) {
    const IdentityCase cases[] = {
        {"", 0, false},
        {"N64_KRN03_RV315", 315, false},
        {"N64_KRN03_RV314", 314, false},
        {"N64_KRN03_RV300", 300, false},
        {"N64_KRN03_RV3", 3, false},
        {"N64_KRN03_RV3x9", 3, false},
        {"N64_KRN03_RV3999", 3999, false},
        {"N64_KRN03_RV31", 31, false},
        {"N64_KRN03_RV415", 0, false},  // byte 12 differs
        {"n64_KRN03_RV315", 0, false},  // case matters
        {"HND_KRN02_RV100", 0, false},
        {"BOOT_N64Q2", 0, true},
        {"BOOT_N64Q2xyzzy", 0, true},
        {"BOOT_N64_R2_400", 0, true},
        {"BOOT_N64_R2_4XY", 0, true},
        {"BOOT_N64_R2_5", 0, false},
        {"BOOT_N64Q", 0, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.identity);
        SetIdentity(c.identity);
        EXPECT_EQ(FirmwareVersion(), c.version);
        EXPECT_EQ(IsBootloaderIdentity(), c.bootloader);
    }
}

class UpdateClientTest : public testing::ClientFixture {};

TEST_F(UpdateClientTest, NoReaderSaysNotUsedAndWaitsForAKey) {
    host_.AddDrive('C', platform::DriveType::Fixed);
    host_.SetInput("\n");
    UpdateClient();
    EXPECT_EQ(host_.ConsoleText(),
              "Firmware update client not used for your device()\npress any key to exit.\n");
    EXPECT_EQ(host_.KeysRead(), 1u);
}

TEST_F(UpdateClientTest, OutcomesThatSendNothing) {
    struct Case {
        std::string identity;
        std::string output;
    };
    const Case cases[] = {
        {"N64_KRN03_RV315", "Device N64_KRN03_RV315 not need update firmware\n"},
        {"N64_KRN03_RV3999", "Device N64_KRN03_RV3999 not need update firmware\n"},
        {"N64_KRN03_RV415", "Firmware update client not used for your device(N64_KRN03_RV415)\n"},
        {"XYZ_KRN02_RV100", "Firmware update client not used for your device(XYZ_KRN02_RV100)\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.identity);
        emulator::EmulatedHost host;
        emulator::ScopedHost scoped(host);
        ResetUpdateGlobals();
        emulator::ReaderConfig config;
        config.fixedIdentity = c.identity;
        auto& reader = host.AttachReader('E', config);
        UpdateClient();
        EXPECT_EQ(host.ConsoleText(), c.output + "press any key to exit.\n");
        EXPECT_TRUE(reader.Transcript().empty());
        for (const auto& piece : host.Console()) {
            EXPECT_EQ(piece.attribute, platform::kAttributeDefault) << "decision lines are plain";
        }
    }
}

TEST_F(UpdateClientTest, EndOfInputEndsThePromptAtOnce) {
    UpdateClient();
    EXPECT_EQ(host_.KeysRead(), 0u);
    EXPECT_NE(host_.ConsoleText().find("press any key to exit.\n"), std::string::npos);
}

}  // namespace
}  // namespace reader
