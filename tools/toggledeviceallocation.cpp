// Toggles the allocation of this device at its device-manager service and
// prints the replies. Exit status 0 when the sequence ran, 1 when it did not.
#include "QuorManipulator.h"

int main() {
    return ToggleDeviceAllocation() == 0 ? 0 : 1;
}
