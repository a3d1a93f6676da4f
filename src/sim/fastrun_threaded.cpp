// The fast run path with threaded dispatch: each handler jumps straight to the next one.
#define TAVRO_THREADED 1
#include "sim/fastrun.inc"

RunStatus runFastThreaded(uint64_t limit, uint64_t* executed) {
    return limit > 0 ? run<true>(limit, executed) : run<false>(0, executed);
}
