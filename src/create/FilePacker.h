// Packing files into an archive, in list order: for each, its folder
// entry, then its own entry, compressed a chunk at a time.
//
// The calling thread reads the files ahead, hands their chunks to the
// compression pool and writes the compressed chunks as entries in list
// order; with one thread (what CParcelon always uses) it compresses each
// chunk itself in between, with no pool and no lock. Whatever the number of
// threads, the archive is the same byte for byte, and the host sees the
// same progress values and messages, in the same order, all on the calling
// thread.
#ifndef PARCELON_FILE_PACKER_H
#define PARCELON_FILE_PACKER_H

#include <atomic>
#include <string>
#include <vector>

#include "create/CompressionPool.h"
#include "create/EntrySink.h"
#include "create/PackItem.h"
#include "create/Progress.h"
#include "messages/Messages.h"

namespace parcelon {

class RandomBytes;

// What every entry of one operation shares.
struct PackSettings {
    unsigned int level = 6; // the host's level: 0 to 9, or (unsigned)-1 for 6
    std::string password;   // already trimmed; empty means no encryption
    unsigned threads = 1;   // from PackingThreads; 1 starts no thread
    // Where encryption headers take their random bytes: null for the
    // system's random source; tests fix them.
    RandomBytes* random = nullptr;
    // How worker threads are started (tests stand in for the system).
    ThreadStarter start_thread;
};

// Packs items in their order until the stop flag is set, reporting each
// file that fails and going on with the next; true when none failed.
//
// A file the process may not read (or that is gone) is passed over without
// a word; one that cannot be opened gets an empty entry and the open
// message, with a password too. A failed file's entries written so far
// stay. A stop is seen between 16 KiB blocks: the entry being written ends
// after the block last reported (an encrypted one a few bytes further on,
// where its CRC-32 again has the high byte its header was made with), so
// it is whole and every reader takes it. Every encrypted entry decrypts
// with the password and passes its CRC, whatever happened to the file
// meanwhile. A sink that cannot encrypt entries again takes no encrypted
// ones: each file is refused with the "while adding" line.
bool PackItems(EntrySink& sink, const std::vector<PackItem>& items, const PackSettings& settings,
               Progress& progress, const std::atomic<bool>& stop, Diagnostics& diagnostics);

} // namespace parcelon

#endif // PARCELON_FILE_PACKER_H
