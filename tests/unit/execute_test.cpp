#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <utility>
#include <vector>

#include "capture.h"
#include "sim/execute.h"
#include "sim/machine.h"

using Pokes = std::vector<std::pair<int, uint8_t>>;

struct Setup {
    int16_t ax = 0, bx = 0, cx = 0, dx = 4094;
    int32_t flag = 0;
    int32_t codeSize = 100;
    Pokes memory = {};
};

struct Expected {
    RunStatus status;
    int16_t ax, bx, cx, dx;
    int32_t flag;
    uint32_t ip;
    Pokes memory;  // bytes that must hold these values afterwards
};

struct StepCase {
    const char* title;
    std::vector<uint8_t> code;  // placed at address 0
    Setup setup;
    Expected expected;
};

// One instruction at address 0, run for one step from the given state.
static void checkStep(const StepCase& c) {
    static std::vector<uint8_t> memory;
    memory.assign(MEMORY_SIZE, 0);
    for (size_t i = 0; i < c.code.size(); i++) memory[i] = c.code[i];
    for (auto [address, byte] : c.setup.memory) memory[address] = byte;
    resetMachine(memory.data(), c.setup.codeSize);
    machine.regs[AX] = c.setup.ax, machine.regs[BX] = c.setup.bx;
    machine.regs[CX] = c.setup.cx, machine.regs[DX] = c.setup.dx;
    machine.belowFlag = c.setup.flag;
    std::vector<uint8_t> before = memory;

    RunStatus status = executeStep(0);

    SCOPED_TRACE(c.title);
    EXPECT_EQ(status, c.expected.status);
    EXPECT_EQ(machine.regs[AX], c.expected.ax);
    EXPECT_EQ(machine.regs[BX], c.expected.bx);
    EXPECT_EQ(machine.regs[CX], c.expected.cx);
    EXPECT_EQ(machine.regs[DX], c.expected.dx);
    EXPECT_EQ(machine.belowFlag, c.expected.flag);
    EXPECT_EQ(machine.ip, c.expected.ip);
    for (auto [address, byte] : c.expected.memory) {
        EXPECT_EQ(memory[address], byte) << "address " << address;
        before[address] = byte;
    }
    EXPECT_EQ(memory, before) << "memory changed beyond the expected bytes";
}

constexpr RunStatus RUN = RunStatus::Running;
constexpr RunStatus BAD_ACCESS = RunStatus::IllegalMemoryAccess;
constexpr RunStatus BAD_OPERAND = RunStatus::IllegalOperand;

