// The fast run path with a portable switch dispatch, for compilers without label addresses.
#define TAVRO_THREADED 0
#include "sim/fastrun.inc"

namespace tavro {

RunOutcome runFastSwitch(MachineState& state, Ports& ports, const RunControl& control) {
    bool breaks = control.breakpoints != nullptr;
    if (control.counted) {
        return breaks ? run<true, true>(state, ports, control)
                      : run<true, false>(state, ports, control);
    }
    return breaks ? run<false, true>(state, ports, control)
                  : run<false, false>(state, ports, control);
}

}  // namespace tavro
