#include "update/update_client.hpp"

namespace reader {

bool EnterBootloader() {
    return false;
}

}  // namespace reader
