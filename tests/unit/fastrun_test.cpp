// The fast path must be the machine that executeStep defines: the same registers, flag, ip,
// memory, random draws, input taken and output after every step and every run, and the same
// stops for budgets, breakpoints and watches, in both dispatch styles of this build. Random
// images stand for all programs; two assembled ones rewrite their own code as they run.
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

using RunFunction = RunOutcome (*)(MachineState&, Ports&, const RunControl&);
struct Implementation {
    const char* name;
    RunFunction run;
};
const Implementation IMPLEMENTATIONS[] = {
#if TAVRO_THREADED_DISPATCH
    {"threaded", runFastThreaded},
#endif
    {"switch", runFastSwitch},
};

// What IN reads in every run: numbers, junk, blanks, long digit runs; then the input ends.
std::string inputText() {
    const char* lines[] = {"5\n", "x\n", " -12\n", "70000\n", "\n", "99999999999999\n", "-\n"};
    std::string text;
    for (int i = 0; i < 400; i++) text += lines[i % 7];
    return text;
}

// A machine state with its ports: output into a string, input from inputText().
struct Rig {
    MachineState state;
    std::string out;
    OutputSink outSink = stringSink(&out);
    OutputSink messages = countingSink();
    Input input{inputText(), 0, true};
    std::atomic<int> stop{0};
    Ports ports{outSink, messages, input, stop};
    explicit Rig(const MachineState& start) : state(start) {}
};

// Everything a run can change, hashed where it is long.
std::string describe(Rig& r) {
    drainSink(r.outSink);
    const MachineState& s = r.state;
    auto hash = [](const void* p, size_t n) {
        return std::to_string(std::hash<std::string_view>{}({static_cast<const char*>(p), n}));
    };
    std::string text = "status " + std::to_string(static_cast<int>(s.status)) + " ip " +
                       std::to_string(s.ip) + " flag " + std::to_string(s.belowFlag) + " regs";
    for (int16_t reg : s.regs) text += " " + std::to_string(reg);
    return text + " input " + std::to_string(s.inputPosition) + " messages " +
           std::to_string(sinkBytes(r.messages)) + " memory " + hash(s.memory.data(), MEMORY_SIZE) +
           " random " + hash(&s.random, sizeof s.random) + " out " + std::to_string(r.out.size()) +
           " " + hash(r.out.data(), r.out.size());
}

std::string describe(const RunOutcome& o) {
    return "reason " + std::to_string(static_cast<int>(o.reason)) + " steps " +
           std::to_string(o.steps) + " watch " + std::to_string(o.watchAddress);
}

// The definition under the same control as the fast path, one executeStep at a time.
RunOutcome runDefinition(Rig& r, const RunControl& control) {
    int32_t skip = control.skipBreakpoint;
    for (uint64_t steps = 0;; steps++) {
        // A breakpoint is looked at before the budget: a run that spends its budget right
        // before one says Breakpoint.
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
            return {StopReason::Ended, steps + 1};
        }
        int32_t w = r.state.lastWrite;
        if (control.watched != nullptr && w >= 0 && (control.watched[w] | control.watched[w + 1])) {
            return {StopReason::Watch, steps + 1, w};
        }
    }
}

RunControl counted(uint64_t budget) {
    RunControl control;
    control.counted = true;
    control.budget = budget;
    return control;
}

// Runs start under control through the definition and every implementation; all must agree.
void expectSameRun(const MachineState& start, const RunControl& control, MachineState* after,
                   const std::string& context) {
    Rig expected(start);
    RunOutcome definition = runDefinition(expected, control);
    if (!control.counted) definition.steps = 0;  // an uncounted run does not count them
    for (const Implementation& implementation : IMPLEMENTATIONS) {
        Rig actual(start);
        RunOutcome outcome = implementation.run(actual.state, actual.ports, control);
        ASSERT_EQ(describe(outcome), describe(definition)) << implementation.name << context;
        ASSERT_EQ(describe(actual), describe(expected)) << implementation.name << context;
    }
    if (after != nullptr) *after = expected.state;
}

