// The library's diagnostic lines, and the one table that gives each failure
// its text. The texts are Chinese and go out as GBK bytes (code page 936)
// whatever the platform, because the hosts read their standard error in the
// Chinese console; the table also holds each text in UTF-8, for hosts that
// read messages rather than a console.
#ifndef PARCELON_MESSAGES_H
#define PARCELON_MESSAGES_H

#include <string>
#include <string_view>

#include "messages/Failures.h"

namespace parcelon {

namespace messages {

// A failure's text in GBK, or nullptr for a failure that writes no line
// (and for None).
const char* Text(PackFailure failure);
const char* Text(UnzipFailure failure);

// The same texts in UTF-8.
const char* TextUtf8(PackFailure failure);
const char* TextUtf8(UnzipFailure failure);

// Writes text (nothing when null) and subject (bytes) to the standard error
// stream as one line, in one write, and flushes it.
void WriteLine(const char* text, std::string_view subject);

} // namespace messages

// Where an operation reports its failures. This one writes each as one line
// to the standard error stream: the text, then, for packing, the subject
// (the path or name the failure concerns) in ANSI bytes, a line end and a
// flush. Extraction's lines name nothing (the class's UnzipFile writes
// its texts alone); its subject is the entry's name, or empty for a
// failure of the whole archive.
class Diagnostics {
public:
    virtual ~Diagnostics() = default;
    virtual void Report(PackFailure failure, std::wstring_view subject);
    virtual void Report(UnzipFailure failure, std::wstring_view subject);
};

} // namespace parcelon

#endif // PARCELON_MESSAGES_H
