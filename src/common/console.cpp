// Console streams. Standard output is buffered here (line by line on a terminal) and flushed
// before anything goes to standard error, before the program waits for input and at the end;
// standard error is written one message at a time, like an unbuffered stdio stream. A refused
// write marks the console failed and drops what follows instead of retrying forever.
#include "common/console.h"

#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <vector>

ConsoleState console;

void resetConsole(int inFd, int outFd, int errFd) {
    console.inFd = inFd;
    console.outFd = outFd;
    console.errFd = errFd;
    console.outCursor = console.out;
    console.outIsTerminal = isatty(outFd) == 1;
    console.writeFailed = false;
    console.inStart = console.inEnd = 0;
    console.inAtEnd = false;
}

// Writes all of text to fd, riding out interruptions and a non-blocking descriptor.
static void writeAll(int fd, const char* text, size_t len) {
    while (len > 0 && !console.writeFailed) {
        ssize_t n = write(fd, text, len);
        if (n > 0) {
            text += n;
            len -= static_cast<size_t>(n);
        } else if (n < 0 && errno == EINTR) {
            continue;
        } else if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            pollfd waiter{fd, POLLOUT, 0};
            poll(&waiter, 1, -1);
        } else {
            console.writeFailed = true;
        }
    }
}

void consoleFlush() {
    if (console.outCursor > console.out) {
        writeAll(console.outFd, console.out, static_cast<size_t>(console.outCursor - console.out));
    }
    console.outCursor = console.out;
}

void commitToTerminal(char* end) {
    bool lineEnded =
        end > console.outCursor &&
        std::memchr(console.outCursor, '\n', static_cast<size_t>(end - console.outCursor));
    console.outCursor = end;
    if (lineEnded) consoleFlush();
}

void consoleWrite(Stream stream, const char* text, size_t len) {
    if (stream == Stream::Err) {
        consoleFlush();
        writeAll(console.errFd, text, len);
        return;
    }
    while (len > 0) {
        size_t chunk = len < OUT_BUFFER_SIZE ? len : OUT_BUFFER_SIZE;
        char* p = reserveOut(chunk);
        std::memcpy(p, text, chunk);
        commitOut(p + chunk);
        text += chunk;
        len -= chunk;
    }
}

void consoleText(Stream stream, const char* text) { consoleWrite(stream, text, std::strlen(text)); }

void consolePrintf(Stream stream, const char* format, ...) {
    char small[512];
    va_list args;
    va_start(args, format);
    va_list again;
    va_copy(again, args);
    int len = std::vsnprintf(small, sizeof small, format, args);
    va_end(args);
    if (len < 0) {
        va_end(again);
        return;
    }
    if (static_cast<size_t>(len) < sizeof small) {
        consoleWrite(stream, small, static_cast<size_t>(len));
    } else {
        std::vector<char> large(static_cast<size_t>(len) + 1);
        std::vsnprintf(large.data(), large.size(), format, again);
        consoleWrite(stream, large.data(), static_cast<size_t>(len));
    }
    va_end(again);
}

// Waits until standard input is readable or *interrupted is set, without the race of a signal
// landing between the test of the flag and the wait: SIGINT stays blocked until ppoll waits.
// Returns false when interrupted.
static bool waitForInput(const volatile sig_atomic_t* interrupted) {
    sigset_t blockInterrupt, previous;
    sigemptyset(&blockInterrupt);
    sigaddset(&blockInterrupt, SIGINT);
    sigprocmask(SIG_BLOCK, &blockInterrupt, &previous);
    bool ready = false;
    while (!*interrupted) {
        pollfd waiter{console.inFd, POLLIN, 0};
        if (ppoll(&waiter, 1, nullptr, &previous) >= 0 || errno != EINTR) {
            ready = true;
            break;
        }
    }
    sigprocmask(SIG_SETMASK, &previous, nullptr);
    return ready;
}

// Refills the input buffer. Returns false at the end of input (or a read error) and when
// interrupted; *interrupted tells the two apart.
static bool fillInput(const volatile sig_atomic_t* interrupted) {
    if (console.inAtEnd) return false;
    consoleFlush();
    for (;;) {
        if (!waitForInput(interrupted)) return false;
        ssize_t n = read(console.inFd, console.in, IN_BUFFER_SIZE);
        if (n > 0) {
            console.inStart = 0;
            console.inEnd = static_cast<size_t>(n);
            return true;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) continue;
        console.inAtEnd = true;
        return false;
    }
}

int readInputLine(char* buffer, int size, const volatile sig_atomic_t* interrupted) {
    int stored = 0;
    while (stored < size - 1) {
        if (console.inStart == console.inEnd && !fillInput(interrupted)) {
            if (*interrupted) return -1;
            break;
        }
        char c = console.in[console.inStart++];
        buffer[stored++] = c;
        if (c == '\n') break;
    }
    buffer[stored] = '\0';
    return stored;
}
