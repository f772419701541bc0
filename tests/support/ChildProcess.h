// Running a piece of a test in a forked child (POSIX only): for limits that
// would hurt the whole test process (a small RLIMIT_FSIZE), for dropping
// root's privileges so that file permissions apply, and for measuring one
// operation's peak memory. Also the process's open descriptors and its peak
// resident size.
#ifndef PARCELON_TEST_CHILD_PROCESS_H
#define PARCELON_TEST_CHILD_PROCESS_H

#if !defined(_WIN32)

#include <cstddef>
#include <functional>
#include <string>

namespace testing_support {

struct ChildResult {
    bool exited = false;   // ended through _exit, not by a signal
    int exit_code = -1;
    int signal = 0;        // the signal that ended it, when it did not exit
    std::string report;    // what the body returned: empty when all went well
    long max_rss_kib = 0;  // the child's peak resident size (wait4's ru_maxrss)

    // True when the child ended normally and its body reported nothing.
    bool ok() const { return exited && exit_code == 0 && report.empty(); }
    // Everything worth printing when it did not.
    std::string Describe() const;
};

// Forks; the child runs body and ends with _exit, so that nothing of the
// parent's test framework runs twice. body returns an empty text when all
// went well, or a description of what did not; an exception counts as a
// failure. Under LeakSanitizer the child also checks for leaks before it
// ends.
ChildResult RunInChild(const std::function<std::string()>& body);

// The number of descriptors open in the calling process (/proc/self/fd).
std::size_t OpenDescriptorCount();

// The calling process's peak resident size in KiB (VmHWM), or -1.
long PeakResidentKiB();

// Turns the calling process into the unprivileged user "nobody" (65534)
// when it runs as root, so that permission bits apply to it. True when the
// process is (now) unprivileged. Call it only in a child.
bool DropRootPrivileges();

} // namespace testing_support

#endif // !_WIN32

#endif // PARCELON_TEST_CHILD_PROCESS_H
