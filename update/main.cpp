// n64-update: brings the reader's firmware up to date. Takes no arguments and exits with 0 on
// every path; the outcome is on the console.
#include "update/update_client.hpp"

int main() {
    reader::UpdateClient();
    return 0;
}
