// Packing files into an archive, in list order: for each, its folder
// entry (classic style) or the folder items of the list (portable), then
// its own entry, compressed a chunk at a time.
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
#include "create/PackOptions.h"
#include "create/PackItem.h"
#include "create/PackingState.h"
#include "create/Progress.h"
#include "messages/Messages.h"

namespace parcelon {

class RandomBytes;

// What every entry of one operation shares.
struct PackSettings {
    unsigned int level = 6; // the host's level: 0 to 9, or (unsigned)-1 for 6
    std::string password;   // already trimmed; empty means no encryption
    Encryption encryption = Encryption::Traditional; // with a password
    EntryStyle style = EntryStyle::Classic;
    unsigned threads = 1;   // from PackingThreads; 1 starts no thread
    // Where encryption headers and AES salts take their random bytes: null
    // for the system's random source; tests fix them.
    RandomBytes* random = nullptr;
    // How worker threads are started (tests stand in for the system).
    ThreadStarter start_thread;
};

// The settings of a call: the host's level and password (trimmed), and
// what the call's state says of threads, encryption, style and the random
// source.
PackSettings PackSettingsOf(const PackingState& state, unsigned int level, const char* password);

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
// meanwhile. A sink that cannot encrypt entries again takes no entries
// encrypted with the traditional cipher: each file is refused with the
// "while adding" line.
//
// Folder entries are encrypted only where the class has always encrypted
// them: in the classic style with the traditional cipher. Elsewhere they
// are written in plain, as 7-Zip, WinZip and Info-ZIP write them: a folder
// has no data to hide (its name is in plain in every record anyway), and
// an AES folder entry would cost a key derivation of its own.
bool PackItems(EntrySink& sink, const std::vector<PackItem>& items, const PackSettings& settings,
               Progress& progress, const std::atomic<bool>& stop, Diagnostics& diagnostics);

} // namespace parcelon

#endif // PARCELON_FILE_PACKER_H
