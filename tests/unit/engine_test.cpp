// The engine's promises to its front-ends: resumable input, exact budgets, breakpoints, watches,
// stop requests from another thread, exact undo, independent machines and repeatable random
// numbers. Each is checked against a plain run of the same program.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <thread>
#include <type_traits>

#include "common/format.h"
#include "engine/engine.h"
#include "sim/ports.h"

using namespace tavro;

// Front-ends get the assembler's records read-only: assembling hands out a const Program.
static_assert(
    std::is_same_v<decltype(assemble(std::string_view())), std::shared_ptr<const Program>>);

namespace {

// Counts CX up, prints it every time, and adds a value read by IN to TOTAL.
const char* const COUNTER =
    " IN BX\n"
    " COPY CX, #0\n"
    "LOOP ADD CX, #1\n"
    " OUT CX\n"
    " COPY AX, TOTAL\n"
    " ADD AX, BX\n"
    " COPY TOTAL, AX\n"
    " CMP CX, #20\n"
    " JB LOOP\n"
    " END\n"
    "TOTAL 0\n";

uint32_t addressOf(const Program& p, const char* name) {
    return static_cast<uint32_t>(findSymbol(p, name)->value);
}

Program program(const char* source) {
    Program p = *assemble(std::string_view(source));
    EXPECT_TRUE(runnable(p)) << renderAssembly(p);
    return p;
}

struct Run {
    MachinePtr machine;
    std::string out, messages;
};

// A machine whose output and messages are collected into strings, given input if any.
std::unique_ptr<Run> start(const Program& p, const char* input = nullptr,
                           const MachineOptions& options = {}) {
    auto r = std::make_unique<Run>();
    r->machine = makeMachine(p, options);
    if (input != nullptr) giveInput(*r->machine, input);
    setOutput(*r->machine, stringSink(&r->out));
    OutputSink messages = makeSink([text = &r->messages](std::string_view bytes) {
        text->append(bytes);
        return true;
    }, SinkFlush::Each);
    setMessages(*r->machine, std::move(messages));
    return r;
}

// Everything observable about a machine.
std::string describe(Run& r) {
    drainOutput(*r.machine);
    MachineView s = viewMachine(*r.machine);
    std::string text = "ip " + std::to_string(s.ip) + " steps " + std::to_string(s.steps) +
                       " status " + RUN_STATUS_TEXTS[static_cast<int>(s.status)] + " flag " +
                       std::to_string(s.below ? 1 : 0) + " regs";
    for (int16_t reg : s.regs) text += " " + std::to_string(reg);
    text += " out " + r.out.substr(0, s.outputBytes);
    text += " memory " + std::string(s.memory, s.memory + MEMORY_SIZE);
    return text;
}

}  // namespace

TEST(Engine, InputCanComeAfterTheMachineAsksForIt) {
    Program p = program(COUNTER);
    auto r = start(p);
    EXPECT_EQ(run(*r->machine, 1000), StopReason::NeedInput);
    EXPECT_EQ(r->messages, "in ? ");
    EXPECT_EQ(viewMachine(*r->machine).steps, 0u);
    giveInput(*r->machine, "x\n2");  // not a number, then half a line
    EXPECT_EQ(run(*r->machine, 1000), StopReason::NeedInput);
    EXPECT_EQ(r->messages, "in ? input number ? ");
    giveInput(*r->machine, "\n");
    EXPECT_EQ(run(*r->machine, 1000), StopReason::Ended);
    drainOutput(*r->machine);
    EXPECT_EQ(viewMachine(*r->machine).status, RunStatus::Halt);
    EXPECT_EQ(r->out.substr(r->out.size() - 39), "out: 20\n>>> Program terminated. (Halt)\n");
    EXPECT_EQ(wordAt(*r->machine, addressOf(p, "total")), 40);
}

TEST(Engine, ABudgetRunsExactlyThatManySteps) {
    Program p = program(COUNTER);
    for (uint64_t budget : {1u, 2u, 7u, 50u, 123u}) {
        auto stepped = start(p, "3\n"), budgeted = start(p, "3\n");
        for (uint64_t i = 0; i < budget; i++) {
            ASSERT_EQ(step(*stepped->machine), StopReason::Stepped);
        }
        EXPECT_EQ(run(*budgeted->machine, budget), StopReason::Budget);
        EXPECT_EQ(describe(*budgeted), describe(*stepped)) << budget;
    }
}

