// The Windows backend against real files (run under Wine by the cross build's tests).
#include "platform/win32_host.hpp"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "support/placed_buffer.hpp"

namespace reader::platform {
namespace {

constexpr std::size_t kFileSize = 0x10000;

using testing::PatternByte;
using testing::PlacedBuffer;

std::vector<std::uint8_t> FileBytes(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

class Win32HostTest : public ::testing::Test {
  protected:
    Win32HostTest()
        : dir_(std::filesystem::temp_directory_path() /
               (std::string("win32-host-") +
                ::testing::UnitTest::GetInstance()->current_test_info()->name())) {
        std::filesystem::create_directories(dir_);
        std::ofstream out(dir_ / "T-DRIVER.DMP", std::ios::binary);
        for (std::size_t i = 0; i < kFileSize; ++i) {
            out.put(static_cast<char>(PatternByte(i)));
        }
    }
    ~Win32HostTest() override {
        std::error_code ignored;
        std::filesystem::remove_all(dir_, ignored);
    }

    std::string PathOf(const char* name) const { return (dir_ / name).string(); }

    Win32Host host_;
    std::filesystem::path dir_;
};

TEST_F(Win32HostTest, UnbufferedReadsDeliverTheBytesAtThePosition) {
    struct Case {
        const char* what;
        std::uint32_t position;
        std::size_t count;
        std::size_t misalignment;
        std::uint32_t delivered;
    };
    const Case cases[] = {
        {"two blocks at 0", 0, 2048, 0, 2048},
        {"the identity's blocks", 0x8000, 2048, 0, 2048},
        {"past 2 GiB: nothing there, not the file's start", 0x80000000u, 2048, 0, 0},
        {"running into the end", kFileSize - 1024, 2048, 0, 1024},
        {"at the end", kFileSize, 2048, 0, 0},
        {"destination off its boundary", 0x400, 2048, 3, 2048},
        {"count that is not whole sectors", 0x800, 1500, 0, 1500},
        {"large, aligned", 0, 0x8000, 0, 0x8000},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        PlacedBuffer buffer(c.count, c.misalignment);
        const auto got =
            host_.ReadUnbuffered(PathOf("T-DRIVER.DMP").c_str(), c.position, buffer.span());
        ASSERT_TRUE(got);
        ASSERT_EQ(*got, c.delivered);
        for (std::uint32_t i = 0; i < c.delivered; ++i) {
            ASSERT_EQ(buffer.span()[i], PatternByte(c.position + i)) << "byte " << i;
        }
        // Nothing past what was delivered is touched.
        if (c.delivered < c.count) {
            EXPECT_EQ(buffer.span()[c.delivered], 0xEE);
        }
    }
}

TEST_F(Win32HostTest, AFileThatCannotBeOpenedIsNoRead) {
    PlacedBuffer buffer(2048, 0);
    EXPECT_EQ(host_.FailureReason(), "");
    EXPECT_FALSE(host_.ReadUnbuffered(PathOf("MISSING.DMP").c_str(), 0, buffer.span()));
    // The system's words, without the line end and full stop they come with.
    const std::string missing = host_.FailureReason();
    EXPECT_FALSE(missing.empty());
    EXPECT_EQ(missing.find_first_of("\r\n"), std::string::npos) << missing;
    EXPECT_NE(missing.back(), '.') << missing;
    EXPECT_FALSE(host_.ReadUnbuffered(PathOf("no\\such\\dir.dmp").c_str(), 0, buffer.span()));
    EXPECT_FALSE(host_.FailureReason().empty());
}

TEST_F(Win32HostTest, TheCommandFileIsReplacedByEachWrite) {
    const std::string path = PathOf("CMD.CMD");
    const std::vector<std::uint8_t> twoSectors(1024, 0x11);
    const std::vector<std::uint8_t> oneSector(512, 0x22);
    ASSERT_EQ(host_.WriteCommandFile(path.c_str(), twoSectors), 1024u);
    EXPECT_EQ(FileBytes(path), twoSectors);
    ASSERT_EQ(host_.WriteCommandFile(path.c_str(), oneSector), 512u);
    EXPECT_EQ(FileBytes(path), oneSector);  // truncated, not overwritten in place
    ASSERT_EQ(host_.WriteCommandFile(path.c_str(), {}), 0u);
    EXPECT_TRUE(FileBytes(path).empty());
}

TEST_F(Win32HostTest, TheCommandFileIsNotOpenedWhileAnotherOpenerHoldsIt) {
    const std::string path = PathOf("CMD.CMD");
    const std::vector<std::uint8_t> sector(512, 0x33);
    ASSERT_EQ(host_.WriteCommandFile(path.c_str(), sector), 512u);
    std::FILE* reader = std::fopen(path.c_str(), "rb");
    ASSERT_NE(reader, nullptr);
    EXPECT_FALSE(host_.WriteCommandFile(path.c_str(), std::vector<std::uint8_t>(512, 0x44)));
    const std::string held = host_.FailureReason();
    EXPECT_FALSE(held.empty());
    std::fclose(reader);
    EXPECT_EQ(FileBytes(path), sector);
    EXPECT_FALSE(host_.WriteCommandFile(PathOf("no\\such\\CMD.CMD").c_str(), sector));
    EXPECT_NE(host_.FailureReason(), held) << "a sharing violation is not a missing folder";
}

TEST_F(Win32HostTest, DrivesAreThoseOfTheSystem) {
    // Every Windows installation, and every Wine prefix, has a fixed drive C.
    EXPECT_NE(host_.LogicalDrives() & (1u << ('C' - 'A')), 0u);
    EXPECT_EQ(host_.DriveTypeOf("C:"), DriveType::Fixed);
    const std::uint32_t drives = host_.LogicalDrives();
    for (char letter = 'D'; letter <= 'Z'; ++letter) {
        if ((drives & (1u << (letter - 'A'))) == 0) {
            const char root[] = {letter, ':', '\0'};
            EXPECT_EQ(host_.DriveTypeOf(root), DriveType::NoRootDir) << letter;
            break;
        }
    }
}

}  // namespace
}  // namespace reader::platform
