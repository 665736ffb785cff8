#include "update/update_client.hpp"

namespace reader {

void ProgramFirmware() {}

}  // namespace reader