TEST(Engine, BreakpointsStopBeforeTheInstructionAndLetTheNextRunPass) {
    Program p = program(COUNTER);
    auto r = start(p, "1\n");
    uint32_t loop = static_cast<uint32_t>(p.lines[2].address);
    setBreakpoint(*r->machine, loop, true);
    for (int pass = 0; pass < 3; pass++) {
        EXPECT_EQ(run(*r->machine, 100000), StopReason::Breakpoint);
        EXPECT_EQ(viewMachine(*r->machine).ip, loop);
        EXPECT_EQ(viewMachine(*r->machine).regs[CX], pass);
    }
    setBreakpoint(*r->machine, 0, true);  // the first instruction stops the first run
    auto fresh = start(p);
    setBreakpoint(*fresh->machine, 0, true);
    EXPECT_EQ(run(*fresh->machine, 10), StopReason::Breakpoint);
    EXPECT_EQ(viewMachine(*fresh->machine).steps, 0u);
}

TEST(Engine, AWatchStopsAfterTheWriteAndSaysWhere) {
    Program p = program(COUNTER);
    auto r = start(p, "5\n");
    uint32_t total = addressOf(p, "TOTAL");
    setWatch(*r->machine, total + 1, 1, true);  // the low byte of the word
    EXPECT_EQ(run(*r->machine, 100000), StopReason::Watch);
    EXPECT_EQ(viewMachine(*r->machine).watchAddress, static_cast<int32_t>(total));
    EXPECT_EQ(wordAt(*r->machine, total), 5);
    EXPECT_EQ(run(*r->machine, 100000), StopReason::Watch);
    EXPECT_EQ(wordAt(*r->machine, total), 10);
}

TEST(Engine, AnotherThreadCanStopAnEndlessRun) {
    auto r = start(program("LOOP JMP LOOP\n"));
    std::atomic<int> flag{0};  // shared, as a signal handler's is
    shareStop(*r->machine, &flag);
    std::thread stopper([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
        requestStop(*r->machine);  // it waits for the run, whenever that begins
    });
    StopReason reason = runToEnd(*r->machine);
    stopper.join();
    EXPECT_EQ(reason, StopReason::StopRequested);
    EXPECT_EQ(viewMachine(*r->machine).status, RunStatus::Running);
    EXPECT_EQ(flag.load(), 0);  // consumed: the next run goes on
    EXPECT_EQ(run(*r->machine, 10), StopReason::Budget);
}

// What a front-end reads and wires: the view at a known point, one count of the output across
// sinks taken and given back, a shared stop flag, and a change by hand restarting the history.
TEST(Engine, TheViewAndTheWiringFollowTheMachine) {
    Program p = program(COUNTER);
    MachineOptions options;
    options.history = {100000, 16};
    auto plain = start(p, "2\n", options);
    ASSERT_EQ(runToEnd(*plain->machine), StopReason::Ended);
    auto r = start(p, "2\n", options);
    ASSERT_EQ(run(*r->machine, 9), StopReason::Budget);  // IN, COPY, then one round of LOOP
    MachineView round = viewMachine(*r->machine);
    OutputSink shown = takeOutput(*r->machine);  // the rest is counted, not written
    ASSERT_EQ(run(*r->machine, 1000), StopReason::Ended);
    size_t written = r->out.size();
    setOutput(*r->machine, std::move(shown));
    writeOutput(*r->machine, "end\n");
    drainOutput(*r->machine);
    MachineView end = viewMachine(*r->machine);
    std::atomic<int> flag{1};
    auto stopped = start(p, "2\n", options);
    shareStop(*stopped->machine, &flag);
    StopReason reason = run(*stopped->machine, 1000);
    setRegister(*r->machine, AX, 5);
    MachineView changed = viewMachine(*r->machine);
    struct Case {
        const char* what;
        int64_t got, want;
    };
    const Case cases[] = {
        {"ip after a round", round.ip, addressOf(p, "LOOP")},
        {"BX, CX after a round", round.regs[BX] * 100 + round.regs[CX], 201},
        {"below after a round", round.below, 1},
        {"steps, input taken", int64_t(round.steps * 100 + round.inputPosition), 902},
        {"code size", round.codeSize, p.codeSize},
        {"TOTAL in memory", int16_t(readWord(end.memory + addressOf(p, "TOTAL"))), 40},
        {"status", int(end.status), int(RunStatus::Halt)},
        {"output counted while taken", int64_t(end.outputBytes),
         int64_t(outputBytes(*plain->machine) + 4)},
        {"output written", int64_t(r->out.size()), int64_t(written + 4)},
        {"messages", int64_t(end.messageBytes), int64_t(r->messages.size())},
        {"earliest step", int64_t(end.earliestStep), 0},
        {"a shared stop", int(reason) * 10 + flag.load(), int(StopReason::StopRequested) * 10},
        {"AX set by hand", changed.regs[AX], 5},
        {"history restarted", int64_t(changed.earliestStep), int64_t(changed.steps)},
    };
    for (const Case& c : cases) EXPECT_EQ(c.got, c.want) << c.what;
    EXPECT_EQ(r->out.substr(written), "end\n");
}

