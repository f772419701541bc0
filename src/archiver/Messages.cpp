#include "archiver/Messages.h"

#include <cstdio>
#include <cstring>

namespace parcelon::messages {

void Report(const char* text, const std::string& subject) {
    // One buffer and one write, so that lines from separate objects on
    // separate threads do not interleave within a line.
    std::string line(text);
    line += subject;
    line += '\n';
    std::fwrite(line.data(), 1, line.size(), stderr);
    std::fflush(stderr);
}

} // namespace parcelon::messages
