// The fast run path must be the machine that executeStep defines: same status, registers, flag,
// ip, memory and output after every step, for every byte pattern. Both dispatch styles that
// this build has are checked, on random images biased towards programs that run for a while.
#include <gtest/gtest.h>

#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "capture.h"
#include "sim/execute.h"
#include "sim/fastrun.h"
#include "sim/machine.h"

using RunFunction = RunStatus (*)(uint64_t, uint64_t*);

struct Implementation {
    const char* name;
    RunFunction run;
};

static const std::vector<Implementation>& implementations() {
    static const std::vector<Implementation> list = {
#if TAVRO_THREADED_DISPATCH
        {"threaded", runFastThreaded},
#endif
        {"switch", runFastSwitch},
    };
    return list;
}

struct Snapshot {
    RunStatus status;
    uint32_t ip;
    int16_t regs[REGISTER_COUNT];
    int32_t below;
    std::vector<uint8_t> memory;
    std::string out;
};

static bool operator==(const Snapshot& a, const Snapshot& b) {
    return a.status == b.status && a.ip == b.ip && a.regs[0] == b.regs[0] &&
           a.regs[1] == b.regs[1] && a.regs[2] == b.regs[2] && a.regs[3] == b.regs[3] &&
           a.below == b.below && a.memory == b.memory && a.out == b.out;
}

static std::ostream& operator<<(std::ostream& os, const Snapshot& s) {
    return os << "status " << static_cast<int>(s.status) << " ip " << s.ip << " regs " << s.regs[0]
              << ',' << s.regs[1] << ',' << s.regs[2] << ',' << s.regs[3] << " below " << s.below
              << " out " << s.out.size() << " bytes";
}

// A machine state to start from.
struct Start {
    std::vector<uint8_t> memory;
    int32_t codeSize;
    uint32_t ip;
    int16_t regs[REGISTER_COUNT];
    int32_t below;
};

static void load(const Start& start, std::vector<uint8_t>* memory) {
    *memory = start.memory;
    resetMachine(memory->data(), start.codeSize);
    machine.ip = start.ip;
    for (int r = 0; r < REGISTER_COUNT; r++) machine.regs[r] = start.regs[r];
    machine.belowFlag = start.below;
    nextRandom();       // the port seeds itself from the clock at its first read, once
    std::srand(12345);  // so that both runs draw the same numbers from it
}

static Snapshot snapshot(RunStatus status, const std::vector<uint8_t>& memory,
                         const std::string& out) {
    Snapshot s{status, machine.ip, {}, machine.belowFlag, memory, out};
    for (int r = 0; r < REGISTER_COUNT; r++) s.regs[r] = machine.regs[r];
    return s;
}

// Runs the definition for at most limit steps.
static Snapshot runDefinition(const Start& start, uint64_t limit) {
    std::vector<uint8_t> memory;
    load(start, &memory);
    StreamCapture capture;
    RunStatus status = RunStatus::Running;
    for (uint64_t i = 0; i < limit && status == RunStatus::Running; i++) status = executeStep(0);
    std::string out = capture.finish().out;
    return snapshot(status, memory, out);
}

static Snapshot runImplementation(const Implementation& implementation, const Start& start,
                                  uint64_t limit) {
    std::vector<uint8_t> memory;
    load(start, &memory);
    StreamCapture capture;
    RunStatus status = implementation.run(limit, nullptr);
    std::string out = capture.finish().out;
    return snapshot(status, memory, out);
}

