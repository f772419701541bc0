// The age test decides which files a "last N minutes" walk packs. A pinned
// clock and pinned file times check its boundaries to the second without
// sleeping; a few tests go through the real clock and file system.
#include <gtest/gtest.h>

#include <chrono>
#include <climits>
#include <cmath>
#include <filesystem>
#include <string>
#include <vector>

#include "create/FileAge.h"
#include "support/TestSupport.h"

using parcelon::AddDays;
using parcelon::CurrentMoment;
using parcelon::GetFileWriteTime;
using parcelon::IsLaterOrEqual;
using parcelon::IsModifiedWithin;
using parcelon::MakeOleDate;
using parcelon::OleDate;
using parcelon::platform::FileTimeLookup;
using parcelon::platform::SystemTime;

namespace {

SystemTime At(int year, int month, int day, int hour, int minute, int second, int milliseconds = 0) {
    SystemTime t;
    t.year = year;
    t.month = month;
    t.day = day;
    t.hour = hour;
    t.minute = minute;
    t.second = second;
    t.milliseconds = milliseconds;
    return t;
}

std::string Show(const SystemTime& t) {
    char text[64];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d.%03d", t.year, t.month, t.day, t.hour,
                  t.minute, t.second, t.milliseconds);
    return text;
}

// A clock and a file time that say what the test tells them. Each reading
// of the clock takes the next of `nows` (the last one repeats); an empty
// list is a clock that cannot be turned into local time.
class PinnedTime : public parcelon::TimeSource {
public:
    std::vector<SystemTime> nows;
    FileTimeLookup lookup = FileTimeLookup::Found;
    SystemTime file;
    mutable std::vector<std::string> readings;

    bool Now(SystemTime& local) const override {
        readings.push_back("now");
        if (nows.empty()) {
            local = SystemTime();
            return false;
        }
        local = nows[std::min(next_now_++, nows.size() - 1)];
        return true;
    }
    FileTimeLookup FileWriteTime(const std::wstring&, SystemTime& local) const override {
        readings.push_back("file");
        local = file;
        return lookup;
    }

private:
    mutable std::size_t next_now_ = 0;
};

bool Within(const SystemTime& written, const SystemTime& now, int minutes) {
    PinnedTime time;
    time.file = written;
    time.nows = {now};
    return IsModifiedWithin(L"C:\\w\\a.txt", minutes, time);
}

struct AgeCase {
    SystemTime written;
    SystemTime now;
    int minutes;
    bool passes;
};

void ExpectAges(const std::vector<AgeCase>& cases) {
    for (const AgeCase& c : cases) {
        EXPECT_EQ(Within(c.written, c.now, c.minutes), c.passes)
            << "written " << Show(c.written) << ", now " << Show(c.now) << ", minutes " << c.minutes;
    }
}

OleDate Date(double days, OleDate::Status status = OleDate::Status::Valid) { return OleDate{days, status}; }

} // namespace

// ------------------------------------------------------------------ OLE dates

TEST(OleDateTest, KnownDatesConvert) {
    const struct {
        SystemTime fields;
        double days;
    } cases[] = {
        {At(1899, 12, 30, 0, 0, 0), 0.0},
        {At(1899, 12, 31, 12, 0, 0), 1.5},
        {At(1899, 12, 29, 6, 0, 0), -1.25},
        {At(1899, 12, 29, 0, 0, 0), -1.0},
        {At(1900, 1, 1, 0, 0, 0), 2.0},
        {At(2000, 1, 1, 18, 0, 0), 36526.75},
        {At(100, 1, 1, 0, 0, 0), -657434.0},
        {At(9999, 12, 31, 0, 0, 0), 2958465.0},
    };
    for (const auto& c : cases) {
        const OleDate date = MakeOleDate(c.fields);
        EXPECT_EQ(date.status, OleDate::Status::Valid) << Show(c.fields);
        EXPECT_DOUBLE_EQ(date.days, c.days) << Show(c.fields);
    }
}

TEST(OleDateTest, EveryRepresentableSecondRoundTrips) {
    for (const SystemTime& fields : {At(100, 1, 1, 0, 0, 1), At(100, 1, 1, 23, 59, 59), At(9999, 12, 31, 23, 59, 59), At(1800, 6, 15, 13, 45, 30),
                                     At(1899, 12, 29, 23, 59, 59), At(2024, 2, 29, 12, 0, 0)}) {
        EXPECT_EQ(MakeOleDate(fields).status, OleDate::Status::Valid) << Show(fields);
    }
    // Milliseconds play no part.
    const OleDate with_ms = MakeOleDate(At(2024, 5, 6, 7, 8, 9, 999));
    EXPECT_EQ(with_ms.status, OleDate::Status::Valid);
    EXPECT_DOUBLE_EQ(with_ms.days, MakeOleDate(At(2024, 5, 6, 7, 8, 9)).days);
}