TEST(Engine, UndoEqualsRunningToTheEarlierStep) {
    Program p = program(COUNTER);
    for (bool trace : {false, true}) {
        MachineOptions options;
        options.trace = trace;
        options.history = {100000, 16};
        auto r = start(p, "7\n", options);
        ASSERT_EQ(run(*r->machine, 1000), StopReason::Ended);
        uint64_t total = viewMachine(*r->machine).steps;
        for (uint64_t n : {uint64_t{1}, uint64_t{5}, uint64_t{16}, uint64_t{17}, uint64_t{40}, total}) {
            auto again = start(p, "7\n", options);
            if (total - n > 0) run(*again->machine, total - n);
            auto undone = start(p, "7\n", options);
            run(*undone->machine, 1000);
            ASSERT_EQ(undo(*undone->machine, n), n);
            EXPECT_EQ(describe(*undone), describe(*again)) << "trace " << trace << " n " << n;
        }
    }
}

// A run back rests at the last stop that counts, as running forward to it would have stopped.
TEST(Engine, RunningBackRestsAtTheLastStopThatCounts) {
    Program p = program(COUNTER);
    uint32_t loop = static_cast<uint32_t>(p.lines[2].address);
    uint32_t total = addressOf(p, "TOTAL");
    struct Case {
        const char* what;
        bool breakpoint, watch;
        int countFrom;           // a stop counts when CX (at the loop) or TOTAL / 3 is below this
        BackStop stop;
        int16_t cx;              // CX where it rests
    };
    const Case cases[] = {
        {"every loop counts", true, false, 100, BackStop::Breakpoint, 5},
        {"only the first three loops count", true, false, 3, BackStop::Breakpoint, 2},
        {"no loop counts", true, false, 0, BackStop::Oldest, 0},
        {"every write counts", false, true, 100, BackStop::Watch, 5},
        {"writes up to 9 count", false, true, 4, BackStop::Watch, 3},
        {"nothing armed", false, false, 100, BackStop::Oldest, 0},
    };
    for (const Case& c : cases) {
        MachineOptions options;
        options.history = {100000, 16};
        auto r = start(p, "3\n", options);
        // Forward to the sixth arrival at the loop (CX 5), the reference the run back starts from.
        setBreakpoint(*r->machine, loop, true);
        for (int pass = 0; pass < 6; pass++) run(*r->machine, 100000);
        setBreakpoint(*r->machine, loop, c.breakpoint);
        setWatch(*r->machine, total, 2, c.watch);
        run(*r->machine, 3);  // a few steps past it
        drainOutput(*r->machine);
        std::string before = r->out;
        BackStop stop = runBack(*r->machine, [&](const Machine& at, StopReason reason) {
            int16_t value = reason == StopReason::Breakpoint ? viewMachine(at).regs[CX]
                                                             : wordAt(at, total) / 3;
            return value < c.countFrom;
        });
        EXPECT_EQ(stop, c.stop) << c.what;
        MachineView view = viewMachine(*r->machine);
        EXPECT_EQ(view.regs[CX], c.cx) << c.what;
        if (c.stop == BackStop::Oldest) {
            EXPECT_EQ(view.steps, view.earliestStep) << c.what;
        } else if (c.stop == BackStop::Breakpoint) {
            EXPECT_EQ(view.ip, loop) << c.what;
        } else {
            EXPECT_EQ(wordAt(*r->machine, total), 3 * c.cx) << c.what;
        }
        drainOutput(*r->machine);
        EXPECT_EQ(r->out, before) << c.what << ": the replay wrote output again";
    }
}

