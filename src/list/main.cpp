// tavro-list FILE: assembles a source as tavro does and prints its listing and symbol table on
// standard output. A source with assembly errors gets tavro's exact diagnostics on standard
// error and status 1, as tavro gives it; the warnings for undefined names go there too.
#include <CLI/CLI.hpp>
#include <cstdio>
#include <string>

#include "engine/engine.h"

// Writes all of text to a stream; false when the stream refused it.
static bool writeAll(std::FILE* stream, const std::string& text) {
    size_t written = std::fwrite(text.data(), 1, text.size(), stream);
    return std::fflush(stream) == 0 && written == text.size();
}

int main(int argc, char** argv) {
    CLI::App app{"Prints the listing and the symbol table of a Tavro assembly program.",
                 "tavro-list"};
    std::string path;
    app.add_option("FILE", path, "the assembly source file")->required();
    app.set_version_flag("--version", "tavro-list " TAVRO_VERSION);
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        return app.exit(e) == 0 ? 0 : 1;  // a usage error exits with 1, as tavro's does
    }

    tavro::SourceBytes bytes;
    if (!tavro::loadFile(path.c_str(), &bytes)) {
        std::fputs("Error: Can't read source file.\n", stderr);
        return 1;
    }
    tavro::ProgramPtr assembled = tavro::assemble(std::move(bytes));
    const tavro::Program& program = *assembled;
    writeAll(stderr, tavro::renderAssembly(program));
    if (!tavro::runnable(program)) return 1;
    if (!writeAll(stdout, tavro::renderListing(program))) {
        std::fputs("Error: Can't write output.\n", stderr);
        return 1;
    }
    return 0;
}
