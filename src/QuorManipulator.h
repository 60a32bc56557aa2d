#ifndef OVIX_QUORMANIPULATOR_H
#define OVIX_QUORMANIPULATOR_H

#include <libxml/tree.h>

#include <chrono>
#include <memory>
#include <string>

// Owners of what libxml2 hands out: a document goes with xmlFreeDoc, a string
// with xmlFree.
struct XmlFree {
    void operator()(xmlDoc* document) const { xmlFreeDoc(document); }
    void operator()(xmlChar* text) const { xmlFree(text); }
};
using XmlDoc = std::unique_ptr<xmlDoc, XmlFree>;
using XmlText = std::unique_ptr<xmlChar, XmlFree>;

// The device-manager service runs on the device itself.
inline constexpr char kQuorAddress[] = "127.0.0.1";
inline constexpr int kQuorPort = 5302;
// Each connect, send and receive of an exchange waits at most this long.
inline constexpr std::chrono::milliseconds kQuorTimeout{10000};
// A whole exchange, from the start of its connect to the last byte of the
// reply, takes at most this long.
inline constexpr std::chrono::milliseconds kQuorDeadline{30000};
// Client of the device-manager service: WDDX packets sent as HTTP requests to
// port 5302, and the variables of the last reply. Its construction makes
// libxml2 refuse, for the whole process, every external entity or DTD a parse
// would load (logged): replies are untrusted.
class QuorManipulator {
  public:
    // stepTimeout bounds each connect, send and receive; exchangeDeadline the
    // whole exchange.
    explicit QuorManipulator(std::chrono::milliseconds stepTimeout = kQuorTimeout,
                             std::chrono::milliseconds exchangeDeadline = kQuorDeadline);
    virtual ~QuorManipulator();
    QuorManipulator(const QuorManipulator&) = delete;
    QuorManipulator& operator=(const QuorManipulator&) = delete;

    // One request and reply over a connection of its own: 0 and the reply
    // body in result, or -1 (logged) with result untouched.
    int SendToQuor(const std::string& toAddress, const std::string& function, std::string& result);
    // The HTTP request for the current address and function; empty for an
    // unknown function.
    std::string BuildRequest();
    std::string BuildStatusPacket();
    std::string BuildAllocatePacket();
    std::string BuildReleasePacket();

    // Parses the last reply and returns the variable of that name, or null.
    // The node lives until the next parse or the object's end.
    xmlNodePtr GetVarNode(const std::string& name);
    xmlNodePtr GetStatusNodeTree();
    // Fills code and msg from the variable "Status"; leaves what is missing.
    void GetStatusMessages(std::string& code, std::string& msg);
    std::string GetSingleVar(const std::string& name);

  private:
    xmlNodePtr FindChildNode(xmlNodePtr parent, const std::string& name);

    XmlDoc doc;
    std::string address;
    std::string functionName;
    std::string reply;
    std::chrono::milliseconds timeout;
    std::chrono::milliseconds deadline;
};

// Asks for the device status, allocates the device when it is not allocated
// and releases it when it is, then asks again, printing each reply. 0 when
// the sequence ran, -1 when the first reply holds no allocation state.
int ToggleDeviceAllocation();

#endif
