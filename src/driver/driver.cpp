// The driver: everything happens once, in order, and only the driver decides the exit status.
// Its own messages go to standard error; the dump and the run write to standard output. A
// refused command line or program, and an output that could not be written, exit with 1;
// everything else with 0, however the simulated program ends.
#include "driver/driver.h"

#include <signal.h>

#include <cstdio>

#include "engine/engine.h"

namespace tavro {

// Set by the SIGINT handler; a run sees it at its next taken jump, or while waiting for input.
static std::atomic<int> interruptRequested{0};
static_assert(std::atomic<int>::is_always_lock_free, "written by a signal handler");

// SA_RESETHAND gives SIGINT its default handling back before this runs, so a second Ctrl-C ends
// the process the ordinary way. No SA_RESTART: a wait for input returns at once.
static void onInterrupt(int) { interruptRequested.store(1); }

static void installInterruptHandler() {
    struct sigaction action {};
    action.sa_handler = onInterrupt;
    action.sa_flags = SA_RESETHAND;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
}

struct Options {
    bool checkOnly;  // -c
    bool dumpCode;   // -d
    bool trace;      // -t
};

static void printUsage(Console& console, const char* programName) {
    char text[512];
    std::snprintf(text, sizeof text,
                  "Tavro Simulator [version 1.02] - an assembler and simulator for teaching\n"
                  "Usage: %s [options] source\n"
                  "Options:\n"
                  "\t-t    trace\n"
                  "\t-c    Syntax check only\n"
                  "\t-d    Dump machine code\n"
                  "\t-h    Show this help\n",
                  programName);
    printError(console, text);
}

// Reads the options; returns the index of the source path, or -1 after the usage text.
static int scanOptions(Console& console, int argc, char** argv, Options* options) {
    int i = 1;
    for (; i < argc && argv[i][0] == '-'; i++) {
        switch (argv[i][1]) {
            case 'c': options->checkOnly = true; break;
            case 'd': options->dumpCode = true; break;
            case 't': options->trace = true; break;
            default:
                printUsage(console, argc > 0 && argv[0] != nullptr ? argv[0] : "tavro");
                return -1;
        }
    }
    return i;
}

static void printDiagnostic(const Diagnostic& diagnostic, void* context) {
    printError(*static_cast<Console*>(context), renderDiagnostic(diagnostic));
}

// Runs the program to its end on the console; false when output could not be written.
static void runProgram(const Program& program, const Options& options, Console& console) {
    MachineOptions machineOptions;
    machineOptions.seedFromClock = true;
    machineOptions.trace = options.trace;
    MachinePtr machine = makeMachine(program, machineOptions);
    Machine& m = *machine;
    setOutput(m, std::move(console.out));
    setMessages(m, std::move(console.err));
    shareStop(m, &interruptRequested);
    interruptRequested.store(0);
    installInterruptHandler();
    std::string bytes;
    for (;;) {
#ifdef TAVRO_STEP_LIMIT  // fuzz builds cap a run so that endless programs end
        StopReason reason = run(m, TAVRO_STEP_LIMIT - viewMachine(m).steps);
        if (reason == StopReason::Budget) break;
#else
        StopReason reason = runToEnd(m);
#endif
        if (reason != StopReason::NeedInput) {
            if (reason == StopReason::StopRequested) {
                writeOutput(m, renderInterruptedLine(viewMachine(m).ip));
            }
            break;
        }
        drainOutput(m);
        InputRead read = readInput(console, &bytes, interruptRequested);
        if (read == InputRead::Interrupted) {
            writeOutput(m, renderInterruptedLine(viewMachine(m).ip));
            break;
        }
        if (read == InputRead::Data) giveInput(m, bytes);
        if (read == InputRead::End) endInput(m);
    }
    signal(SIGINT, SIG_DFL);
    console.out = takeOutput(m);
    console.err = takeMessages(m);
}

// Assembles and runs the loaded source; returns the exit status.
static int assembleAndRun(SourceBytes bytes, const Options& options, Console& console) {
    AssembleOptions assembleOptions;
    assembleOptions.checkOnly = options.checkOnly;
    assembleOptions.sourceMap = false;
    assembleOptions.keepDiagnostics = 0;
    assembleOptions.onDiagnostic = printDiagnostic;
    assembleOptions.context = &console;
    ProgramPtr assembled = assemble(std::move(bytes), assembleOptions);
    const Program& program = *assembled;
    for (const UndefinedLabel& label : program.undefinedLabels) {
        printError(console, renderUndefinedLabel(label));
    }
    if (program.tooLarge) {
        printError(console, tooLargeMessage());
        printError(console, renderSummary(1, 1));
        return 1;
    }
    if (program.pass1Errors > 0) {
        printError(console, renderSummary(1, program.pass1Errors));
        return 1;
    }
    if (options.checkOnly) return 0;
    if (program.pass2Errors > 0) {
        printError(console, renderSummary(2, program.pass2Errors));
        return 1;
    }
    if (options.dumpCode) {
        dumpMemory(program.image.data(), static_cast<int32_t>(program.codeSize), console.out);
    }
    if (!console.out.failed) runProgram(program, options, console);
    return 0;
}

int runCommandLine(int argc, char** argv, Console& console) {
    Options options{};
    int status = 1;
    int sourceIndex = scanOptions(console, argc, argv, &options);
    SourceBytes bytes;
    if (sourceIndex < 0) {
        // the usage text is out
    } else if (sourceIndex >= argc) {
        printError(console, "Error: No source file is specified.\n");
    } else if (!loadFile(argv[sourceIndex], &bytes)) {
        printError(console, "Error: Can't read source file.\n");
    } else {
        status = assembleAndRun(std::move(bytes), options, console);
    }
    drainSink(console.out);
    if (console.out.failed) {
        sinkWrite(console.err, "Error: Can't write output.\n");
        status = 1;
    }
    return status;
}

}  // namespace tavro