// A random image that runs for a while: mostly well-formed instructions with addresses near
// the program and jumps inside it, some raw random bytes, registers mostly holding usable
// addresses.
MachineState randomStart(std::mt19937& rng) {
    auto pick = [&](int n) { return static_cast<int>(rng() % static_cast<uint32_t>(n)); };
    std::array<uint8_t, MEMORY_SIZE> image;
    for (uint8_t& byte : image) byte = static_cast<uint8_t>(rng());
    int32_t codeSize = pick(5) == 0 ? 1 + pick(MAX_CODE_SIZE) : 4 + pick(120);
    auto address = [&]() {
        int choice = pick(10);
        if (choice == 0) return 4092 + pick(4);
        if (choice == 1) return pick(MEMORY_SIZE);
        return pick(codeSize + 64);
    };
    for (int32_t a = 0; a + 3 <= codeSize;) {
        uint8_t* code = &image[static_cast<size_t>(a)];
        int r = pick(4), s = pick(4), kind = pick(100), length = 1;
        if (kind < 28) {  // a constant into a register
            code[0] = firstByte(COPY + pick(6), MODE_IMMEDIATE, r);
            code[1] = static_cast<uint8_t>(pick(8) == 0 ? pick(256) : pick(16));
            length = 2;
        } else if (kind < 42) {  // a register, now and then indirect or a store form
            bool odd = pick(4) == 0;
            code[0] = firstByte(COPY + pick(6), MODE_REGISTER, r);
            code[1] = secondByte(odd && pick(2) == 0, odd && pick(2) == 0, s);
            length = 2;
        } else if (kind < 56) {  // a direct or indexed load or store
            int32_t target = address();
            int mode = pick(3) == 0 ? MODE_INDEXED : MODE_DIRECT;
            code[0] = firstByte(pick(3) == 0 ? COPY + pick(6) : COPY, mode, r);
            code[1] = secondByte(mode == MODE_INDEXED, pick(3) == 0, s, target);
            code[2] = lowByte(target);
            length = 3;
        } else if (kind < 72) {  // a jump or call, mostly backwards
            int32_t target = pick(4) == 0 ? address() : pick(a + 1);
            code[0] = jumpFirstByte(JMP + pick(4), target);
            code[1] = lowByte(target);
            length = 2;
        } else if (kind < 88) {
            const int stack[] = {RTN, PUSH, POP, PUSH, POP};
            code[0] = firstByte(stack[pick(5)], 0, r);
        } else if (kind < 94) {
            code[0] = firstByte(OUT, 0, r);
        } else if (kind < 96) {
            code[0] = firstByte(kind == 94 ? IN : END, 0, r);
        } else {
            code[0] = static_cast<uint8_t>(rng());
        }
        a += length;
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

TEST(FastRun, EachStepMatchesTheDefinition) {
    std::mt19937 rng(2026);
    for (int image = 0; image < 300; image++) {
        MachineState state = randomStart(rng);
        for (int step = 0; step < 40 && state.status == RunStatus::Running; step++) {
            ASSERT_NO_FATAL_FAILURE(
                expectSameRun(state, counted(1), &state,
                              " image " + std::to_string(image) + " step " + std::to_string(step)));
        }
    }
}

TEST(FastRun, WholeRunsMatchTheDefinition) {
    std::mt19937 rng(7);
    int longRuns = 0;
    for (int image = 0; image < 600; image++) {
        MachineState start = randomStart(rng), after;
        uint64_t budget = image % 3 == 0 ? 1 + rng() % 500 : 20000;
        std::string context = " image " + std::to_string(image);
        ASSERT_NO_FATAL_FAILURE(expectSameRun(start, counted(budget), &after, context));
        longRuns += after.status == RunStatus::Running;
        // A run that ends within the budget must end the same way uncounted.
        if (after.status != RunStatus::Running) {
            ASSERT_NO_FATAL_FAILURE(expectSameRun(start, RunControl{}, nullptr, context));
        }
    }
    EXPECT_GT(longRuns, 20);  // the generator does make programs that keep running
}

TEST(FastRun, BreakpointsAndWatchesStopWhereTheDefinitionDoes) {
    std::mt19937 rng(11);
    for (int image = 0; image < 300; image++) {
        MachineState start = randomStart(rng);
        // Arm breakpoints where the program goes and watch bytes that it writes.
        std::vector<uint32_t> visited;
        std::vector<int32_t> written;
        Rig dry(start);
        for (int i = 0; i < 2000 && executeStep(dry.state, dry.ports) == RunStatus::Running; i++) {
            visited.push_back(dry.state.ip);
            if (dry.state.lastWrite >= 0) written.push_back(dry.state.lastWrite);
        }
        std::vector<uint8_t> breakpoints(MEMORY_SIZE), watched(MEMORY_SIZE);
        for (int k = 0; k < 2 && !visited.empty(); k++) {
            breakpoints[visited[rng() % visited.size()] % MEMORY_SIZE] = 1;
        }
        if (image % 4 == 0) breakpoints[start.ip % MEMORY_SIZE] = 1;
        if (!written.empty()) watched[written[rng() % written.size()] + rng() % 2] = 1;
        RunControl control = counted(5000);
        control.breakpoints = breakpoints.data();
        control.watched = image % 2 == 0 ? watched.data() : nullptr;
        control.skipBreakpoint = static_cast<int32_t>(start.ip);
        // Each stop is resumed the way the engine resumes it: the first step passes its ip.
        MachineState state = start;
        for (int stop = 0; stop < 4 && state.status == RunStatus::Running; stop++) {
            ASSERT_NO_FATAL_FAILURE(
                expectSameRun(state, control, &state,
                              " image " + std::to_string(image) + " stop " + std::to_string(stop)));
            control.skipBreakpoint = static_cast<int32_t>(state.ip);
        }
    }
}

TEST(FastRun, SelfModifyingCodeRunsTheNewBytes) {
    const struct {
        const char* source;
        const char* out;
    } cases[] = {
        // Each pass stores SUB AX, #2 over the ADD at TOP; the last one turns the OUT into END.
        {"TOP ADD AX, #1\n OUT AX\n COPY CX, NEW\n COPY TOP, CX\n ADD BX, #1\n CMP BX, #3\n"
         " JB TOP\n COPY CX, STOP\n COPY 1, CX\n JMP TOP\nNEW SUB AX, #2\nSTOP 512\n",
         "out: 1\nout: -1\nout: -3\n"},
        // Only the second byte changes: COPY AX, BX becomes COPY AX, CX.
        {"TOP COPY AX, BX\n OUT AX\n ADD BX, #1\n COPY CX, NEW\n COPY 1, CX\n CMP BX, #3\n"
         " JB TOP\n END\nNEW 8432\n",
         "out: 0\nout: 8432\nout: 8432\n"},
    };
    for (const auto& c : cases) {
        Program program = assemble(std::string_view(c.source));
        ASSERT_TRUE(runnable(program)) << renderAssembly(program);
        MachineState start;
        resetMachine(start, program.image, static_cast<int32_t>(program.codeSize), 1);
        Rig definition(start);
        runDefinition(definition, counted(1000));
        drainSink(definition.outSink);
        EXPECT_EQ(definition.state.status, RunStatus::Halt) << c.source;
        EXPECT_EQ(definition.out, c.out) << c.source;
        expectSameRun(start, counted(1000), nullptr, c.source);
        expectSameRun(start, RunControl{}, nullptr, c.source);
    }
}
