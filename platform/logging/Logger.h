// Stand-in of the device's in-house logging library.
//
// Choices of this stand-in (the device's library makes its own):
// - Date text: local time with microseconds, "2026-12-06 14:03:07.123456".
// - Label text of an event: the name of the handler it was logged through
//   ("cgi", "JOVIX"); label number: the id of the logging process. Together
//   they tell the lines of concurrent requests apart in one shared file.
// - The default handler has no clients: events that reach it are dropped.
//   Nothing in this library writes to standard output, which carries the page.
// - LogClientFile(path, true) appends, LogClientFile(path, false) truncates.
//   The file is opened once, when the client is made. Each event reaches it
//   as one write(2) of the whole formatted text on an O_APPEND descriptor, so
//   the lines of processes that share the file never interleave. A file that
//   cannot be opened or written drops events silently.
// - No level is filtered out. A level without a registered name is named by
//   its number.
#ifndef OVIX_PLATFORM_LOGGER_H
#define OVIX_PLATFORM_LOGGER_H

#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <map>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "Fd.h"

class LogEvent {
  public:
    LogEvent(std::string dateTimeUsec, std::string levelName, std::string fileName, int line,
             std::string message, std::string labelText, int labelNumber);

    const std::string& GetDateTimeUsec() const { return dateTimeUsec_; }
    const std::string& GetLogLevelName() const { return levelName_; }
    const std::string& GetFileName() const { return fileName_; }
    int GetLineNumber() const { return line_; }
    const std::string& GetMessage() const { return message_; }
    const std::string& GetLabelText() const { return labelText_; }
    int GetLabelNumber() const { return labelNumber_; }

  private:
    std::string dateTimeUsec_;
    std::string levelName_;
    std::string fileName_;
    int line_;
    std::string message_;
    std::string labelText_;
    int labelNumber_;
};

// Turns one event into text; a file client owns no layout, it only uses one.
class LogLayout {
  public:
    virtual ~LogLayout() {}
    virtual void FormatAndAppend(std::ostream& out, const LogEvent& event) = 0;
};

// Anything a handler can pass events to: another handler or a client.
class LogHandlerClient {
  public:
    virtual ~LogHandlerClient() {}
    virtual void HandleEvent(const LogEvent& event) = 0;
};

class LogClient : public LogHandlerClient {
  public:
    void SetLayout(LogLayout* layout) { layout_ = layout; }

  protected:
    // The event as text: the layout's, or the bare message and a line feed.
    std::string Format(const LogEvent& event) const;

  private:
    LogLayout* layout_ = nullptr;
};

class LogClientFile : public LogClient {
  public:
    // flag true: append to the file; false: truncate it when opening.
    LogClientFile(const std::string& path, bool flag);
    ~LogClientFile() override;
    LogClientFile(const LogClientFile&) = delete;
    LogClientFile& operator=(const LogClientFile&) = delete;

    void HandleEvent(const LogEvent& event) override;

  private:
    Fd fd_;
};

class LogHandler : public LogHandlerClient {
  public:
    explicit LogHandler(std::string name) : name_(std::move(name)) {}

    const std::string& GetName() const { return name_; }
    // The client is not owned; it must outlive the handler's use.
    void AddLogClient(LogHandlerClient* client);
    // Makes an event from a filled-in message and passes it to every client.
    void Log(uint32_t level, const std::string& fileName, int line, const std::string& message);
    void HandleEvent(const LogEvent& event) override;

  private:
    std::string name_;
    std::vector<LogHandlerClient*> clients_;
};

class LogLevelManager {
  public:
    void AddLogLevel(unsigned int number, const std::string& name);
    std::string GetLogLevelName(unsigned int number) const;

  private:
    std::map<unsigned int, std::string> names_;
};

class Logger {
  public:
    // The handler of that name, made on first use; the same object on every call.
    static LogHandler* GetLogHandler(const std::string& name);
    static LogHandler* GetDefaultLogHandler();
    static LogLevelManager* GetLogLevelManager();
};

// One log statement: built from level, source file and line, then Log is called once.
class LogFormater {
  public:
    LogFormater(uint32_t level, const char* fileName, int32_t line)
        : level_(level), fileName_(fileName), line_(line) {}
    virtual ~LogFormater() {}

    void Log(LogHandler* handler, const char* format, ...) __attribute__((format(printf, 3, 4))) {
        if (handler == nullptr) return;
        va_list args;
        va_start(args, format);
        char small[512];
        va_list again;
        va_copy(again, args);
        int length = std::vsnprintf(small, sizeof small, format, args);
        va_end(args);
        std::string message;
        if (length >= 0 && static_cast<size_t>(length) < sizeof small) {
            message.assign(small, static_cast<size_t>(length));
        } else if (length >= 0) {
            message.resize(static_cast<size_t>(length) + 1);
            std::vsnprintf(&message[0], message.size(), format, again);
            message.resize(static_cast<size_t>(length));
        }
        va_end(again);
        handler->Log(level_, fileName_, line_, message);
    }

  private:
    uint32_t level_;
    std::string fileName_;
    int32_t line_;
};

#endif
