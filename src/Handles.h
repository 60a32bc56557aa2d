#ifndef OVIX_HANDLES_H
#define OVIX_HANDLES_H

// The descriptor owner under its former name, for the device-manager
// stand-in (simulators/), which finds its headers in src/.
#include "../platform/support/Fd.h"

#endif
