// Machine state and operand access. Reading address 4094 never touches memory: it draws from
// the random port (sim/ports.cpp). Fetching is the only place that turns an address into a
// memory read.
#include "sim/machine.h"

#include "common/format.h"
#include "sim/ports.h"

namespace tavro {

void resetMachine(MachineState& state, const std::array<uint8_t, MEMORY_SIZE>& image,
                  int32_t codeSize, uint32_t seed) {
    state = MachineState{};
    state.memory = image;
    state.codeSize = codeSize;
    seedRandom(state.random, seed);
}

DecodedOperand decodeOperand(const uint8_t* code, int32_t* length) {
    uint8_t b0 = code[0];
    uint8_t b1 = code[1];
    DecodedOperand operand{};
    operand.mainReg = static_cast<uint8_t>(registerField(b0));
    operand.reg = static_cast<uint8_t>(secondRegisterField(b1));
    int mode = modeField(b0);
    // An immediate's second byte is all constant: it has no indirect or direction bit.
    operand.store = mode != MODE_IMMEDIATE && (b1 & DIRECTION_BIT) != 0;
    switch (mode) {
        case MODE_IMMEDIATE:
            operand.kind = OperandKind::Immediate;
            operand.value = static_cast<int8_t>(b1);
            *length = 2;
            break;
        case MODE_REGISTER:
            operand.kind = (b1 & INDIRECT_BIT) ? OperandKind::Indirect : OperandKind::Register;
            *length = 2;
            break;
        case MODE_DIRECT:
            operand.kind = OperandKind::Direct;
            operand.value = addressField(b1, code[2]);
            *length = 3;
            break;
        default:  // MODE_INDEXED; the indirect bit is not looked at in modes 2 and 3
            operand.kind = OperandKind::Indexed;
            operand.value = addressField(b1, code[2]);
            *length = 3;
            break;
    }
    return operand;
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
