// When an entry's file was last written, as the archive records it.
#ifndef PARCELON_ENTRY_TIME_H
#define PARCELON_ENTRY_TIME_H

#include <cstdint>

#include "extract/CentralDirectory.h"

namespace parcelon {

// Seconds since 1970 (UTC): from the extended timestamp field (0x5455)
// when the record has one with a modification time, else the DOS date and
// time read as local time (what the writer's clock showed).
std::int64_t ModificationTime(const CentralRecord& record);

} // namespace parcelon

#endif // PARCELON_ENTRY_TIME_H