TEST(Execute, CopiesLoadsAndStores) {
    const StepCase cases[] = {
        {"END halts in place", {0x00}, {}, {RunStatus::Halt, 0, 0, 0, 4094, 0, 0, {}}},
        {"load constant", {0x10, 0xFB}, {}, {RUN, -5, 0, 0, 4094, 0, 2, {}}},
        {"load constant with bit 6", {0x10, 0x64}, {}, {RUN, 100, 0, 0, 4094, 0, 2, {}}},
        {"load register", {0x14, 0x10}, {.bx = 9}, {RUN, 9, 9, 0, 4094, 0, 2, {}}},
        {"load direct",
         {0x18, 0x00, 0x50},
         {.memory = {{80, 0xFF}, {81, 0xFE}}},
         {RUN, -2, 0, 0, 4094, 0, 3, {}}},
        {"load 4095 refused", {0x18, 0x0F, 0xFF}, {.ax = 3}, {BAD_ACCESS, 3, 0, 0, 4094, 0, 0, {}}},
        {"load indexed",
         {0x1E, 0xB0, 0x64},
         {.dx = -2, .memory = {{98, 0x01}, {99, 0x02}}},
         {RUN, 0, 0, 0x102, -2, 0, 3, {}}},
        {"store direct",
         {0x18, 0x40, 0x64},
         {.ax = 0x1234},
         {RUN, 0x1234, 0, 0, 4094, 0, 3, {{100, 0x12}, {101, 0x34}}}},
        {"store to 4093",
         {0x18, 0x4F, 0xFD},
         {.ax = -1},
         {RUN, -1, 0, 0, 4094, 0, 3, {{4093, 0xFF}, {4094, 0xFF}}}},
        {"store to RANDOM refused",
         {0x18, 0x4F, 0xFE},
         {.ax = 1},
         {BAD_ACCESS, 1, 0, 0, 4094, 0, 0, {}}},
        {"store to 4095 refused",
         {0x18, 0x4F, 0xFF},
         {.ax = 1},
         {BAD_ACCESS, 1, 0, 0, 4094, 0, 0, {}}},
        {"store through negative BX",
         {0x14, 0xD0},
         {.ax = 1, .bx = -4},
         {BAD_ACCESS, 1, -4, 0, 4094, 0, 0, {}}},
        {"store through BX",
         {0x14, 0xD0},
         {.ax = 7, .bx = 200},
         {RUN, 7, 200, 0, 4094, 0, 2, {{200, 0}, {201, 7}}}},
        {"store indexed",
         {0x1F, 0xE0, 0x0A},
         {.cx = 90, .dx = 0x0A0B},
         {RUN, 0, 0, 90, 0x0A0B, 0, 3, {{100, 0x0A}, {101, 0x0B}}}},
        {"store indexed past 4093",
         {0x1F, 0xE0, 0x0A},
         {.cx = 4084},
         {BAD_ACCESS, 0, 0, 4084, 4094, 0, 0, {}}},
        {"store form of a register",
         {0x14, 0x50},
         {.ax = 1},
         {BAD_OPERAND, 1, 0, 0, 4094, 0, 0, {}}},
    };
    for (const StepCase& c : cases) checkStep(c);
}

TEST(Execute, ComputesSixteenBitArithmetic) {
    const StepCase cases[] = {
        {"ADD wraps", {0x20, 0x01}, {.ax = 32767}, {RUN, -32768, 0, 0, 4094, 0, 2, {}}},
        {"SUB wraps", {0x31, 0x01}, {.bx = -32768}, {RUN, 0, 32767, 0, 4094, 0, 2, {}}},
        {"SUB register", {0x35, 0x20}, {.bx = 5, .cx = 7}, {RUN, 0, -2, 7, 4094, 0, 2, {}}},
        {"MUL wraps", {0x44, 0x10}, {.ax = 300, .bx = 300}, {RUN, 24464, 300, 0, 4094, 0, 2, {}}},
        {"MUL extremes", {0x44, 0x00}, {.ax = -32768}, {RUN, 0, 0, 0, 4094, 0, 2, {}}},
        {"DIV truncates", {0x50, 0x02}, {.ax = -7}, {RUN, -3, 0, 0, 4094, 0, 2, {}}},
        {"DIV -32768 by -1", {0x50, 0xFF}, {.ax = -32768}, {RUN, -32768, 0, 0, 4094, 0, 2, {}}},
        {"DIV by zero register",
         {0x54, 0x10},
         {.ax = 5},
         {RunStatus::DivByZero, 5, 0, 0, 4094, 0, 0, {}}},
        {"DIV by zero word",
         {0x58, 0x00, 0x50},
         {.ax = 5},
         {RunStatus::DivByZero, 5, 0, 0, 4094, 0, 0, {}}},
        {"ADD from memory",
         {0x29, 0x00, 0x50},
         {.bx = 1, .memory = {{80, 0x00}, {81, 0x10}}},
         {RUN, 0, 17, 0, 4094, 0, 3, {}}},
        {"ADD from 4095", {0x28, 0x0F, 0xFF}, {.ax = 1}, {BAD_ACCESS, 1, 0, 0, 4094, 0, 0, {}}},
        {"ADD indirect refused", {0x24, 0x90}, {.ax = 1}, {BAD_OPERAND, 1, 0, 0, 4094, 0, 0, {}}},
        {"SUB indexed refused",
         {0x3C, 0x90, 0x00},
         {.ax = 1},
         {BAD_OPERAND, 1, 0, 0, 4094, 0, 0, {}}},
        {"CMP signed below", {0x60, 0x05}, {.ax = -1}, {RUN, -1, 0, 0, 4094, 1, 2, {}}},
        {"CMP signed not below",
         {0x60, 0xFF},
         {.ax = 5, .flag = 1},
         {RUN, 5, 0, 0, 4094, 0, 2, {}}},
        {"CMP equal", {0x64, 0x10}, {.ax = 3, .bx = 3, .flag = 1}, {RUN, 3, 3, 0, 4094, 0, 2, {}}},
        {"CMP refused keeps flag",
         {0x64, 0x90},
         {.flag = 1},
         {BAD_OPERAND, 0, 0, 0, 4094, 1, 0, {}}},
    };
    for (const StepCase& c : cases) checkStep(c);
}

