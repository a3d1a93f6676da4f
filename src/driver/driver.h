// tavro's command line and run sequence on the engine: options, loading, assembling, the dump,
// the run and the exit status.
#pragma once

#include "driver/console.h"

namespace tavro {

// Runs the tool on its command line with the console given; returns the exit status, 0 or 1.
// The console's standard output is drained before it returns.
int runCommandLine(int argc, char** argv, Console& console);

}  // namespace tavro