TEST(Engine, InterleavedMachinesMatchSeparateRuns) {
    Program a = program(COUNTER);
    Program b = program(" COPY AX, RANDOM\n OUT AX\n COPY BX, RANDOM\n OUT BX\n END\n");
    MachineOptions options;
    options.seed = 99;
    auto soloA = start(a, "4\n", options), soloB = start(b, nullptr, options);
    runToEnd(*soloA->machine);
    runToEnd(*soloB->machine);
    auto mixA = start(a, "4\n", options), mixB = start(b, nullptr, options);
    while (viewMachine(*mixA->machine).status == RunStatus::Running ||
           viewMachine(*mixB->machine).status == RunStatus::Running) {
        step(*mixA->machine);
        step(*mixB->machine);
    }
    for (auto* r : {soloA.get(), mixA.get(), soloB.get(), mixB.get()}) drainOutput(*r->machine);
    EXPECT_EQ(mixA->out, soloA->out);
    EXPECT_EQ(mixB->out, soloB->out);
}

TEST(Engine, TheRandomPortRepeatsForASeedAndMatchesTheCLibrary) {
    RandomPort port;
    for (uint32_t seed : {1u, 2u, 12345u, 1765000000u}) {
        seedRandom(port, seed);
        std::srand(seed);
        for (int i = 0; i < 1000; i++) ASSERT_EQ(nextRandom(port), std::rand() & 0x7FFF) << seed;
    }
}

TEST(Engine, KeepsRawImagesAndWordAddressesInsideMemory) {
    std::array<uint8_t, MEMORY_SIZE> image;
    image.fill(firstByte(OUT, 0, AX));
    MachinePtr machine = makeMachine(image, 5000);  // more than a program may have
    Machine& m = *machine;
    EXPECT_EQ(runToEnd(m), StopReason::Ended);
    EXPECT_EQ(viewMachine(m).status, RunStatus::OutOfMemory);
    EXPECT_EQ(viewMachine(m).ip, static_cast<uint32_t>(MAX_CODE_SIZE));
    EXPECT_EQ(outputBytes(m), 4093 * std::string("out: 0\n").size() +
                                  renderClosingLine(RunStatus::OutOfMemory).size());
    EXPECT_EQ(wordAt(m, UINT32_MAX), 0);
}

// Each message marks whole characters of its line, at the token that failed or the name used.
TEST(Engine, EditorMessagesMarkWholeCharactersOfTheirLine) {
    struct Case {
        const char* source;
        const char* marked;  // the bytes marked on the message's line
        Severity severity;
        const char* hintKey;
    };
    const Case cases[] = {
        {"        COPY AX\n", "X", Severity::Error, "',' is expected"},  // missing at the end
        {"        COPY AX, \xC3\xA9\n", "\xC3\xA9", Severity::Error, "Syntax error in 2nd operand"},
        {"        JMP NOWHERE\n        END\n", "NOWHERE", Severity::Warning, "Undefined Label"},
        {"COUNTER1 END\n        JMP COUNTER2\n", "COUNTER2", Severity::Warning,
         "Names count to 7 characters"},
    };
    for (const Case& c : cases) {
        Program p = *assemble(std::string_view(c.source));
        std::vector<ClientDiagnostic> found = clientDiagnostics(p);
        ASSERT_EQ(found.size(), 1u) << c.source;
        const ClientDiagnostic& d = found[0];
        std::string_view line = lineText(p, d.line);
        ASSERT_GE(d.column, 0) << c.source;
        EXPECT_EQ(line.substr(size_t(d.column), size_t(d.length)), c.marked) << c.source;
        EXPECT_EQ(d.severity, c.severity) << c.source;
        EXPECT_EQ(d.hintKey, c.hintKey) << c.source;
    }
}