TEST(OleDateTest, FieldsOutsideTheCalendarAreInvalid) {
    for (const SystemTime& fields : {
             At(99, 12, 31, 23, 59, 59), At(10000, 1, 1, 0, 0, 0), At(2024, 2, 31, 0, 0, 0),
             At(2023, 2, 29, 0, 0, 0), At(1900, 2, 29, 0, 0, 0), At(2024, 4, 31, 0, 0, 0),
             At(2024, 0, 1, 0, 0, 0), At(2024, 13, 1, 0, 0, 0), At(2024, 1, 0, 0, 0, 0),
             At(2024, 1, 1, 24, 0, 0), At(2024, 1, 1, 0, 60, 0), At(2024, 1, 1, 0, 0, 60),
         }) {
        EXPECT_EQ(MakeOleDate(fields).status, OleDate::Status::Invalid) << Show(fields);
    }
}

// ------------------------------------------------------------------ time line

TEST(OleTimeLineTest, AdditionRunsForwardBeforeTheEpoch) {
    const struct {
        double days;
        double span;
        double sum;
    } cases[] = {
        {1.5, 0.25, 1.75},
        {-1.25, 0.5, -1.75},  // 29 Dec 06:00 + 12 h = 29 Dec 18:00
        {-1.25, 1.0, 0.25},   // ... + 24 h = 30 Dec 06:00
        {-2.75, 0.5, -1.25},  // 28 Dec 18:00 + 12 h = 29 Dec 06:00
        {-1.0, 1.0, 0.0},
        {-657434.0, 1.0, -657433.0},
    };
    for (const auto& c : cases) {
        const OleDate sum = AddDays(Date(c.days), c.span);
        EXPECT_NEAR(sum.days, c.sum, 1e-9) << c.days << " + " << c.span;
        EXPECT_EQ(sum.status, OleDate::Status::Valid);
    }
    // The sum is valid whatever the date it started from.
    EXPECT_EQ(AddDays(Date(0.0, OleDate::Status::Invalid), 1.0).status, OleDate::Status::Valid);
}

TEST(OleTimeLineTest, ComparisonFollowsTimeNotStoredValues) {
    // -1.25 is 29 Dec 06:00, -1.5 is 29 Dec 12:00: the smaller value is later.
    EXPECT_TRUE(IsLaterOrEqual(Date(-1.5), Date(-1.25)));
    EXPECT_FALSE(IsLaterOrEqual(Date(-1.25), Date(-1.5)));
    EXPECT_TRUE(IsLaterOrEqual(Date(0.5), Date(-1.5)));
    // Equal within half a second, either way.
    EXPECT_TRUE(IsLaterOrEqual(Date(1.0), Date(1.0)));
    EXPECT_TRUE(IsLaterOrEqual(Date(1.0), Date(1.0 + 5.0e-6)));
    EXPECT_FALSE(IsLaterOrEqual(Date(1.0), Date(1.0 + 6.0e-6)));
}

TEST(OleTimeLineTest, ComparisonOfStatuses) {
    using S = OleDate::Status;
    const struct {
        S limit;
        S now;
        bool later_or_equal;
    } cases[] = {
        {S::Null, S::Null, true},     {S::Invalid, S::Invalid, false}, {S::Valid, S::Invalid, false},
        {S::Invalid, S::Valid, false}, {S::Null, S::Valid, false},      {S::Valid, S::Null, false},
    };
    for (const auto& c : cases) {
        // The limit lies a day after now, so only the statuses can say no.
        EXPECT_EQ(IsLaterOrEqual(Date(2.0, c.limit), Date(1.0, c.now)), c.later_or_equal)
            << static_cast<int>(c.limit) << " vs " << static_cast<int>(c.now);
    }
}

// ------------------------------------------------------------------ the age test, pinned

TEST(FileAgeBoundaryTest, ExactlyNMinutesPassesOneSecondMoreFails) {
    ExpectAges({
        {At(2024, 5, 6, 10, 0, 0), At(2024, 5, 6, 10, 30, 0), 30, true},
        {At(2024, 5, 6, 10, 0, 0), At(2024, 5, 6, 10, 30, 1), 30, false},
        {At(2024, 5, 6, 10, 0, 0), At(2024, 5, 6, 10, 0, 59), 1, true},
        {At(2024, 5, 6, 10, 0, 0), At(2024, 5, 6, 10, 1, 0), 1, true},
        {At(2024, 5, 6, 10, 0, 0), At(2024, 5, 6, 10, 1, 1), 1, false},
        {At(2024, 5, 6, 9, 59, 59), At(2024, 5, 6, 10, 1, 0), 1, false},
        {At(2024, 5, 6, 10, 0, 0), At(2024, 5, 6, 10, 0, 0), 1, true},
    });
}

