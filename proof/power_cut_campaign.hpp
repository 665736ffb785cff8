// The power-cut campaign: shows, case by case, that no interruption of a firmware update leaves a
// reader that starts a half-written firmware.
//
// Every case starts from a reader with the old firmware (N64_KRN03_RV300), does one thing to it
// while the client updates it (cuts the power right after one command sector, cuts it during one
// of the fixed waits, stops the client's process right after one command sector while the reader
// keeps its power, or switches on one of the emulated reader's faults), lets the client run to its
// exit prompt or its stop, puts the reader right again as a user would (power back on, plugged in
// again, the program started afresh) and runs the client again, at most twice, until the reader
// runs the new firmware. All of it happens in process, on the emulated reader's virtual clock.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "emulator/reader_model.hpp"

namespace reader::proof {

// Watches one emulated reader at every start, and on demand, for a bricked reader: one that
// starts its firmware while its flash is neither the old firmware it had before the update nor
// exactly the release image. The reader must outlive the watch; the watch must not be moved.
class BrickWatch {
  public:
    BrickWatch(emulator::ReaderModel& reader, std::span<const std::uint8_t> oldFirmware,
               std::span<const std::uint8_t> releaseImage);
    ~BrickWatch();
    BrickWatch(const BrickWatch&) = delete;
    BrickWatch& operator=(const BrickWatch&) = delete;

    // Checks the reader as it runs now (nothing while it is not there).
    void CheckNow();

    bool Bricked() const { return !what_.empty(); }
    // How the first bricked start looked; empty while there was none.
    const std::string& What() const { return what_; }
    std::size_t Starts() const { return starts_; }

  private:
    void Check(emulator::ReaderMode mode, std::span<const std::uint8_t> flash);

    emulator::ReaderModel& reader_;
    std::vector<std::uint8_t> oldFirmware_;
    std::vector<std::uint8_t> releaseImage_;
    std::string what_;
    std::size_t starts_ = 0;
};

// How one case ended.
struct CaseOutcome {
    std::string group;  // the row of the table it counts in
    std::string name;   // what was done to the reader
    // Runs of the client after the fault until the reader ran the new firmware with every block
    // correct: 1 or 2, or 0 when two were not enough.
    int runsToRecover = 0;
    // The reader started a firmware that was neither its old one nor the release image; how it
    // looked when it did.
    bool bricked = false;
    std::string brickedHow;
    // Empty, or what the faulted run got wrong: a missing message, a success claimed over a flash
    // that is not the image, the image in memory not back in its stored form, no exit prompt.
    std::string wrong;
};

// Runs every case. The client's globals are left as at program start.
std::vector<CaseOutcome> RunPowerCutCampaign();

struct GroupTotals {
    std::string group;
    std::size_t tried = 0;
    std::size_t afterOneRun = 0;
    std::size_t afterTwoRuns = 0;
    std::size_t notRecovered = 0;
    std::size_t bricked = 0;
    std::size_t wrong = 0;
};

// One row per group in the order the groups first appear, then a "total" row.
std::vector<GroupTotals> Tally(std::span<const CaseOutcome> outcomes);

// The table as the campaign program prints it.
std::string FormatTable(std::span<const GroupTotals> totals);

}  // namespace reader::proof
