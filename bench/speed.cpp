// tavro_speed: times the fast run path against the step-by-step definition on one program in
// one process, so that their ratio does not drift with the machine's load. Also times the fast
// path as the grader and the debuggers run it: counted, in budgets, with a breakpoint armed.
//   tavro_speed program.tas N            times all three, best of three each
//   tavro_speed --once WAY program.tas N  runs once (for callgrind); WAY: step, fast, counted
// The program reads N with its first IN; its output is discarded. Prints the seconds of the
// definition, of the uncounted fast path and of the counted one. The counted run goes in
// budgets of 2^20 steps with a breakpoint armed at the program's last END, as the grader and
// the debuggers run.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "driver/driver.h"
#include "engine/engine.h"

using namespace tavro;

enum class Way { Definition, Fast, Counted };

// The address of the last END instruction of the program, or -1.
static int32_t lastEnd(const Program& program) {
    for (size_t line = program.lines.size(); line-- > 0;) {
        const LineMap& map = program.lines[line];
        if (map.size == 1 && program.image[static_cast<size_t>(map.address)] == 0) {
            return static_cast<int32_t>(map.address);
        }
    }
    return -1;
}

// Runs the program once; returns the seconds taken.
static double timeRun(const Program& program, const std::string& n, Way way) {
    MachinePtr machine = makeMachine(program);
    Machine& m = *machine;
    giveInput(m, n + "\n");
    endInput(m);
    if (way == Way::Counted) setBreakpoint(m, static_cast<uint32_t>(lastEnd(program)), true);
    auto start = std::chrono::steady_clock::now();
    StopReason reason = StopReason::Stepped;
    if (way == Way::Definition) {
        while (reason == StopReason::Stepped) reason = step(m);
    } else if (way == Way::Fast) {
        reason = runToEnd(m);
    } else {
        do {
            reason = run(m, 1 << 20);
        } while (reason == StopReason::Budget || reason == StopReason::Breakpoint);
    }
    auto end = std::chrono::steady_clock::now();
    if (viewMachine(m).status != RunStatus::Halt) std::fprintf(stderr, "tavro_speed: no halt\n");
    return std::chrono::duration<double>(end - start).count();
}

int main(int argc, char** argv) {
    SourceBytes bytes;
    bool once = argc == 5 && std::string(argv[1]) == "--once";
    if ((argc != 3 && !once) || !loadFile(argv[once ? 3 : 1], &bytes)) {
        std::fprintf(stderr, "usage: tavro_speed [--once step|fast|counted] program.tas N\n");
        return 2;
    }
    Program program = *assemble(std::move(bytes));
    if (!runnable(program)) return 2;
    if (once) {
        std::string way = argv[2];
        timeRun(program, argv[4],
                way == "step" ? Way::Definition : way == "fast" ? Way::Fast : Way::Counted);
        return 0;
    }
    // Best of three each, alternating, so all meet the same conditions.
    double definition = 1e9, fast = 1e9, counted = 1e9;
    for (int round = 0; round < 3; round++) {
        definition = std::min(definition, timeRun(program, argv[2], Way::Definition));
        fast = std::min(fast, timeRun(program, argv[2], Way::Fast));
        counted = std::min(counted, timeRun(program, argv[2], Way::Counted));
    }
    std::printf("%.4f %.4f %.4f\n", definition, fast, counted);
    return 0;
}
