// The choices a packing call has beyond CParcelon's own arguments. The
// class always packs with the defaults (what it has always written); the C
// interface lets a host choose.
#ifndef PARCELON_PACK_OPTIONS_H
#define PARCELON_PACK_OPTIONS_H

namespace parcelon {

// How entries are encrypted when there is a password.
enum class Encryption {
    Traditional, // the traditional ZIP cipher, as the class writes it
    Aes256,      // WinZip AES-256 (AE-2), a fresh random salt per entry
};

// How entries are named and what they record.
enum class EntryStyle {
    // What the class writes: names in the ANSI code page with backslashes,
    // a folder entry before every file below the base folder, fixed dates,
    // no attributes.
    Classic,
    // What other tools write and every reader takes alike: names with '/',
    // UTF-8 (flagged) where they are not plain ASCII, one folder entry per
    // folder before its contents, each file's modification time (DOS date
    // and time, and the extended timestamp), and its attributes (the Unix
    // mode on POSIX, the DOS attributes on Windows).
    Portable,
};

} // namespace parcelon

#endif // PARCELON_PACK_OPTIONS_H
