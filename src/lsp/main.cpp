// tavro-lsp: the Tavro language server on standard input and output. Reads whatever arrives,
// lets the server handle each whole frame, and writes its answers at once; ends at exit or at
// the end of the input.
#include <unistd.h>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <string_view>

#include "lsp/server.h"

static bool writeAll(const std::string& bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
        ssize_t n = write(STDOUT_FILENO, bytes.data() + done, bytes.size() - done);
        if (n < 0) return false;
        done += static_cast<size_t>(n);
    }
    return true;
}

int main(int argc, char** argv) {
    // Clients commonly pass --stdio; it is the only transport there is.
    for (int i = 1; i < argc; i++) {
        std::string_view arg = argv[i];
        if (arg == "--stdio") continue;
        if (arg == "--version") {
            std::printf("tavro-lsp %s\n", TAVRO_VERSION);
            return 0;
        }
        std::fputs(
            "Usage: tavro-lsp [--stdio]\n"
            "The Tavro language server: speaks the Language Server Protocol on standard\n"
            "input and output. Options: --stdio (the default), --version, --help.\n",
            arg == "--help" || arg == "-h" ? stdout : stderr);
        return arg == "--help" || arg == "-h" ? 0 : 2;
    }
    std::signal(SIGPIPE, SIG_IGN);
    tavro::lsp::Server server = tavro::lsp::makeServer();
    std::vector<std::string> out;
    char buffer[65536];
    while (!server.exited) {
        ssize_t n = read(STDIN_FILENO, buffer, sizeof buffer);
        if (n == 0) break;
        if (n < 0) {
            if (errno == EINTR) continue;
            break;
        }
        out.clear();
        tavro::lsp::handleBytes(server, std::string_view(buffer, static_cast<size_t>(n)), &out);
        for (const std::string& frame : out) {
            if (!writeAll(frame)) return 1;
        }
    }
    return server.exited ? server.exitCode : 1;
}
