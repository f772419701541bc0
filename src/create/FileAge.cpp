#include "create/FileAge.h"

#include <cmath>

namespace parcelon {

namespace {

constexpr double kMinutesPerDay = 1440.0;
// Half a second in days: how close two dates may be and still count as the
// same moment, and the line below which a days value counts as negative.
constexpr double kHalfSecond = 5.787037037037037e-6;

// OLE dates before 30 December 1899 keep their fraction counting forward
// from midnight (-1.25 is 29 December, 06:00), so their values do not run
// along with time. This turns one into a plain count of days (-0.75 there).
double ToContinuous(double days) {
    if (days > -kHalfSecond) return days;
    const double whole = std::ceil(days);
    return whole - (days - whole);
}

// And back from a plain count to the OLE encoding.
double FromContinuous(double count) {
    if (count > -kHalfSecond) return count;
    const double whole = std::floor(count);
    return whole + (whole - count);
}

bool SameFields(const platform::SystemTime& a, const platform::SystemTime& b) {
    return a.year == b.year && a.month == b.month && a.day == b.day && a.hour == b.hour &&
           a.minute == b.minute && a.second == b.second;
}

// The clock and the file system, through the platform layer. It holds
// nothing, so one shared instance serves every caller on every thread.
class SystemClockAndFiles final : public TimeSource {
public:
    bool Now(platform::SystemTime& local) const override { return platform::CurrentLocalTime(local); }
    platform::FileTimeLookup FileWriteTime(const wchar_t* path,
                                           platform::SystemTime& local) const override {
        return platform::FileLastWriteLocal(path, local);
    }
};

} // namespace

OleDate MakeOleDate(const platform::SystemTime& fields) {
    platform::SystemTime whole_seconds = fields;
    whole_seconds.milliseconds = 0;
    OleDate date;
    double days = 0.0;
    platform::SystemTime back;
    // The conversion rolls impossible fields (31 February) into a real date
    // instead of refusing them; only the way back tells.
    if (platform::SystemTimeToVariantTime(whole_seconds, days) &&
        platform::VariantTimeToSystemTime(days, back) && SameFields(whole_seconds, back)) {
        date.days = days;
        date.status = OleDate::Status::Valid;
    }
    return date;
}

OleDate AddDays(const OleDate& t, double span_days) {
    OleDate sum;
    sum.days = FromContinuous(ToContinuous(t.days) + span_days);
    sum.status = OleDate::Status::Valid;
    return sum;
}

bool IsLaterOrEqual(const OleDate& limit, const OleDate& now) {
    const bool both_valid =
        limit.status == OleDate::Status::Valid && now.status == OleDate::Status::Valid;
    if (both_valid && ToContinuous(limit.days) > ToContinuous(now.days)) return true;
    if (limit.status != now.status) return false;
    if (both_valid) return limit.days + kHalfSecond > now.days && limit.days - kHalfSecond < now.days;
    return limit.status == OleDate::Status::Null;
}

const TimeSource& SystemTimeSource() {
    static const SystemClockAndFiles source;
    return source;
}

OleDate CurrentMoment(const TimeSource& time) {
    platform::SystemTime local;
    if (!time.Now(local)) return OleDate{0.0, OleDate::Status::Invalid};
    return MakeOleDate(local);
}

OleDate GetFileWriteTime(const wchar_t* path, const TimeSource& time) {
    platform::SystemTime local;
    switch (time.FileWriteTime(path, local)) {
    case platform::FileTimeLookup::Found:
        local.milliseconds = 0; // whole seconds: 10:00:00.999 is 10:00:00
        return MakeOleDate(local);
    case platform::FileTimeLookup::NotFound:
        return CurrentMoment(time);
    case platform::FileTimeLookup::Unconvertible:
        break;
    }
    return OleDate{0.0, OleDate::Status::Invalid};
}

bool IsModifiedWithin(const wchar_t* path, int minutes, const TimeSource& time) {
    const OleDate written = GetFileWriteTime(path, time);
    // Read after the file's time, so a file that vanished (its time is the
    // clock's) still lies within the span.
    const OleDate now = CurrentMoment(time);
    if (written.status != OleDate::Status::Valid) {
        // A file whose date the platform cannot express is packed: one file
        // too many loses nothing, one silently left out would. A clock that
        // cannot be read as local time still lets nothing through.
        return now.status == OleDate::Status::Valid;
    }
    const OleDate limit = AddDays(written, minutes / kMinutesPerDay);
    return IsLaterOrEqual(limit, now);
}

} // namespace parcelon
