// Stand-in of the device's device-manager service.
//
// Listens on port 5302 of one IPv4 address and answers
// "GET /qUor?FunctionName=..." with WDDX 1.0 replies: quorGetDeviceStatus
// reports the allocation state, quorAllocateDevice sets it, quorReleaseDevice
// clears it, any other function gets an error status. Each connection is
// served in turn and closed after the reply. Given a fault mode it misbehaves
// in one way, for tests of the client.
//
// Usage: devicemanager-sim ADDRESS [--port N] [--fault MODE] [--allocated]
//                          [--record DIR] [--state FILE] [--body FILE]
//   --allocated   start with the device allocated
//   --record DIR  the bytes of each connection's request go to
//                 DIR/request-N.txt, those of its reply to DIR/response-N.txt
//                 (N counts connections from 1), written before the reply
//   --state FILE  holds "0" or "1", the allocation state, updated before
//                 each reply
//   --body FILE   every reply carries the bytes of this file as its body
// Prints "listening ADDRESS:PORT" on standard output once it accepts
// connections; runs until it is killed.
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

namespace {

const char* const kFaults[] = {
    "none",                // well-formed replies
    "no-length",           // no content-length header
    "upper-length",        // the header only as CONTENT-LENGTH
    "bad-length",          // a content-length that is not a number
    "chunks",              // the body in pieces of 32 bytes
    "bytewise",            // the body one byte at a time after its XML declaration
    "large",               // a body of more than 4096 bytes
    "dquote-decl",         // <?xml version="1.0"?>
    "close-early",         // the connection closes after half of the body
    "silent",              // reads the request and never answers
    "nul",                 // NUL bytes inside the body, in its first and last part
    "not-wellformed",      // the body's closing tags do not match
    "ws-value",            // white space between each var and its value
    "isallocated-last",    // IsAllocated is the last variable
    "isallocated-squote",  // <var name='IsAllocated'>
    "boolean",             // IsAllocated as a WDDX boolean, without a string element
    "unclosed-string",     // IsAllocated's string element is not closed
    "reset",               // closes each connection at once with a reset
    "backlog-full",        // never accepts; a full accept queue makes connects hang
};

struct Options {
    std::string address;
    int port = 5302;
    std::string fault = "none";
    bool allocated = false;
    std::string recordDir;
    std::string stateFile;
    std::string bodyFile;
};

class Fd {
  public:
    explicit Fd(int fd = -1) : fd_(fd) {}
    ~Fd() {
        if (fd_ >= 0) close(fd_);
    }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    Fd(Fd&& other) noexcept : fd_(other.fd_) { other.fd_ = -1; }
    int Get() const { return fd_; }
    explicit operator bool() const { return fd_ >= 0; }

