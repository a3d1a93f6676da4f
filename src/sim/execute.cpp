// The machine's definition: executeStep decodes and executes one instruction. Every check of an
// instruction comes before its first write, so a failing instruction leaves registers, memory,
// the flag and ip as they were, and ip names it in the closing line. Arithmetic is done on the
// signed values in 32 bits and the low 16 bits are kept. The stack grows down from 4094 in
// even-aligned big-endian words and must stay above codeSize.
#include "sim/execute.h"

#include <signal.h>

#include "common/console.h"
#include "common/format.h"
#include "sim/fastrun.h"
#include "sim/machine.h"
#include "sim/trace.h"

volatile sig_atomic_t interruptRequested = 0;

// SA_RESETHAND gives SIGINT its default handling back before this runs, so a second Ctrl-C ends
// the process the ordinary way. No SA_RESTART: a wait for input returns at once.
static void onInterrupt(int) { interruptRequested = 1; }

static void installInterruptHandler() {
    struct sigaction action {};
    action.sa_handler = onInterrupt;
    action.sa_flags = SA_RESETHAND;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
}

static void restoreInterruptHandling() { signal(SIGINT, SIG_DFL); }

static int16_t toWord(int32_t value) { return static_cast<int16_t>(value); }

static RunStatus copy(const Operand& operand) {
    MachineState& m = machine;
    if ((operand.modeBits & 1) == 0) {
        RunStatus status;
        int32_t value = fetchOperand(operand, &status);
        if (status == RunStatus::Running) m.regs[operand.mainReg] = toWord(value);
        return status;
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
    int16_t value = m.regs[operand.mainReg];
    m.memory[address] = static_cast<uint8_t>((value >> 8) & 0xFF);
    m.memory[address + 1] = static_cast<uint8_t>(value & 0xFF);
    return RunStatus::Running;
}

static RunStatus arithmetic(int opcode, const Operand& operand) {
    if (operand.kind == OperandKind::Indirect || operand.kind == OperandKind::Indexed) {
        return RunStatus::IllegalOperand;
    }
    RunStatus status;
    int32_t value = fetchOperand(operand, &status);
    if (status != RunStatus::Running) return status;
    int16_t& destination = machine.regs[operand.mainReg];
    int32_t left = destination;
    switch (opcode) {
        case ADD: destination = toWord(left + value); break;
        case SUB: destination = toWord(left - value); break;
        case MUL: destination = toWord(left * value); break;
        case DIV:
            if (value == 0) return RunStatus::DivByZero;
            destination = toWord(left / value);  // -32768 / -1 is 32768 in 32 bits: no trap
            break;
        default: machine.belowFlag = left < value ? 1 : 0; break;  // CMP
    }
    return RunStatus::Running;
}

// A push slot must lie above the code: codeSize < slot <= 4094.
static bool isPushSlot(int32_t slot) { return slot > machine.codeSize && slot <= RANDOM_ADDRESS; }
// A pop slot holds a whole word below the random port: 0 <= slot <= 4093.
static bool isPopSlot(int32_t slot) { return slot >= 0 && slot < RANDOM_ADDRESS; }

static void writeStackWord(int32_t slot, int32_t value) {
    machine.memory[slot] = static_cast<uint8_t>((value >> 8) & 0xFF);
    machine.memory[slot + 1] = static_cast<uint8_t>(value & 0xFF);
}

static int32_t readStackWord(int32_t slot) {
    return (machine.memory[slot] << 8) | machine.memory[slot + 1];
}

static RunStatus call(uint32_t target) {
    MachineState& m = machine;
    int32_t slot = (m.regs[DX] & ~1) - 2;
    if (!isPushSlot(slot)) return RunStatus::IllegalMemoryAccess;
    writeStackWord(slot, static_cast<int32_t>(m.ip + 2));
    m.regs[DX] = toWord(slot);
    m.ip = target;
    return RunStatus::Running;
}

static RunStatus returnFromCall() {
    MachineState& m = machine;
    int32_t slot = m.regs[DX] & ~1;
    if (!isPopSlot(slot)) return RunStatus::IllegalMemoryAccess;
    m.ip = static_cast<uint32_t>(readStackWord(slot));  // unmasked: a wild return runs out of code
    m.regs[DX] = toWord(slot + 2);
    return RunStatus::Running;
}

static RunStatus push(int r) {
    MachineState& m = machine;
    int32_t slot = (m.regs[DX] & ~1) - 2;
    if (!isPushSlot(slot)) return RunStatus::IllegalMemoryAccess;
    writeStackWord(slot, m.regs[r]);
    m.regs[DX] = toWord(slot);
    return RunStatus::Running;
}

static RunStatus pop(int r) {
    MachineState& m = machine;
    int32_t slot = m.regs[DX] & ~1;
    if (!isPopSlot(slot)) return RunStatus::IllegalMemoryAccess;
    m.regs[r] = toWord(readStackWord(slot));
    m.regs[DX] = toWord(slot + 2);  // after the load: a POP into DX keeps only the new pointer
    return RunStatus::Running;
}

int16_t parseInputNumber(const char* text) {
    bool negative = *text == '-';
    if (negative) text++;
    // Accumulating modulo 65536 keeps the exact value's residue, however many digits come.
    uint32_t value = 0;
    for (; *text >= '0' && *text <= '9'; text++) value = (value * 10 + (*text - '0')) & 0xFFFF;
    if (negative) value = (0x10000 - value) & 0xFFFF;
    return static_cast<int16_t>(value);
}

// Reads lines until one starts (after blanks) with a digit or a minus sign.
RunStatus inputNumber(int16_t* value) {
    consoleText(Stream::Err, "in ? ");
    char line[64];
    for (;;) {
        int n = readInputLine(line, sizeof line, &interruptRequested);
        if (n < 0) return RunStatus::Interrupted;
        if (n == 0) return RunStatus::UnexpectedEof;
        const char* p = skipBlanks(line);
        if ((*p >= '0' && *p <= '9') || *p == '-') {
            *value = parseInputNumber(p);
            return RunStatus::Running;
        }
        consoleText(Stream::Err, "input number ? ");
    }
}

static RunStatus input(int r) {
    int16_t value = 0;
    RunStatus status = inputNumber(&value);
    if (status == RunStatus::Running) machine.regs[r] = value;
    return status;
}

RunStatus executeStep(int trace) {
    MachineState& m = machine;
    if (m.ip >= static_cast<uint32_t>(m.codeSize)) return RunStatus::OutOfMemory;
    const uint8_t* code = m.memory + m.ip;
    int opcode = opcodeField(code[0]);
    int32_t length = 1;
    RunStatus status = RunStatus::Running;
    switch (opcode) {
        case END:
            if (trace) traceInstruction(opcode, nullptr);
            status = RunStatus::Halt;
            break;
        case COPY:
        case ADD:
        case SUB:
        case MUL:
        case DIV:
        case CMP: {
            Operand operand = decodeOperand(code, &length);
            if (trace) traceInstruction(opcode, &operand);
            status = opcode == COPY ? copy(operand) : arithmetic(opcode, operand);
            break;
        }
        case JMP:
        case JNB:
        case JB:
        case CALL: {
            Operand target{};
            target.kind = OperandKind::Direct;
            target.value = addressField(code[0], code[1]);
            if (trace) traceInstruction(opcode, &target);
            if (opcode == CALL) return call(static_cast<uint32_t>(target.value));
            bool taken = opcode == JMP || (opcode == JNB && m.belowFlag == 0) ||
                         (opcode == JB && m.belowFlag == 1);
            if (taken) {
                m.ip = static_cast<uint32_t>(target.value);
                return RunStatus::Running;
            }
            length = 2;
            break;
        }
        case RTN:
            if (trace) traceInstruction(opcode, nullptr);
            return returnFromCall();
        default: {  // PUSH, POP, IN, OUT: one byte with a register
            Operand operand{};
            operand.mainReg = static_cast<uint8_t>(registerField(code[0]));
            if (trace) traceInstruction(opcode, &operand);
            int r = operand.mainReg;
            if (opcode == PUSH) status = push(r);
            if (opcode == POP) status = pop(r);
            if (opcode == IN) status = input(r);
            if (opcode == OUT) printOut(machine.regs[r]);
            break;
        }
    }
    if (status == RunStatus::Running) m.ip += static_cast<uint32_t>(length);
    return status;
}

// Fuzz builds cap a run at TAVRO_STEP_LIMIT steps so that endless programs end; the tool
// itself has no limit (0).
#ifdef TAVRO_STEP_LIMIT
constexpr uint64_t STEP_LIMIT = TAVRO_STEP_LIMIT;
#else
constexpr uint64_t STEP_LIMIT = 0;
#endif

void runProgram(uint8_t* image, int32_t codeSize, int trace) {
    resetMachine(image, codeSize);
    interruptRequested = 0;
    installInterruptHandler();
    RunStatus status = RunStatus::Running;
    if (trace) {
        for (uint64_t steps = 0; status == RunStatus::Running; steps++) {
            if (STEP_LIMIT > 0 && steps == STEP_LIMIT) break;
            status = interruptRequested ? RunStatus::Interrupted : executeStep(trace);
        }
    } else {
        status = runFast(STEP_LIMIT);
    }
    if (status == RunStatus::Interrupted) {
        consolePrintf(Stream::Out, "!!>>> Program is interrupted. IP=%ld\n",
                      static_cast<long>(machine.ip));
    } else {
        consolePrintf(Stream::Out, ">>> Program terminated. (%s)\n",
                      RUN_STATUS_TEXTS[static_cast<int>(status)]);
    }
    restoreInterruptHandling();
}
