// The machine's definition: executeStep decodes and executes one instruction. Every check of an
// instruction comes before its first write, so a failing instruction leaves registers, memory,
// the flag and ip as they were, and ip names it in the closing line. Arithmetic is done on the
// signed values in 32 bits and the low 16 bits are kept. The fast path (fastrun.inc) must stay
// equal to this file, step for step; a test holds them together.
#include "sim/execute.h"

#include "common/format.h"
#include "sim/ports.h"
#include "sim/trace.h"

namespace tavro {

static int16_t toWord(int32_t value) { return static_cast<int16_t>(value); }

#if defined(__GNUC__)
#define TAVRO_STEP_INLINE inline __attribute__((always_inline))
#else
#define TAVRO_STEP_INLINE inline
#endif

// Reads the value an operand denotes into *value; false for an illegal memory access.
static TAVRO_STEP_INLINE bool fetchOperand(MachineState& m, const DecodedOperand& operand, int32_t* value) {
    switch (operand.kind) {
        case OperandKind::Register: *value = m.regs[operand.reg]; return true;
        case OperandKind::Direct: return readMemoryWord(m, operand.value, value);
        case OperandKind::Indirect: return readMemoryWord(m, m.regs[operand.reg], value);
        case OperandKind::Indexed:
            // A signed register plus a 12-bit offset, with no 16-bit wrap: 32767 + 4095 is 36862.
            return readMemoryWord(m, m.regs[operand.reg] + operand.value, value);
        default: *value = toWord(operand.value); return true;
    }
}

static void storeWord(MachineState& m, int32_t address, int32_t value) {
    writeWord(m.memory.data() + address, value);
    m.lastWrite = address;
}

static RunStatus copy(MachineState& m, const DecodedOperand& operand) {
    if (!operand.store) {
        int32_t value = 0;
        if (!fetchOperand(m, operand, &value)) return RunStatus::IllegalMemoryAccess;
        m.regs[operand.mainReg] = toWord(value);
        return RunStatus::Running;
    }
    int32_t address;
    switch (operand.kind) {
        case OperandKind::Direct: address = operand.value; break;
        case OperandKind::Indirect: address = m.regs[operand.reg]; break;
        case OperandKind::Indexed: address = m.regs[operand.reg] + operand.value; break;
        default: return RunStatus::IllegalOperand;
    }
    // The random port's word, 4094 and 4095, cannot be written.
    if (address < 0 || address > RANDOM_ADDRESS - 1) return RunStatus::IllegalMemoryAccess;
    storeWord(m, address, m.regs[operand.mainReg]);
    return RunStatus::Running;
}

static RunStatus arithmetic(MachineState& m, int opcode, const DecodedOperand& operand) {
    if (operand.kind == OperandKind::Indirect || operand.kind == OperandKind::Indexed) {
        return RunStatus::IllegalOperand;
    }
    int32_t value = 0;
    if (!fetchOperand(m, operand, &value)) return RunStatus::IllegalMemoryAccess;
    int16_t& destination = m.regs[operand.mainReg];
    int32_t left = destination;
    switch (opcode) {
        case ADD: destination = toWord(left + value); break;
        case SUB: destination = toWord(left - value); break;
        case MUL: destination = toWord(left * value); break;
        case DIV:
            if (value == 0) return RunStatus::DivByZero;
            destination = toWord(left / value);  // -32768 / -1 is 32768 in 32 bits: no trap
            break;
        default: m.belowFlag = left < value ? 1 : 0; break;  // CMP
    }
    return RunStatus::Running;
}

// PUSH and CALL: a word onto the stack.
static RunStatus push(MachineState& m, int32_t value) {
    int32_t slot = pushSlot(m.regs[DX]);
    if (!isPushSlot(slot, m.codeSize)) return RunStatus::IllegalMemoryAccess;
    storeWord(m, slot, value);
    m.regs[DX] = toWord(slot);
    return RunStatus::Running;
}

// POP and RTN: reads the word on top of the stack, unsigned (a return address is never
// negative), and the slot it lies in; the caller stores the word, then moves DX past the slot.
static RunStatus topWord(MachineState& m, int32_t* value, int32_t* slot) {
    *slot = popSlot(m.regs[DX]);
    if (!isPopSlot(*slot)) return RunStatus::IllegalMemoryAccess;
    *value = static_cast<uint16_t>(readWord(m.memory.data() + *slot));
    return RunStatus::Running;
}

RunStatus executeStep(MachineState& m, Ports& ports, bool trace) {
    m.lastWrite = -1;
    if (m.ip >= static_cast<uint32_t>(m.codeSize)) return RunStatus::OutOfMemory;
    const uint8_t* code = m.memory.data() + m.ip;
    int opcode = opcodeField(code[0]);
    int r = registerField(code[0]);
    int32_t length = 1;
    DecodedOperand operand{};
    if (OPERAND_SHAPES[opcode] == OperandShape::TWO) operand = decodeOperand(code, &length);
    if (trace) traceInstruction(m, ports.out, operand);
    RunStatus status = RunStatus::Running;
    switch (opcode) {
        case END: return RunStatus::Halt;
        case COPY:
        case ADD:
        case SUB:
        case MUL:
        case DIV:
        case CMP:
            status = opcode == COPY ? copy(m, operand) : arithmetic(m, opcode, operand);
            break;
        case JMP:
        case JNB:
        case JB:
        case CALL: {
            uint32_t target = static_cast<uint32_t>(addressField(code[0], code[1]));
            if (opcode == CALL) {
                status = push(m, static_cast<int32_t>(m.ip + 2));
                if (status == RunStatus::Running) m.ip = target;
                return status;
            }
            bool taken = opcode == JMP || (opcode == JNB && m.belowFlag == 0) ||
                         (opcode == JB && m.belowFlag == 1);
            if (taken) {
                m.ip = target;
                return RunStatus::Running;
            }
            length = 2;
            break;
        }
        case RTN: {
            int32_t address = 0, slot = 0;
            status = topWord(m, &address, &slot);  // unmasked: a wild return runs out of code
            if (status != RunStatus::Running) return status;
            m.ip = static_cast<uint32_t>(address);
            m.regs[DX] = toWord(slot + 2);
            return status;
        }
        case PUSH: status = push(m, m.regs[r]); break;
        case POP: {
            int32_t value = 0, slot = 0;
            status = topWord(m, &value, &slot);
            if (status != RunStatus::Running) break;
            m.regs[r] = toWord(value);
            m.regs[DX] = toWord(slot + 2);  // after the load: a POP into DX keeps the pointer
            break;
        }
        case IN: {
            int16_t value = 0;
            status = inputNumber(m, ports, &value);
            if (status == RunStatus::Running) m.regs[r] = value;
            break;
        }
        default: printOut(ports.out, m.regs[r]); break;  // OUT; the caller looks at the sink
    }
    if (status == RunStatus::Running) m.ip += static_cast<uint32_t>(length);
    return status;
}

}  // namespace tavro
