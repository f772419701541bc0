// Ctrl-C. While an operation runs, the handler only calls parcelon_stop
// (which stores to an atomic flag, safe in a signal handler) and the
// operation ends cleanly: a packed archive is closed with what it holds, an
// extraction leaves the entries written and nothing of the one in hand.
// While a password is being typed it only marks the interruption, so that
// the terminal gets its echo back. At any other moment Ctrl-C ends the tool
// as it would any program.
#pragma once

#include <ParcelonC.h>

namespace cli {

void InstallInterruptHandler();

// Ctrl-C was pressed while an operation or a password prompt had it.
bool Interrupted();

// For its lifetime, Ctrl-C stops the archiver.
class StopOnInterrupt {
public:
    explicit StopOnInterrupt(parcelon_archiver* archiver);
    ~StopOnInterrupt();
    StopOnInterrupt(const StopOnInterrupt&) = delete;
    StopOnInterrupt& operator=(const StopOnInterrupt&) = delete;
};

// For its lifetime, Ctrl-C only marks the interruption (and, on POSIX,
// ends a blocked read with EINTR).
class DeferInterrupt {
public:
    DeferInterrupt();
    ~DeferInterrupt();
    DeferInterrupt(const DeferInterrupt&) = delete;
    DeferInterrupt& operator=(const DeferInterrupt&) = delete;
};

} // namespace cli
