#include "CgiLogHandler.h"

#include "JniLayout.h"

namespace {

bool logConfigured = false;

const struct {
    CgiLogLevel number;
    const char* name;
} kLevelNames[] = {
    {LevelDebug, "DEBUG"}, {LevelInfo, "INFO"},   {LevelWarn, "WARN"},
    {LevelError, "ERROR"}, {LevelFatal, "FATAL"},
};

}  // namespace

LogHandler* GetCgiLogHandler() {
    LogHandler* handler = Logger::GetLogHandler("cgi");
    if (logConfigured) return handler;

    handler->AddLogClient(Logger::GetDefaultLogHandler());
    // Kept until the process ends, like the handlers themselves.
    auto* file = new LogClientFile("/tmp/cgi.log", true);
    file->SetLayout(new JniLayout);
    handler->AddLogClient(file);

    for (const auto& level : kLevelNames) {
        Logger::GetLogLevelManager()->AddLogLevel(level.number, level.name);
    }

    Logger::GetLogHandler("JOVIX")->AddLogClient(handler);
    logConfigured = true;
    return handler;
}
