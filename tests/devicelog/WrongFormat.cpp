#include "CgiLogHandler.h"

void LogWithWrongArgument() {
    CGI_LOG(LevelError, "%d", "not a number");
}
