#include "cli/Interrupt.h"

#include <atomic>
#include <csignal>

#if defined(_WIN32)
#include <windows.h>
#endif

namespace cli {

namespace {

// A signal handler reaches the program only through static storage: the
// archiver it stops, whether a prompt holds Ctrl-C, and whether it came.
std::atomic<parcelon_archiver*> g_running{nullptr};
std::atomic<bool> g_deferred{false};
std::atomic<bool> g_interrupted{false};

static_assert(std::atomic<parcelon_archiver*>::is_always_lock_free && std::atomic<bool>::is_always_lock_free,
              "the handler must not take a lock");

// True when the interruption was taken (an operation or a prompt had it).
bool Take() {
    if (parcelon_archiver* archiver = g_running.load()) {
        g_interrupted = true;
        parcelon_stop(archiver);
        return true;
    }
    if (g_deferred.load()) {
        g_interrupted = true;
        return true;
    }
    return false;
}

#if defined(_WIN32)
BOOL WINAPI OnConsoleControl(DWORD type) {
    if (type != CTRL_C_EVENT && type != CTRL_BREAK_EVENT) return FALSE;
    return Take() ? TRUE : FALSE; // FALSE: the default handler ends the process
}
#else
void OnInterrupt(int signal_number) {
    if (Take()) return;
    // Nothing to stop cleanly: end as the signal would have.
    std::signal(signal_number, SIG_DFL);
    std::raise(signal_number);
}
#endif

} // namespace

void InstallInterruptHandler() {
#if defined(_WIN32)
    SetConsoleCtrlHandler(OnConsoleControl, TRUE);
#else
    struct sigaction action {};
    action.sa_handler = OnInterrupt;
    sigemptyset(&action.sa_mask);
    action.sa_flags = 0; // no SA_RESTART: a prompt's read ends with EINTR
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
#endif
}

bool Interrupted() { return g_interrupted.load(); }

StopOnInterrupt::StopOnInterrupt(parcelon_archiver* archiver) {
    g_running = archiver;
    // A Ctrl-C that came just before the operation began still stops it.
    if (g_interrupted.load()) parcelon_stop(archiver);
}
StopOnInterrupt::~StopOnInterrupt() { g_running = nullptr; }

DeferInterrupt::DeferInterrupt() { g_deferred = true; }
DeferInterrupt::~DeferInterrupt() { g_deferred = false; }

} // namespace cli
