// Toggles the allocation of this device at its device-manager service and
// prints the replies. Exit status 0 when the sequence ran, 1 when it did not.
// It takes no arguments: --help prints the usage (exit 0) and anything else
// the usage on standard error (exit 2), both without any exchange.
#include <cstdio>
#include <cstring>

#include "QuorManipulator.h"

namespace {
const char kUsage[] =
    "usage: toggledeviceallocation\n"
    "  asks the device manager on this device for the device's status, allocates\n"
    "  the device if it is free and releases it if it is allocated, then asks again;\n"
    "  prints each reply and keeps the first in /tmp/cgirep.txt\n";
}

int main(int argc, char** argv) {
    if (argc == 2 && std::strcmp(argv[1], "--help") == 0) {
        std::fputs(kUsage, stdout);
        return 0;
    }
    if (argc > 1) {
        std::fputs(kUsage, stderr);
        return 2;
    }
    return ToggleDeviceAllocation() == 0 ? 0 : 1;
}
