// The fast run path: the machine that executeStep defines, run many steps per call.
#pragma once

#include <cstdint>

#include "common/tavro.h"

// Runs from the current machine state, without trace, until a step's status is not Running,
// exactly as repeated executeStep(0) would, and writes the state back. The interrupt flag is
// read at taken jumps, calls and returns. A limit above 0 stops the run after that many steps
// (status Running); *executed, if given, gets the number of steps taken.
RunStatus runFastThreaded(uint64_t limit, uint64_t* executed);
// The same with a portable switch dispatch instead of jumps through a table of label addresses.
RunStatus runFastSwitch(uint64_t limit, uint64_t* executed);

// The dispatch style chosen at build time.
inline RunStatus runFast(uint64_t limit = 0, uint64_t* executed = nullptr) {
#if TAVRO_THREADED_DISPATCH
    return runFastThreaded(limit, executed);
#else
    return runFastSwitch(limit, executed);
#endif
}
