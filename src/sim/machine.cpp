// Machine state and operand access. Words are big-endian and signed. Reading address 4094 never
// touches memory: it draws from the random port, whose generator is seeded from the clock once
// per process. Fetching is the only place that turns an address into a memory read.
#include "sim/machine.h"

#include <cstdlib>
#include <ctime>

#include "common/format.h"

MachineState machine;

static bool seeded = false;  // once per process, not per run

void resetMachine(uint8_t* memory, int32_t codeSize) {
    machine.memory = memory;
    machine.codeSize = codeSize;
    machine.ip = 0;
    machine.belowFlag = 0;
    machine.regs[AX] = machine.regs[BX] = machine.regs[CX] = 0;
    machine.regs[DX] = RANDOM_ADDRESS;
}

Operand decodeOperand(const uint8_t* code, int32_t* length) {
    uint8_t b0 = code[0];
    uint8_t b1 = code[1];
    Operand operand{};
    operand.mainReg = static_cast<uint8_t>(registerField(b0));
    operand.reg = static_cast<uint8_t>(secondRegisterField(b1));
    int mode = modeField(b0);
    // An immediate's second byte is all constant: it has no indirect or direction bit.
    operand.modeBits = mode == MODE_IMMEDIATE ? 0 : static_cast<uint8_t>((b0 & 0x0C) | (b1 >> 6));
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

// Reads the word at address: 0..4093 from memory, 4094 from the random port, else a failure.
static int32_t readWord(int32_t address, RunStatus* status) {
    *status = RunStatus::Running;
    if (address >= 0 && address < RANDOM_ADDRESS) {
        return static_cast<int16_t>((machine.memory[address] << 8) | machine.memory[address + 1]);
    }
    if (address == RANDOM_ADDRESS) return nextRandom();
    *status = RunStatus::IllegalMemoryAccess;
    return 0;
}

int32_t fetchOperand(const Operand& operand, RunStatus* status) {
    *status = RunStatus::Running;
    switch (operand.kind) {
        case OperandKind::Register: return machine.regs[operand.reg & 3];
        case OperandKind::Direct: return readWord(operand.value, status);
        case OperandKind::Indirect: return readWord(machine.regs[operand.reg & 3], status);
        case OperandKind::Indexed:
            // A signed register plus a 12-bit offset, with no 16-bit wrap: 32767 + 4095 is 36862.
            return readWord(machine.regs[operand.reg & 3] + operand.value, status);
        default: return static_cast<int16_t>(operand.value & 0xFFFF);
    }
}

int32_t nextRandom() {
    if (!seeded) {
        std::srand(static_cast<unsigned>(std::time(nullptr)));
        seeded = true;
    }
    return std::rand() & 0x7FFF;
}
