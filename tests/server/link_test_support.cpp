// Helpers of the server-link tests.
#include "link_test_support.h"

#include <fstream>

namespace gwtest {

long residentKiB() {
    std::ifstream status("/proc/self/status");
    std::string key;
    while (status >> key) {
        if (key == "VmRSS:") {
            long kib = 0;
            status >> kib;
            return kib;
        }
        status.ignore(1 << 12, '\n');
    }
    return -1;
}

} // namespace gwtest
