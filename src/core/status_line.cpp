#include "core/status_line.hpp"

#include <sys/ioctl.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace kesta {

namespace {

// Returns the cursor to the start of the line and erases the line.
constexpr const char kErase[] = "\r\033[K";

struct status_console {
    bool active = false;
    std::FILE* own_out = nullptr;  // the streams standard output and error were
    std::FILE* own_err = nullptr;  // before the line began (none: not replaced)
};

status_console g_console;
// A status line is on the terminal. Written by whichever stream writes.
std::atomic<bool> g_shown{false};

bool write_all(int fd, const char* data, std::size_t size) {
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

void erase_shown_line() {
    if (g_shown.exchange(false)) write_all(STDOUT_FILENO, kErase, std::strlen(kErase));
}

// The write function of the replacing streams; the cookie is the file
// descriptor.
ssize_t write_after_erasing(void* cookie, const char* data, std::size_t size) {
    const int fd = static_cast<int>(reinterpret_cast<std::intptr_t>(cookie));
    if (size == 0) return 0;
    erase_shown_line();
    return write_all(fd, data, size) ? static_cast<ssize_t>(size) : -1;
}

// A stream that writes to `fd` through write_after_erasing, buffered as a
// terminal's standard output is (by line) or its standard error (not at
// all); none when it cannot be made.
std::FILE* erasing_stream(int fd, int buffering) {
    cookie_io_functions_t io{};
    io.write = write_after_erasing;
    std::FILE* f = fopencookie(reinterpret_cast<void*>(static_cast<std::intptr_t>(fd)), "w", io);
    if (f && std::setvbuf(f, nullptr, buffering, buffering == _IONBF ? 0 : BUFSIZ) != 0) {
        std::fclose(f);
        return nullptr;
    }
    return f;
}

bool terminal_can_erase() {
    if (!isatty(STDOUT_FILENO)) return false;
    const char* term = std::getenv("TERM");
    return term && *term && std::strcmp(term, "dumb") != 0;
}

}  // namespace

bool begin_status_line() {
    if (g_console.active || !terminal_can_erase()) return false;
    std::FILE* out = erasing_stream(STDOUT_FILENO, _IOLBF);
    if (!out) return false;
    std::FILE* err = isatty(STDERR_FILENO) ? erasing_stream(STDERR_FILENO, _IONBF) : nullptr;
    std::fflush(stdout);
    std::fflush(stderr);
    g_console.own_out = stdout;
    stdout = out;
    if (err) {
        g_console.own_err = stderr;
        stderr = err;
    }
    g_console.active = true;
    return true;
}

void show_status_line(const std::string& text) {
    if (!g_console.active) return;
    flockfile(stdout);
    // What was written before goes out first, erasing the line shown.
    std::fflush(stdout);
    std::fflush(stderr);
    std::string line = "\r" + text;
    winsize size{};
    if (ioctl(STDOUT_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 1 && text.size() >= size.ws_col)
        line.resize(size.ws_col);  // the carriage return and ws_col - 1 characters
    line += "\033[K";
    if (write_all(STDOUT_FILENO, line.data(), line.size())) g_shown = true;
    funlockfile(stdout);
}

void end_status_line() {
    if (!g_console.active) return;
    std::fflush(stdout);
    std::fflush(stderr);
    erase_shown_line();
    std::FILE* out = stdout;
    stdout = g_console.own_out;
    std::fclose(out);
    if (g_console.own_err) {
        std::FILE* err = stderr;
        stderr = g_console.own_err;
        std::fclose(err);
    }
    g_console = status_console{};
}

}  // namespace kesta
