#ifndef OVIX_CGILOGHANDLER_H
#define OVIX_CGILOGHANDLER_H

#include "Logger.h"

enum CgiLogLevel : uint32_t {
    LevelDebug = 10,
    LevelInfo = 20,
    LevelWarn = 30,
    LevelError = 40,
    LevelFatal = 50,
};

// The log file of the program's records and of the Java VM's System.err: both
// append to it, so their lines interleave in the order they happen.
inline constexpr char kCgiLogFile[] = "/tmp/cgi.log";

// The program's log handler "cgi". The first call connects it to the default
// handler and to /tmp/cgi.log (in the JniLayout format), registers the level
// names, and makes the handler "JOVIX" pass its events on to it.
LogHandler* GetCgiLogHandler();

// Where a statement stands: its source path relative to the project root
// (the build maps the prefix away) and its line.
struct LogSite {
    const char* file;
    int line;
};
#define CGI_SITE (LogSite{__FILE__, __LINE__})

// One log statement, its record naming that site. The device's library takes
// the format as char* (it does not write to it); the cast lets a literal pass
// to either signature, and the compilers still check it against the
// arguments where Log carries the printf attribute.
#define CGI_LOG_AT(site, level, format, ...)       \
    LogFormater((level), (site).file, (site).line) \
        .Log(GetCgiLogHandler(), const_cast<char*>(format), ##__VA_ARGS__)

// One log statement whose record names its own line.
#define CGI_LOG(level, format, ...) CGI_LOG_AT(CGI_SITE, level, format, ##__VA_ARGS__)

// The trace that opens a function: its own name at level 10.
#define CGI_TRACE() CGI_LOG(LevelDebug, "%s", __func__)

#endif
