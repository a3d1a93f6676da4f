// Machine state and operand access. Reading address 4094 never touches memory: it draws from
// the random port. Fetching is the only place that turns an address into a memory read.
#include "sim/machine.h"

#include "common/format.h"

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

// table[0] = seed; table[i] = 16807 * table[i-1] mod (2^31 - 1), by Schrage's method so that
// nothing overflows; then 310 draws are thrown away to mix the table.
void seedRandom(RandomPort& port, uint32_t seed) {
    int32_t word = seed == 0 ? 1 : static_cast<int32_t>(seed);
    port.table[0] = word;
    for (int i = 1; i < 31; i++) {
        int32_t hi = word / 127773;
        int32_t lo = word % 127773;
        word = 16807 * lo - 2836 * hi;
        if (word < 0) word += 2147483647;
        port.table[i] = word;
    }
    port.front = 3;
    port.rear = 0;
    for (int i = 0; i < 310; i++) nextRandom(port);
}

int32_t nextRandom(RandomPort& port) {
    uint32_t sum = static_cast<uint32_t>(port.table[port.front]) +
                   static_cast<uint32_t>(port.table[port.rear]);
    port.table[port.front] = static_cast<int32_t>(sum);
    port.front = static_cast<uint8_t>(port.front == 30 ? 0 : port.front + 1);
    port.rear = static_cast<uint8_t>(port.rear == 30 ? 0 : port.rear + 1);
    return static_cast<int32_t>((sum >> 1) & 0x7FFF);
}

}  // namespace tavro
