// The machine's definition: one instruction at a time.
#pragma once

#include "sim/machine.h"

namespace tavro {

// Executes the instruction at ip, after writing its trace line to ports.out when trace is set,
// and returns its status: Running, WaitingForInput (an IN with no line yet; nothing changed but
// the prompt and the trace line), or the status that ends the run. A write to memory is noted
// in state.lastWrite.
RunStatus executeStep(MachineState& state, Ports& ports, bool trace = false);

}  // namespace tavro
