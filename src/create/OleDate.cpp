#include "create/OleDate.h"

#include <cmath>

namespace parcelon {

namespace {

// Half a second in days: how close two dates may be and still count as the
// same moment, and the line below which a days value counts as negative.
constexpr double kHalfSecond = 5.787037037037037e-6;

// Days since 1970-01-01 of a proleptic Gregorian date, and back.
long long DaysFromCivil(long long y, long long m, long long d) {
    y -= m <= 2;
    const long long era = (y >= 0 ? y : y - 399) / 400;
    const long long yoe = y - era * 400;
    const long long doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const long long doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

void CivilFromDays(long long z, int& year, int& month, int& day) {
    z += 719468;
    const long long era = (z >= 0 ? z : z - 146096) / 146097;
    const long long doe = z - era * 146097;
    const long long yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const long long doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const long long mp = (5 * doy + 2) / 153;
    day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    year = static_cast<int>(yoe + era * 400 + (month <= 2));
}

const long long kOleEpochDays = DaysFromCivil(1899, 12, 30);
constexpr double kOleMin = -657435.0;        // before 1 January 100, 00:00 (exclusive)
constexpr double kOleMax = 2958465.99999999; // 31 December 9999, 23:59:59

// The OLE encoding turned into a plain count of days (-1.25 becomes -0.75).
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
    return a.year == b.year && a.month == b.month && a.day == b.day && a.hour == b.hour && a.minute == b.minute &&
           a.second == b.second;
}

} // namespace

bool FieldsToOleDays(const platform::SystemTime& time, double& days) {
    if (time.year < 100 || time.year > 9999 || time.month < 1 || time.month > 12 || time.day < 1 ||
        time.day > 31 || time.hour < 0 || time.hour > 23 || time.minute < 0 || time.minute > 59 ||
        time.second < 0 || time.second > 59)
        return false;
    const long long day_number = DaysFromCivil(time.year, time.month, 1) + (time.day - 1) - kOleEpochDays;
    const double fraction = (time.hour * 3600 + time.minute * 60 + time.second) / 86400.0;
    days = day_number >= 0 ? static_cast<double>(day_number) + fraction : static_cast<double>(day_number) - fraction;
    return true;
}

bool OleDaysToFields(double days, platform::SystemTime& time) {
    time = platform::SystemTime();
    if (!(days > kOleMin && days <= kOleMax)) return false;
    long long whole = static_cast<long long>(days); // toward zero
    const double fraction = std::fabs(days - static_cast<double>(whole));
    long long seconds = std::llround(fraction * 86400.0);
    if (seconds >= 86400) {
        seconds -= 86400;
        ++whole;
    }
    CivilFromDays(whole + kOleEpochDays, time.year, time.month, time.day);
    time.hour = static_cast<int>(seconds / 3600);
    time.minute = static_cast<int>(seconds / 60 % 60);
    time.second = static_cast<int>(seconds % 60);
    return true;
}

OleDate MakeOleDate(const platform::SystemTime& fields) {
    OleDate date;
    double days = 0.0;
    platform::SystemTime back;
    // The conversion rolls impossible fields (31 February) into a real date
    // instead of refusing them; only the way back tells.
    if (FieldsToOleDays(fields, days) && OleDaysToFields(days, back) && SameFields(fields, back)) {
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
    const bool both_valid = limit.status == OleDate::Status::Valid && now.status == OleDate::Status::Valid;
    if (both_valid && ToContinuous(limit.days) > ToContinuous(now.days)) return true;
    if (limit.status != now.status) return false;
    if (both_valid) return limit.days + kHalfSecond > now.days && limit.days - kHalfSecond < now.days;
    return limit.status == OleDate::Status::Null;
}

} // namespace parcelon
