// Any bytes as the device-manager service's reply: through the receive path of
// SendToQuor into GetSingleVar and GetStatusMessages, and through the
// allocation routine. The peer binds 127.0.0.1:5302, so the harness runs only
// in the isolated view (a network of its own).
#include <net/if.h>
#include <sys/stat.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "QuorManipulator.h"
#include "QuorPeer.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    // Loopback as the only interface: the isolated view.
    struct if_nameindex* interfaces = if_nameindex();
    const bool isolated =
        interfaces != nullptr && interfaces[0].if_index != 0 && interfaces[1].if_index == 0;
    if_freenameindex(interfaces);
    if (!isolated) std::fputs("quor_reply_fuzzer: run it in scripts/isolate\n", stderr);
    // Printed replies go nowhere; a folder in place of the log keeps it from growing.
    if (!isolated || std::freopen("/dev/null", "w", stdout) == nullptr) std::exit(2);
    mkdir("/tmp/cgi.log", 0755);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    QuorPeer peer({std::string(reinterpret_cast<const char*>(data), size)}, Delivery::Whole);
    if (!peer.Listening()) std::abort();
    {
        QuorManipulator quor;
        std::string reply, code, msg;
        if (quor.SendToQuor("127.0.0.1", "quorGetDeviceStatus", reply) == 0) {
            (void)quor.GetSingleVar("IsAllocated");
            quor.GetStatusMessages(code, msg);
        }
    }
    (void)ToggleDeviceAllocation();
    return 0;
}
