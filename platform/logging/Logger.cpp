#include "Logger.h"

#include <fcntl.h>
#include <sys/time.h>
#include <unistd.h>

#include <cerrno>
#include <ctime>
#include <sstream>

namespace {

std::string NowWithMicroseconds() {
    struct timeval now;
    gettimeofday(&now, nullptr);
    struct tm parts;
    localtime_r(&now.tv_sec, &parts);
    char text[64];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d.%06ld", parts.tm_year + 1900,
                  parts.tm_mon + 1, parts.tm_mday, parts.tm_hour, parts.tm_min, parts.tm_sec,
                  static_cast<long>(now.tv_usec));
    return text;
}

// Handlers live until the process ends: events may still be logged while
// static objects are destroyed, so the registry is never torn down.
std::map<std::string, std::unique_ptr<LogHandler>>& Handlers() {
    static auto* handlers = new std::map<std::string, std::unique_ptr<LogHandler>>;
    return *handlers;
}

}  // namespace

LogEvent::LogEvent(std::string dateTimeUsec, std::string levelName, std::string fileName, int line,
                   std::string message, std::string labelText, int labelNumber)
    : dateTimeUsec_(std::move(dateTimeUsec)),
      levelName_(std::move(levelName)),
      fileName_(std::move(fileName)),
      line_(line),
      message_(std::move(message)),
      labelText_(std::move(labelText)),
      labelNumber_(labelNumber) {}

std::string LogClient::Format(const LogEvent& event) const {
    if (layout_ == nullptr) return event.GetMessage() + "\n";
    std::ostringstream text;
    layout_->FormatAndAppend(text, event);
    return text.str();
}

LogClientFile::LogClientFile(const std::string& path, bool flag)
    : fd_(open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC | (flag ? O_APPEND : O_TRUNC), 0644)) {}

LogClientFile::~LogClientFile() = default;

void LogClientFile::HandleEvent(const LogEvent& event) {
    if (!fd_) return;
    const std::string text = Format(event);
    // One write per event keeps lines of concurrent writers whole. A short
    // write (a full file system) is not continued: the rest could land
    // after another process's line.
    while (write(fd_.Get(), text.data(), text.size()) < 0 && errno == EINTR) {
    }
}

void LogHandler::AddLogClient(LogHandlerClient* client) {
    if (client != nullptr) clients_.push_back(client);
}

void LogHandler::Log(uint32_t level, const std::string& fileName, int line,
                     const std::string& message) {
    HandleEvent(LogEvent(NowWithMicroseconds(),
                         Logger::GetLogLevelManager()->GetLogLevelName(level), fileName, line,
                         message, name_, static_cast<int>(getpid())));
}

void LogHandler::HandleEvent(const LogEvent& event) {
    for (LogHandlerClient* client : clients_) client->HandleEvent(event);
}

void LogLevelManager::AddLogLevel(unsigned int number, const std::string& name) {
    names_[number] = name;
}

std::string LogLevelManager::GetLogLevelName(unsigned int number) const {
    auto found = names_.find(number);
    return found != names_.end() ? found->second : std::to_string(number);
}

LogHandler* Logger::GetLogHandler(const std::string& name) {
    auto& slot = Handlers()[name];
    if (!slot) slot = std::make_unique<LogHandler>(name);
    return slot.get();
}

LogHandler* Logger::GetDefaultLogHandler() {
    static auto* handler = new LogHandler("default");
    return handler;
}

LogLevelManager* Logger::GetLogLevelManager() {
    static auto* manager = new LogLevelManager;
    return manager;
}
