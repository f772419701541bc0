// OLE Automation dates, the arithmetic the file age test is made of: days
// since 30 December 1899, 00:00, with the time of day as a fraction. Dates
// before 30 December 1899 keep a fraction that counts forward from midnight
// (-1.25 is 29 December 1899, 06:00), so their values do not run along with
// time. Pure arithmetic, on a proleptic Gregorian calendar; the Windows
// suite checks it against the system's own conversions.
#ifndef PARCELON_OLE_DATE_H
#define PARCELON_OLE_DATE_H

#include "platform/Platform.h"

namespace parcelon {

struct OleDate {
    enum class Status { Valid = 0, Invalid = 1, Null = 2 };
    double days = 0.0;
    Status status = Status::Invalid;
};

// Calendar fields to days (milliseconds ignored), as SystemTimeToVariantTime
// does: years 100 to 9999, each field in its range; a day past the month's
// end rolls over into the next month. False for fields out of range.
bool FieldsToOleDays(const platform::SystemTime& fields, double& days);

// Days back to calendar fields, to the nearest second, as
// VariantTimeToSystemTime does. False outside 1 January 100 to
// 31 December 9999.
bool OleDaysToFields(double days, platform::SystemTime& fields);

// From calendar fields (milliseconds ignored): valid only when they convert
// and convert back to the same fields, so 31 February is invalid.
OleDate MakeOleDate(const platform::SystemTime& fields);

// The sum t + span days on the continuous time line; always valid.
OleDate AddDays(const OleDate& t, double span_days);

// limit >= now, by the rules of OLE date comparison (both valid: later, or
// equal within half a second; statuses differ: false; both the same
// non-valid status: true only for null).
bool IsLaterOrEqual(const OleDate& limit, const OleDate& now);

} // namespace parcelon

#endif // PARCELON_OLE_DATE_H
