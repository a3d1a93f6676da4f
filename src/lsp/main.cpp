// tavro-lsp: the Tavro language server on standard input and output. Reads whatever arrives,
// lets the server handle each whole frame, and writes its answers at once; ends at exit, at the
// end of the input, or after refusing a frame over the size limit (with status 1).
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <string_view>

#include "lsp/server.h"
#include "protocol/channel.h"
#include "protocol/options.h"

int main(int argc, char** argv) {
    using namespace tavro;
    protocol::ServerOptions options;
    int status = protocol::parseServerOptions(
        argc, argv,
        {"tavro-lsp",
         "The Tavro language server: the Language Server Protocol on standard input and output.",
         true},
        &options);
    if (status >= 0) return status;
    protocol::Log log;
    if (!options.logPath.empty() && !protocol::openLog(log, options.logPath, "tavro-lsp")) {
        std::fprintf(stderr, "tavro-lsp: can't open the log file %s\n", options.logPath.c_str());
        return 1;
    }
    std::signal(SIGPIPE, SIG_IGN);
    lsp::Server server = lsp::makeServer();
    server.reader.log = &log;
    std::vector<std::string> out;
    char buffer[65536];
    bool ended = false;
    while (!server.exited && !ended) {
        ssize_t n = read(STDIN_FILENO, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        ended = n <= 0;
        out.clear();
        if (!ended) {
            lsp::handleBytes(server, std::string_view(buffer, static_cast<size_t>(n)), &out);
        }
        for (const std::string& frame : out) {
            if (!protocol::writeFrames(&log, frame)) return 1;
        }
    }
    if (std::string fault = protocol::unfinishedFrame(server.reader); ended && !fault.empty()) {
        protocol::logRecord(&log, "fault", fault);
        std::fprintf(stderr, "tavro-lsp: %s\n", fault.c_str());
    }
    protocol::closeLog(log);
    return server.exited ? server.exitCode : 1;
}
