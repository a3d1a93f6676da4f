// Machine state and operand access. Reading address 4094 never touches memory: it draws from
// the random port (sim/ports.cpp). Fetching is the only place that turns an address into a
// memory read.
#include "sim/machine.h"

#include "common/format.h"
#include "sim/ports.h"

namespace tavro {

void resetMachine(MachineState& state, const std::array<uint8_t, MEMORY_SIZE>& image,
                  int32_t codeSize, uint32_t seed, bool clockSeed) {
    state = MachineState{};
    state.memory = image;
    state.codeSize = codeSize;
    seedRandom(state.random, seed);
    state.random.seedAtFirstDraw = clockSeed;
}

bool readMemoryWord(MachineState& state, int32_t address, int32_t* value) {
    if (address >= 0 && address < RANDOM_ADDRESS) {
        *value = readWord(state.memory.data() + address);
        return true;
    }
    if (address == RANDOM_ADDRESS) {
        *value = nextRandom(state.random);
        return true;
    }
    return false;
}

}  // namespace tavro
