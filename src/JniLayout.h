#ifndef OVIX_JNILAYOUT_H
#define OVIX_JNILAYOUT_H

#include <iomanip>
#include <ostream>

#include "Logger.h"

// One line of /tmp/cgi.log per event: date, two blanks, then the level name,
// label text, label number, file name and line number in fixed-width
// left-aligned fields, then the message. A value wider than its field is
// written whole and the next field follows it directly.
class JniLayout : public LogLayout {
  public:
    ~JniLayout() override {}

    void FormatAndAppend(std::ostream& out, const LogEvent& event) override {
        out << event.GetDateTimeUsec() << "  ";
        out << std::setfill(' ') << std::left << std::setw(10) << event.GetLogLevelName();
        out << std::setfill(' ') << std::left << std::setw(15) << event.GetLabelText();
        out << std::setfill(' ') << std::left << std::setw(6) << event.GetLabelNumber();
        out << std::setfill(' ') << std::left << std::setw(25) << event.GetFileName();
        out << std::setfill(' ') << std::left << std::setw(6) << event.GetLineNumber();
        out << event.GetMessage() << "\n";
    }
};

#endif
