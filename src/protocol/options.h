// The command line of the protocol servers, read with CLI11 as every program but tavro reads
// its own: --log FILE, --help, --version, and --stdio for the language server, whose clients
// commonly pass it. A usage error exits with 1, as it does in every Tavro program.
#pragma once

#include <string>

namespace tavro::protocol {

struct ServerOptions {
    std::string logPath;  // --log: where to record every message; "" for no log
};

// What a server's command line says of it.
struct ServerInfo {
    const char* name;         // the program's name, as --version prints it
    const char* description;  // the first line of --help
    bool takesStdio;          // whether --stdio is accepted (and ignored: it is the only transport)
};

// Reads the command line into options; -1 to go on, or the status to exit with at once (0 after
// --help or --version, 1 after a usage error, with its message on standard error).
int parseServerOptions(int argc, char** argv, const ServerInfo& info, ServerOptions* options);

}  // namespace tavro::protocol
