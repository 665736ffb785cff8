// A fixture for the update client's tests: a fresh emulated host, and every global of the program
// (the device library's, SerialKey and the release image) as the program starts with them, before
// the test and again after it, so a test that leaves the image combined with a serial cannot
// mislead the next one.
#pragma once

#include "support/host_fixture.hpp"
#include "update/update_client.hpp"

namespace reader::testing {

class ClientFixture : public HostFixture {
  protected:
    ClientFixture() { ResetUpdateGlobals(); }
    ~ClientFixture() override { ResetUpdateGlobals(); }
};

}  // namespace reader::testing
