// Fuzzes the simulator on an arbitrary image: every byte pattern is decoded, traced and
// executed. The same image runs five ways, for at most TAVRO_STEP_LIMIT steps each: through the
// fast path, through the definition one step at a time, through the definition with the trace
// on, through the fast path with breakpoints armed and resumed at each, and through the fast
// path's portable switch dispatch (the engine of this build runs the threaded one). All must
// agree on everything (status, ip, registers, flag, memory, steps, both streams), the traced
// run once its trace lines are taken out.
// Input: two bytes (little-endian) choosing codeSize (1 to 4093), 4096 bytes of image (missing
// bytes are 0), then the standard input for IN.
#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstring>
#include <string>

#include "engine/engine.h"
#include "sim/fastrun.h"
#include "sim/machine.h"

#ifndef TAVRO_STEP_LIMIT
#define TAVRO_STEP_LIMIT 5000
#endif

using namespace tavro;

struct Result {
    std::string state, out, err;
};

enum class Path { Fast, Steps, TracedSteps, Breakpoints, Switch };

// The state that every way must agree on, in one string.
static std::string stateText(RunStatus status, uint32_t ip, bool below, uint64_t steps,
                             const int16_t* regs, const uint8_t* memory) {
    std::string text = std::to_string(static_cast<int>(status)) + " " + std::to_string(ip) + " " +
                       std::to_string(below ? 1 : 0) + " " + std::to_string(steps);
    for (int r = 0; r < REGISTER_COUNT; r++) text += " " + std::to_string(regs[r]);
    text.append(memory, memory + MEMORY_SIZE);
    return text;
}

// The portable switch dispatch, on the simulator's own state (the engine runs the other one).
static Result runSwitch(const std::array<uint8_t, MEMORY_SIZE>& image, int32_t codeSize,
                        std::string_view input) {
    Result outcome;
    MachineState state;
    resetMachine(state, image, std::clamp(codeSize, 1, MAX_CODE_SIZE), 1);
    OutputSink out = stringSink(&outcome.out), messages = stringSink(&outcome.err);
    Input in{std::string(input), 0, true};
    std::atomic<int> noStop{0};
    Ports ports{out, messages, in, noStop};
    RunOutcome fast = runFastSwitch(state, ports, RunControl{TAVRO_STEP_LIMIT, true});
    if (fast.reason == StopReason::Ended) sinkWrite(out, renderClosingLine(state.status));
    drainSink(out);
    drainSink(messages);
    outcome.state = stateText(state.status, state.ip, state.belowFlag != 0, fast.steps, state.regs,
                              state.memory.data());
    return outcome;
}

static Result run(const std::array<uint8_t, MEMORY_SIZE>& image, int32_t codeSize,
                  std::string_view input, Path path) {
    if (path == Path::Switch) return runSwitch(image, codeSize, input);
    Result outcome;
    MachineOptions options;
    options.trace = path == Path::TracedSteps;
    MachinePtr machine = makeMachine(image, codeSize, options);
    Machine& m = *machine;
    setOutput(m, stringSink(&outcome.out));
    setMessages(m, stringSink(&outcome.err));
    giveInput(m, input);
    endInput(m);
    if (path == Path::Breakpoints) {
        for (int a = 0; a < codeSize; a += 1 + image[static_cast<size_t>(a)] % 7) {
            setBreakpoint(m, static_cast<uint32_t>(a), true);
        }
    }
    uint64_t limit = TAVRO_STEP_LIMIT;
    if (path == Path::Steps) {
        while (viewMachine(m).steps < limit && step(m) == StopReason::Stepped) {
        }
    } else {
        uint64_t steps = 0;
        while (steps < limit && run(m, limit - steps) == StopReason::Breakpoint) {
            steps = viewMachine(m).steps;
        }
    }
    drainOutput(m);
    MachineView view = viewMachine(m);
    outcome.state =
        stateText(view.status, view.ip, view.below, view.steps, view.regs.data(), view.memory);
    return outcome;
}

// The output of a traced run with its trace lines taken out.
static std::string withoutTrace(const std::string& out) {
    std::string kept;
    size_t start = 0;
    while (start < out.size()) {
        size_t end = out.find('\n', start);
        end = end == std::string::npos ? out.size() : end + 1;
        if (out.compare(start, 14, ". . . . . . . ") != 0) kept.append(out, start, end - start);
        start = end;
    }
    return kept;
}

static bool same(const Result& a, const Result& b) {
    return a.state == b.state && a.out == b.out && a.err == b.err;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2) return 0;
    int32_t codeSize = 1 + (data[0] | (data[1] << 8)) % MAX_CODE_SIZE;
    data += 2, size -= 2;
    std::array<uint8_t, MEMORY_SIZE> image{};
    size_t imageBytes = size < MEMORY_SIZE ? size : MEMORY_SIZE;
    std::memcpy(image.data(), data, imageBytes);
    std::string_view input(reinterpret_cast<const char*>(data + imageBytes), size - imageBytes);

    Result steps = run(image, codeSize, input, Path::Steps);
    if (!same(run(image, codeSize, input, Path::Fast), steps)) __builtin_trap();
    if (!same(run(image, codeSize, input, Path::Breakpoints), steps)) __builtin_trap();
    if (!same(run(image, codeSize, input, Path::Switch), steps)) __builtin_trap();
    Result traced = run(image, codeSize, input, Path::TracedSteps);
    traced.out = withoutTrace(traced.out);
    if (!same(traced, steps)) __builtin_trap();
    return 0;
}
