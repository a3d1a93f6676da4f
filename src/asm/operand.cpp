// The operand parser. The kind of an operand follows from its written form and from what the
// symbol table holds for the names in it. Every name looked up here goes through lookUpName,
// so a name seen for the first time is recorded as Undefined even when the operand turns out
// invalid: that is how pass 1 collects forward references.
#include "asm/operand.h"

#include "asm/lexer.h"

namespace tavro {

// Recognises c(REG) at p: 1 with its length and register, 0 (length 0) when p does not begin
// with c( or C(, -1 when it does but the rest is malformed.
// indirect := ('c' | 'C') '(' {blank} REG {blank} ')'
static int parseIndirect(NameScope& scope, const char* p, int32_t* length, int32_t* reg) {
    if ((p[0] != 'c' && p[0] != 'C') || p[1] != '(') {
        *length = 0;
        return 0;
    }
    const char* q = skipBlanks(p + 2);
    int32_t tokenLength = 0;
    if (classifyToken(q, &tokenLength) != TokenClass::Name) return -1;
    int64_t number = 0;
    if (lookUpName(scope, q, tokenLength, &number) != SymbolKind::Register) return -1;
    q = skipBlanks(q + tokenLength);
    if (*q != ')') return -1;
    *length = static_cast<int32_t>(q + 1 - p);
    *reg = static_cast<int32_t>(number);
    return 1;
}

// operand := REG | n | LABEL | #n | c(REG) | n+c(REG) | LABEL+c(REG)     (blanks around '+')
ParsedOperand parseOperand(NameScope& scope, const char* t, int32_t* consumed) {
    ParsedOperand operand{};
    const char* p = skipBlanks(t);
    int32_t length = 0;
    int32_t reg = 0;
    int indirect = parseIndirect(scope, p, &length, &reg);
    if (indirect == 1) {
        operand.kind = OperandKind::Indirect;
        operand.reg = static_cast<uint8_t>(reg);
        *consumed = static_cast<int32_t>(p - t) + length;
        return operand;
    }
    if (indirect == -1) {
        operand.kind = OperandKind::Invalid;
        *consumed = static_cast<int32_t>(p - t);
        return operand;
    }

    TokenClass token = classifyToken(p, &length);
    if (token == TokenClass::EndOfLine) {
        operand.kind = OperandKind::Invalid;
        *consumed = static_cast<int32_t>(p - t);
        return operand;
    }
    if (token == TokenClass::Punct) {
        if (*p++ != '#') {
            operand.kind = OperandKind::Invalid;
            *consumed = static_cast<int32_t>(p - t);
            return operand;
        }
        int32_t constant = convertNumber(p, 8);
        if (constant < 0) {
            operand.kind = OperandKind::Invalid;
        } else {
            operand.kind = OperandKind::Immediate;
            operand.value = constant;
        }
        if (*p == '+' || *p == '-') p++;
        while (*p >= '0' && *p <= '9') p++;
        *consumed = static_cast<int32_t>(p - t);
        return operand;
    }

    operand.kind = OperandKind::Direct;
    if (token == TokenClass::Name) {
        int64_t value = 0;
        switch (lookUpName(scope, p, length, &value)) {
            case SymbolKind::Register:
                operand.kind = OperandKind::Register;
                operand.reg = static_cast<uint8_t>(value);
                break;
            case SymbolKind::Opcode: operand.kind = OperandKind::Invalid; break;
            case SymbolKind::Label:
            case SymbolKind::Directive: operand.value = value; break;
            case SymbolKind::Free:
            case SymbolKind::Undefined: break;  // the address is still open
        }
    } else {
        int32_t number = convertNumber(p, 16);
        if (number < 0) {
            operand.kind = OperandKind::Invalid;
        } else {
            operand.value = number;
        }
    }
    p = skipBlanks(p + length);

    if (operand.kind != OperandKind::Register && *p == '+') {
        p = skipBlanks(p + 1);
        int32_t indexLength = 0;
        if (parseIndirect(scope, p, &indexLength, &reg) == 1 &&
            operand.kind != OperandKind::Invalid) {
            operand.kind = OperandKind::Indexed;
            operand.reg = static_cast<uint8_t>(reg);
        } else {
            operand.kind = OperandKind::Invalid;
        }
        p += indexLength;
    }
    *consumed = static_cast<int32_t>(p - t);
    return operand;
}

}  // namespace tavro
