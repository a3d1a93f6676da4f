#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "capture.h"
#include "sim/machine.h"
#include "sim/trace.h"

struct TraceCase {
    int opcode;
    bool hasOperand;
    Operand operand;
    std::vector<int16_t> regs;
    int32_t flag;
    uint32_t ip;
    const char* line;
};

constexpr Operand op(OperandKind kind, int reg, int mainReg, int modeBits, int32_t value) {
    return Operand{kind, static_cast<uint8_t>(reg), static_cast<uint8_t>(mainReg),
                   static_cast<uint8_t>(modeBits), value};
}

TEST(Trace, FormatsEachInstructionShape) {
    const OperandKind D = OperandKind::Direct, R = OperandKind::Register;
    const OperandKind I = OperandKind::Indirect, X = OperandKind::Indexed;
    const OperandKind K = OperandKind::Immediate;
    const std::vector<int16_t> start = {0, 0, 0, 4094};
    const TraceCase cases[] = {
        {COPY, true, op(K, 0, 0, 0, 5), start, 0, 0,
         ". . . . . . .    0:  COPY  AX,#5                0    0    0 4094   NB"},
        {COPY, true, op(K, 3, 0, 0, -1), start, 0, 12,
         ". . . . . . .   12:  COPY  AX,#-1               0    0    0 4094   NB"},
        {COPY, true, op(D, 0, 1, 8, 100), start, 1, 123,
         ". . . . . . .  123:  COPY  BX,[100]             0    0    0 4094    B"},
        {COPY, true, op(I, 2, 0, 6, 0), start, 0, 4092,
         ". . . . . . . 4092:  COPY  AX,c(CX)             0    0    0 4094   NB"},
        {COPY, true, op(X, 2, 0, 0xE, 10), start, 0, 7,
         ". . . . . . .    7:  COPY  AX,[10]+c(CX)        0    0    0 4094   NB"},
        {COPY, true, op(D, 0, 0, 9, 100), start, 0, 7,
         ". . . . . . .    7:  COPY  [100],AX             0    0    0 4094   NB"},
        {COPY, true, op(I, 1, 0, 7, 0), start, 0, 7,
         ". . . . . . .    7:  COPY  c(BX),AX             0    0    0 4094   NB"},
        {COPY, true, op(X, 3, 2, 0xF, 4095), start, 0, 7,
         ". . . . . . .    7:  COPY  [4095]+c(DX),CX      0    0    0 4094   NB"},
        {COPY, true, op(R, 1, 2, 5, 0), start, 0, 7,
         ". . . . . . .    7:  COPY  BX,CX                0    0    0 4094   NB"},
        {ADD, true, op(R, 1, 0, 4, 0), start, 0, 7,
         ". . . . . . .    7:  ADD   AX,BX                0    0    0 4094   NB"},
        {CMP, true, op(K, 0, 3, 0, -128), start, 0, 7,
         ". . . . . . .    7:  CMP   DX,#-128             0    0    0 4094   NB"},
        {JMP, true, op(D, 0, 0, 0, 12), start, 0, 7,
         ". . . . . . .    7:  JMP   [12]                 0    0    0 4094   NB"},
        {CALL, true, op(D, 0, 0, 0, 4095), start, 0, 7,
         ". . . . . . .    7:  CALL  [4095]               0    0    0 4094   NB"},
        {PUSH, true, op(OperandKind::None, 0, 1, 0, 0), start, 0, 7,
         ". . . . . . .    7:  PUSH  BX                   0    0    0 4094   NB"},
        {OUT, true, op(OperandKind::None, 0, 3, 0, 0), start, 0, 7,
         ". . . . . . .    7:  OUT   DX                   0    0    0 4094   NB"},
        {END,
         false,
         {},
         start,
         0,
         0,
         ". . . . . . .    0:  END                        0    0    0 4094   NB"},
        {RTN,
         false,
         {},
         {-1, 9999, -999, 12},
         1,
         7,
         ". . . . . . .    7:  RTN                       -1 9999 -999   12    B"},
        {SUB,
         true,
         op(R, 1, 0, 4, 0),
         {-32768, 10000, 32767, -1000},
         0,
         7,
         ". . . . . . .    7:  SUB   AX,BX             -32768 10000 32767 -1000   NB"},
    };
    for (const TraceCase& c : cases) {
        std::vector<uint8_t> memory(MEMORY_SIZE, 0);
        resetMachine(memory.data(), 100);
        for (int r = 0; r < 4; r++) machine.regs[r] = c.regs[static_cast<size_t>(r)];
        machine.belowFlag = c.flag;
        machine.ip = c.ip;
        StreamCapture capture;
        traceInstruction(c.opcode, c.hasOperand ? &c.operand : nullptr);
        CapturedOutput output = capture.finish();
        EXPECT_EQ(output.out, std::string(c.line) + "\n");
        EXPECT_EQ(output.err, "");
    }
}

TEST(Trace, PadsShortTextAndSeparatesLongText) {
    std::vector<uint8_t> memory(MEMORY_SIZE, 0);
    resetMachine(memory.data(), 100);
    char buffer[80] = "AX,#5";
    *appendMachineColumns(buffer, buffer + 5) = '\0';
    EXPECT_STREQ(buffer, "AX,#5                0    0    0 4094   NB");
    std::string longText(20, 'x');
    longText.copy(buffer, longText.size());
    *appendMachineColumns(buffer, buffer + longText.size()) = '\0';
    EXPECT_EQ(std::string(buffer), longText + "    0    0    0 4094   NB");
}
