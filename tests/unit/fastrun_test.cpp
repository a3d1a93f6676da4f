// The fast path must be the machine that executeStep defines: the same registers, flag, ip,
// memory, random draws, input and output after every step and every run, and the same stops
// for budgets, breakpoints and watches, in both dispatch styles of this build. Random images
// stand for all programs; two assembled ones rewrite their own code as they run.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "common/format.h"
#include "engine/engine.h"
#include "sim/execute.h"
#include "sim/fastrun.h"

using namespace tavro;

namespace {

const std::pair<const char*, RunOutcome (*)(MachineState&, Ports&, const RunControl&)> FAST[] = {
#if TAVRO_THREADED_DISPATCH
    {"threaded", runFastThreaded},
#endif
    {"switch", runFastSwitch},
};

// What IN reads: numbers, junk, blanks and long digit runs, then the end of the input.
const std::string INPUT = [] {
    std::string text;
    for (int i = 0; i < 50; i++) text += "5\nx\n -12\n70000\n\n999999999999\n-\n";
    return text;
}();

// A machine state with its ports: output into a string, input from INPUT.
struct Rig {
    MachineState state;
    std::string out;
    OutputSink outSink = stringSink(&out);
    OutputSink messages = countingSink();
    Input input{INPUT, 0, true};
    std::atomic<int> stop{0};
    Ports ports{outSink, messages, input, stop};
    explicit Rig(const MachineState& start) : state(start) {}

