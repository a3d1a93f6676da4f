// The fast run path: the machine that executeStep defines, run many steps per call.
#pragma once

#include <cstdint>

#include "sim/machine.h"

namespace tavro {

struct RunControl {
    uint64_t budget = 0;       // with counted: stop after this many steps
    // Count steps and honour the budget. Only counted runs look at watches; only uncounted
    // runs look at the stop request (a counted run's caller does, between budgets).
    bool counted = false;
    const uint8_t* breakpoints = nullptr;  // 4096 flags, or nullptr for none
    const uint8_t* watched = nullptr;      // 4096 flags, set below codeSize only; or nullptr
    int32_t skipBreakpoint = -1;  // the first step may pass the breakpoint at this address
};

struct RunOutcome {
    StopReason reason;
    uint64_t steps;             // steps executed (counted runs only)
    int32_t watchAddress = -1;  // for Watch: the address written
};

// Runs from the current state, without trace, exactly as repeated executeStep would, until a
// step ends the program or the control says stop, and writes the state back. An uncounted run
// looks at the stop request before its first instruction, then at most 65536 steps apart where
// a straight run of instructions starts (a jump's target, after a return), and before every
// step it takes through executeStep (IN, the random port, an OUT that writes to its sink).
RunOutcome runFastThreaded(MachineState& state, Ports& ports, const RunControl& control);
// The same with a portable switch dispatch instead of jumps through a table of label addresses.
RunOutcome runFastSwitch(MachineState& state, Ports& ports, const RunControl& control);

// The dispatch style chosen at build time.
inline RunOutcome runFast(MachineState& state, Ports& ports, const RunControl& control) {
#if TAVRO_THREADED_DISPATCH
    return runFastThreaded(state, ports, control);
#else
    return runFastSwitch(state, ports, control);
#endif
}

}  // namespace tavro
