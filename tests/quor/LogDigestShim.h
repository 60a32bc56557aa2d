// Stand-in of testsupport::LogDigest until the test support provides it.
#include "TestSupport.h"

namespace testsupport {
inline std::string LogDigest(const std::string& text) {
    std::string digest;
    for (const auto& line : SplitLines(text)) {
        LogLine p;
        digest +=
            ParseLogLine(line, p) ? p.level + " " + p.label + " " + p.file + " " + p.message : line;
        digest += "\n";
    }
    return digest;
}
}  // namespace testsupport