    // Everything a run can change and how it came back, hashed where it is long.
    std::string describe(const RunOutcome& o) {
        drainSink(outSink);
        auto hash = [](const void* p, size_t n) {
            return std::to_string(std::hash<std::string_view>{}({static_cast<const char*>(p), n}));
        };
        std::string text = "reason " + std::to_string(static_cast<int>(o.reason)) + " steps " +
                           std::to_string(o.steps) + " watch " + std::to_string(o.watchAddress) +
                           " status " + std::to_string(static_cast<int>(state.status)) + " ip " +
                           std::to_string(state.ip) + " flag " + std::to_string(state.belowFlag);
        for (int16_t reg : state.regs) text += " " + std::to_string(reg);
        return text + " input " + std::to_string(state.inputPosition) + " messages " +
               std::to_string(sinkBytes(messages)) + " memory " +
               hash(state.memory.data(), MEMORY_SIZE) + " random " +
               hash(state.random.table, sizeof state.random.table) +
               std::to_string(state.random.front) + " out " + hash(out.data(), out.size());
    }
};

// The definition under the same control as the fast path, one executeStep at a time. A
// breakpoint is looked at before the budget, as the fast path does.
RunOutcome runDefinition(Rig& r, const RunControl& control) {
    int32_t skip = control.skipBreakpoint;
    for (uint64_t steps = 0;; steps++) {
        uint32_t ip = r.state.ip;
        if (control.breakpoints != nullptr && ip < static_cast<uint32_t>(r.state.codeSize) &&
            control.breakpoints[ip] != 0) {
            if (static_cast<int32_t>(ip) != skip) return {StopReason::Breakpoint, steps};
            skip = -1;
        }
        if (control.counted && steps == control.budget) return {StopReason::Budget, steps};
        RunStatus status = executeStep(r.state, r.ports);
        if (status != RunStatus::Running) {
            r.state.status = status;
            return {StopReason::Ended, control.counted ? steps + 1 : 0};
        }
        int32_t w = r.state.lastWrite;
        if (control.watched != nullptr && w >= 0 && (control.watched[w] | control.watched[w + 1])) {
            return {StopReason::Watch, steps + 1, w};
        }
    }
}

// Runs from start under control through the definition and every dispatch style; all must
// agree. Returns the state the run reached.
MachineState expectSameRun(const MachineState& start, const RunControl& control,
                           const std::string& context) {
    Rig expected(start);
    RunOutcome e = runDefinition(expected, control);
    for (const auto& [name, runFast] : FAST) {
        Rig actual(start);
        RunOutcome a = runFast(actual.state, actual.ports, control);
        EXPECT_EQ(actual.describe(a), expected.describe(e)) << name << context;
    }
    return expected.state;
}

// A random image that runs for a while: mostly well-formed instructions with addresses near
// the program and jumps inside it, CMP often followed by JB or JNB and POP by RTN (the pairs the
// fast path runs as one), some raw bytes, registers mostly holding usable addresses.
MachineState randomStart(std::mt19937& rng) {
    auto pick = [&](int n) { return static_cast<int>(rng() % static_cast<uint32_t>(n)); };
    std::array<uint8_t, MEMORY_SIZE> image;
    for (uint8_t& byte : image) byte = static_cast<uint8_t>(rng());
    int32_t codeSize = pick(5) == 0 ? 1 + pick(MAX_CODE_SIZE) : 4 + pick(120);
    auto address = [&]() {
        int choice = pick(10);
        return choice == 0 ? 4092 + pick(4) : choice == 1 ? pick(MEMORY_SIZE) : pick(codeSize + 64);
    };
    int before = END;  // the opcode of the instruction before
    for (int32_t a = 0; a + 3 <= codeSize;) {
        uint8_t* code = &image[static_cast<size_t>(a)];
        int r = pick(4), s = pick(4), kind = pick(100), target = address();
        if (before == CMP && pick(2) == 0) {  // the second half of a pair
            if (pick(4) != 0) target = pick(a + 1);
            code[0] = jumpFirstByte(JNB + pick(2), target);
            code[1] = lowByte(target);
            a += 2;
        } else if (before == POP && pick(2) == 0) {
            code[0] = firstByte(RTN, 0, 0);
            a += 1;
        } else if (kind < 28) {  // a constant into a register
            code[0] = firstByte(COPY + pick(6), MODE_IMMEDIATE, r);
            code[1] = static_cast<uint8_t>(pick(8) == 0 ? pick(256) : pick(16));
            a += 2;
        } else if (kind < 42) {  // a register, now and then indirect or a store form
            bool odd = pick(4) == 0;
            code[0] = firstByte(COPY + pick(6), MODE_REGISTER, r);
            code[1] = secondByte(odd && pick(2) == 0, odd && pick(2) == 0, s);
            a += 2;
        } else if (kind < 56) {  // a direct or indexed load or store
            int mode = pick(3) == 0 ? MODE_INDEXED : MODE_DIRECT;
            code[0] = firstByte(pick(3) == 0 ? COPY + pick(6) : COPY, mode, r);
            code[1] = secondByte(mode == MODE_INDEXED, pick(3) == 0, s, target);
            code[2] = lowByte(target);
            a += 3;
        } else if (kind < 72) {  // a jump or call, mostly backwards
            if (pick(4) != 0) target = pick(a + 1);
            code[0] = jumpFirstByte(JMP + pick(4), target);
            code[1] = lowByte(target);
            a += 2;
        } else {
            const int one[] = {RTN, PUSH, POP, PUSH, POP, OUT, OUT, IN, END};
            code[0] =
                kind < 96 ? firstByte(one[(kind - 72) % 9], 0, r) : static_cast<uint8_t>(rng());
            a += 1;
        }
        before = opcodeField(code[0]);
    }
    MachineState state;
    resetMachine(state, image, codeSize, rng());
    state.ip = pick(16) == 0 ? static_cast<uint32_t>(pick(5000)) : 0;
    for (int16_t& reg : state.regs) {
        reg = static_cast<int16_t>(pick(4) == 0 ? pick(65536) - 32768 : pick(4200) - 50);
    }
    if (pick(3) != 0) state.regs[DX] = static_cast<int16_t>(RANDOM_ADDRESS - pick(60));
    state.belowFlag = pick(2);
    return state;
}

}  // namespace

