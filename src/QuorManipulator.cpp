#include "QuorManipulator.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <libxml/parser.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>

#include "CgiLogHandler.h"
#include "Fd.h"

// ---- Exchange: one request and its reply over a connection of its own ----------

namespace {

// Loads nothing: replies are untrusted and never name anything to fetch.
xmlParserInputPtr RefuseToLoad(const char* url, const char* id, xmlParserCtxtPtr) {
    CGI_LOG(LevelError, "External entity refused: %s",
            url != nullptr  ? url
            : id != nullptr ? id
                            : "");
    return nullptr;
}

// Makes libxml2 refuse every external entity, DTD or document that a parse
// would load by URL, for the whole process. Parses of memory and of open
// descriptors still work; xmlReadFile does not.
void RefuseExternalEntities() {
    xmlSetExternalEntityLoader(RefuseToLoad);
}

}  // namespace

QuorManipulator::QuorManipulator(std::chrono::milliseconds stepTimeout,
                                 std::chrono::milliseconds exchangeDeadline)
    : timeout(stepTimeout), deadline(exchangeDeadline) {
    RefuseExternalEntities();
}

QuorManipulator::~QuorManipulator() {
    doc.reset();
    xmlCleanupParser();
    xmlMemoryDump();
}

namespace {

const char kXmlDeclaration[] = "<?xml version='1.0'?>";
constexpr size_t kReceiveSize = 4096;

// The bounds of one exchange: each connect, send and receive waits at most
// the step time-out, and all of them end by the deadline, counted from the
// start of the connect.
class Bounds {
  public:
    using Clock = std::chrono::steady_clock;

    Bounds(std::chrono::milliseconds step, std::chrono::milliseconds whole)
        : step_(step), end_(Clock::now() + whole) {}

    // Bounds the next wait of that kind (SO_RCVTIMEO or SO_SNDTIMEO; on Linux
    // the send bound also ends a blocking connect with EINPROGRESS). False,
    // logged, when the deadline has passed or the bound cannot be set.
    bool Next(int fd, int kind, const char* step) const {
        using std::chrono::microseconds;
        const auto left = std::chrono::duration_cast<microseconds>(end_ - Clock::now());
        if (left.count() <= 0) {
            CGI_LOG(LevelError, "%s %s", step, Why(EAGAIN));
            return false;
        }
        const auto wait = std::min(left, std::chrono::duration_cast<microseconds>(step_));
        const timeval bound{static_cast<time_t>(wait.count() / 1000000),
                            static_cast<suseconds_t>(wait.count() % 1000000)};
        if (setsockopt(fd, SOL_SOCKET, kind, &bound, sizeof bound) != 0) {
            CGI_LOG(LevelError, "setsockopt %s", std::strerror(errno));
            return false;
        }
        return true;
    }

    // Why a wait failed: a time-out that ran into the deadline, a time-out
    // (EAGAIN; connect: EINPROGRESS) or the system's error text.
    const char* Why(int error) const {
        if (error != EAGAIN && error != EINPROGRESS) return std::strerror(error);
        return Clock::now() >= end_ ? "deadline passed" : "timed out";
    }

