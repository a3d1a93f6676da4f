// tavro's console on file descriptors. A refused write fails its sink, which drops what
// follows instead of retrying forever; the driver then reports it.
#include "driver/console.h"

#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>

namespace tavro {

// Writes all of bytes to fd, riding out interruptions and a non-blocking descriptor.
static bool writeAll(int fd, std::string_view bytes) {
    const char* p = bytes.data();
    size_t len = bytes.size();
    while (len > 0) {
        ssize_t n = write(fd, p, len);
        if (n > 0) {
            p += n;
            len -= static_cast<size_t>(n);
        } else if (n < 0 && errno == EINTR) {
            continue;
        } else if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            pollfd waiter{fd, POLLOUT, 0};
            poll(&waiter, 1, -1);
        } else {
            return false;
        }
    }
    return true;
}

Console openConsole(int inFd, int outFd, int errFd) {
    Console console{inFd, outFd, errFd, {}, {}};
    SinkFlush outFlush = isatty(outFd) == 1 ? SinkFlush::Lines : SinkFlush::Buffered;
    console.out = makeSink([outFd](std::string_view b) { return writeAll(outFd, b); }, outFlush);
    console.err = makeSink([errFd](std::string_view b) { return writeAll(errFd, b); },
                           SinkFlush::Each, SINK_RESERVE_MAX * 4);
    return console;
}

void printError(Console& console, std::string_view text) {
    drainSink(console.out);
    sinkWrite(console.err, text);
}

// Waits until standard input is readable; false when interrupted.
static bool waitForInput(int fd, const std::atomic<int>& interrupt) {
    sigset_t blockInterrupt, previous;
    sigemptyset(&blockInterrupt);
    sigaddset(&blockInterrupt, SIGINT);
    sigprocmask(SIG_BLOCK, &blockInterrupt, &previous);
    bool ready = false;
    while (interrupt.load() == 0) {
        pollfd waiter{fd, POLLIN, 0};
        if (ppoll(&waiter, 1, nullptr, &previous) >= 0 || errno != EINTR) {
            ready = true;
            break;
        }
    }
    sigprocmask(SIG_SETMASK, &previous, nullptr);
    return ready;
}

InputRead readInput(const Console& console, std::string* bytes,
                    const std::atomic<int>& interrupt) {
    char buffer[1 << 16];
    for (;;) {
        if (!waitForInput(console.inFd, interrupt)) return InputRead::Interrupted;
        ssize_t n = read(console.inFd, buffer, sizeof buffer);
        if (n > 0) {
            bytes->assign(buffer, static_cast<size_t>(n));
            return InputRead::Data;
        }
        if (n < 0 && (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK)) continue;
        return InputRead::End;  // the end of input, or a read error: it stays so
    }
}

}  // namespace tavro
