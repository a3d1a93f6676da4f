// The trace line, printed before an instruction acts, so its registers are the values before:
// ". . . . . . . ", ip in 4 columns, ":  ", the mnemonic in 4, "  ", the operand text padded to
// 18, then AX BX CX DX in 4 columns each and the flag (" B" or "NB") after three blanks.
// Register values wider than 4 characters widen their column and shift the rest.
#include "sim/trace.h"

#include <cstring>

#include "common/console.h"
#include "common/format.h"
#include "sim/machine.h"

static char* appendText(char* p, const char* text) {
    while (*text != '\0') *p++ = *text++;
    return p;
}

char* appendMachineColumns(char* text, char* end) {
    char* p = end;
    if (p - text < TRACE_OPERAND_WIDTH) {
        while (p - text < TRACE_OPERAND_WIDTH) *p++ = ' ';
    } else {
        *p++ = ' ';
    }
    for (int r = 0; r < REGISTER_COUNT; r++) {
        if (r > 0) *p++ = ' ';
        p = formatIntPadded(p, machine.regs[r], 4);
    }
    return appendText(p, machine.belowFlag ? "    B" : "   NB");
}

// operand text := ""                          END, RTN
//               | REG                          PUSH, POP, IN, OUT
//               | [DEST ','] SOURCE [',' REG]  the rest; a COPY store puts its register last
static char* appendOperandText(char* p, int opcode, const Operand* operand) {
    if (operand == nullptr) return p;
    if (opcode >= PUSH) return appendText(p, REGISTER_NAMES[operand->mainReg & 3]);
    bool store = opcode == COPY && (operand->modeBits & 1) != 0;
    bool jump = opcode >= JMP && opcode <= CALL;
    if (!store && !jump) {
        p = appendText(p, REGISTER_NAMES[operand->mainReg & 3]);
        *p++ = ',';
    }
    switch (operand->kind) {
        case OperandKind::Register: p = appendText(p, REGISTER_NAMES[operand->reg & 3]); break;
        case OperandKind::Direct:
            *p++ = '[';
            p = formatInt(p, operand->value);
            *p++ = ']';
            break;
        case OperandKind::Indirect:
            p = appendText(p, "c(");
            p = appendText(p, REGISTER_NAMES[operand->reg & 3]);
            *p++ = ')';
            break;
        case OperandKind::Indexed:
            *p++ = '[';
            p = formatInt(p, operand->value);
            p = appendText(p, "]+c(");
            p = appendText(p, REGISTER_NAMES[operand->reg & 3]);
            *p++ = ')';
            break;
        case OperandKind::Immediate:
            *p++ = '#';
            p = formatInt(p, static_cast<int16_t>(operand->value & 0xFFFF));
            break;
        default: break;
    }
    if (store) {
        *p++ = ',';
        p = appendText(p, REGISTER_NAMES[operand->mainReg & 3]);
    }
    return p;
}

void traceInstruction(int opcode, const Operand* operand) {
    char* line = reserveOut(128);
    char* p = appendText(line, ". . . . . . . ");
    p = formatIntPadded(p, static_cast<int32_t>(machine.ip), 4);
    p = appendText(p, ":  ");
    const char* mnemonic = MNEMONIC_NAMES[opcode & 15];
    size_t nameLength = std::strlen(mnemonic);
    p = appendText(p, mnemonic);
    for (size_t i = nameLength; i < 4; i++) *p++ = ' ';
    p = appendText(p, "  ");
    char* text = p;
    p = appendMachineColumns(text, appendOperandText(text, opcode, operand));
    *p++ = '\n';
    commitOut(p);
}
