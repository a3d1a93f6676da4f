// tavro-dap: a Debug Adapter Protocol server for Tavro programs, on standard input and output.
// One thread: while a run goes, it runs a slice of steps, then looks for requests without
// waiting, so that pause (or anything else) is answered within a slice. Ends at disconnect or
// at the end of the input (status 0), or after refusing a frame over the size limit (status 1).
#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <memory>

#include "dap/requests.h"
#include "protocol/channel.h"
#include "protocol/options.h"

using namespace tavro;

// Writes everything queued; false when standard output is gone.
static bool flush(Session& s, protocol::Log* log) {
    bool written = protocol::writeFrames(log, s.outbox);
    s.outbox.clear();
    return written;
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
    protocol::ServerOptions options;
    int status = protocol::parseServerOptions(
        argc, argv,
        {"tavro-dap",
         "The Tavro debug adapter: the Debug Adapter Protocol on standard input and output.",
         false},
        &options);
    if (status >= 0) return status;
    protocol::Log log;
    if (!options.logPath.empty() && !protocol::openLog(log, options.logPath, "tavro-dap")) {
        std::fprintf(stderr, "tavro-dap: can't open the log file %s\n", options.logPath.c_str());
        return 1;
    }
    signal(SIGPIPE, SIG_IGN);  // a client that goes away ends the adapter through write()
    auto session = std::make_unique<Session>();
    Session& s = *session;
    s.reader.log = &log;
    bool ended = false;
    while (!s.quit) {
        if (running(s)) {
            advance(s);
            if ((ended = !receive(s, 0))) break;
        } else if (!flush(s, &log)) {
            break;
        } else if ((ended = !receive(s, -1))) {
            break;
        }
        if (!flush(s, &log)) break;
    }
    flush(s, &log);
    if (std::string fault = protocol::unfinishedFrame(s.reader); ended && !fault.empty()) {
        protocol::logRecord(&log, "fault", fault);
        std::fprintf(stderr, "tavro-dap: %s\n", fault.c_str());
    }
    protocol::closeLog(log);
    return s.reader.refused ? 1 : 0;
}
