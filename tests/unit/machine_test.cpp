#include <gtest/gtest.h>

#include <set>
#include <vector>

#include "sim/machine.h"

struct DecodeCase {
    std::vector<uint8_t> bytes;
    OperandKind kind;
    int mainReg;
    int reg;
    int modeBits;
    int32_t value;  // checked for Immediate, Direct and Indexed
    int32_t length;
};

TEST(Machine, DecodesEveryMode) {
    const DecodeCase cases[] = {
        {{0x10, 0xFF}, OperandKind::Immediate, 0, 3, 0x0, -1, 2},
        {{0x13, 0x7F}, OperandKind::Immediate, 3, 3, 0x0, 127, 2},
        {{0x12, 0x40}, OperandKind::Immediate, 2, 0, 0x0, 64, 2},  // bit 6 set: still a load
        {{0x11, 0x80}, OperandKind::Immediate, 1, 0, 0x0, -128, 2},
        {{0x14, 0x20}, OperandKind::Register, 0, 2, 0x4, 0, 2},
        {{0x14, 0xA0}, OperandKind::Indirect, 0, 2, 0x6, 0, 2},
        {{0x14, 0xD0}, OperandKind::Indirect, 0, 1, 0x7, 0, 2},
        {{0x15, 0x70}, OperandKind::Register, 1, 3, 0x5, 0, 2},  // a store form of a register
        {{0x18, 0x0F, 0xFE}, OperandKind::Direct, 0, 0, 0x8, 4094, 3},
        {{0x18, 0x40, 0x64}, OperandKind::Direct, 0, 0, 0x9, 100, 3},
        {{0x18, 0xB5, 0x01}, OperandKind::Direct, 0, 3, 0xA, 0x501, 3},  // bit 7 ignored
        {{0x1E, 0xB0, 0x0A}, OperandKind::Indexed, 2, 3, 0xE, 10, 3},
        {{0x1F, 0xE0, 0x0A}, OperandKind::Indexed, 3, 2, 0xF, 10, 3},
        {{0x1C, 0x3F, 0xFF}, OperandKind::Indexed, 0, 3, 0xC, 4095, 3},  // bit 7 ignored
        {{0x6B, 0x0F, 0xFE}, OperandKind::Direct, 3, 0, 0x8, 4094, 3},
    };
    for (const DecodeCase& c : cases) {
        uint8_t code[3] = {c.bytes[0], c.bytes[1], c.bytes.size() > 2 ? c.bytes[2] : uint8_t{0}};
        int32_t length = 0;
        Operand operand = decodeOperand(code, &length);
        SCOPED_TRACE(testing::Message() << std::hex << int(c.bytes[0]) << " " << int(c.bytes[1]));
        EXPECT_EQ(operand.kind, c.kind);
        EXPECT_EQ(operand.mainReg, c.mainReg);
        EXPECT_EQ(operand.reg, c.reg);
        EXPECT_EQ(operand.modeBits, c.modeBits);
        EXPECT_EQ(length, c.length);
        if (c.kind == OperandKind::Immediate || c.kind == OperandKind::Direct ||
            c.kind == OperandKind::Indexed) {
            EXPECT_EQ(operand.value, c.value);
        }
    }
}

class Fetch : public testing::Test {
protected:
    void SetUp() override {
        resetMachine(memory.data(), 10);
        memory[98] = 0x12, memory[99] = 0x34;
        memory[4092] = 0xFF, memory[4093] = 0xFE, memory[4094] = 0x01, memory[4095] = 0x02;
    }
    std::vector<uint8_t> memory = std::vector<uint8_t>(MEMORY_SIZE, 0);
};

struct FetchCase {
    const char* title;
    OperandKind kind;
    int reg;
    int32_t value;
    int16_t regValue;  // put into BX (reg 1) before the fetch
    RunStatus status;
    int32_t expected;  // INT32_MIN: a random number
};

TEST_F(Fetch, ReadsWordsRegistersAndConstants) {
    const int32_t RANDOM = INT32_MIN;
    const FetchCase cases[] = {
        {"register", OperandKind::Register, 1, 0, -7, RunStatus::Running, -7},
        {"immediate", OperandKind::Immediate, 0, -128, 0, RunStatus::Running, -128},
        {"direct word", OperandKind::Direct, 0, 98, 0, RunStatus::Running, 0x1234},
        {"negative word", OperandKind::Direct, 0, 4092, 0, RunStatus::Running, -2},
        {"4093 reads byte 4094", OperandKind::Direct, 0, 4093, 0, RunStatus::Running, -511},
        {"4094 is random", OperandKind::Direct, 0, 4094, 0, RunStatus::Running, RANDOM},
        {"4095 is refused", OperandKind::Direct, 0, 4095, 0, RunStatus::IllegalMemoryAccess, 0},
        {"indirect", OperandKind::Indirect, 1, 0, 98, RunStatus::Running, 0x1234},
        {"indirect random", OperandKind::Indirect, 1, 0, 4094, RunStatus::Running, RANDOM},
        {"indirect negative", OperandKind::Indirect, 1, 0, -1, RunStatus::IllegalMemoryAccess, 0},
        {"indexed signed sum", OperandKind::Indexed, 1, 100, -2, RunStatus::Running, 0x1234},
        {"indexed beyond 16 bits", OperandKind::Indexed, 1, 4095, 32767,
         RunStatus::IllegalMemoryAccess, 0},
        {"indexed to random", OperandKind::Indexed, 1, 4094, 0, RunStatus::Running, RANDOM},
        {"indexed below 0", OperandKind::Indexed, 1, 0, -32768, RunStatus::IllegalMemoryAccess, 0},
    };
    for (const FetchCase& c : cases) {
        machine.regs[BX] = c.regValue;
        Operand operand{c.kind, static_cast<uint8_t>(c.reg), 0, 0, c.value};
        RunStatus status = RunStatus::Halt;
        int32_t value = fetchOperand(operand, &status);
        EXPECT_EQ(status, c.status) << c.title;
        if (c.expected == RANDOM) {
            EXPECT_GE(value, 0) << c.title;
            EXPECT_LE(value, 32767) << c.title;
        } else {
            EXPECT_EQ(value, c.expected) << c.title;
        }
    }
    EXPECT_EQ(memory[4094], 0x01);  // the port never reads or writes the image
}

TEST(Machine, RandomPortStaysInRangeAndVaries) {
    std::set<int32_t> seen;
    for (int i = 0; i < 1000; i++) {
        int32_t value = nextRandom();
        ASSERT_GE(value, 0);
        ASSERT_LE(value, 32767);
        seen.insert(value);
    }
    EXPECT_GT(seen.size(), 100u);
}

TEST(Machine, ResetStartsWithAnEmptyStack) {
    std::vector<uint8_t> memory(MEMORY_SIZE, 0);
    machine.regs[AX] = 5;
    machine.ip = 7;
    machine.belowFlag = 1;
    resetMachine(memory.data(), 42);
    EXPECT_EQ(machine.ip, 0u);
    EXPECT_EQ(machine.belowFlag, 0);
    EXPECT_EQ(machine.codeSize, 42);
    EXPECT_EQ(machine.regs[AX], 0);
    EXPECT_EQ(machine.regs[DX], 4094);
}
