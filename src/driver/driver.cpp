// The driver: everything happens once, in order, and only the driver decides the exit status.
// Its own messages go to standard error; the dump and the run write to standard output. A
// refused command line or program exits with 1, everything else with 0, however the simulated
// program ends.
#include "driver/driver.h"

#include <cstdlib>

#include "asm/passes.h"
#include "asm/symbols.h"
#include "common/console.h"
#include "common/tavro.h"
#include "driver/dump.h"
#include "driver/source.h"
#include "sim/execute.h"

struct Options {
    bool checkOnly;  // -c
    bool dumpCode;   // -d
    bool trace;      // -t
};

void printUsage(const char* programName) {
    consolePrintf(Stream::Err,
                  "Tavro Simulator [version 1.02] - an assembler and simulator for teaching\n"
                  "Usage: %s [options] source\n"
                  "Options:\n"
                  "\t-t    trace\n"
                  "\t-c    Syntax check only\n"
                  "\t-d    Dump machine code\n"
                  "\t-h    Show this help\n",
                  programName);
}

static void printSummary(int pass, int32_t errorCount) {
    consolePrintf(Stream::Err, "*** pass=%d ... %d error%s found.\n", pass, errorCount,
                  errorCount == 1 ? "" : "s");
}

// Assembles and runs the loaded source; returns the exit status.
static int assembleAndRun(const SourceLines& source, const Options& options) {
    initSymbols();
    int32_t errorCount = assemblePass(source.lines, source.lineCount, 1, nullptr);
    int32_t codeSize = 0;
    if (errorCount == 0) {
        codeSize = allocateUndefinedLabels(assembler.locationCounter);
        if (codeSize > MAX_CODE_SIZE) {
            consoleText(Stream::Err, " ... Memory area is too large.\n");
            errorCount = 1;
        }
    }
    if (errorCount > 0) {
        printSummary(1, errorCount);
        return 1;
    }
    if (options.checkOnly) return 0;

    auto* image = static_cast<uint8_t*>(std::calloc(MEMORY_SIZE, 1));
    if (image == nullptr) {
        consoleText(Stream::Err, "Error: Out of memory.\n");
        return 1;
    }
    int status = 0;
    errorCount = assemblePass(source.lines, source.lineCount, 2, image);
    if (errorCount > 0) {
        printSummary(2, errorCount);
        status = 1;
    } else {
        if (options.dumpCode) dumpMemory(image, codeSize);
        runProgram(image, codeSize, options.trace ? 1 : 0);
    }
    std::free(image);
    return status;
}

// Reads the options; returns the index of the source path, or -1 after the usage text.
static int scanOptions(int argc, char** argv, Options* options) {
    int i = 1;
    for (; i < argc && argv[i][0] == '-'; i++) {
        switch (argv[i][1]) {
            case 'c': options->checkOnly = true; break;
            case 'd': options->dumpCode = true; break;
            case 't': options->trace = true; break;
            default: printUsage(argv[0] != nullptr ? argv[0] : "tavro"); return -1;
        }
    }
    return i;
}

int runCommandLine(int argc, char** argv) {
    Options options{};
    int sourceIndex = scanOptions(argc, argv, &options);
    if (sourceIndex < 0) return 1;
    if (sourceIndex >= argc) {
        consoleText(Stream::Err, "Error: No source file is specified.\n");
        return 1;
    }
    SourceLines source{};
    if (!loadSource(argv[sourceIndex], &source)) {
        consoleText(Stream::Err, "Error: Can't read source file.\n");
        return 1;
    }
    int status = assembleAndRun(source, options);
    releaseSource(&source);
    return status;
}

int runDriver(int argc, char** argv) {
    resetConsole();
    int status = runCommandLine(argc, argv);
    consoleFlush();
    return status;
}
