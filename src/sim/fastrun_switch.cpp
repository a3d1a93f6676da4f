// The fast run path with a portable switch dispatch, for compilers without label addresses.
#define TAVRO_THREADED 0
#include "sim/fastrun.inc"

RunStatus runFastSwitch(uint64_t limit, uint64_t* executed) {
    return limit > 0 ? run<true>(limit, executed) : run<false>(0, executed);
}
