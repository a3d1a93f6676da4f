#include <gtest/gtest.h>

#include "asm/operand.h"
#include "asm/passes.h"
#include "asm/symbols.h"

class OperandParser : public testing::Test {
protected:
    void SetUp() override {
        initSymbols();
        resetAssembler();
        assembler.lineIndex = 6;
        defineLabel("TABLE", 20);
    }
};

struct OperandCase {
    const char* text;
    OperandKind kind;
    int reg;
    int32_t value;
    int32_t consumed;  // -1: not checked (meaningless for Invalid)
};

TEST_F(OperandParser, RecognisesEveryForm) {
    const OperandCase cases[] = {
        {"  AX", OperandKind::Register, 0, 0, 4},
        {"ax", OperandKind::Register, 0, 0, 2},
        {"Dx ;c", OperandKind::Register, 3, 0, 3},
        {"AX + c(BX)", OperandKind::Register, 0, 0, 3},
        {"c(BX)", OperandKind::Indirect, 1, 0, 5},
        {"C( bx )", OperandKind::Indirect, 1, 0, 7},
        {" c(CX),AX", OperandKind::Indirect, 2, 0, 6},
        {"c (BX)", OperandKind::Direct, 0, 0, 2},  // a label named C
        {"10+c(CX)", OperandKind::Indexed, 2, 10, 8},
        {"10 + c( CX )", OperandKind::Indexed, 2, 10, 12},
        {"-2+c(DX)", OperandKind::Indexed, 3, 65534, 8},
        {"TABLE+c(AX)", OperandKind::Indexed, 0, 20, 11},
        {"table", OperandKind::Direct, 0, 20, 5},
        {"RANDOM", OperandKind::Direct, 0, 4094, 6},
        {"RES", OperandKind::Direct, 0, 0, 3},
        {"100 ", OperandKind::Direct, 0, 100, 4},
        {"-1", OperandKind::Direct, 0, 65535, 2},
        {"-32768", OperandKind::Direct, 0, 32768, 6},
        {"+", OperandKind::Direct, 0, 0, 1},
        {"#127", OperandKind::Immediate, 0, 127, 4},
        {"#-128", OperandKind::Immediate, 0, 128, 5},
        {"#-1", OperandKind::Immediate, 0, 255, 3},
        {"#+5", OperandKind::Immediate, 0, 5, 3},
        {"#", OperandKind::Immediate, 0, 0, 1},
        {"# 5", OperandKind::Immediate, 0, 5, 1},
        {"#5X", OperandKind::Immediate, 0, 5, 2},
        {"#-", OperandKind::Immediate, 0, 0, 2},
        {"#128", OperandKind::Invalid, 0, 0, -1},
        {"#99999999999", OperandKind::Invalid, 0, 0, -1},
        {"32768", OperandKind::Invalid, 0, 0, -1},
        {"4294967296", OperandKind::Invalid, 0, 0, -1},
        {"40000+c(BX)", OperandKind::Invalid, 0, 0, -1},
        {"ADD", OperandKind::Invalid, 0, 0, -1},
        {"ADD+c(BX)", OperandKind::Invalid, 0, 0, -1},
        {"c()", OperandKind::Invalid, 0, 0, -1},
        {"c(AX", OperandKind::Invalid, 0, 0, -1},
        {"c(AX]", OperandKind::Invalid, 0, 0, -1},
        {"c(5)", OperandKind::Invalid, 0, 0, -1},
        {"c(RANDOM)", OperandKind::Invalid, 0, 0, -1},
        {"c(ADD)", OperandKind::Invalid, 0, 0, -1},
        {"5+AX", OperandKind::Invalid, 0, 0, -1},
        {"5+", OperandKind::Invalid, 0, 0, -1},
        {",AX", OperandKind::Invalid, 0, 0, -1},
        {"(AX)", OperandKind::Invalid, 0, 0, -1},
        {"", OperandKind::Invalid, 0, 0, -1},
        {"   ; nothing", OperandKind::Invalid, 0, 0, -1},
    };
    for (const OperandCase& c : cases) {
        int32_t consumed = -1;
        Operand operand = parseOperand(c.text, &consumed);
        EXPECT_EQ(operand.kind, c.kind) << '"' << c.text << '"';
        if (c.kind == OperandKind::Invalid) continue;
        EXPECT_EQ(operand.reg, c.reg) << c.text;
        EXPECT_EQ(operand.value, c.value) << c.text;
        EXPECT_EQ(operand.mainReg, 0) << c.text;
        EXPECT_EQ(operand.modeBits, 0) << c.text;
        EXPECT_EQ(consumed, c.consumed) << '"' << c.text << '"';
    }
}

TEST_F(OperandParser, RecordsNewNamesAsUndefinedEvenInInvalidOperands) {
    int32_t consumed = 0;
    EXPECT_EQ(parseOperand("c(LOOP)", &consumed).kind, OperandKind::Invalid);
    int slot = findSlot("LOOP");
    EXPECT_EQ(symbolTable.slots[slot].kind, SymbolKind::Undefined);
    EXPECT_EQ(symbolTable.slots[slot].value, 6);

    Operand forward = parseOperand("LATER+c(AX)", &consumed);
    EXPECT_EQ(forward.kind, OperandKind::Indexed);
    EXPECT_EQ(forward.value, 0);  // the address is still open in pass 1
    EXPECT_EQ(symbolTable.slots[findSlot("LATER")].kind, SymbolKind::Undefined);
}

struct IndirectCase {
    const char* text;
    int result;
    int32_t length;
    int32_t reg;
};

TEST_F(OperandParser, ParseIndirectReportsFormAndLength) {
    const IndirectCase cases[] = {
        {"c(AX)", 1, 5, 0}, {"C(\tdx\t)", 1, 7, 3}, {"x(AX)", 0, 0, 99},
        {"c AX", 0, 0, 99}, {"c(", -1, 99, 99},     {"c(TABLE)", -1, 99, 99},
    };
    for (const IndirectCase& c : cases) {
        int32_t length = 99, reg = 99;
        EXPECT_EQ(parseIndirect(c.text, &length, &reg), c.result) << c.text;
        EXPECT_EQ(length, c.length) << c.text;
        EXPECT_EQ(reg, c.reg) << c.text;
    }
}
