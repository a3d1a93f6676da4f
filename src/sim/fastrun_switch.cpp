// The fast run path with a portable switch dispatch, for compilers without label addresses.
#define TAVRO_THREADED 0
#include "sim/fastrun.inc"

namespace tavro {

RunOutcome runFastSwitch(MachineState& state, Ports& ports, const RunControl& control) {
    return runMachine(state, ports, control);
}

}  // namespace tavro
