// The trace line, printed before an instruction acts, so its registers are the values before:
// ". . . . . . . ", ip in 4 columns, ":  ", the mnemonic in 4, "  ", the operand text padded to
// 18, then AX BX CX DX in 4 columns each and the flag (" B" or "NB") after three blanks.
// Register values wider than 4 characters widen their column and shift the rest.
#include "sim/trace.h"

#include <cstring>

#include "common/console.h"
#include "common/decimal.h"
#include "common/format.h"
#include "sim/machine.h"

// Appends a short constant text.
template <size_t N>
static char* appendText(char* p, const char (&text)[N]) {
    std::memcpy(p, text, N - 1);
    return p + N - 1;
}

// Appends a register's two-letter name.
static char* appendRegister(char* p, int reg) {
    std::memcpy(p, REGISTER_NAMES[reg & 3], 2);
    return p + 2;
}

char* appendMachineColumns(char* text, char* end) {
    // Blank-fill to the operand width, or append one blank after a text as long or longer.
    std::memset(end, ' ', TRACE_OPERAND_WIDTH);
    char* p = end - text < TRACE_OPERAND_WIDTH ? text + TRACE_OPERAND_WIDTH : end + 1;
    p = formatColumn4(p, machine.regs[AX]);
    *p++ = ' ';
    p = formatColumn4(p, machine.regs[BX]);
    *p++ = ' ';
    p = formatColumn4(p, machine.regs[CX]);
    *p++ = ' ';
    p = formatColumn4(p, machine.regs[DX]);
    // The flag column; the line end and two spare bytes ride along in the same copy.
    std::memcpy(p, machine.belowFlag ? "    B\n\n" : "   NB\n\n", 8);
    return p + 5;
}

// operand text := ""                          END, RTN
//               | REG                          PUSH, POP, IN, OUT
//               | [DEST ','] SOURCE [',' REG]  the rest; a COPY store puts its register last
static char* appendOperandText(char* p, int opcode, const Operand* operand) {
    if (operand == nullptr) return p;
    if (opcode >= PUSH) return appendRegister(p, operand->mainReg);
    bool store = opcode == COPY && (operand->modeBits & 1) != 0;
    bool jump = opcode >= JMP && opcode <= CALL;
    if (!store && !jump) {
        p = appendRegister(p, operand->mainReg);
        *p++ = ',';
    }
    switch (operand->kind) {
        case OperandKind::Register: p = appendRegister(p, operand->reg); break;
        case OperandKind::Direct:
            *p++ = '[';
            p = formatWord(p, operand->value);
            *p++ = ']';
            break;
        case OperandKind::Indirect:
            p = appendText(p, "c(");
            p = appendRegister(p, operand->reg);
            *p++ = ')';
            break;
        case OperandKind::Indexed:
            *p++ = '[';
            p = formatWord(p, operand->value);
            p = appendText(p, "]+c(");
            p = appendRegister(p, operand->reg);
            *p++ = ')';
            break;
        case OperandKind::Immediate:
            *p++ = '#';
            p = formatWord(p, static_cast<int16_t>(operand->value & 0xFFFF));
            break;
        default: break;
    }
    if (store) {
        *p++ = ',';
        p = appendRegister(p, operand->mainReg);
    }
    return p;
}

// ":  " and each mnemonic left-aligned in four columns, then two blanks (9 characters).
alignas(16) static constexpr char MNEMONIC_FIELDS[OPCODE_COUNT][16] = {
    ":  END   ", ":  COPY  ", ":  ADD   ", ":  SUB   ", ":  MUL   ", ":  DIV   ",
    ":  CMP   ", ":  JMP   ", ":  JNB   ", ":  JB    ", ":  CALL  ", ":  RTN   ",
    ":  PUSH  ", ":  POP   ", ":  IN    ", ":  OUT   ",
};

void traceInstruction(int opcode, const Operand* operand) {
    char* line = reserveOut(128);
    std::memcpy(line, ". . . . . . . ", 14);
    char* p = formatColumn4(line + 14, static_cast<int32_t>(machine.ip));
    std::memcpy(p, MNEMONIC_FIELDS[opcode & 15], 16);
    char* text = p + 9;
    p = appendMachineColumns(text, appendOperandText(text, opcode, operand));
    commitOut(p + 1);  // the line end is written with the flag
}