// The debugger's conditions, as tavro-dap and the page read them: each text is refused with its
// reason, cannot be worked out on this machine (a word outside memory), or holds or not.
TEST(Engine, ConditionsAreReadAndWorkedOutOnTheMachine) {
    Program p = program(" COPY AX, #-3\n COPY BX, #10\n END\nCOUNTER 7\nNEXT 9\n");
    MachinePtr machine = makeMachine(p);
    Machine& m = *machine;
    ASSERT_EQ(run(m, 2), StopReason::Budget);
    struct Case {
        const char* text;
        const char* refused;  // the reason, or nullptr
        const char* unknown;  // why it cannot be worked out, or nullptr
        bool holds;
    };
    const Case cases[] = {
        {"ax == -3", nullptr, nullptr, true},
        {"AX < 0", nullptr, nullptr, true},  // signed
        {"bx >= 0xA", nullptr, nullptr, true},
        {"counter1 == 7", nullptr, nullptr, true},  // seven characters count, any case
        {"[COUNTER+2] != 9", nullptr, nullptr, false},
        {"[bx-3] == 9", nullptr, nullptr, true},  // NEXT, at 7
        {"[BX+5000] == 0", nullptr, "no word at 5010: memory words start at 0 to 4094", false},
        {"IP > 3", nullptr, nullptr, true},
        {"BELOW", nullptr, nullptr, false},
        {"CX", nullptr, nullptr, false},
        {"[4095]", "no word there: memory words start at 0 to 4094", nullptr, false},
        {"AX = 1", "expected ==, !=, <, <=, > or >=", nullptr, false},
        {"NOWHERE > 1", "unknown name", nullptr, false},
        {"RANDOM", "unknown name", nullptr, false},
        {"AX == 1 2", "unexpected text at the end", nullptr, false},
        {"[COUNTER", "']' is expected", nullptr, false},
        {"", "a register, label, number or [address] is expected", nullptr, false},
    };
    for (const Case& c : cases) {
        Condition condition;
        const char* refused = parseCondition(p, c.text, &condition);
        EXPECT_STREQ(refused, c.refused) << c.text;
        if (refused != nullptr) continue;
        bool holds = !c.holds;
        EXPECT_EQ(checkCondition(m, condition, &holds), c.unknown ? c.unknown : "") << c.text;
        if (c.unknown == nullptr) {
            EXPECT_EQ(holds, c.holds) << c.text;
        }
        // A run back stops where the condition holds or cannot be worked out.
        BreakpointConditions conditions;
        ASSERT_EQ(parseBreakpointConditions(p, c.text, "", &conditions), "") << c.text;
        EXPECT_EQ(conditionAllows(m, conditions), c.unknown != nullptr || c.holds) << c.text;
    }
    // Hit counts: which of the first six hits pass.
    for (auto [text, passing] : {std::pair{"3", "001111"}, {"== 2", "010000"}, {"% 2", "010101"},
                                 {"<3", "110000"}, {"> 4", "000011"}}) {
        HitCondition hit;
        ASSERT_EQ(parseHitCondition(text, &hit), nullptr) << text;
        std::string got;
        for (uint64_t n = 1; n <= 6; n++) got += hitPasses(hit, n) ? '1' : '0';
        EXPECT_EQ(got, passing) << text;
    }
    HitCondition hit;
    EXPECT_STREQ(parseHitCondition("% 0", &hit), "% 0 never holds");
    EXPECT_STREQ(parseHitCondition("x", &hit), "a hit count is a number, after ==, >, >=, <, <= or %");
}

// Each line's kind and parts, as byte ranges of its text.
TEST(Engine, LinesSplitIntoLabelMnemonicOperandsAndComment) {
    struct Case {
        const char* label;
        const char* mnemonic;
        const char* operands;
        const char* comment;
        LineKind kind;
    };
    Program p = program(
        "LOOP    ADD CX, #1   ; count\n"
        "\tCOPY AX,BX;x\n"
        "; only a comment\n"
        "\n"
        "        END   \n"
        "TOTAL 0\n"
        "BUF\tRES  3 ;\n");
    const Case cases[] = {
        {"LOOP", "ADD", "CX, #1", "; count", LineKind::Instruction},
        {"", "COPY", "AX,BX", ";x", LineKind::Instruction},
        {"", "", "", "; only a comment", LineKind::Nothing},
        {"", "", "", "", LineKind::Nothing},
        {"", "END", "", "", LineKind::Instruction},
        {"TOTAL", "0", "", "", LineKind::Data},
        {"BUF", "RES", "3", ";", LineKind::Data},
        {"", "", "", "", LineKind::Nothing},  // past the last line
    };
    int32_t line = 0;
    for (const Case& c : cases) {
        line++;
        LineSpans spans = lineSpans(p, line);
        std::string_view text = lineText(p, line);
        auto part = [&](Span s) { return text.substr(size_t(s.start), size_t(s.end - s.start)); };
        EXPECT_EQ(part(spans.label), c.label) << line;
        EXPECT_EQ(part(spans.mnemonic), c.mnemonic) << line;
        EXPECT_EQ(part(spans.operands), c.operands) << line;
        EXPECT_EQ(part(spans.comment), c.comment) << line;
        EXPECT_EQ(spans.kind, c.kind) << line;
    }
}
