#include "support/ChildProcess.h"

#if !defined(_WIN32)

#include <dirent.h>
#include <grp.h>
#include <sys/resource.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <exception>
#include <fstream>

// Present only in binaries built with LeakSanitizer (ASan's leak checker).
extern "C" int __lsan_do_recoverable_leak_check() __attribute__((weak));

namespace testing_support {

namespace {

void WriteAll(int fd, const std::string& text) {
    std::size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return;
        done += static_cast<std::size_t>(n);
    }
}

} // namespace

std::string ChildResult::Describe() const {
    std::string text = report;
    if (!exited) text += " [child ended by signal " + std::to_string(signal) + "]";
    else if (exit_code != 0) text += " [child exited with " + std::to_string(exit_code) + "]";
    return text;
}

ChildResult RunInChild(const std::function<std::string()>& body) {
    ChildResult result;
    int fds[2];
    if (pipe(fds) != 0) {
        result.report = "pipe failed";
        return result;
    }
    std::fflush(nullptr);
    const pid_t pid = fork();
    if (pid < 0) {
        close(fds[0]);
        close(fds[1]);
        result.report = "fork failed";
        return result;
    }
    if (pid == 0) {
        close(fds[0]);
        std::string report;
        try {
            report = body();
        } catch (const std::exception& e) {
            report = std::string("exception: ") + e.what();
        } catch (...) {
            report = "unknown exception";
        }
        int code = 0;
        if (__lsan_do_recoverable_leak_check != nullptr && __lsan_do_recoverable_leak_check() != 0) {
            report += " [leaks found in the child]";
            code = 3;
        }
        WriteAll(fds[1], report);
        close(fds[1]);
        std::fflush(nullptr);
        _exit(code);
    }
    close(fds[1]);
    char buffer[4096];
    for (;;) {
        const ssize_t n = read(fds[0], buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        result.report.append(buffer, static_cast<std::size_t>(n));
    }
    close(fds[0]);
    int status = 0;
    struct rusage usage {};
    while (wait4(pid, &status, 0, &usage) < 0 && errno == EINTR) {
    }
    result.max_rss_kib = usage.ru_maxrss;
    if (WIFEXITED(status)) {
        result.exited = true;
        result.exit_code = WEXITSTATUS(status);
    } else if (WIFSIGNALED(status)) {
        result.signal = WTERMSIG(status);
    }
    return result;
}

std::size_t OpenDescriptorCount() {
    DIR* dir = opendir("/proc/self/fd");
    if (dir == nullptr) return 0;
    std::size_t count = 0;
    while (const dirent* entry = readdir(dir)) {
        if (entry->d_name[0] != '.') ++count;
    }
    closedir(dir);
    return count - 1; // the listing's own descriptor
}

long PeakResidentKiB() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmHWM:", 0) == 0) return std::stol(line.substr(6));
    }
    return -1;
}

bool DropRootPrivileges() {
    if (geteuid() != 0) return true;
    const gid_t nobody_group = 65534;
    const uid_t nobody = 65534;
    if (setgroups(0, nullptr) != 0) return false;
    if (setresgid(nobody_group, nobody_group, nobody_group) != 0) return false;
    if (setresuid(nobody, nobody, nobody) != 0) return false;
    return geteuid() == nobody;
}

} // namespace testing_support

#endif // !_WIN32
