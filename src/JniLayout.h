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
        Field(out, 10, event.GetLogLevelName());
        Field(out, 15, event.GetLabelText());
        Field(out, 6, event.GetLabelNumber());
        Field(out, 25, event.GetFileName());
        Field(out, 6, event.GetLineNumber());
        out << event.GetMessage() << "\n";
    }

  private:
    // The value left-aligned in at least width characters, padded with
    // blanks; fill and adjustment are set anew for every field.
    template <typename T>
    static void Field(std::ostream& out, int width, const T& value) {
        out << std::setfill(' ') << std::left << std::setw(width) << value;
    }
};

#endif
