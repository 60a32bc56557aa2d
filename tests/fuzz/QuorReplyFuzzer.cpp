// Any bytes as what the device-manager service sends back: through the
// receive path of SendToQuor into GetVarNode, GetSingleVar and
// GetStatusMessages, and through the allocation routine. The peer on
// 127.0.0.1:5302 answers every connection with the input, so the harness
// runs only in the isolated view (a network of its own).
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
    if (!isolated) {
        std::fputs("quor_reply_fuzzer: run it in scripts/isolate (port 5302, /tmp)\n", stderr);
        std::exit(2);
    }
    // A folder in place of the log keeps it from growing; printed replies go nowhere.
    mkdir("/tmp/cgi.log", 0755);
    if (std::freopen("/dev/null", "w", stdout) == nullptr) std::exit(2);
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
