// The servers' command line on CLI11. The version is the project's (TAVRO_VERSION, from the
// top CMakeLists.txt), the same that tavro, tavro-list and tavro-grade print.
#include "protocol/options.h"

#include <CLI/CLI.hpp>

namespace tavro::protocol {

int parseServerOptions(int argc, char** argv, const ServerInfo& info, ServerOptions* options) {
    CLI::App app{info.description, info.name};
    app.set_version_flag("--version", std::string(info.name) + " " TAVRO_VERSION);
    app.add_option("--log", options->logPath,
                   "Append every message in and out, and every framing fault, to FILE")
        ->option_text("FILE");
    if (info.takesStdio) {
        app.add_flag("--stdio")->description(
            "Speak on standard input and output (the default and only transport)");
    }
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& error) {
        return app.exit(error) == 0 ? 0 : 1;
    }
    return -1;
}

}  // namespace tavro::protocol