TEST(Execute, JumpsAndCalls) {
    const StepCase cases[] = {
        {"JMP", {0x7F, 0xFF}, {}, {RUN, 0, 0, 0, 4094, 0, 4095, {}}},
        {"JNB taken", {0x80, 0x30}, {}, {RUN, 0, 0, 0, 4094, 0, 0x30, {}}},
        {"JNB not taken", {0x80, 0x30}, {.flag = 1}, {RUN, 0, 0, 0, 4094, 1, 2, {}}},
        {"JB taken", {0x90, 0x30}, {.flag = 1}, {RUN, 0, 0, 0, 4094, 1, 0x30, {}}},
        {"JB not taken", {0x90, 0x30}, {}, {RUN, 0, 0, 0, 4094, 0, 2, {}}},
        {"CALL pushes return address",
         {0xA0, 0x40},
         {},
         {RUN, 0, 0, 0, 4092, 0, 0x40, {{4092, 0x00}, {4093, 0x02}}}},
        {"CALL rounds DX down",
         {0xA0, 0x40},
         {.dx = 4095},
         {RUN, 0, 0, 0, 4092, 0, 0x40, {{4092, 0x00}, {4093, 0x02}}}},
        {"CALL slot at codeSize refused",
         {0xA0, 0x40},
         {.dx = 12, .codeSize = 10},
         {BAD_ACCESS, 0, 0, 0, 12, 0, 0, {}}},
        {"CALL slot above codeSize",
         {0xA0, 0x40},
         {.dx = 13, .codeSize = 9},
         {RUN, 0, 0, 0, 10, 0, 0x40, {{10, 0x00}, {11, 0x02}}}},
        {"CALL negative slot refused",
         {0xA0, 0x40},
         {.dx = -32768},
         {BAD_ACCESS, 0, 0, 0, -32768, 0, 0, {}}},
        {"CALL far above the stack refused",
         {0xA0, 0x40},
         {.dx = 30000},
         {BAD_ACCESS, 0, 0, 0, 30000, 0, 0, {}}},
        {"RTN",
         {0xB0},
         {.dx = 4000, .memory = {{4000, 0x12}, {4001, 0x34}}},
         {RUN, 0, 0, 0, 4002, 0, 0x1234, {}}},
        {"RTN odd DX",
         {0xB7},
         {.dx = 4001, .memory = {{4000, 0xFF}, {4001, 0xFF}}},
         {RUN, 0, 0, 0, 4002, 0, 0xFFFF, {}}},
        {"RTN on empty stack refused", {0xB0}, {}, {BAD_ACCESS, 0, 0, 0, 4094, 0, 0, {}}},
        {"RTN below code allowed", {0xB0}, {.dx = 0}, {RUN, 0, 0, 0, 2, 0, 0xB000, {}}},
        {"RTN negative refused", {0xB0}, {.dx = -2}, {BAD_ACCESS, 0, 0, 0, -2, 0, 0, {}}},
    };
    for (const StepCase& c : cases) checkStep(c);
}

