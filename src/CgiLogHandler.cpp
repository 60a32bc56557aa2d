#include "CgiLogHandler.h"

#include "JniLayout.h"

namespace {
bool logConfigured = false;
}

LogHandler* GetCgiLogHandler() {
    LogHandler* handler = Logger::GetLogHandler("cgi");
    if (logConfigured) return handler;

    handler->AddLogClient(Logger::GetDefaultLogHandler());
    // Kept until the process ends, like the handlers themselves.
    auto* file = new LogClientFile("/tmp/cgi.log", true);
    file->SetLayout(new JniLayout);
    handler->AddLogClient(file);

    Logger::GetLogLevelManager()->AddLogLevel(LevelDebug, "DEBUG");
    Logger::GetLogLevelManager()->AddLogLevel(LevelInfo, "INFO");
    Logger::GetLogLevelManager()->AddLogLevel(LevelWarn, "WARN");
    Logger::GetLogLevelManager()->AddLogLevel(LevelError, "ERROR");
    Logger::GetLogLevelManager()->AddLogLevel(LevelFatal, "FATAL");

    Logger::GetLogHandler("JOVIX")->AddLogClient(handler);
    logConfigured = true;
    return handler;
}
