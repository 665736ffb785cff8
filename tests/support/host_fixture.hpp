// A test fixture that installs a fresh emulated host and puts the program's globals back into
// their start-of-run state, so every test starts like a new run of the program.
#pragma once

#include <gtest/gtest.h>

#include <optional>
#include <ostream>
#include <string>

#include "drivers/system_driver.hpp"
#include "emulator/emulated_host.hpp"
#include "link/discovery.hpp"

namespace reader::emulator {

// Console pieces print with their path, colour and escaped text, so that a failed comparison of
// whole console output shows where it differs.
inline void PrintTo(const ConsolePiece& piece, std::ostream* out) {
    std::string text;
    for (const char c : piece.text) {
        text += c == '\n' ? std::string("\\n") : c == '\r' ? std::string("\\r") : std::string(1, c);
    }
    *out << (piece.path == ConsolePiece::Path::Stream ? "stream" : "direct") << '/';
    if (piece.attribute) {
        *out << "attr" << *piece.attribute;
    } else {
        *out << "bare";
    }
    *out << " \"" << text << '"';
}

}  // namespace reader::emulator

namespace reader::testing {

class HostFixture : public ::testing::Test {
  protected:
    HostFixture() : scoped_(host_) { ResetDeviceGlobals(); }

    emulator::ReaderModel& AttachN64Reader(
        char letter, std::string_view firmwareIdentity = emulator::kOldFirmwareIdentity) {
        emulator::ReaderConfig config;
        config.flash = emulator::OldFirmwareFlash(firmwareIdentity);
        return host_.AttachReader(letter, std::move(config));
    }

    emulator::ReaderModel& AttachDevice(char letter, std::string identity) {
        emulator::ReaderConfig config;
        config.fixedIdentity = std::move(identity);
        return host_.AttachReader(letter, std::move(config));
    }

    std::string Identity() const { return DeviceIdentity.data(); }

    emulator::EmulatedHost host_;

  private:
    emulator::ScopedHost scoped_;
};

}  // namespace reader::testing