TEST(FileAgeBoundaryTest, MillisecondsOfTheFileTimeAreDropped) {
    // 10:00:00.999 counts as 10:00:00: at 10:05:01 it is older than 5 minutes.
    ExpectAges({
        {At(2024, 5, 6, 10, 0, 0, 999), At(2024, 5, 6, 10, 5, 0), 5, true},
        {At(2024, 5, 6, 10, 0, 0, 999), At(2024, 5, 6, 10, 5, 1), 5, false},
    });
    PinnedTime time;
    time.file = At(2024, 5, 6, 10, 0, 0, 999);
    EXPECT_DOUBLE_EQ(GetFileWriteTime(L"a", time).days, MakeOleDate(At(2024, 5, 6, 10, 0, 0)).days);
}

TEST(FileAgeBoundaryTest, FilesFromTheFuturePass) {
    ExpectAges({
        {At(2031, 1, 1, 0, 0, 0), At(2024, 5, 6, 10, 0, 0), 1, true},
        {At(2024, 5, 6, 10, 0, 1), At(2024, 5, 6, 10, 0, 0), 1, true},
        {At(1899, 12, 29, 6, 0, 0), At(1899, 12, 28, 12, 0, 0), 1, true},
    });
}

TEST(FileAgeBoundaryTest, AcrossMidnightMonthAndYearEnds) {
    ExpectAges({
        {At(2024, 5, 6, 23, 59, 30), At(2024, 5, 7, 0, 0, 30), 1, true},
        {At(2024, 5, 6, 23, 59, 30), At(2024, 5, 7, 0, 0, 31), 1, false},
        {At(2024, 2, 29, 23, 30, 0), At(2024, 3, 1, 0, 30, 0), 60, true},
        {At(2024, 2, 29, 23, 30, 0), At(2024, 3, 1, 0, 30, 1), 60, false},
        {At(2023, 12, 31, 23, 59, 30), At(2024, 1, 1, 0, 0, 30), 1, true},
        {At(2023, 12, 31, 23, 59, 30), At(2024, 1, 1, 0, 0, 31), 1, false},
        // A year of minutes across a leap day.
        {At(2023, 6, 1, 0, 0, 0), At(2024, 6, 1, 0, 0, 0), 366 * 1440, true},
        {At(2023, 6, 1, 0, 0, 0), At(2024, 6, 1, 0, 0, 1), 366 * 1440, false},
        {At(1900, 1, 1, 0, 0, 0), At(2024, 6, 1, 0, 0, 0), INT_MAX, true},
        {At(9999, 12, 31, 23, 58, 59), At(9999, 12, 31, 23, 59, 59), 1, true},
        {At(9999, 12, 31, 23, 58, 58), At(9999, 12, 31, 23, 59, 59), 1, false},
    });
}

TEST(FileAgeBoundaryTest, DatesBeforeTheOleEpoch) {
    ExpectAges({
        // Across the epoch, from negative to positive days.
        {At(1899, 12, 29, 23, 59, 30), At(1899, 12, 30, 0, 0, 30), 1, true},
        {At(1899, 12, 29, 23, 59, 30), At(1899, 12, 30, 0, 0, 31), 1, false},
        // Both negative, across midnight: the fractions count forward.
        {At(1899, 12, 28, 23, 59, 30), At(1899, 12, 29, 0, 0, 30), 1, true},
        {At(1899, 12, 28, 23, 59, 30), At(1899, 12, 29, 0, 0, 31), 1, false},
        {At(1899, 12, 28, 6, 0, 0), At(1899, 12, 28, 18, 0, 0), 720, true},
        {At(1899, 12, 28, 6, 0, 0), At(1899, 12, 28, 18, 0, 1), 720, false},
        {At(1850, 3, 1, 10, 0, 0), At(1850, 3, 1, 10, 30, 0), 30, true},
        {At(1850, 3, 1, 10, 0, 0), At(1850, 3, 1, 10, 30, 1), 30, false},
        {At(100, 1, 2, 0, 0, 0), At(100, 1, 2, 0, 1, 0), 1, true},
        {At(100, 1, 2, 0, 0, 0), At(100, 1, 2, 0, 1, 1), 1, false},
    });
}

