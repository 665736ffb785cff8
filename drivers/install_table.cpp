// The reader variants that IdentifyDevice recognises, in the order it tries them.
#include "drivers/system_driver.hpp"

namespace reader {

const std::array<SystemInstallation, kSystemCount> SystemInstallTable{};

}  // namespace reader