TEST(FastRun, MatchesTheDefinitionStepByStepOverWholeRunsAndAtStops) {
    std::mt19937 rng(2026);
    int longRuns = 0;
    for (int image = 0; image < 600 && !HasFailure(); image++) {
        const MachineState start = randomStart(rng);
        const std::string context = " image " + std::to_string(image);
        // Step by step, arming breakpoints where the program goes and watches on what it writes.
        std::vector<uint8_t> breakpoints(MEMORY_SIZE), watched(MEMORY_SIZE);
        MachineState state = start;
        for (int step = 0; step < 40 && state.status == RunStatus::Running; step++) {
            state = expectSameRun(state, {1, true}, context);
            if (rng() % 8 == 0) breakpoints[state.ip % MEMORY_SIZE] = 1;
            // Watches cover the program's words, below codeSize (where no push ever writes).
            int32_t w = state.lastWrite + static_cast<int32_t>(rng() % 2);
            if (state.lastWrite >= 0 && w < state.codeSize && rng() % 2 == 0) watched[w] = 1;
        }
        // Whole runs: counted, within a budget, and uncounted when the counted run ends.
        uint64_t budget = image % 3 == 0 ? 1 + rng() % 500 : 20000;
        bool ended = expectSameRun(start, {budget, true}, context).status != RunStatus::Running;
        if (ended) expectSameRun(start, {}, context);
        longRuns += !ended;
        // Stops for breakpoints and watches, each resumed as the engine resumes it: the first
        // step passes the ip it starts on.
        RunControl control{5000, true, breakpoints.data(), image % 2 ? watched.data() : nullptr};
        state = start;
        for (int stop = 0; stop < 4 && state.status == RunStatus::Running; stop++) {
            control.skipBreakpoint = static_cast<int32_t>(state.ip);
            state = expectSameRun(state, control, context);
        }
    }
    EXPECT_GT(longRuns, 20);  // the generator does make programs that keep running
}

// Programs that meet what can go wrong where the fast path decodes once, fuses pairs and counts
// per straight run: code that rewrites itself (the first half of a pair, the second half, a
// fused return), a jump into the second half of a pair, the random port in a pair, a return
// whose word lies at the random port, and breakpoints and watches on the second half of a pair.
// Each prints what the definition prints, and the fast path agrees at every budget.
struct Case {
    const char* source;
    const char* out;        // what the definition prints; nullptr: not looked at (random draws)
    const char* breakAt;    // a label with a breakpoint, or nullptr
    const char* watchAt;    // a label whose word is watched, or nullptr
};
const Case PROGRAMS[] = {
    // Each pass stores SUB AX, #2 over the ADD at TOP; the last one turns the OUT into END.
    {"TOP ADD AX, #1\n OUT AX\n COPY CX, NEW\n COPY TOP, CX\n ADD BX, #1\n CMP BX, #3\n"
     " JB TOP\n COPY CX, STOP\n COPY 1, CX\n JMP TOP\nNEW SUB AX, #2\nSTOP 512\n",
     "out: 1\nout: -1\nout: -3\n", nullptr, nullptr},
    // Only the second byte changes: COPY AX, BX becomes COPY AX, CX.
    {"TOP COPY AX, BX\n OUT AX\n ADD BX, #1\n COPY CX, NEW\n COPY 1, CX\n CMP BX, #3\n"
     " JB TOP\n END\nNEW 8432\n",
     "out: 0\nout: 8432\nout: 8432\n", nullptr, nullptr},
    // A store into the second half of a CMP and JB pair: its jump now goes to EXIT.
    {" COPY CX, #0\nLOOP ADD CX, #1\n CMP CX, #3\nJ JB LOOP\n OUT CX\n COPY AX, NEWJ\n"
     " COPY J, AX\n COPY CX, #0\n JMP LOOP\nEXIT OUT CX\n END\nNEWJ JB EXIT\n",
     "out: 3\nout: 1\n", nullptr, "J"},
    // A store into the first half: CMP CX, #3 becomes CMP CX, #5.
    {" COPY BX, #2\nTOP COPY CX, #0\nLOOP ADD CX, #1\nC CMP CX, #3\n JB LOOP\n OUT CX\n"
     " COPY AX, NEWC\n COPY C, AX\n SUB BX, #1\n CMP BX, #1\n JNB TOP\n END\nNEWC CMP CX, #5\n",
     "out: 3\nout: 5\n", nullptr, nullptr},
    // A jump into the second half of a pair, with the flag set elsewhere; and a breakpoint there.
    {" COPY CX, #0\n CMP CX, #1\n JMP J\nLOOP ADD CX, #1\n CMP CX, #3\nJ JB LOOP\n OUT CX\n END\n",
     "out: 3\n", "J", nullptr},
    // POP and RTN as a subroutine's end; then a store turns that RTN into END.
    {" COPY CX, #2\nAGAIN CALL PLUS5\n OUT BX\n SUB CX, #1\n CMP CX, #1\n JNB AGAIN\n"
     " COPY AX, HALT\n COPY R, AX\n CALL PLUS5\n OUT CX\n END\nPLUS5 PUSH CX\n ADD BX, #5\n"
     " POP CX\nR RTN\nHALT END\n",
     "out: 5\nout: 10\n", "R", nullptr},
    // POP reads the word at 4092 and RTN the one at 4094: the POP is done, the RTN fails.
    {" COPY DX, TOP\n POP AX\n RTN\n END\nTOP 4093\n", "", nullptr, nullptr},
    // CMP with the random port in a pair.
    {" COPY CX, #5\nLOOP COPY AX, RANDOM\n OUT AX\n CMP CX, RANDOM\n JNB NEXT\nNEXT SUB CX, #1\n"
     " CMP CX, #1\n JNB LOOP\n END\n",
     nullptr, nullptr, nullptr},
};

