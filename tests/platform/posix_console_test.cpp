// The console half of the host services on a POSIX system: standard output redirected to a pipe
// or a pseudo-terminal, and the bytes that come out of the other end.
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>

#include "emulator/emulated_host.hpp"
#include "platform/posix_console.hpp"
#include "update/console.hpp"

namespace reader::platform {
namespace {

// The console half alone: no drives at all.
class ConsoleOnlyHost final : public PosixConsoleHost {
  public:
    std::uint32_t LogicalDrives() override { return 0; }
    DriveType DriveTypeOf(const char*) override { return DriveType::NoRootDir; }
    bool VolumeLabelOf(const char*, std::span<char>) override { return false; }
    std::optional<std::uint32_t> ReadUnbuffered(const char*, std::uint32_t,
                                                std::span<std::uint8_t>) override {
        return std::nullopt;
    }
    std::optional<std::uint32_t> WriteCommandFile(const char*,
                                                  std::span<const std::uint8_t>) override {
        return std::nullopt;
    }
};

// Standard output sent to another descriptor for the life of the object.
class StdoutRedirect {
  public:
    explicit StdoutRedirect(int target) {
        std::fflush(stdout);
        saved_ = ::dup(STDOUT_FILENO);
        ::dup2(target, STDOUT_FILENO);
    }
    ~StdoutRedirect() { Restore(); }
    void Restore() {
        if (saved_ >= 0) {
            std::fflush(stdout);
            ::dup2(saved_, STDOUT_FILENO);
            ::close(saved_);
            saved_ = -1;
        }
    }

  private:
    int saved_ = -1;
};

// What a progress line, its coloured ending and a failure message put on standard output.
std::optional<std::uint16_t> WriteMessages(PosixConsoleHost& host) {
    const auto attribute = host.ConsoleAttribute();
    std::fputs("Update block 3 (1a2b)\r", stdout);  // still in the stream's buffer
    host.SetConsoleAttribute(kAttributeLightGreen);
    host.WriteConsole(": success");
    host.SetConsoleAttribute(kAttributeDefault);
    host.WriteStream("\n");
    emulator::ScopedHost installed(host);
    ConsoleError("\nUpdate block %d failure\n", 7);
    return attribute;
}

TEST(PosixConsoleTest, BareTextWhenNotATerminal) {
    std::array<int, 2> pipe{};
    ASSERT_EQ(::pipe(pipe.data()), 0);
    ConsoleOnlyHost host;
    StdoutRedirect redirect(pipe[1]);
    const auto attribute = WriteMessages(host);
    redirect.Restore();
    ::close(pipe[1]);
    std::string text;
    std::array<char, 256> chunk{};
    for (ssize_t got; (got = ::read(pipe[0], chunk.data(), chunk.size())) > 0;) {
        text.append(chunk.data(), static_cast<std::size_t>(got));
    }
    ::close(pipe[0]);
    EXPECT_EQ(attribute, std::nullopt);
    EXPECT_EQ(text, "Update block 3 (1a2b)\r: success\n\nUpdate block 7 failure\n");
}

TEST(PosixConsoleTest, ColourSequencesOnATerminal) {
    const int master = ::posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_GE(master, 0);
    ASSERT_EQ(::grantpt(master), 0);
    ASSERT_EQ(::unlockpt(master), 0);
    const char* slaveName = ::ptsname(master);
    ASSERT_NE(slaveName, nullptr);
    const int slave = ::open(slaveName, O_RDWR | O_NOCTTY);
    ASSERT_GE(slave, 0);
    termios raw{};
    ASSERT_EQ(::tcgetattr(slave, &raw), 0);
    // No line-end translation or echo on the way through.
    raw.c_oflag &= ~static_cast<tcflag_t>(OPOST);
    raw.c_lflag &= ~static_cast<tcflag_t>(ECHO | ICANON);
    ASSERT_EQ(::tcsetattr(slave, TCSANOW, &raw), 0);

    ConsoleOnlyHost host;
    StdoutRedirect redirect(slave);
    const auto attribute = WriteMessages(host);
    host.SetConsoleAttribute(kAttributeLightRed);
    const auto red = host.ConsoleAttribute();
    host.SetConsoleAttribute(kAttributeDefault);
    redirect.Restore();

    const std::string expected =
        "Update block 3 (1a2b)\r\x1b[92m: success\x1b[0m\n"
        "\x1b[91m\nUpdate block 7 failure\n\x1b[0m"
        "\x1b[91m\x1b[0m";
    std::string text;
    std::array<char, 256> chunk{};
    pollfd ready{master, POLLIN, 0};
    while (text.size() < expected.size() && ::poll(&ready, 1, 2000) > 0) {
        const ssize_t got = ::read(master, chunk.data(), chunk.size());
        if (got <= 0) {
            break;
        }
        text.append(chunk.data(), static_cast<std::size_t>(got));
    }
    ::close(slave);
    ::close(master);
    EXPECT_EQ(attribute, kAttributeDefault);
    EXPECT_EQ(red, kAttributeLightRed);
    EXPECT_EQ(text, expected);
}

}  // namespace
}  // namespace reader::platform