  private:
    int fd_;
};

void Sleep(int microseconds) {
    usleep(static_cast<useconds_t>(microseconds));
}

bool SendAll(int fd, const std::string& data) {
    size_t sent = 0;
    while (sent < data.size()) {
        ssize_t n = send(fd, data.data() + sent, data.size() - sent, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        sent += static_cast<size_t>(n);
    }
    return true;
}

void WriteFile(const std::string& path, const std::string& content) {
    const std::string temporary = path + ".new";
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        out << content;
    }
    std::rename(temporary.c_str(), path.c_str());
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

std::string Lower(std::string text) {
    for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

// The request: its header block and as many body bytes as its Content-length
// names. Ends early when the client closes or stays silent for 5 s.
std::string ReadRequest(int fd) {
    const timeval bound{5, 0};
    setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &bound, sizeof bound);
    std::string request;
    size_t wanted = std::string::npos;
    char buffer[4096];
    while (wanted == std::string::npos || request.size() < wanted) {
        ssize_t n = recv(fd, buffer, sizeof buffer, 0);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        request.append(buffer, static_cast<size_t>(n));
        const auto headerEnd = request.find("\r\n\r\n");
        if (wanted == std::string::npos && headerEnd != std::string::npos) {
            const std::string header = Lower(request.substr(0, headerEnd + 2));
            const auto at = header.find("\r\ncontent-length:");
            long length = at == std::string::npos ? 0 : std::atol(header.c_str() + at + 17);
            wanted = headerEnd + 4 + static_cast<size_t>(std::max(0L, length));
        }
    }
    return request;
}

// The function named in "GET /qUor?FunctionName=<name> HTTP/1.1".
std::string FunctionName(const std::string& request) {
    const std::string start = "GET /qUor?FunctionName=";
    if (request.compare(0, start.size(), start) != 0) return "";
    const auto end = request.find_first_of(" &\r\n", start.size());
    return request.substr(start.size(), end == std::string::npos ? end : end - start.size());
}

// The text of the request's DeviceOwner variable.
std::string Owner(const std::string& request) {
    auto at = request.find("DeviceOwner");
    if (at == std::string::npos) return "";
    at = request.find("<string>", at);
    if (at == std::string::npos) return "";
    at += 8;
    const auto end = request.find("</string>", at);
    return end == std::string::npos ? "" : request.substr(at, end - at);
}

struct Device {
    bool allocated = false;
    std::string owner;
};

std::string Var(const std::string& name, const std::string& value, const std::string& fault) {
    const std::string gap = fault == "ws-value" ? "\n  " : "";
    return "<var name=\"" + name + "\">" + gap + "<string>" + value + "</string></var>";
}

std::string Body(const std::string& fault, const std::string& code, const std::string& msg,
                 const Device& device) {
    const std::string gap = fault == "ws-value" ? "\n  " : "";
    const std::string value = device.allocated ? "1" : "0";
    std::vector<std::string> vars;
    vars.push_back("<var name=\"Status\">" + gap + "<struct>" + Var("code", code, "") +
                   Var("msg", msg, "") + "</struct></var>");
    std::string allocated = Var("IsAllocated", value, fault);
    if (fault == "isallocated-squote") {
        allocated = "<var name='IsAllocated'><string>" + value + "</string></var>";
    } else if (fault == "boolean") {
        allocated = std::string("<var name=\"IsAllocated\"><boolean value='") +
                    (device.allocated ? "true" : "false") + "'/></var>";
    } else if (fault == "unclosed-string") {
        allocated = "<var name=\"IsAllocated\"><string>" + value + "</var>";
    }
    vars.push_back(allocated);
    vars.push_back(Var("DeviceOwner", device.owner, fault));
    if (fault == "isallocated-last") std::swap(vars[1], vars[2]);
    if (fault == "large") vars.push_back(Var("Padding", std::string(10000, 'x'), fault));
    if (fault == "nul") {
        vars.insert(vars.begin(), Var("Head", std::string("before\0after", 12), fault));
        vars.push_back(Var("Tail", std::string(5000, 'y') + std::string("\0end", 4), fault));
    }

    std::string body = fault == "dquote-decl" ? "<?xml version=\"1.0\"?>" : "<?xml version='1.0'?>";
    body += "\n<wddxPacket version='1.0'><header/><data><struct>\n";
    for (const auto& var : vars) body += var + "\n";
    body += fault == "not-wellformed" ? "</data></struct>" : "</struct></data>";
    body += "</wddxPacket>\n";
    return body;
}

std::string Header(const std::string& fault, size_t length) {
    std::string header = "HTTP/1.1 200 OK\r\ncontent-type: text/xml\r\n";
    if (fault == "upper-length") {
        header += "CONTENT-LENGTH: " + std::to_string(length) + "\r\n";
    } else if (fault == "bad-length") {
        header += "content-length: unknown\r\n";
    } else if (fault != "no-length") {
        header += "content-length: " + std::to_string(length) + "\r\n";
    }
    return header + "connection: close\r\n\r\n";
}

// Sends the reply the way the fault mode asks for.
void SendReply(int fd, const std::string& fault, const std::string& header,
               const std::string& body) {
    if (fault == "chunks" || fault == "bytewise") {
        int one = 1;
        setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        // The first piece holds the whole XML declaration.
        const size_t first = fault == "chunks" ? 32 : body.find('>') + 1;
        const size_t piece = fault == "chunks" ? 32 : 1;
        if (!SendAll(fd, header + body.substr(0, first))) return;
        for (size_t at = first; at < body.size(); at += piece) {
            Sleep(fault == "chunks" ? 2000 : 200);
            if (!SendAll(fd, body.substr(at, piece))) return;
        }
    } else if (fault == "close-early") {
        SendAll(fd, header + body.substr(0, body.size() / 2));
    } else {
        SendAll(fd, header + body);
    }
}

class Simulator {
  public:
    explicit Simulator(Options options) : options_(std::move(options)) {
        device_.allocated = options_.allocated;
    }

    int Run() {
        Fd listener(socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(static_cast<uint16_t>(options_.port));
        if (inet_pton(AF_INET, options_.address.c_str(), &address.sin_addr) != 1) {
            std::cerr << "devicemanager-sim: not an IPv4 address: " << options_.address << "\n";
            return 2;
        }
        int one = 1;
        setsockopt(listener.Get(), SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
        const bool full = options_.fault == "backlog-full";
        if (!listener ||
            bind(listener.Get(), reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
            listen(listener.Get(), full ? 0 : 16) != 0) {
            std::cerr << "devicemanager-sim: cannot listen on " << options_.address << ":"
                      << options_.port << ": " << std::strerror(errno) << "\n";
            return 2;
        }
        SaveState();
        std::vector<Fd> held;
        if (full) FillAcceptQueue(address, held);
        std::cout << "listening " << options_.address << ":" << options_.port << std::endl;
        if (full) {
            for (;;) pause();
        }
        for (int number = 1;; ++number) {
            Fd connection(accept4(listener.Get(), nullptr, nullptr, SOCK_CLOEXEC));
            if (!connection) continue;
            if (Serve(connection.Get(), number)) held.push_back(std::move(connection));
        }
    }

  private:
    // Connections that the simulator never accepts fill its accept queue (one
    // place with a backlog of 0); the kernel then drops new connection requests.
    static void FillAcceptQueue(const sockaddr_in& address, std::vector<Fd>& held) {
        for (int i = 0; i < 2; ++i) {
            Fd filler(socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
            connect(filler.Get(), reinterpret_cast<const sockaddr*>(&address), sizeof address);
            pollfd ready{filler.Get(), POLLOUT, 0};
            poll(&ready, 1, 100);
            held.push_back(std::move(filler));
        }
    }

    // Answers one connection; true when it must be kept open unanswered.
    bool Serve(int fd, int number) {
        const std::string& fault = options_.fault;
        if (fault == "reset") {
            Record(number, "", "");
            const linger abort{1, 0};
            setsockopt(fd, SOL_SOCKET, SO_LINGER, &abort, sizeof abort);
            return false;
        }
        const std::string request = ReadRequest(fd);
        if (fault == "silent" || request.empty()) {
            Record(number, request, "");
            return fault == "silent";
        }

        const std::string function = FunctionName(request);
        std::string code = "0", msg;
        if (function == "quorGetDeviceStatus") {
            msg = "OK";
        } else if (function == "quorAllocateDevice") {
            device_.allocated = true;
            device_.owner = Owner(request);
            msg = "Device allocated";
        } else if (function == "quorReleaseDevice") {
            device_.allocated = false;
            device_.owner.clear();
            msg = "Device released";
        } else {
            code = "-1";
            msg = "Unknown function";
        }
        SaveState();

        const std::string body = options_.bodyFile.empty() ? Body(fault, code, msg, device_)
                                                           : ReadFile(options_.bodyFile);
        const std::string header = Header(fault, body.size());
        Record(number, request, header + body);
        SendReply(fd, fault, header, body);
        return false;
    }

    void Record(int number, const std::string& request, const std::string& response) {
        if (options_.recordDir.empty()) return;
        const std::string prefix = options_.recordDir + "/";
        WriteFile(prefix + "request-" + std::to_string(number) + ".txt", request);
        WriteFile(prefix + "response-" + std::to_string(number) + ".txt", response);
    }

    void SaveState() {
        if (!options_.stateFile.empty())
            WriteFile(options_.stateFile, device_.allocated ? "1" : "0");
    }

    Options options_;
    Device device_;
};

int Usage() {
    std::cerr << "usage: devicemanager-sim ADDRESS [--port N] [--fault MODE] [--allocated]\n"
                 "                         [--record DIR] [--state FILE] [--body FILE]\n"
                 "fault modes:";
    for (const char* fault : kFaults) std::cerr << " " << fault;
    std::cerr << "\n";
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    Options options;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const bool hasValue = i + 1 < argc;
        if (arg == "--allocated") {
            options.allocated = true;
        } else if (arg == "--port" && hasValue) {
            options.port = std::atoi(argv[++i]);
        } else if (arg == "--fault" && hasValue) {
            options.fault = argv[++i];
        } else if (arg == "--record" && hasValue) {
            options.recordDir = argv[++i];
        } else if (arg == "--state" && hasValue) {
            options.stateFile = argv[++i];
        } else if (arg == "--body" && hasValue) {
            options.bodyFile = argv[++i];
        } else if (arg[0] != '-' && options.address.empty()) {
            options.address = arg;
        } else {
            return Usage();
        }
    }
    const bool known = std::find_if(std::begin(kFaults), std::end(kFaults), [&](const char* f) {
                           return options.fault == f;
                       }) != std::end(kFaults);
    if (options.address.empty() || !known) return Usage();
    signal(SIGPIPE, SIG_IGN);
    return Simulator(options).Run();
}
