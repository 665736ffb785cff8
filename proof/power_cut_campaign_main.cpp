// power-cut-campaign: runs every case of the power-cut campaign against the in-process emulated
// reader and prints the table: cases tried, recovered after one run, after two, not recovered,
// bricked, and faulted runs whose outcome was wrong. Every case that is not clean is listed below
// the table. Exits with 1 when any case is not clean.
#include <chrono>
#include <cstdio>

#include "proof/power_cut_campaign.hpp"

int main() {
    using namespace reader::proof;
    const auto start = std::chrono::steady_clock::now();
    const std::vector<CaseOutcome> outcomes = RunPowerCutCampaign();
    const auto elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - start);

    std::printf(
        "Power-cut campaign: full update from N64_KRN03_RV300, in process, virtual time\n\n");
    std::printf("%s", FormatTable(Tally(outcomes)).c_str());
    std::printf("\n%u cases in %.1f s of real time\n", static_cast<unsigned>(outcomes.size()),
                elapsed.count());

    bool clean = true;
    for (const auto& outcome : outcomes) {
        if (outcome.runsToRecover != 0 && !outcome.bricked && outcome.wrong.empty()) {
            continue;
        }
        clean = false;
        std::printf("\n%s / %s:\n", outcome.group.c_str(), outcome.name.c_str());
        if (outcome.runsToRecover == 0) {
            std::printf("  not running the new firmware after two runs\n");
        }
        if (outcome.bricked) {
            std::printf("  BRICKED: %s\n", outcome.brickedHow.c_str());
        }
        if (!outcome.wrong.empty()) {
            std::printf("  faulted run: %s\n", outcome.wrong.c_str());
        }
    }
    return clean ? 0 : 1;
}