// A random image that runs for a while: mostly well-formed instructions with addresses near
// the program and jumps inside it, some raw random bytes, registers mostly holding usable
// addresses. No IN: its input is tested end to end.
static Start randomStart(std::mt19937& rng) {
    auto pick = [&](uint32_t n) { return static_cast<int32_t>(rng() % n); };
    Start start;
    start.memory.resize(MEMORY_SIZE);
    for (uint8_t& byte : start.memory) byte = static_cast<uint8_t>(rng());
    start.codeSize = pick(5) == 0 ? 1 + pick(MAX_CODE_SIZE) : 4 + pick(120);
    auto address = [&]() {
        int choice = pick(10);
        if (choice == 0) return 4092 + pick(4);
        if (choice == 1) return pick(MEMORY_SIZE);
        return pick(static_cast<uint32_t>(start.codeSize) + 64);
    };
    for (int32_t a = 0; a + 3 <= start.codeSize;) {
        uint8_t* code = &start.memory[static_cast<size_t>(a)];
        int r = pick(4), s = pick(4);
        int kind = pick(100);
        int length = 1;
        if (kind < 28) {  // constant into a register
            code[0] = static_cast<uint8_t>(((1 + pick(6)) << 4) | r);
            code[1] = static_cast<uint8_t>(pick(8) == 0 ? pick(256) : pick(16));
            length = 2;
        } else if (kind < 42) {  // register, or now and then indirect or a store form
            code[0] = static_cast<uint8_t>(((1 + pick(6)) << 4) | (1 << 2) | r);
            code[1] = static_cast<uint8_t>((pick(4) == 0 ? pick(4) << 6 : 0) | (s << 4));
            length = 2;
        } else if (kind < 56) {  // direct or indexed load or store
            int32_t target = address();
            int mode = pick(3) == 0 ? 3 : 2;
            int direction = pick(3) == 0 ? 1 : 0;
            code[0] =
                static_cast<uint8_t>(((pick(3) == 0 ? 1 + pick(6) : 1) << 4) | (mode << 2) | r);
            code[1] = static_cast<uint8_t>((mode == 3 ? 0x80 : 0) | (direction << 6) |
                                           (mode == 3 ? s << 4 : 0) | (target >> 8));
            code[2] = static_cast<uint8_t>(target);
            length = 3;
        } else if (kind < 72) {  // jump or call, mostly backwards
            int32_t target = pick(4) == 0 ? address() : pick(static_cast<uint32_t>(a + 1));
            code[0] = static_cast<uint8_t>(((JMP + pick(4)) << 4) | ((target >> 8) & 15));
            code[1] = static_cast<uint8_t>(target);
            length = 2;
        } else if (kind < 88) {  // stack
            const uint8_t opcodes[] = {RTN, PUSH, POP, PUSH, POP};
            code[0] = static_cast<uint8_t>((opcodes[pick(5)] << 4) | r);
        } else if (kind < 95) {
            code[0] = static_cast<uint8_t>((OUT << 4) | r);
        } else if (kind < 96) {
            code[0] = END;
        } else {
            code[0] = static_cast<uint8_t>(rng());
            if ((code[0] >> 4) == IN) code[0] = static_cast<uint8_t>(code[0] ^ 0x10);
        }
        a += length;
    }
    start.ip = pick(16) == 0 ? static_cast<uint32_t>(pick(5000)) : 0;
    for (int16_t& reg : start.regs) {
        reg = static_cast<int16_t>(pick(4) == 0 ? pick(65536) - 32768 : pick(4200) - 50);
    }
    if (pick(3) != 0) start.regs[DX] = static_cast<int16_t>(RANDOM_ADDRESS - pick(60));
    start.below = pick(2);
    return start;
}

TEST(FastRun, EachStepMatchesTheDefinition) {
    std::mt19937 rng(2026);
    for (int image = 0; image < 300; image++) {
        Start start = randomStart(rng);
        for (int stepIndex = 0; stepIndex < 40; stepIndex++) {
            Snapshot expected = runDefinition(start, 1);
            for (const Implementation& implementation : implementations()) {
                Snapshot actual = runImplementation(implementation, start, 1);
                ASSERT_EQ(actual, expected)
                    << implementation.name << " image " << image << " step " << stepIndex << " ip "
                    << start.ip << " byte " << std::hex
                    << (start.ip < MEMORY_SIZE ? int(start.memory[start.ip]) : -1);
            }
            if (expected.status != RunStatus::Running) break;
            start.memory = expected.memory;
            start.ip = expected.ip;
            for (int r = 0; r < REGISTER_COUNT; r++) start.regs[r] = expected.regs[r];
            start.below = expected.below;
        }
    }
}

