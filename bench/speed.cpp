// tavro_speed: times the fast run path against the step-by-step definition on one program in
// one process, so that their ratio does not drift with the machine's load. Also times the fast
// path as the grader and the debuggers run it: counted, in budgets, with a breakpoint armed.
//   tavro_speed program.tas N
// The program reads N with its first IN; its output is discarded. Prints the seconds of the
// definition, of the uncounted fast path and of the counted one.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "driver/driver.h"
#include "engine/engine.h"

using namespace tavro;

enum class Way { Definition, Fast, Counted };

// Runs the program once; returns the seconds taken.
static double timeRun(const Program& program, const std::string& n, Way way) {
    Machine m = makeMachine(program);
    giveInput(m, n + "\n");
    endInput(m);
    if (way == Way::Counted) setBreakpoint(m, MEMORY_SIZE - 1, true);  // never reached
    auto start = std::chrono::steady_clock::now();
    StopReason reason = StopReason::Stepped;
    if (way == Way::Definition) {
        while (reason == StopReason::Stepped) reason = step(m);
    } else if (way == Way::Fast) {
        reason = runToEnd(m);
    } else {
        do {
            reason = run(m, 1 << 20);
        } while (reason == StopReason::Budget);
    }
    auto end = std::chrono::steady_clock::now();
    if (m.state.status != RunStatus::Halt) std::fprintf(stderr, "tavro_speed: no halt\n");
    return std::chrono::duration<double>(end - start).count();
}

int main(int argc, char** argv) {
    std::vector<char> bytes;
    if (argc != 3 || !loadFile(argv[1], &bytes)) {
        std::fprintf(stderr, "usage: tavro_speed program.tas N\n");
        return 2;
    }
    Program program = assemble(std::move(bytes));
    if (!runnable(program)) return 2;
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
