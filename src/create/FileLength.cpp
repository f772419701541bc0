#include "create/FileLength.h"

#include "platform/Platform.h"

namespace parcelon {

long long GetFileLength(const wchar_t* path) {
    if (!platform::PathExists(path)) return 0;
    platform::FileRecord record;
    if (!platform::FindFile(path, record)) return 0;
    return static_cast<long long>(record.size);
}

} // namespace parcelon