TEST(FileAgeLookupTest, MissingFileIsAsOldAsTheClock) {
    PinnedTime time;
    time.lookup = FileTimeLookup::NotFound;
    time.nows = {At(2024, 5, 6, 10, 0, 0)};
    EXPECT_TRUE(IsModifiedWithin(L"C:\\gone.txt", 1, time));
    // The file's time is read first, then the clock: with a clock that moves
    // on five minutes between readings, the vanished file is five minutes old.
    PinnedTime moving;
    moving.lookup = FileTimeLookup::NotFound;
    moving.nows = {At(2024, 5, 6, 10, 0, 0), At(2024, 5, 6, 10, 5, 0)};
    EXPECT_FALSE(IsModifiedWithin(L"C:\\gone.txt", 1, moving));
    EXPECT_EQ(moving.readings, (std::vector<std::string>{"file", "now", "now"}));
}

TEST(FileAgeLookupTest, FoundFileReadsTheClockOnceAfterIt) {
    PinnedTime time;
    time.file = At(2024, 5, 6, 10, 0, 0);
    time.nows = {At(2024, 5, 6, 10, 0, 30)};
    EXPECT_TRUE(IsModifiedWithin(L"C:\\a.txt", 1, time));
    EXPECT_EQ(time.readings, (std::vector<std::string>{"file", "now"}));
}

TEST(FileAgeLookupTest, FileTimeWithoutAValidDatePasses) {
    PinnedTime unconvertible;
    unconvertible.lookup = FileTimeLookup::Unconvertible;
    unconvertible.nows = {At(2024, 5, 6, 10, 0, 0)};
    EXPECT_EQ(GetFileWriteTime(L"a", unconvertible).status, OleDate::Status::Invalid);
    EXPECT_TRUE(IsModifiedWithin(L"a", 1, unconvertible));
    // Fields the date conversion refuses (a FILETIME reaches year 30827).
    EXPECT_TRUE(Within(At(30000, 1, 1, 0, 0, 0), At(2024, 5, 6, 10, 0, 0), 1));
    EXPECT_TRUE(Within(At(50, 1, 1, 0, 0, 0), At(2024, 5, 6, 10, 0, 0), 1));
}

TEST(FileAgeLookupTest, ClockWithoutLocalTimeLetsNothingPass) {
    EXPECT_EQ(CurrentMoment(PinnedTime()).status, OleDate::Status::Invalid);
    EXPECT_EQ(CurrentMoment(PinnedTime()).days, 0.0);
    for (FileTimeLookup lookup : {FileTimeLookup::Found, FileTimeLookup::NotFound, FileTimeLookup::Unconvertible}) {
        PinnedTime time;
        time.lookup = lookup;
        // A file time that would otherwise pass with any clock.
        time.file = At(9999, 12, 31, 23, 59, 59);
        EXPECT_FALSE(IsModifiedWithin(L"a", 1, time)) << static_cast<int>(lookup);
    }
    // A clock that gives fields outside the calendar is no better.
    EXPECT_FALSE(Within(At(2024, 5, 6, 10, 0, 0), At(10000, 1, 1, 0, 0, 0), 1));
}

// ------------------------------------------------------------------ real clock and files

TEST(FileAgeSystemTest, FreshFilePassesAndAnOldOneFails) {
    testing_support::TempDir dir;
    const auto fresh = dir / "fresh.txt";
    const auto old = dir / "old.txt";
    testing_support::WriteFile(fresh, "new");
    testing_support::WriteFile(old, "old");
    std::filesystem::last_write_time(old, std::filesystem::last_write_time(old) - std::chrono::hours(2));

    EXPECT_TRUE(IsModifiedWithin(dir.W("fresh.txt").c_str(), 1));
    EXPECT_FALSE(IsModifiedWithin(dir.W("old.txt").c_str(), 60));
    EXPECT_FALSE(IsModifiedWithin(dir.W("old.txt").c_str(), 119));
    EXPECT_TRUE(IsModifiedWithin(dir.W("old.txt").c_str(), 180));
    EXPECT_TRUE(IsModifiedWithin(dir.W("missing.txt").c_str(), 1));
}

TEST(FileAgeSystemTest, FileTimeAndClockAgreeOnLocalTime) {
    testing_support::TempDir dir;
    testing_support::WriteFile(dir / "a.txt", "a");
    const OleDate written = GetFileWriteTime(dir.W("a.txt").c_str());
    const OleDate now = CurrentMoment();
    ASSERT_EQ(written.status, OleDate::Status::Valid);
    ASSERT_EQ(now.status, OleDate::Status::Valid);
    // Both local, to the second: a file just written is seconds old, not
    // hours (a mix-up of UTC and local time would show as the zone's offset).
    EXPECT_LT(std::fabs(now.days - written.days) * 86400.0, 10.0);
}
