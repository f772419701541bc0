// The names of the library's temporary files (an archive being written, an
// entry being extracted): ".parcelon.XXXXXXXX.tmp" in the folder of the
// file they are to replace. A short name of its own, so that a target whose
// name is as long as the file system allows still gets one. Both backends
// create the file with "fail if it exists" and try the next name then.
#ifndef PARCELON_TEMPORARY_NAME_H
#define PARCELON_TEMPORARY_NAME_H

#include <string>

namespace parcelon::platform {

// How many names a backend tries before it gives up.
constexpr unsigned kTemporaryNameAttempts = 16;

// The attempt'th candidate beside target. The eight hex digits vary with
// the clock, the thread and the attempt: unlikely to meet a name in use,
// and cheap (no system random source per file).
std::wstring TemporaryNameBeside(const std::wstring& target, unsigned attempt);

} // namespace parcelon::platform

#endif // PARCELON_TEMPORARY_NAME_H
