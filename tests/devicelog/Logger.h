// The logging interface as the device's library declares it: Log takes the
// format as char* and has no printf attribute. Declarations only; the
// program's modules are compiled against it, never linked.
#ifndef OVIX_PLATFORM_LOGGER_H
#define OVIX_PLATFORM_LOGGER_H

#include <cstdint>
#include <ostream>
#include <string>

class LogEvent {
  public:
    std::string GetDateTimeUsec() const;
    std::string GetLogLevelName() const;
    std::string GetFileName() const;
    int GetLineNumber() const;
    std::string GetMessage() const;
    std::string GetLabelText() const;
    int GetLabelNumber() const;
};

class LogLayout {
  public:
    virtual ~LogLayout() {}
    virtual void FormatAndAppend(std::ostream& out, const LogEvent& event) = 0;
};

class LogHandlerClient {
  public:
    virtual ~LogHandlerClient() {}
};

class LogClient : public LogHandlerClient {
  public:
    void SetLayout(LogLayout* layout);
};

class LogClientFile : public LogClient {
  public:
    LogClientFile(const std::string& path, bool flag);
};

class LogHandler : public LogHandlerClient {
  public:
    void AddLogClient(LogHandlerClient* client);
};

class LogLevelManager {
  public:
    void AddLogLevel(unsigned int number, const std::string& name);
};

class Logger {
  public:
    static LogHandler* GetLogHandler(const std::string& name);
    static LogHandler* GetDefaultLogHandler();
    static LogLevelManager* GetLogLevelManager();
};

class LogFormater {
  public:
    LogFormater(uint32_t level, const char* fileName, int32_t line);
    virtual ~LogFormater() {}

    void Log(LogHandler* handler, char* format, ...);
};

#endif
