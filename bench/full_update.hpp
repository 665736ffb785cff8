// One full update from firmware 300, as the program runs it, against a fresh in-process reader on
// drive E next to a fixed C: drive, in virtual time. Shared by the benchmark and the figures
// program.
#pragma once

#include <algorithm>

#include "drivers/system_driver.hpp"
#include "emulator/emulated_host.hpp"
#include "link/discovery.hpp"
#include "update/release_data.hpp"
#include "update/update_client.hpp"

namespace reader::bench {

class FullUpdate {
  public:
    FullUpdate() : installed_(host_) {
        host_.AddDrive('C', platform::DriveType::Fixed, {}, "SYSTEM");
        emulator::ReaderConfig config;
        config.flash = emulator::OldFirmwareFlash();
        reader_ = &host_.AttachReader('E', std::move(config));
        ResetUpdateGlobals();
        host_.SetInput("\n");
    }

    void Run() { UpdateClient(); }

    // Whether the reader now runs the new firmware, every byte of it.
    bool Completed() {
        host_.Clock().Advance(60'000);
        return reader_->Mode() == emulator::ReaderMode::Firmware &&
               std::equal(reader_->Flash().begin(), reader_->Flash().end(), FirmwareImage.begin(),
                          FirmwareImage.end());
    }

    emulator::EmulatedHost& Host() { return host_; }

  private:
    emulator::EmulatedHost host_;
    emulator::ScopedHost installed_;
    emulator::ReaderModel* reader_ = nullptr;
};

}  // namespace reader::bench
