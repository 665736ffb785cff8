// Placeholder: replaced by the full POSIX backend.
#include "platform/posix_host.hpp"

#include <chrono>
#include <cstdio>
#include <thread>

namespace reader::platform {

PosixHost::PosixHost(PosixHostPaths paths) : paths_(std::move(paths)) {}

std::uint32_t PosixHost::LogicalDrives() {
    return 0;
}
DriveType PosixHost::DriveTypeOf(const char*) {
    return DriveType::NoRootDir;
}
bool PosixHost::VolumeLabelOf(const char*, std::span<char>) {
    return false;
}
std::optional<std::uint32_t> PosixHost::ReadUnbuffered(const char*, std::uint32_t,
                                                       std::span<std::uint8_t>) {
    return std::nullopt;
}
std::optional<std::uint32_t> PosixHost::WriteCommandFile(const char*,
                                                         std::span<const std::uint8_t>) {
    return std::nullopt;
}
std::optional<std::uint16_t> PosixHost::ConsoleAttribute() {
    return std::nullopt;
}
void PosixHost::SetConsoleAttribute(std::uint16_t attribute) {
    attribute_ = attribute;
}
void PosixHost::WriteConsole(std::string_view text) {
    std::fflush(stdout);
    std::fwrite(text.data(), 1, text.size(), stdout);
    std::fflush(stdout);
}
void PosixHost::WriteStream(std::string_view text) {
    std::fwrite(text.data(), 1, text.size(), stdout);
    std::fflush(stdout);
}
void PosixHost::Sleep(std::uint32_t milliseconds) {
    std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}
int PosixHost::ReadKey() {
    return std::getchar();
}

Host& NativeHost() {
    static PosixHost host;
    return host;
}

}  // namespace reader::platform