TEST(Execute, PushesAndPops) {
    const StepCase cases[] = {
        {"PUSH AX", {0xC0}, {.ax = -2}, {RUN, -2, 0, 0, 4092, 0, 1, {{4092, 0xFF}, {4093, 0xFE}}}},
        {"PUSH AX with DX 4095",
         {0xC0},
         {.ax = 1, .dx = 4095},
         {RUN, 1, 0, 0, 4092, 0, 1, {{4092, 0x00}, {4093, 0x01}}}},
        {"PUSH DX pushes the old DX",
         {0xC3},
         {.dx = 4000},
         {RUN, 0, 0, 0, 3998, 0, 1, {{3998, 0x0F}, {3999, 0xA0}}}},
        {"PUSH to slot at codeSize refused",
         {0xC0},
         {.dx = 12, .codeSize = 10},
         {BAD_ACCESS, 0, 0, 0, 12, 0, 0, {}}},
        {"PUSH to slot above codeSize",
         {0xC0},
         {.ax = 5, .dx = 14, .codeSize = 10},
         {RUN, 5, 0, 0, 12, 0, 1, {{12, 0x00}, {13, 0x05}}}},
        {"POP BX",
         {0xD1},
         {.dx = 4000, .memory = {{4000, 0x80}, {4001, 0x00}}},
         {RUN, 0, -32768, 0, 4002, 0, 1, {}}},
        {"POP into DX keeps the new pointer",
         {0xD3},
         {.dx = 4000, .memory = {{4000, 0x12}}},
         {RUN, 0, 0, 0, 4002, 0, 1, {}}},
        {"POP on empty stack refused", {0xD0}, {.ax = 4}, {BAD_ACCESS, 4, 0, 0, 4094, 0, 0, {}}},
        {"POP odd DX 4093",
         {0xD0},
         {.dx = 4093, .memory = {{4092, 0x01}, {4093, 0x01}}},
         {RUN, 0x101, 0, 0, 4094, 0, 1, {}}},
        {"POP negative refused", {0xD0}, {.dx = -1}, {BAD_ACCESS, 0, 0, 0, -1, 0, 0, {}}},
    };
    for (const StepCase& c : cases) checkStep(c);
}

TEST(Execute, StopsAtCodeSizeWithoutTracing) {
    std::vector<uint8_t> memory(MEMORY_SIZE, 0);
    resetMachine(memory.data(), 3);
    machine.ip = 3;
    StreamCapture capture;
    EXPECT_EQ(executeStep(1), RunStatus::OutOfMemory);
    EXPECT_EQ(capture.finish().out, "");
    EXPECT_EQ(machine.ip, 3u);
    machine.ip = 0xFFFFFFFF;
    EXPECT_EQ(executeStep(0), RunStatus::OutOfMemory);
}

struct InputCase {
    const char* text;
    int16_t expected;
};

TEST(Execute, ParsesInputNumbersModulo65536) {
    const InputCase cases[] = {
        {"42", 42},
        {"-7", -7},
        {"70000", 4464},
        {"40000", -25536},
        {"-", 0},
        {"12abc", 12},
        {"-32768", -32768},
        {"32768", -32768},
        {"65536", 0},
        {"-65537", -1},
        {"007\n", 7},
        {"", 0},
        {"99999999999999999999", -1},  // 10^20 is a multiple of 65536
        {"-99999999999999999999", 1},
        {"429496729612", 12},  // beyond 32 bits, no wrap through 2^32 first
    };
    for (const InputCase& c : cases) EXPECT_EQ(parseInputNumber(c.text), c.expected) << c.text;
}

TEST(Execute, BuffersOutputInsteadOfWritingEachLine) {
    std::vector<uint8_t> memory(MEMORY_SIZE, 0xF0);  // OUT AX everywhere
    resetMachine(memory.data(), 1000);
    machine.regs[AX] = -12;
    StreamCapture capture;
    RunStatus status = RunStatus::Running;
    while (status == RunStatus::Running) status = executeStep(0);
    struct stat written {};
    fstat(STDOUT_FILENO, &written);
    EXPECT_EQ(written.st_size, 0);  // 9000 bytes are still in the buffer
    CapturedOutput output = capture.finish();
    EXPECT_EQ(status, RunStatus::OutOfMemory);
    std::string expected;
    for (int i = 0; i < 1000; i++) expected += "out: -12\n";
    EXPECT_EQ(output.out, expected);
}
