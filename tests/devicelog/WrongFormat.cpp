// Built only by the test LogFormatIsChecked, which expects the compiler to
// reject the argument: our logging header checks formats like printf.
#include "CgiLogHandler.h"

void LogWithWrongArgument() {
    CGI_LOG(LevelError, "%d", "not a number");
}
