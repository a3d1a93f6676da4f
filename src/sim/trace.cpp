// The trace line, printed before an instruction acts, so its registers are the values before:
// ". . . . . . . ", ip in 4 columns, ":  ", the mnemonic in 4, "  ", the operand text padded to
// 18, then AX BX CX DX in 4 columns each and the flag (" B" or "NB") after three blanks.
// Register values wider than 4 characters widen their column and shift the rest.
#include "sim/trace.h"

#include <cstring>

#include "common/decimal.h"
#include "common/format.h"

namespace tavro {

constexpr int TRACE_OPERAND_WIDTH = 18;  // the operand text is padded to this width

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

// Pads the operand text from text to end and appends the register and flag columns and the
// line end; returns the end of the line.
static char* appendMachineColumns(const MachineState& m, char* text, char* end) {
    // Blank-fill to the operand width, or append one blank after a text as long or longer.
    std::memset(end, ' ', TRACE_OPERAND_WIDTH);
    char* p = end - text < TRACE_OPERAND_WIDTH ? text + TRACE_OPERAND_WIDTH : end + 1;
    p = formatColumn4(p, m.regs[AX]);
    *p++ = ' ';
    p = formatColumn4(p, m.regs[BX]);
    *p++ = ' ';
    p = formatColumn4(p, m.regs[CX]);
    *p++ = ' ';
    p = formatColumn4(p, m.regs[DX]);
    // The flag column; the line end and two spare bytes ride along in the same copy.
    std::memcpy(p, m.belowFlag ? "    B\n\n" : "   NB\n\n", 8);
    return p + 6;
}

// operand text := ""                          END, RTN
//               | REG                          PUSH, POP, IN, OUT
//               | [DEST ','] SOURCE [',' REG]  the rest; a COPY store puts its register last
// operand is the decoded operand of COPY..CMP, unused for the other shapes.
static char* appendOperandText(char* p, int opcode, const uint8_t* code,
                               const DecodedOperand& operand) {
    switch (OPERAND_SHAPES[opcode]) {
        case OperandShape::NONE: return p;
        case OperandShape::REGISTER: return appendRegister(p, registerField(code[0]));
        case OperandShape::ADDRESS:
            *p++ = '[';
            p = formatWord(p, addressField(code[0], code[1]));
            *p++ = ']';
            return p;
        case OperandShape::TWO: break;
    }
    bool store = opcode == COPY && operand.store;
    if (!store) {
        p = appendRegister(p, operand.mainReg);
        *p++ = ',';
    }
    switch (operand.kind) {
        case OperandKind::Register: p = appendRegister(p, operand.reg); break;
        case OperandKind::Direct:
            *p++ = '[';
            p = formatWord(p, operand.value);
            *p++ = ']';
            break;
        case OperandKind::Indirect:
            p = appendText(p, "c(");
            p = appendRegister(p, operand.reg);
            *p++ = ')';
            break;
        case OperandKind::Indexed:
            *p++ = '[';
            p = formatWord(p, operand.value);
            p = appendText(p, "]+c(");
            p = appendRegister(p, operand.reg);
            *p++ = ')';
            break;
        default:  // Immediate
            *p++ = '#';
            p = formatWord(p, operand.value);
            break;
    }
    if (store) {
        *p++ = ',';
        p = appendRegister(p, operand.mainReg);
    }
    return p;
}

// ":  " and each mnemonic left-aligned in four columns, then two blanks (9 characters).
struct MnemonicFields {
    char field[OPCODE_COUNT][16];
};
static constexpr MnemonicFields makeMnemonicFields() {
    MnemonicFields fields{};
    for (int op = 0; op < OPCODE_COUNT; op++) {
        char* f = fields.field[op];
        f[0] = ':';
        for (int i = 1; i < 9; i++) f[i] = ' ';
        for (int i = 0; MNEMONIC_NAMES[op][i] != '\0'; i++) f[3 + i] = MNEMONIC_NAMES[op][i];
    }
    return fields;
}
alignas(16) static constexpr MnemonicFields MNEMONIC_FIELDS = makeMnemonicFields();

// The line for the instruction at ip, whose operand (for COPY..CMP) is decoded already.
static char* formatDecoded(const MachineState& m, char* line, const DecodedOperand& operand) {
    const uint8_t* code = m.memory.data() + m.ip;
    int opcode = opcodeField(code[0]);
    std::memcpy(line, ". . . . . . . ", 14);
    char* p = formatColumn4(line + 14, static_cast<int32_t>(m.ip));
    std::memcpy(p, MNEMONIC_FIELDS.field[opcode], 16);
    char* text = p + 9;
    return appendMachineColumns(m, text, appendOperandText(text, opcode, code, operand));
}

char* formatTraceLine(const MachineState& m, char* line) {
    if (m.ip >= static_cast<uint32_t>(m.codeSize)) return line;
    const uint8_t* code = m.memory.data() + m.ip;
    DecodedOperand operand{};
    int32_t length = 0;
    if (OPERAND_SHAPES[opcodeField(code[0])] == OperandShape::TWO) {
        operand = decodeOperand(code, &length);
    }
    return formatDecoded(m, line, operand);
}

void traceInstruction(const MachineState& state, OutputSink& out, const DecodedOperand& operand) {
    char* line = reserveOut(out, TRACE_LINE_MAX);
    commitOut(out, formatDecoded(state, line, operand));
}

}  // namespace tavro