TEST(FastRun, WholeRunsMatchTheDefinition) {
    std::mt19937 rng(7);
    int longRuns = 0;
    for (int image = 0; image < 600; image++) {
        Start start = randomStart(rng);
        const uint64_t limit = 20000;
        Snapshot expected = runDefinition(start, limit);
        longRuns += expected.status == RunStatus::Running;
        for (const Implementation& implementation : implementations()) {
            uint64_t executed = 0;
            std::vector<uint8_t> memory;
            load(start, &memory);
            StreamCapture capture;
            RunStatus status = implementation.run(limit, &executed);
            Snapshot actual = snapshot(status, memory, capture.finish().out);
            ASSERT_EQ(actual, expected) << implementation.name << " image " << image;
            if (status == RunStatus::Running) {
                EXPECT_EQ(executed, limit);
            }
        }
    }
    EXPECT_GT(longRuns, 20);  // the generator does make programs that keep running
}

TEST(FastRun, SelfModifyingCodeRunsTheNewBytes) {
    // Each pass stores the word at 20 over the instruction at 0, turning ADD AX, #1 into
    // SUB AX, #2, and jumps back to run it. The last pass turns the OUT at 2 into END.
    // 0: ADD AX, #1     2: OUT AX      3: COPY CX, [20]   6: COPY [0], CX    9: ADD BX, #1
    // 11: CMP BX, #3   13: JB 0       15: COPY [1], DX   18: JMP 0          20: 30 02
    const std::vector<uint8_t> program = {0x20, 0x01, 0xF0, 0x1A, 0x00, 0x14, 0x1A, 0x40,
                                          0x00, 0x21, 0x01, 0x61, 0x03, 0x90, 0x00, 0x1B,
                                          0x40, 0x01, 0x70, 0x00, 0x30, 0x02};
    Start start{std::vector<uint8_t>(MEMORY_SIZE, 0), 22, 0, {0, 0, 0, 0x0200}, 0};
    std::copy(program.begin(), program.end(), start.memory.begin());
    Snapshot expected = runDefinition(start, 1000);
    EXPECT_EQ(expected.status, RunStatus::Halt);
    EXPECT_EQ(expected.out, "out: 1\nout: -1\nout: -3\n");
    for (const Implementation& implementation : implementations()) {
        EXPECT_EQ(runImplementation(implementation, start, 1000), expected) << implementation.name;
        EXPECT_EQ(runImplementation(implementation, start, 0), expected) << implementation.name;
    }
}

TEST(FastRun, StoresIntoASecondByteChangeTheInstruction) {
    // The store at 8 writes 20 F0 at 1: COPY AX, BX becomes COPY AX, CX, and OUT AX stays.
    // 0: COPY AX, BX   2: OUT AX   3: ADD BX, #1   5: COPY CX, [18]   8: COPY [1], CX
    // 11: CMP BX, #3  13: JB 0    15: END        18: 20 F0
    const std::vector<uint8_t> program = {0x14, 0x10, 0xF0, 0x21, 0x01, 0x1A, 0x00,
                                          0x12, 0x1A, 0x40, 0x01, 0x61, 0x03, 0x90,
                                          0x00, 0x00, 0x00, 0x00, 0x20, 0xF0};
    Start start{std::vector<uint8_t>(MEMORY_SIZE, 0), 20, 0, {0, 0, 0, 4094}, 0};
    std::copy(program.begin(), program.end(), start.memory.begin());
    Snapshot expected = runDefinition(start, 1000);
    EXPECT_EQ(expected.status, RunStatus::Halt);
    EXPECT_EQ(expected.out, "out: 0\nout: 8432\nout: 8432\n");
    for (const Implementation& implementation : implementations()) {
        EXPECT_EQ(runImplementation(implementation, start, 0), expected) << implementation.name;
    }
}
