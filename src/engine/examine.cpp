// Source and stack inspection for the front-ends that show a program while it runs. The
// machine keeps no record of calls: a frame is inferred from a stack word that holds the
// address right after one of the program's CALL instructions, which is exact for programs that
// use the stack as CALL and RTN do. An instruction's fields are told as the machine decodes them.
#include "common/format.h"
#include "engine/machine_record.h"
#include "sim/machine.h"

namespace tavro {

static bool isNameStart(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
static bool isNameChar(char c) { return isNameStart(c) || (c >= '0' && c <= '9'); }

// line := [LABEL] {blank} [statement] {blank} [';' comment]: the statement's first byte.
static const char* statementStart(const char* p) {
    if (!isBlank(*p)) {
        while (isNameChar(*p)) p++;
    }
    return skipBlanks(p);
}

LineKind lineKind(const Program& program, int32_t line) {
    if (line < 1 || line > static_cast<int32_t>(program.lines.size())) return LineKind::Nothing;
    if (program.lines[line - 1].size <= 0) return LineKind::Nothing;
    const char* p = statementStart(lineText(program, line).data());
    if (!isNameStart(*p)) return LineKind::Data;  // a number
    char name[MAX_NAME_LENGTH + 1] = {};
    int n = 0;
    for (; isNameChar(p[n]); n++) {
        if (n < MAX_NAME_LENGTH) name[n] = (p[n] >= 'a' && p[n] <= 'z') ? p[n] - 32 : p[n];
    }
    if (n > MAX_NAME_LENGTH) n = MAX_NAME_LENGTH;
    name[n] = '\0';
    for (const char* mnemonic : MNEMONIC_NAMES) {
        if (std::string_view(mnemonic) == name) return LineKind::Instruction;
    }
    return LineKind::Data;  // RES or a label's address
}

std::string statementText(const Program& program, int32_t line) {
    std::string_view text = lineText(program, line);
    if (text.empty()) return {};
    const char* start = statementStart(text.data());
    const char* end = start;
    while (*end != '\0' && *end != ';') end++;
    while (end > start && isBlank(end[-1])) end--;
    return std::string(start, end);
}

// The parts as splitLine cuts them (the editor's formatting cuts lines the same way).
LineSpans lineSpans(const Program& program, int32_t line) {
    LineSpans spans;
    std::string_view text = lineText(program, line);
    if (text.empty()) return spans;
    spans.kind = lineKind(program, line);
    LineParts parts = splitLine(text);
    auto span = [](size_t column, std::string_view part) {
        return Span{static_cast<int32_t>(column), static_cast<int32_t>(column + part.size())};
    };
    spans.label = span(0, parts.label);
    spans.mnemonic = span(parts.statementColumn, parts.statement);
    spans.operands = span(parts.operandsColumn, parts.operands);
    spans.comment = span(parts.commentColumn, parts.comment);
    return spans;
}

int32_t lineOfAddress(const Program& program, uint32_t address) {
    int32_t line = address < MEMORY_SIZE ? program.addressLine[address] : 0;
    return line > 0 ? line : static_cast<int32_t>(program.source.lineStarts.size());
}

const Symbol* labelAt(const Program& program, int64_t address) {
    for (const Symbol& symbol : program.symbols) {
        if (symbol.defined && symbol.line > 0 && symbol.value == address) return &symbol;
    }
    return nullptr;
}

std::vector<uint16_t> instructionForms(const Program& program) {
    std::vector<uint16_t> forms;
    for (size_t i = 0; i < program.lines.size(); i++) {
        int64_t address = program.lines[i].address;
        if (address < 0 || address + 1 >= MEMORY_SIZE) continue;
        if (lineKind(program, static_cast<int32_t>(i + 1)) != LineKind::Instruction) continue;
        const uint8_t* p = &program.image[static_cast<size_t>(address)];
        int opcode = opcodeField(p[0]);
        int form = 0;
        if (OPERAND_SHAPES[opcode] == OperandShape::TWO) {
            // |opcd|mode| r  | |i |d | ...: mode and the indirect bit give the kind.
            int mode = modeField(p[0]), nibble = highNibble(p[1]);
            OperandKind kind = mode == MODE_IMMEDIATE ? OperandKind::Immediate
                               : mode == MODE_DIRECT  ? OperandKind::Direct
                               : mode == MODE_INDEXED ? OperandKind::Indexed
                               : nibbleIndirect(nibble) ? OperandKind::Indirect
                                                        : OperandKind::Register;
            bool store = mode != MODE_IMMEDIATE && nibbleDirection(nibble);
            form = static_cast<int>(kind) * 2 + (store ? 1 : 0);
        }
        forms.push_back(static_cast<uint16_t>(opcode * 16 + form));
    }
    return forms;
}

std::vector<int32_t> stackSlots(const Machine& machine) {
    std::vector<int32_t> slots;
    int32_t start = popSlot(machine.state.regs[DX]);
    if (start < 0) return slots;
    for (int32_t slot = start; slot < RANDOM_ADDRESS; slot += 2) slots.push_back(slot);
    return slots;
}

std::vector<CallFrame> callFrames(const Program& program, const Machine& machine) {
    std::vector<CallFrame> frames;
    const auto& memory = machine.state.memory;
    for (int32_t slot : stackSlots(machine)) {
        if (slot <= machine.state.codeSize) continue;  // not a slot PUSH or CALL could write
        int32_t back = static_cast<uint16_t>(wordAt(machine, static_cast<uint32_t>(slot)));
        int32_t call = back - 2;
        if (call < 0 || call + 1 >= machine.state.codeSize) continue;
        if (opcodeField(memory[call]) != CALL) continue;
        int32_t line = program.addressLine[call];
        if (line == 0 || program.lines[line - 1].address != call ||
            lineKind(program, line) != LineKind::Instruction) {
            continue;
        }
        int32_t target = addressField(memory[call], memory[call + 1]);
        const Symbol* label = labelAt(program, target);
        std::string callee = label != nullptr ? label->name : "routine at " + std::to_string(target);
        frames.push_back({slot, static_cast<uint32_t>(call), callee});
    }
    return frames;
}

std::string instructionFields(const uint8_t* code) {
    int opcode = opcodeField(code[0]);
    std::string text = "opcode " + std::to_string(opcode) + " (" + MNEMONIC_NAMES[opcode] + ")";
    switch (OPERAND_SHAPES[opcode]) {
        case OperandShape::NONE: break;
        case OperandShape::REGISTER:
            text += ", register " + std::to_string(registerField(code[0])) + " (" +
                    REGISTER_NAMES[registerField(code[0])] + ")";
            break;
        case OperandShape::ADDRESS:
            text += ", address " + std::to_string(addressField(code[0], code[1]));
            break;
        case OperandShape::TWO: {
            int32_t length = 0;
            DecodedOperand operand = decodeOperand(code, &length);
            text += ", mode " + std::to_string(modeField(code[0])) + ", register " +
                    std::to_string(operand.mainReg) + " (" + REGISTER_NAMES[operand.mainReg] + ")";
            if (modeField(code[0]) == MODE_IMMEDIATE) {
                text += ", constant " + std::to_string(operand.value);
                break;
            }
            bool indirect = (code[1] & INDIRECT_BIT) != 0;
            text += std::string(", indirect ") + (indirect ? "1" : "0") + ", direction " +
                    (operand.store ? "1" : "0") + ", second register " +
                    std::to_string(operand.reg);
            if (length == 3) text += ", address " + std::to_string(operand.value);
            break;
        }
    }
    return text;
}

}  // namespace tavro
