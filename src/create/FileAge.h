// The file age test: was a file last written within the last N minutes?
// Both moments are local wall-clock time in whole seconds, compared as OLE
// Automation dates (OleDate.h).
#ifndef PARCELON_FILE_AGE_H
#define PARCELON_FILE_AGE_H

#include <string>

#include "create/OleDate.h"
#include "platform/Platform.h"

namespace parcelon {

// Where the test reads the present moment and a file's last-write time.
// The library uses the system; tests pin both.
class TimeSource {
public:
    virtual ~TimeSource() = default;
    virtual bool Now(platform::SystemTime& local) const = 0;
    virtual platform::FileTimeLookup FileWriteTime(const std::wstring& path, platform::SystemTime& local) const = 0;
};

// The clock and the file system.
const TimeSource& SystemTimeSource();

// The present moment (whole local seconds); invalid when the clock cannot
// be turned into local time.
OleDate CurrentMoment(const TimeSource& time = SystemTimeSource());

// The file's last-write time in whole local seconds; the present moment
// when no file is found at path.
OleDate GetFileWriteTime(const std::wstring& path, const TimeSource& time = SystemTimeSource());

// True when the file at path was last written no more than minutes minutes
// before the present moment (a file dated in the future passes; so does a
// file whose time cannot become a valid date). Callers ask only for
// minutes > 0.
bool IsModifiedWithin(const std::wstring& path, int minutes, const TimeSource& time = SystemTimeSource());

} // namespace parcelon

#endif // PARCELON_FILE_AGE_H
