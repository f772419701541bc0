// Reading an archive's entries into a folder, or testing them, as every
// reading call does it: the class's UnzipFile (every entry, the first
// failure ends it, no progress, no stop) and the C interface's extract and
// test calls (patterns, existing files, keep going, limits, times,
// progress and stop). One road for all: ArchiveReader opens and walks the
// archive and decodes each entry; this unit decides what happens to it.
#ifndef PARCELON_EXTRACTION_H
#define PARCELON_EXTRACTION_H

#include <cstdint>
#include <string>
#include <vector>

#include "messages/Messages.h"

namespace parcelon {

// What happens to a file that is already where an entry goes.
enum class Overwrite {
    Replace, // the entry takes its place (once the entry is whole and checked)
    Skip,    // it stays; the entry is reported (ExistingFileKept) and passed over
    Fail,    // it stays; the entry fails (ExistingFile)
};

// Bounds on what an untrusted archive may write; 0 means no bound. An entry
// that would pass one is refused (LimitExceeded) before a byte of it is
// written.
struct ExtractLimits {
    std::uint64_t total_bytes = 0; // all entries' recorded sizes together
    std::uint64_t entries = 0;     // how many entries
    std::uint64_t ratio = 0;       // an entry's recorded size against its stored size
};

struct ExtractOptions {
    std::vector<std::wstring> patterns; // see NamePatterns.h; none takes every entry
    Overwrite overwrite = Overwrite::Replace;
    bool keep_going = false; // a failed entry is reported and the next one done
    ExtractLimits limits;
    bool restore_times = false; // each file gets its entry's modification time
    unsigned threads = 1;       // decoding threads, from ReadingThreads; 1 decodes on the calling thread
};

// The threads a host's setting stands for: 0 the processors there are, at
// most kMaxReadingThreads. Each decodes one entry at a time, in a few MiB.
constexpr unsigned kMaxReadingThreads = 8;
unsigned ReadingThreads(unsigned requested);

// What a reading call tells its host as it runs.
class ReadingObserver {
public:
    virtual ~ReadingObserver() = default;
    // A whole percentage of the selected entries' recorded sizes, each time
    // it changes (from 0, which is not sent), and 100 when the call ends.
    virtual void Progress(int percent) = 0;
    // Looked at before each entry and after each block, also from worker
    // threads: true ends the call (Stopped), the entries in hand leaving
    // nothing behind.
    virtual bool StopRequested() const = 0;
};

// Extracts the selected entries into dest_dir, which must exist. Each
// failure goes to diagnostics with the entry's name (an empty name for the
// archive as a whole, and for a stop). True when every selected entry was
// extracted, or passed over as options asked. observer may be null.
bool ExtractArchive(const std::wstring& zip_path, const std::wstring& dest_dir, const char* password,
                    const ExtractOptions& options, ReadingObserver* observer, Diagnostics& diagnostics);

// Reads, decrypts, decodes and checks every entry (size, CRC, every rule of
// extraction but the names, which only matter on disk) and writes nothing;
// each failed entry is reported and the test goes on. True when all are
// sound.
bool TestArchive(const std::wstring& zip_path, const char* password, unsigned threads, ReadingObserver* observer,
                 Diagnostics& diagnostics);

} // namespace parcelon

#endif // PARCELON_EXTRACTION_H
