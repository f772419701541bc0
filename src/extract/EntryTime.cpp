#include "extract/EntryTime.h"

#include "format/ZipFormat.h"
#include "platform/Platform.h"

namespace parcelon {

std::int64_t ModificationTime(const CentralRecord& record) {
    std::int64_t seconds = 0;
    if (zip::ReadExtendedModificationTime(record.extra, seconds)) return seconds;
    const platform::SystemTime local = zip::DosDateTimeFields(record.dos_date_time);
    return platform::LocalTimeToUtcSeconds(local, seconds) ? seconds : 0;
}

} // namespace parcelon
