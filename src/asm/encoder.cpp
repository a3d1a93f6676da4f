// The instruction encoder. The bit layout is drawn in common/format.h, whose writers build every
// byte here. Each statement's checks run in a fixed order and the first that fails gives the
// line's message; the bytes are produced only when every check has passed, so pass 1 and pass
// 2 reach the same verdict.
#include "asm/encoder.h"

#include "asm/lexer.h"
#include "asm/operand.h"
#include "common/format.h"

namespace tavro {

static Encoding failure(const char* message, const char* where) {
    return Encoding{{0, 0, 0}, 0, message, where};
}

// The register/memory form of a Register, Direct, Indirect or Indexed operand, with register r
// in the first byte and the direction bit for a store; length 0 for any other kind.
static Encoding memoryForm(int opcode, int r, const ParsedOperand& operand, bool store) {
    Encoding e{{0, 0, 0}, 0, nullptr, nullptr};
    int32_t value = static_cast<int32_t>(operand.value & 0xFFFF);
    switch (operand.kind) {
        case OperandKind::Register:
            e.bytes[0] = firstByte(opcode, MODE_REGISTER, r);
            e.bytes[1] = secondByte(false, store, operand.reg);
            e.length = 2;
            break;
        case OperandKind::Indirect:
            e.bytes[0] = firstByte(opcode, MODE_REGISTER, r);
            e.bytes[1] = secondByte(true, store, operand.reg);
            e.length = 2;
            break;
        case OperandKind::Direct:
            e.bytes[0] = firstByte(opcode, MODE_DIRECT, r);
            e.bytes[1] = secondByte(false, store, 0, value);
            e.bytes[2] = lowByte(value);
            e.length = 3;
            break;
        case OperandKind::Indexed:
            e.bytes[0] = firstByte(opcode, MODE_INDEXED, r);
            e.bytes[1] = secondByte(true, store, operand.reg, value);
            e.bytes[2] = lowByte(value);
            e.length = 3;
            break;
        default: break;
    }
    return e;
}

// A register and a #n constant: mode 0.
static Encoding immediateForm(int opcode, int r, const ParsedOperand& constant) {
    return Encoding{{firstByte(opcode, MODE_IMMEDIATE, r), lowByte(static_cast<int32_t>(constant.value)), 0},
                    2, nullptr, nullptr};
}

// statement := END | RTN                            (the rest of the line is ignored)
//            | COPY operand ',' operand             (load or store)
//            | ADD..CMP REG ',' (REG | n | #n)
//            | JMP | JNB | JB | CALL  n
//            | PUSH | POP | IN | OUT  REG
// each followed by blanks and an optional comment.
Encoding assembleInstruction(NameScope& scope, int opcode, const char* text) {
    if (opcode == END || opcode == RTN) {
        return Encoding{{firstByte(opcode, 0, 0), 0, 0}, 1, nullptr, nullptr};
    }

    int32_t consumed = 0;
    const char* firstAt = skipBlanks(text);
    ParsedOperand first = parseOperand(scope, text, &consumed);
    if (first.kind == OperandKind::Invalid) return failure("Syntax error in 1st operand", firstAt);
    const char* p = skipBlanks(text + consumed);

    if (isArithmetic(opcode)) {
        if (first.kind != OperandKind::Register) return failure("1st operand isn't register", firstAt);
    } else if (isJump(opcode)) {
        if (first.kind != OperandKind::Direct) return failure("Operand isn't address", firstAt);
    } else if (opcode != COPY) {
        if (first.kind != OperandKind::Register) return failure("Operand isn't register", firstAt);
    }

    ParsedOperand second{};
    const char* secondAt = p;
    if (opcode == COPY || isArithmetic(opcode)) {
        if (*p != ',') return failure("',' is expected", p);
        secondAt = skipBlanks(p + 1);
        second = parseOperand(scope, secondAt, &consumed);
        if (second.kind == OperandKind::Invalid) {
            return failure("Syntax error in 2nd operand", secondAt);
        }
        p = secondAt + consumed;
    }

    int32_t tokenLength = 0;
    const char* rest = skipBlanks(p);
    if (classifyToken(rest, &tokenLength) != TokenClass::EndOfLine) {
        return failure("Unexpected token", rest);
    }

    Encoding e{{0, 0, 0}, 0, nullptr, nullptr};
    if (opcode == COPY && first.kind == OperandKind::Register) {
        if (second.kind == OperandKind::Immediate) return immediateForm(COPY, first.reg, second);
        e = memoryForm(COPY, first.reg, second, false);
        if (e.length == 0) return failure("2nd operand is illegal", secondAt);
    } else if (opcode == COPY) {
        if (second.kind != OperandKind::Register) {
            return failure("2nd operand isn't register", secondAt);
        }
        if (first.kind != OperandKind::Direct && first.kind != OperandKind::Indirect &&
            first.kind != OperandKind::Indexed) {
            return failure("Unexpected token", firstAt);
        }
        e = memoryForm(COPY, second.reg, first, true);
    } else if (isArithmetic(opcode)) {
        if (second.kind == OperandKind::Immediate) return immediateForm(opcode, first.reg, second);
        if (second.kind == OperandKind::Indirect || second.kind == OperandKind::Indexed) {
            return failure("Unexpected token", secondAt);
        }
        e = memoryForm(opcode, first.reg, second, false);
        if (e.length == 0) return failure("2nd operand is illegal", secondAt);
    } else if (isJump(opcode)) {
        int32_t target = static_cast<int32_t>(first.value & 0xFFFF);
        e = Encoding{{jumpFirstByte(opcode, target), lowByte(target), 0}, 2, nullptr, nullptr};
    } else {
        e = Encoding{{firstByte(opcode, 0, first.reg & 3), 0, 0}, 1, nullptr, nullptr};
    }
    return e;
}

}  // namespace tavro
