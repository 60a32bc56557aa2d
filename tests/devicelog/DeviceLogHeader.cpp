// Fails the build when the modules beside it would see another Logger.h.
#include <type_traits>

#include "Logger.h"

static_assert(std::is_same<decltype(&LogFormater::Log),
                           void (LogFormater::*)(LogHandler*, char*, ...)>::value);
