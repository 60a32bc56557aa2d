#include "CgiLogHandler.h"

#include "JniLayout.h"

namespace {

const struct {
    CgiLogLevel number;
    const char* name;
} kLevelNames[] = {
    {LevelDebug, "DEBUG"}, {LevelInfo, "INFO"},   {LevelWarn, "WARN"},
    {LevelError, "ERROR"}, {LevelFatal, "FATAL"},
};

// Attaches the handler to its outputs and names the levels.
bool AttachHandler(LogHandler* handler) {
    handler->AddLogClient(Logger::GetDefaultLogHandler());
    // Kept until the process ends, like the handlers themselves.
    auto* file = new LogClientFile(kCgiLogFile, true);
    file->SetLayout(new JniLayout);
    handler->AddLogClient(file);

    for (const auto& level : kLevelNames) {
        Logger::GetLogLevelManager()->AddLogLevel(level.number, level.name);
    }

    Logger::GetLogHandler("JOVIX")->AddLogClient(handler);
    return true;
}

}  // namespace

LogHandler* GetCgiLogHandler() {
    LogHandler* handler = Logger::GetLogHandler("cgi");
    // Once per process, on the first call.
    static const bool attached = AttachHandler(handler);
    (void)attached;
    return handler;
}
