// The machine's definition: one instruction at a time.
#pragma once

#include "sim/machine.h"

namespace tavro {

// Executes the instruction at ip and returns its status: Running, WaitingForInput (an IN with
// no line yet; nothing changed but the prompt), or the status that ends the run. A write to
// memory is noted in state.lastWrite.
RunStatus executeStep(MachineState& state, Ports& ports);

}  // namespace tavro
