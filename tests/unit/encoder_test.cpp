#include <gtest/gtest.h>

#include <vector>

#include "asm/encoder.h"
#include "asm/lexer.h"
#include "asm/passes.h"
#include "asm/symbols.h"

class Encoder : public testing::Test {
protected:
    void SetUp() override {
        initSymbols();
        resetAssembler();
        defineLabel("LOOP", 291);
    }

    // Assembles "MNEMONIC rest" the way a pass hands it over.
    static const char* assemble(const char* statement, std::vector<uint8_t>* bytes) {
        int32_t length = 0;
        classifyToken(statement, &length);
        char name[8];
        copyName(name, statement, length);
        int32_t opcode = -1;
        referenceSymbol(name, 0, &opcode);
        uint8_t output[3] = {0xEE, 0xEE, 0xEE};
        int32_t size = -1;
        const char* message =
            assembleInstruction(opcode, skipBlanks(statement + length), output, &size);
        bytes->assign(output, output + (size > 0 ? size : 0));
        if (message != nullptr) {
            EXPECT_EQ(size, 0) << statement;
            EXPECT_EQ(output[0], 0xEE) << "wrote before failing: " << statement;
        }
        return message;
    }
};

struct EncodingCase {
    const char* statement;
    std::vector<uint8_t> bytes;
};

TEST_F(Encoder, EncodesEveryShape) {
    const EncodingCase cases[] = {
        {"END", {0x00}},
        {"RTN", {0xB0}},
        {"COPY AX, BX", {0x14, 0x10}},
        {"COPY AX, c(BX)", {0x14, 0x90}},
        {"COPY c(BX), AX", {0x14, 0xD0}},
        {"COPY AX, 100", {0x18, 0x00, 0x64}},
        {"COPY 100, AX", {0x18, 0x40, 0x64}},
        {"COPY CX, 10+c(DX)", {0x1E, 0xB0, 0x0A}},
        {"COPY 10+c(CX), DX", {0x1F, 0xE0, 0x0A}},
        {"COPY AX, #-1", {0x10, 0xFF}},
        {"COPY DX, #127", {0x13, 0x7F}},
        {"ADD AX, #5", {0x20, 0x05}},
        {"SUB BX, CX", {0x35, 0x20}},
        {"MUL CX, 4000", {0x4A, 0x0F, 0xA0}},
        {"CMP DX, -2", {0x6B, 0x0F, 0xFE}},
        {"DIV AX, 5000", {0x58, 0x03, 0x88}},
        {"JMP LOOP", {0x71, 0x23}},
        {"JNB 0", {0x80, 0x00}},
        {"JB 4095", {0x9F, 0xFF}},
        {"CALL 5000", {0xA3, 0x88}},
        {"JMP -1", {0x7F, 0xFF}},
        {"PUSH DX", {0xC3}},
        {"POP AX", {0xD0}},
        {"IN BX", {0xE1}},
        {"OUT CX", {0xF2}},
        {"END 5", {0x00}},
        {"RTN AX", {0xB0}},
        {"END ,,, anything", {0x00}},
        {"JMP 10 ; back", {0x70, 0x0A}},
        {"COPY AX, 4096", {0x18, 0x00, 0x00}},
        {"COPY AX, RANDOM", {0x18, 0x0F, 0xFE}},
        {"COPY LOOP+c(BX), CX", {0x1E, 0xD1, 0x23}},
        {"COPY -1+c(AX), AX", {0x1C, 0xCF, 0xFF}},
        {"cmp ax , #-3", {0x60, 0xFD}},
        {"CMP AX,RES", {0x68, 0x00, 0x00}},
    };
    for (const EncodingCase& c : cases) {
        std::vector<uint8_t> bytes;
        EXPECT_EQ(assemble(c.statement, &bytes), nullptr) << c.statement;
        EXPECT_EQ(bytes, c.bytes) << c.statement;
    }
}

struct MessageCase {
    const char* statement;
    const char* message;
};

TEST_F(Encoder, ReportsTheFirstFailingCheck) {
    const MessageCase cases[] = {
        {"ADD", "Syntax error in 1st operand"},
        {"JMP", "Syntax error in 1st operand"},
        {"COPY ,AX", "Syntax error in 1st operand"},
        {"ADD 5, AX", "1st operand isn't register"},
        {"CMP c(AX), AX", "1st operand isn't register"},
        {"JMP AX", "Operand isn't address"},
        {"JMP #3", "Operand isn't address"},
        {"CALL c(BX)", "Operand isn't address"},
        {"JB 1+c(BX)", "Operand isn't address"},
        {"PUSH 5", "Operand isn't register"},
        {"OUT c(AX)", "Operand isn't register"},
        {"COPY AX BX", "',' is expected"},
        {"ADD AX", "',' is expected"},
        {"COPY AX,", "Syntax error in 2nd operand"},
        {"COPY AX, #128", "Syntax error in 2nd operand"},
        {"COPY AX, ADD", "Syntax error in 2nd operand"},
        {"PUSH AX, BX", "Unexpected token"},
        {"COPY AX, # 5", "Unexpected token"},
        {"ADD AX, c(BX)", "Unexpected token"},
        {"ADD AX, 4+c(BX)", "Unexpected token"},
        {"COPY #1, AX", "Unexpected token"},
        {"JMP 10 20", "Unexpected token"},
        {"COPY AX, BX CX", "Unexpected token"},
        {"COPY #1, #2", "2nd operand isn't register"},
        {"COPY 5, 6", "2nd operand isn't register"},
        {"COPY c(AX), 5", "2nd operand isn't register"},
    };
    for (const MessageCase& c : cases) {
        std::vector<uint8_t> bytes;
        const char* message = assemble(c.statement, &bytes);
        ASSERT_NE(message, nullptr) << c.statement;
        EXPECT_STREQ(message, c.message) << c.statement;
    }
}

TEST_F(Encoder, GuardsAgainstInternalInconsistency) {
    uint8_t output[3] = {0xEE, 0xEE, 0xEE};
    int32_t length = -1;
    EXPECT_STREQ(assembleInstruction(16, "AX", output, &length), "System Error: Code generation");
    EXPECT_STREQ(assembleInstruction(-1, "5", output, &length), "Operand isn't register");
    EXPECT_EQ(length, 0);
    EXPECT_EQ(encodeOperandForm(output, OperandKind::Immediate, 1, 0, 0, 0, 5), -1);
    EXPECT_EQ(encodeOperandForm(output, OperandKind::None, 1, 0, 0, 0, 5), -1);
    EXPECT_EQ(output[0], 0xEE);
    EXPECT_EQ(encodeOperandForm(output, OperandKind::Direct, 2, 1, 3, 0, 0x1ABC), 3);
    EXPECT_EQ(output[0], 0x29);
    EXPECT_EQ(output[1], 0x0A);  // no second register for Direct; the address taken mod 4096
    EXPECT_EQ(output[2], 0xBC);
}
