// The members of the CParcelon a packing operation runs on. The object keeps
// them between calls (the stop flag, the last percentage reported, the base
// folder); an operation reaches them through this, by reference, and
// through nothing else. With them come the settings a call of the C
// interface adds (threads, encryption, style).
#ifndef PARCELON_PACKING_STATE_H
#define PARCELON_PACKING_STATE_H

#include <atomic>
#include <string>

#include "Parcelon.h"
#include "create/PackOptions.h"

namespace parcelon {

class RandomBytes;

struct PackingState {
    const std::atomic<bool>& stop;  // set by Stop(), from any thread; never cleared
    TZipProgressCallback* callback; // or null
    long long& total_size;          // bytes the running operation will pack
    long long& done_size;           // bytes packed so far
    int& last_percent;              // the last percentage reported, kept across calls
    std::wstring& base_dir;         // set by ZipDirectory, used by a later ZipFiles
    // Threads packing may use: 1 (what CParcelon always asks) starts none;
    // the C interface passes the host's setting (0: every processor).
    unsigned threads = 1;
    // What CParcelon always writes, unless the C interface says otherwise.
    Encryption encryption = Encryption::Traditional;
    EntryStyle style = EntryStyle::Classic;
    // Where encryption takes its random bytes: null for the system's
    // random source; tests fix them.
    RandomBytes* random = nullptr;

    bool StopRequested() const { return stop.load(std::memory_order_relaxed); }
};

} // namespace parcelon

#endif // PARCELON_PACKING_STATE_H
