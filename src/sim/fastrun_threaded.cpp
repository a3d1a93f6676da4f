// The fast run path with threaded dispatch: each handler jumps straight to the next one.
#define TAVRO_THREADED 1
#include "sim/fastrun.inc"

namespace tavro {

RunOutcome runFastThreaded(MachineState& state, Ports& ports, const RunControl& control) {
    return runMachine(state, ports, control);
}

}  // namespace tavro