  private:
    std::chrono::milliseconds step_;
    Clock::time_point end_;
};

// A TCP socket connected to port 5302 at address, or none (logged).
Fd Connect(const std::string& address, const Bounds& bounds) {
    Fd sock(socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    if (!sock) {
        CGI_LOG(LevelError, "socket %s", std::strerror(errno));
        return sock;
    }
    if (!bounds.Next(sock.Get(), SO_SNDTIMEO, "connect")) return Fd();
    sockaddr_in peer{};
    peer.sin_family = AF_INET;
    peer.sin_port = htons(kQuorPort);
    peer.sin_addr.s_addr = inet_addr(address.c_str());
    if (connect(sock.Get(), reinterpret_cast<const sockaddr*>(&peer), sizeof peer) != 0) {
        CGI_LOG(LevelError, "connect %s", bounds.Why(errno));
        return Fd();
    }
    return sock;
}

// Hands all of data to put(bytes, size), which writes some of it and returns
// how many bytes it took, or -1.
template <typename Put>
bool PutAll(const std::string& data, Put put) {
    size_t done = 0;
    while (done < data.size()) {
        const ssize_t n = put(data.data() + done, data.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += static_cast<size_t>(n);
    }
    return true;
}

// Sends all of the request; false (logged) when the peer does not take it.
bool Send(int fd, const std::string& request, const Bounds& bounds) {
    if (!bounds.Next(fd, SO_SNDTIMEO, "send")) return false;
    // MSG_NOSIGNAL: a peer that has gone away gives EPIPE, not SIGPIPE.
    const bool sent = PutAll(request, [&](const char* bytes, size_t size) {
        return send(fd, bytes, size, MSG_NOSIGNAL);
    });
    if (!sent) CGI_LOG(LevelError, "send %s", bounds.Why(errno));
    return sent;
}

// Appends one receive of at most kReceiveSize bytes to text. True when bytes
// came; false, logged why, when none did.
bool Receive(int fd, std::string& text, const Bounds& bounds) {
    if (!bounds.Next(fd, SO_RCVTIMEO, "recv")) return false;
    const size_t before = text.size();
    text.resize(before + kReceiveSize);
    ssize_t n;
    do {
        n = recv(fd, &text[before], kReceiveSize, 0);
    } while (n < 0 && errno == EINTR);
    text.resize(before + static_cast<size_t>(std::max<ssize_t>(n, 0)));
    if (n < 0) CGI_LOG(LevelError, "recv %s", bounds.Why(errno));
    if (n == 0) CGI_LOG(LevelError, "recv %s", "connection closed by peer");
    return n > 0;
}

// The number after "content-length:" at text; 0 when there is none. Values
// beyond the range of int are clamped.
int ParseContentLength(const char* text) {
    static const char kName[] = "content-length:";
    if (std::strncmp(text, kName, sizeof kName - 1) != 0) return 0;
    const char* number = text + sizeof kName - 1;
    char* end = nullptr;
    long value = std::strtol(number, &end, 10);
    if (end == number) return 0;
    if (value > INT_MAX) return INT_MAX;
    if (value < INT_MIN) return INT_MIN;
    return static_cast<int>(value);
}

// Reads a reply: the first chunk holds the header block and the start of the
// body, and gives the content length, counted from the XML declaration on;
// later chunks add to the body until it has that length. False when the
// first chunk names no length (no record beyond the chunk's own) or when the
// peer stops before the end (logged by Receive).
bool ReadReply(int fd, const Bounds& bounds, std::string& body) {
    std::string chunk;
    if (!Receive(fd, chunk, bounds)) return false;
    // Logged and parsed up to a NUL in it; searched with its true length.
    CGI_LOG(LevelDebug, "Receive:\n%s", chunk.c_str());
    const auto lengthAt = chunk.find("content-length");
    if (lengthAt == std::string::npos) return false;
    const int contentLength = ParseContentLength(chunk.c_str() + lengthAt);
    CGI_LOG(LevelDebug, "ConLen: %d", contentLength);

    const auto bodyAt = chunk.find(kXmlDeclaration);
    chunk.erase(0, bodyAt);  // all of it when there is no declaration
    body = std::move(chunk);
    while (static_cast<long long>(body.size()) < contentLength) {
        if (!Receive(fd, body, bounds)) return false;
    }
    return true;
}

}  // namespace

int QuorManipulator::SendToQuor(const std::string& toAddress, const std::string& function,
                                std::string& result) {
    CGI_TRACE();
    if (toAddress.empty() || function.empty()) return -1;
    CGI_LOG(LevelDebug, "%s %s", toAddress.c_str(), function.c_str());
    functionName = function;
    address = toAddress;
    reply.clear();

    const Bounds bounds(timeout, deadline);
    const Fd sock = Connect(address, bounds);
    if (!sock) return -1;
    const std::string request = BuildRequest();
    if (request.empty() || !Send(sock.Get(), request, bounds)) return -1;
    std::string body;
    // An incomplete body is no reply: reply stays empty.
    if (!ReadReply(sock.Get(), bounds, body)) return -1;
    reply = std::move(body);
    result = reply;
    return 0;
}

// ---- Packets: the HTTP request and its WDDX body -------------------------------

std::string QuorManipulator::BuildRequest() {
    std::string packet;
    if (functionName == "quorGetDeviceStatus") {
        packet = BuildStatusPacket();
    } else if (functionName == "quorReleaseDevice") {
        packet = BuildReleasePacket();
    } else if (functionName == "quorAllocateDevice") {
        packet = BuildAllocatePacket();
    } else {
        CGI_LOG(LevelError, "Wrong command");
        return "";
    }
    char number[16];
    std::snprintf(number, sizeof number, "%d", static_cast<int>(packet.size()));

    std::string request;
    request.append("GET /qUor?FunctionName=").append(functionName).append(" HTTP/1.1\r\n");
    request.append("Host: ").append(address).append("\r\n");
    request.append("Accept: */*\r\n");
    request.append("User-Agent: USER_AGENT\r\n");
    request.append("Content-type: text/xml\r\n");
    request.append("Content-length: ").append(number).append("\r\n\r\n");
    request.append(packet);
    return request;
}

namespace {

// System identifier of the WDDX 1.0 DTD, named in every request packet.
const char kWddxDtd[] = "http://www.openwddx.org/downloads/dtd/wddx_dtd_10.txt";

std::string PacketStart() {
    std::string packet;
    packet.append(kXmlDeclaration).append("\n");
    packet.append("<!DOCTYPE wddxPacket SYSTEM '").append(kWddxDtd).append("'>\n");
    packet.append("<wddxPacket version='1.0'>\n");
    packet.append("<header/>\n");
    return packet;
}

}  // namespace

std::string QuorManipulator::BuildStatusPacket() {
    std::string packet = PacketStart();
    packet.append("<data/>\n");
    packet.append("</wddxPacket>");
    return packet;
}

std::string QuorManipulator::BuildAllocatePacket() {
    std::string packet = PacketStart();
    packet.append("<data>\n");
    packet.append("<struct>\n");
    packet.append("<var name='DeviceOwner'><string>OVIX_WEB</string></var>\n");
    packet.append("<var name='IfhClientIpAddr'><string>0</string></var>\n");
    packet.append("<var name='IfhClientTcpPorts'><string>IP_PORT_ANY</string></var>\n");
    packet.append("</struct>\n");
    packet.append("</data>\n");
    packet.append("</wddxPacket>");
    return packet;
}

std::string QuorManipulator::BuildReleasePacket() {
    std::string packet = PacketStart();
    packet.append("<data>\n");
    packet.append("<struct>\n");
    packet.append("<var name='DeviceOwner'><string>OVIX_WEB</string></var>\n");
    packet.append("</struct>\n");
    packet.append("</data>\n");
    packet.append("</wddxPacket>");
    return packet;
}

// ---- Parsing: the variables of the last reply ----------------------------------

namespace {

const char* Text(const XmlText& text) {
    return reinterpret_cast<const char*>(text.get());
}

std::string Content(xmlNodePtr node) {
    XmlText content(xmlNodeGetContent(node));
    return content ? Text(content) : "";
}

// The "name" attribute of a variable, logged at the caller's site; none when
// the node has no such attribute (a text node, for one).
std::optional<std::string> VarName(xmlNodePtr var, LogSite site) {
    XmlText attribute(xmlGetProp(var, BAD_CAST "name"));
    CGI_LOG_AT(site, LevelDebug, "%s", attribute ? Text(attribute) : "(no name)");
    if (!attribute) return std::nullopt;
    return std::string(Text(attribute));
}

}  // namespace

xmlNodePtr QuorManipulator::GetVarNode(const std::string& name) {
    CGI_LOG(LevelDebug, "%s %s", "GetVarNode", name.c_str());
    if (reply.empty()) return nullptr;
    doc.reset();
    if (reply.size() > static_cast<size_t>(INT_MAX)) return nullptr;
    // No XML_PARSE_NOENT: entities are not substituted and external ones
    // are never loaded.
    doc.reset(xmlReadMemory(reply.data(), static_cast<int>(reply.size()), "noname.xml", nullptr,
                            XML_PARSE_NOERROR | XML_PARSE_NOWARNING));
    if (!doc) return nullptr;

    xmlNodePtr data = FindChildNode(xmlDocGetRootElement(doc.get()), "data");
    xmlNodePtr vars = FindChildNode(data, "struct");
    if (vars == nullptr) return nullptr;
    for (xmlNodePtr child = vars->children; child != nullptr; child = child->next) {
        if (VarName(child, CGI_SITE) == name) return child;
    }
    return nullptr;
}

xmlNodePtr QuorManipulator::FindChildNode(xmlNodePtr parent, const std::string& name) {
    if (parent == nullptr) return nullptr;
    for (xmlNodePtr child = parent->children; child != nullptr; child = child->next) {
        if (child->name != nullptr && name == reinterpret_cast<const char*>(child->name)) {
            return child;
        }
    }
    return nullptr;
}

xmlNodePtr QuorManipulator::GetStatusNodeTree() {
    CGI_TRACE();
    return GetVarNode("Status");
}

void QuorManipulator::GetStatusMessages(std::string& code, std::string& msg) {
    CGI_TRACE();
    xmlNodePtr status = GetStatusNodeTree();
    if (status == nullptr || status->children == nullptr) return;
    for (xmlNodePtr child = status->children->children; child != nullptr; child = child->next) {
        const auto varName = VarName(child, CGI_SITE);
        if (varName == "code") code = Content(child);
        if (varName == "msg") msg = Content(child);
    }
}

std::string QuorManipulator::GetSingleVar(const std::string& name) {
    CGI_LOG(LevelDebug, "%s %s", "GetSingleVar", name.c_str());
    xmlNodePtr var = GetVarNode(name);
    if (var == nullptr || var->children == nullptr) return "";
    return Content(var->children);
}

// ---- Allocation routine of the toggledeviceallocation tool ---------------------

namespace {

// Where ToggleDeviceAllocation keeps the first status reply of its last run.
const char kQuorReplyFile[] = "/tmp/cgirep.txt";

void PrintReply(const std::string& reply) {
    std::fputs("\n\n", stdout);
    std::fwrite(reply.data(), 1, reply.size(), stdout);
    std::fputc('\n', stdout);
}

void PrintLine(const std::string& text) {
    std::fwrite(text.data(), 1, text.size(), stdout);
    std::fputc('\n', stdout);
}

// Writes the reply and a line feed to the reply file and keeps the file open
// for reading it back. A symbolic link or anything but a regular file in its
// place is not written (O_NONBLOCK: a FIFO does not block the open).
Fd WriteReplyFile(const std::string& reply) {
    Fd file(open(kQuorReplyFile, O_RDWR | O_CREAT | O_TRUNC | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC,
                 0644));
    struct stat info;
    if (!file || fstat(file.Get(), &info) != 0 || !S_ISREG(info.st_mode)) return Fd();
    const bool written = PutAll(reply + "\n", [&](const char* bytes, size_t size) {
        return write(file.Get(), bytes, size);
    });
    if (!written || lseek(file.Get(), 0, SEEK_SET) != 0) return Fd();
    return file;
}

// Writes the reply file and parses it back, printing a progress marker
// between the steps. The markers 332 ... 341 are fixed texts, not this
// file's line numbers: the device's tool has always printed them (once the
// lines of its marker statements), and the people and scripts that read its
// output know them by these numbers. The reply is untrusted: no entity substitution
// (XML_PARSE_NOENT would load external entities) and no network access.
void CheckReplyFile(const std::string& reply) {
    Fd file = WriteReplyFile(reply);
    std::printf("%d\n", 332);
    XmlDoc checked(file ? xmlReadFd(file.Get(), kQuorReplyFile, nullptr,
                                    XML_PARSE_NOERROR | XML_PARSE_NOWARNING | XML_PARSE_NONET)
                        : nullptr);
    std::printf("%d\n", 335);
    checked.reset();
    std::printf("%d\n", 337);
    xmlCleanupParser();
    std::printf("%d\n", 339);
    xmlMemoryDump();
    std::printf("%d\n", 341);
}

}  // namespace

int ToggleDeviceAllocation() {
    QuorManipulator quor;
    std::string reply;
    quor.SendToQuor(kQuorAddress, "quorGetDeviceStatus", reply);
    PrintReply(reply);

    CheckReplyFile(reply);

    const auto start = reply.find("<var name=\"IsAllocated\">");
    if (start == std::string::npos) {
        std::puts("Start 1 nicht gefunden!");
        return -1;
    }
    const auto end = reply.find("<var name", start + 1);
    if (end == std::string::npos) {
        std::puts("End 1 nicht gefunden!");
        return -1;
    }
    const std::string part = reply.substr(start, end - start);
    std::printf("%d %d ", static_cast<int>(start), static_cast<int>(end));
    PrintLine(part);

    static const char kStringTag[] = "<string>";
    const auto valueStart = part.find(kStringTag);
    if (valueStart == std::string::npos) {
        std::puts("Start 2 nicht gefunden!");
        return -1;
    }
    const auto valueEnd = part.find("</string>", valueStart);
    if (valueEnd == std::string::npos) {
        std::puts("End 2 nicht gefunden!");
        return -1;
    }
    const auto valueAt = valueStart + sizeof kStringTag - 1;
    const std::string value = part.substr(valueAt, valueEnd - valueAt);
    PrintLine(value);

    reply.clear();
    quor.SendToQuor(kQuorAddress, value == "0" ? "quorAllocateDevice" : "quorReleaseDevice", reply);
    PrintReply(reply);
    reply.clear();
    quor.SendToQuor(kQuorAddress, "quorGetDeviceStatus", reply);
    PrintReply(reply);
    return 0;
}
