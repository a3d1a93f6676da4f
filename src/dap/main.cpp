// tavro-dap: a Debug Adapter Protocol server for Tavro programs, on standard input and output.
// One thread: while a run goes, it runs a slice of steps, then looks for requests without
// waiting, so that pause (or anything else) is answered within a slice.
#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <memory>

#include "dap/requests.h"

using namespace tavro;

// Writes everything queued; false when standard output is gone.
static bool flush(Session& s) {
    size_t done = 0;
    while (done < s.outbox.size()) {
        ssize_t n = write(STDOUT_FILENO, s.outbox.data() + done, s.outbox.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += static_cast<size_t>(n);
    }
    s.outbox.clear();
    return true;
}

// Reads what standard input has, waiting at most timeout ms (-1: until it comes); false at its end.
static bool receive(Session& s, int timeout) {
    pollfd in{STDIN_FILENO, POLLIN, 0};
    int ready = poll(&in, 1, timeout);
    if (ready < 0) return errno == EINTR;
    if (ready == 0) return true;
    char buffer[65536];
    ssize_t n = read(STDIN_FILENO, buffer, sizeof buffer);
    if (n < 0) return errno == EINTR || errno == EAGAIN;
    if (n == 0) return false;
    receiveBytes(s, std::string_view(buffer, static_cast<size_t>(n)));
    return true;
}

int main(int argc, char** argv) {
    if (argc > 1 && (std::strcmp(argv[1], "--version") == 0 || std::strcmp(argv[1], "-v") == 0)) {
        std::fputs("tavro-dap " TAVRO_VERSION "\n", stdout);
        return 0;
    }
    if (argc > 1) {
        std::fputs(
            "Usage: tavro-dap\n"
            "A Debug Adapter Protocol server for Tavro programs: an editor starts it and\n"
            "speaks the protocol on its standard input and output.\n",
            argc > 1 && std::strcmp(argv[1], "--help") == 0 ? stdout : stderr);
        return std::strcmp(argv[1], "--help") == 0 ? 0 : 1;
    }
    signal(SIGPIPE, SIG_IGN);  // a client that goes away ends the adapter through write()
    auto session = std::make_unique<Session>();
    Session& s = *session;
    while (!s.quit) {
        if (running(s)) {
            advance(s);
            if (!receive(s, 0)) break;
        } else if (!flush(s) || !receive(s, -1)) {
            break;
        }
        if (!flush(s)) break;
    }
    flush(s);
    return 0;
}
