// The file age test: was a file last written within the last N minutes?
// Both moments are local wall-clock time in whole seconds, compared as OLE
// Automation dates.
#ifndef PARCELON_FILE_AGE_H
#define PARCELON_FILE_AGE_H

#include "platform/Platform.h"

namespace parcelon {

// A point in local time as an OLE Automation date: days since 30 December
// 1899, 00:00, plus the time of day as a fraction (negative dates keep a
// forward-counting fraction: -1.25 is 29 December 1899, 06:00).
struct OleDate {
    enum class Status { Valid = 0, Invalid = 1, Null = 2 };
    double days = 0.0;
    Status status = Status::Invalid;
};

// From calendar fields (milliseconds ignored): valid only when the platform
// converts them and converts the result back to the same fields.
OleDate MakeOleDate(const platform::SystemTime& fields);

// The sum t + span days on the continuous time line; always valid.
OleDate AddDays(const OleDate& t, double span_days);

// limit >= now, by the rules of OLE date comparison (both valid: later, or
// equal within half a second; statuses differ: false; both the same
// non-valid status: true only for null).
bool IsLaterOrEqual(const OleDate& limit, const OleDate& now);

// Where the test reads the present moment and a file's last-write time.
// The library uses the system; tests pin both.
class TimeSource {
public:
    virtual ~TimeSource() = default;
    virtual bool Now(platform::SystemTime& local) const = 0;
    virtual platform::FileTimeLookup FileWriteTime(const wchar_t* path,
                                                   platform::SystemTime& local) const = 0;
};

// The clock and the file system.
const TimeSource& SystemTimeSource();

// The present moment (whole local seconds); invalid when the clock cannot
// be turned into local time.
OleDate CurrentMoment(const TimeSource& time = SystemTimeSource());

// The file's last-write time in whole local seconds; the present moment
// when no file is found at path.
OleDate GetFileWriteTime(const wchar_t* path, const TimeSource& time = SystemTimeSource());

// True when the file at path was last written no more than minutes minutes
// before the present moment (a file dated in the future passes; so does a
// file whose time cannot become a valid date). Callers ask only for
// minutes > 0.
bool IsModifiedWithin(const wchar_t* path, int minutes, const TimeSource& time = SystemTimeSource());

} // namespace parcelon

#endif // PARCELON_FILE_AGE_H
