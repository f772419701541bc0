#include "cli/Password.h"

#include <cstdio>

#include "cli/Console.h"
#include "cli/Interrupt.h"
#include "cli/Text.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <cerrno>
#include <fcntl.h>
#include <termios.h>
#include <unistd.h>
#endif

namespace cli {

namespace {

// One line of standard input, without its line end.
std::optional<std::string> LineOfStandardInput() {
    std::string line;
    int c;
    while ((c = std::fgetc(stdin)) != EOF && c != '\n') line += static_cast<char>(c);
    if (c == EOF && line.empty()) return std::nullopt;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    return line;
}

#if defined(_WIN32)
// The console's input handle, closed on every way out.
class ConsoleInput {
public:
    ConsoleInput()
        : handle_(CreateFileW(L"CONIN$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, 0, nullptr)) {}
    ~ConsoleInput() {
        if (valid()) CloseHandle(handle_);
    }
    ConsoleInput(const ConsoleInput&) = delete;
    ConsoleInput& operator=(const ConsoleInput&) = delete;
    bool valid() const { return handle_ != INVALID_HANDLE_VALUE; }
    HANDLE get() const { return handle_; }

private:
    HANDLE handle_;
};

// The console's input mode without echo, restored on every way out.
class EchoOff {
public:
    explicit EchoOff(HANDLE console) : console_(console) {
        ok_ = GetConsoleMode(console_, &saved_) != 0;
        if (ok_)
            SetConsoleMode(console_,
                           (saved_ & ~static_cast<DWORD>(ENABLE_ECHO_INPUT)) | ENABLE_LINE_INPUT | ENABLE_PROCESSED_INPUT);
    }
    ~EchoOff() {
        if (ok_) SetConsoleMode(console_, saved_);
    }
    EchoOff(const EchoOff&) = delete;
    EchoOff& operator=(const EchoOff&) = delete;
    bool ok() const { return ok_; }

private:
    HANDLE console_;
    DWORD saved_ = 0;
    bool ok_ = false;
};

std::optional<std::string> ReadFromConsole(const char* prompt) {
    ConsoleInput console;
    if (!console.valid()) return LineOfStandardInput();
    EchoOff echo_off(console.get());
    if (!echo_off.ok()) return LineOfStandardInput();
    Write(Stream::err, prompt);
    std::wstring line;
    for (;;) {
        wchar_t buffer[64];
        DWORD read = 0;
        if (!ReadConsoleW(console.get(), buffer, 64, &read, nullptr) || Interrupted()) {
            Write(Stream::err, "\n");
            return std::nullopt;
        }
        if (read == 0) continue;
        line.append(buffer, read);
        const std::size_t end = line.find(L'\n');
        if (end != std::wstring::npos) {
            line.erase(end);
            break;
        }
    }
    if (!line.empty() && line.back() == L'\r') line.pop_back();
    Write(Stream::err, "\n");
    return Narrow(line);
}
#else
// The terminal, opened apart from the standard streams (which may be
// redirected), closed on every way out.
class Terminal {
public:
    Terminal() : fd_(open("/dev/tty", O_RDWR | O_NOCTTY | O_CLOEXEC)) {}
    ~Terminal() {
        if (fd_ >= 0) close(fd_);
    }
    Terminal(const Terminal&) = delete;
    Terminal& operator=(const Terminal&) = delete;
    int fd() const { return fd_; }
    void Say(const std::string& text) const {
        if (write(fd_, text.data(), text.size()) < 0) {
            // nothing to be done: the prompt is a courtesy
        }
    }

private:
    int fd_;
};

// The terminal's settings without echo, restored on every way out.
class EchoOff {
public:
    explicit EchoOff(int fd) : fd_(fd) {
        ok_ = tcgetattr(fd_, &saved_) == 0;
        if (!ok_) return;
        termios quiet = saved_;
        quiet.c_lflag &= static_cast<tcflag_t>(~ECHO);
        quiet.c_lflag |= ICANON;
        ok_ = tcsetattr(fd_, TCSAFLUSH, &quiet) == 0;
    }
    ~EchoOff() {
        if (ok_) tcsetattr(fd_, TCSAFLUSH, &saved_);
    }
    EchoOff(const EchoOff&) = delete;
    EchoOff& operator=(const EchoOff&) = delete;
    bool ok() const { return ok_; }

private:
    int fd_;
    termios saved_{};
    bool ok_ = false;
};

std::optional<std::string> ReadFromTerminal(const char* prompt) {
    const Terminal terminal;
    if (terminal.fd() < 0) return LineOfStandardInput();
    std::optional<std::string> line;
    {
        const EchoOff echo_off(terminal.fd());
        if (!echo_off.ok()) return LineOfStandardInput();
        terminal.Say(prompt);
        std::string typed;
        for (;;) {
            char c = 0;
            const ssize_t n = read(terminal.fd(), &c, 1);
            if (n < 0 && errno == EINTR && !Interrupted()) continue;
            if (n <= 0) break; // Ctrl-C, or the end of input
            if (c == '\n') {
                line = typed;
                break;
            }
            typed += c;
        }
    }
    terminal.Say("\n"); // the Enter the terminal did not echo
    return line;
}
#endif

} // namespace

std::optional<std::string> ReadPassword(const char* prompt) {
    const DeferInterrupt defer;
#if defined(_WIN32)
    return ReadFromConsole(prompt);
#else
    return ReadFromTerminal(prompt);
#endif
}

} // namespace cli
