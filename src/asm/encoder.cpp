// The instruction encoder. The bit layout is drawn in common/format.h. Each statement's checks
// run in a fixed order and the first that fails gives the line's message; nothing is written
// to the output before every check has passed, so pass 1 and pass 2 reach the same verdict.
#include "asm/encoder.h"

#include "asm/lexer.h"
#include "asm/operand.h"
#include "common/format.h"

int encodeOperandForm(uint8_t* output, OperandKind kind, int opcode, int registerField,
                      int secondRegister, int direction, int32_t value) {
    int mode = 0;
    int indirect = 0;
    int length = 2;
    switch (kind) {
        case OperandKind::Register: mode = MODE_REGISTER; break;
        case OperandKind::Indirect: mode = MODE_REGISTER, indirect = 1; break;
        case OperandKind::Direct: mode = MODE_DIRECT, length = 3, secondRegister = 0; break;
        case OperandKind::Indexed: mode = MODE_INDEXED, indirect = 1, length = 3; break;
        default: return -1;
    }
    output[0] = firstByte(opcode, mode, registerField);
    output[1] = static_cast<uint8_t>((indirect ? INDIRECT_BIT : 0) |
                                     (direction ? DIRECTION_BIT : 0) | (secondRegister << 4));
    if (length == 3) {
        output[1] = static_cast<uint8_t>(output[1] | ((value >> 8) & 0x0F));
        output[2] = static_cast<uint8_t>(value & 0xFF);
    }
    return length;
}

static bool isArithmetic(int32_t opcode) { return opcode >= ADD && opcode <= CMP; }
static bool isJump(int32_t opcode) { return opcode >= JMP && opcode <= CALL; }

// statement := END | RTN                            (the rest of the line is ignored)
//            | COPY operand ',' operand             (load or store)
//            | ADD..CMP REG ',' (REG | n | #n)
//            | JMP | JNB | JB | CALL  n
//            | PUSH | POP | IN | OUT  REG
// each followed by blanks and an optional comment.
const char* assembleInstruction(int32_t opcode, const char* text, uint8_t* output,
                                int32_t* length) {
    *length = 0;
    if (opcode == END || opcode == RTN) {
        output[0] = firstByte(opcode, 0, 0);
        *length = 1;
        return nullptr;
    }

    int32_t consumed = 0;
    Operand first = parseOperand(text, &consumed);
    if (first.kind == OperandKind::Invalid) return "Syntax error in 1st operand";
    const char* p = skipBlanks(text + consumed);

    if (isArithmetic(opcode)) {
        if (first.kind != OperandKind::Register) return "1st operand isn't register";
    } else if (isJump(opcode)) {
        if (first.kind != OperandKind::Direct) return "Operand isn't address";
    } else if (opcode != COPY) {
        if (first.kind != OperandKind::Register) return "Operand isn't register";
    }

    Operand second{};
    if (opcode == COPY || isArithmetic(opcode)) {
        if (*p != ',') return "',' is expected";
        p = skipBlanks(p + 1);
        second = parseOperand(p, &consumed);
        if (second.kind == OperandKind::Invalid) return "Syntax error in 2nd operand";
        p += consumed;
    }

    int32_t tokenLength = 0;
    if (classifyToken(skipBlanks(p), &tokenLength) != TokenClass::EndOfLine) {
        return "Unexpected token";
    }

    uint8_t bytes[3];
    int32_t n = 0;
    if (opcode == COPY && first.kind == OperandKind::Register) {
        if (second.kind == OperandKind::Immediate) {
            bytes[0] = firstByte(COPY, MODE_IMMEDIATE, first.reg);
            bytes[1] = static_cast<uint8_t>(second.value & 0xFF);
            n = 2;
        } else {
            n = encodeOperandForm(bytes, second.kind, COPY, first.reg, second.reg, 0, second.value);
            if (n < 0) return "2nd operand is illegal";
        }
    } else if (opcode == COPY) {
        if (second.kind != OperandKind::Register) return "2nd operand isn't register";
        if (first.kind != OperandKind::Direct && first.kind != OperandKind::Indirect &&
            first.kind != OperandKind::Indexed) {
            return "Unexpected token";
        }
        n = encodeOperandForm(bytes, first.kind, COPY, second.reg, first.reg, 1, first.value);
        if (n < 0) return "1st operand is illegal";
    } else if (isArithmetic(opcode)) {
        if (second.kind == OperandKind::Immediate) {
            bytes[0] = firstByte(opcode, MODE_IMMEDIATE, first.reg);
            bytes[1] = static_cast<uint8_t>(second.value & 0xFF);
            n = 2;
        } else if (second.kind == OperandKind::Indirect || second.kind == OperandKind::Indexed) {
            return "Unexpected token";
        } else {
            n = encodeOperandForm(bytes, second.kind, opcode, first.reg, second.reg, 0,
                                  second.value);
            if (n < 0) return "2nd operand is illegal";
        }
    } else if (isJump(opcode)) {
        bytes[0] = static_cast<uint8_t>((opcode << 4) | ((first.value >> 8) & 0x0F));
        bytes[1] = static_cast<uint8_t>(first.value & 0xFF);
        n = 2;
    } else if (opcode >= PUSH && opcode <= OUT) {
        bytes[0] = firstByte(opcode, 0, first.reg & 3);
        n = 1;
    } else {
        return "System Error: Code generation";
    }

    for (int32_t i = 0; i < n; i++) output[i] = bytes[i];
    *length = n;
    return nullptr;
}