TEST(FastRun, PairedAndRewrittenCodeMatchesTheDefinitionAtEveryBudget) {
    for (const Case& p : PROGRAMS) {
        Program program = *assemble(std::string_view(p.source));
        ASSERT_TRUE(runnable(program)) << p.source;
        MachineState start;
        resetMachine(start, program.image, static_cast<int32_t>(program.codeSize), 7);
        Rig definition(start);
        RunOutcome all = runDefinition(definition, {100000, true});
        drainSink(definition.outSink);
        ASSERT_EQ(all.reason, StopReason::Ended) << p.source;
        if (p.out != nullptr) {
            EXPECT_EQ(definition.out, p.out) << p.source;
        }
        for (uint64_t budget = 0; budget <= all.steps; budget++) {
            expectSameRun(start, {budget, true}, std::string(" budget ") + std::to_string(budget) +
                                                     " of\n" + p.source);
        }
        expectSameRun(start, {}, p.source);
        // Stops at the breakpoint or after each write to the watched word, resumed as the
        // engine resumes them, until the program ends.
        std::vector<uint8_t> breakpoints(MEMORY_SIZE), watched(MEMORY_SIZE);
        if (p.breakAt != nullptr) breakpoints[findSymbol(program, p.breakAt)->value] = 1;
        if (p.watchAt != nullptr) watched[findSymbol(program, p.watchAt)->value] = 1;
        RunControl control{100000, true, breakpoints.data(), watched.data()};
        MachineState state = start;
        for (int stop = 0; stop < 50 && state.status == RunStatus::Running; stop++) {
            control.skipBreakpoint = static_cast<int32_t>(state.ip);
            state = expectSameRun(state, control, p.source);
        }
        EXPECT_NE(state.status, RunStatus::Running) << p.source;
    }
}

TEST(FastRun, AnOperandPastTheCodeIsReadAfterAPushRewritesIt) {
    // codeSize 5; the COPY AX at 4 reads its address's low byte at 6, above the code, where
    // the PUSH before it writes BX's high byte: the load is from 10, not from 6.
    std::array<uint8_t, MEMORY_SIZE> image{};
    const uint8_t code[] = {firstByte(COPY, MODE_IMMEDIATE, DX), 8, firstByte(PUSH, 0, BX),
                            firstByte(OUT, 0, AX), firstByte(COPY, MODE_DIRECT, AX),
                            secondByte(false, false, 0, 6), lowByte(6)};
    std::copy(std::begin(code), std::end(code), image.begin());
    image[11] = 42;
    MachineState start;
    resetMachine(start, image, 5, 1);
    start.regs[BX] = 10 << 8;
    EXPECT_EQ(expectSameRun(start, {100, true}, " past the code").regs[AX], 42);
}
