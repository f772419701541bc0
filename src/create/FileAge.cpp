#include "create/FileAge.h"

namespace parcelon {

namespace {

constexpr double kMinutesPerDay = 1440.0;

// The clock and the file system, through the platform layer. It holds
// nothing, so one shared instance serves every caller on every thread.
class SystemClockAndFiles final : public TimeSource {
public:
    bool Now(platform::SystemTime& local) const override { return platform::CurrentLocalTime(local); }
    platform::FileTimeLookup FileWriteTime(const std::wstring& path, platform::SystemTime& local) const override {
        return platform::FileLastWriteLocal(path, local);
    }
};

} // namespace

const TimeSource& SystemTimeSource() {
    static const SystemClockAndFiles source;
    return source;
}

OleDate CurrentMoment(const TimeSource& time) {
    platform::SystemTime local;
    if (!time.Now(local)) return OleDate{0.0, OleDate::Status::Invalid};
    return MakeOleDate(local);
}

OleDate GetFileWriteTime(const std::wstring& path, const TimeSource& time) {
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

bool IsModifiedWithin(const std::wstring& path, int minutes, const TimeSource& time) {
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
