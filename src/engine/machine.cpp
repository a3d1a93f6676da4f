// The engine's machine: run control over the simulator. A run goes through the fast path in
// chunks that end where the history wants a snapshot; tracing goes through the definition, one
// step at a time. Undo restores the nearest earlier snapshot and re-executes from there with
// the output counted but not written, so the state it reaches is exactly the earlier one.
#include <algorithm>

#include "engine/machine_record.h"
#include "common/format.h"
#include "sim/execute.h"
#include "sim/fastrun.h"

namespace tavro {

void MachineDeleter::operator()(Machine* machine) const { delete machine; }

MachinePtr makeMachine(const std::array<uint8_t, MEMORY_SIZE>& image, int32_t codeSize,
                       const MachineOptions& options) {
    MachinePtr made(new Machine);
    Machine& m = *made;
    // The machine reads an instruction's bytes below codeSize without a bound check of its own.
    resetMachine(m.state, image, std::clamp(codeSize, 1, MAX_CODE_SIZE), options.seed,
                 options.seedFromClock);
    m.trace = options.trace;
    m.history = options.history;
    if (m.history.interval == 0) m.history.interval = 1;
    return made;
}

MachinePtr makeMachine(const Program& program, const MachineOptions& options) {
    int32_t codeSize = static_cast<int32_t>(std::clamp<int64_t>(program.codeSize, 1, MAX_CODE_SIZE));
    return makeMachine(program.image, codeSize, options);
}

static Ports portsOf(Machine& m) { return Ports{m.out, m.messages, m.input, *m.stop}; }

// Takes a snapshot when the step count is at a multiple of the interval and has none yet.
static void takeSnapshot(Machine& m) {
    const HistoryOptions& h = m.history;
    if (m.steps % h.interval != 0) return;
    if (!m.snapshots.empty() && m.snapshots.back().steps >= m.steps) return;
    m.snapshots.push_back({m.state, m.steps, sinkBytes(m.out), sinkBytes(m.messages)});
    size_t keep = static_cast<size_t>(h.steps / h.interval) + 2;
    while (m.snapshots.size() > keep) m.snapshots.pop_front();
}

static inline void snapshotIfDue(Machine& m) {
    if (m.history.steps != 0) takeSnapshot(m);
}

// After a step or run that ended the program: its closing line.
static StopReason ended(Ports& ports, const MachineState& state) {
    sinkWrite(ports.out, renderClosingLine(state.status));
    return StopReason::Ended;
}

// The statuses of an IN that did not execute, as the reason the run comes back.
static bool heldAtIn(RunStatus status, StopReason* reason) {
    switch (status) {
        case RunStatus::WaitingForInput: *reason = StopReason::NeedInput; return true;
        case RunStatus::Interrupted: *reason = StopReason::StopRequested; return true;
        case RunStatus::OutputFailed: *reason = StopReason::OutputFailed; return true;
        default: return false;
    }
}

// One step through the definition, tracing first when asked.
static StopReason stepWith(Machine& m, Ports& ports) {
    if (m.state.status != RunStatus::Running) return StopReason::Ended;
    // An IN that waited has shown its trace line already.
    RunStatus status = executeStep(m.state, ports, m.trace && !m.state.prompted);
    if (StopReason held; heldAtIn(status, &held)) return held;
    m.steps++;
    if (status != RunStatus::Running) {
        m.state.status = status;
        return ended(ports, m.state);
    }
    if (ports.out.failed) return StopReason::OutputFailed;
    int32_t w = m.state.lastWrite;
    if (w >= 0 && m.watchCount > 0 && (m.watched[w] | m.watched[w + 1]) != 0) {
        m.watchAddress = w;
        return StopReason::Watch;
    }
    return StopReason::Stepped;
}

constexpr uint8_t USER_BREAKPOINT = 1;  // bits of Machine::breakpoints
constexpr uint8_t GOAL_BREAKPOINT = 2;

// Arms or clears one kind of breakpoint at an address, keeping the count of armed addresses.
static void markBreakpoint(Machine& m, uint32_t address, uint8_t bit, bool armed) {
    if (address >= MEMORY_SIZE) return;
    uint8_t before = m.breakpoints[address];
    uint8_t after = armed ? before | bit : before & static_cast<uint8_t>(~bit);
    m.breakpoints[address] = after;
    m.breakpointCount += (after != 0) - (before != 0);
}

// A run came to the armed address ip: the end of a step over or out (Stepped), a breakpoint of
// the caller's (Breakpoint), or only the goal's address with the stack still deeper (Budget:
// the run goes on, as a recursive call returns there too).
static StopReason atArmed(Machine& m) {
    uint8_t bits = m.breakpoints[m.state.ip];
    if ((bits & GOAL_BREAKPOINT) != 0 &&
        static_cast<uint16_t>(m.state.regs[DX]) >= m.goalStack) {
        endStepGoal(m);
        return StopReason::Stepped;
    }
    return (bits & USER_BREAKPOINT) != 0 ? StopReason::Breakpoint : StopReason::Budget;
}

// Whether a run through the definition stops before the instruction at ip, and why.
static bool stopsBefore(Machine& m, int32_t* skip, StopReason* reason) {
    uint32_t ip = m.state.ip;
    if (m.breakpointCount == 0 || ip >= static_cast<uint32_t>(m.state.codeSize)) return false;
    if (m.breakpoints[ip] == 0) return false;
    if (static_cast<int32_t>(ip) == *skip) {
        *skip = -1;
        return false;
    }
    *reason = atArmed(m);
    return *reason != StopReason::Budget;
}

// The most steps a counted run of the fast path takes between two looks at the stop request:
// about a millisecond.
constexpr uint64_t CHUNK_STEPS = 1 << 20;

// The body of run(): at most budget steps, with the given ports.
static StopReason runWith(Machine& m, Ports& ports, uint64_t budget) {
    if (m.state.status != RunStatus::Running) return StopReason::Ended;
    int32_t skip = m.resumeIp;
    if (m.trace) {
        for (uint64_t i = 0; i < budget; i++) {
            if (ports.stop.load(std::memory_order_relaxed) != 0) return StopReason::StopRequested;
            StopReason armed;
            if (stopsBefore(m, &skip, &armed)) return armed;
            snapshotIfDue(m);
            StopReason reason = stepWith(m, ports);
            if (reason != StopReason::Stepped) return reason;
        }
        // As in the fast path, a breakpoint reached by the budget's last step is reported first.
        StopReason armed;
        if (budget > 0 && stopsBefore(m, &skip, &armed)) return armed;
        return StopReason::Budget;
    }
    uint64_t remaining = budget;
    while (remaining > 0) {
        // A counted run leaves stop requests to this loop: at most a chunk's steps go by.
        if (ports.stop.load(std::memory_order_relaxed) != 0) return StopReason::StopRequested;
        snapshotIfDue(m);
        uint64_t chunk = std::min<uint64_t>(remaining, CHUNK_STEPS);
        if (m.history.steps > 0) {
            chunk = std::min(chunk, m.history.interval - m.steps % m.history.interval);
        }
        RunControl control;
        control.budget = chunk;
        control.counted = true;
        control.breakpoints = m.breakpointCount > 0 ? m.breakpoints.data() : nullptr;
        control.watched = m.watchCount > 0 ? m.watched.data() : nullptr;
        control.skipBreakpoint = skip;
        RunOutcome outcome = runFast(m.state, ports, control);
        m.steps += outcome.steps;
        remaining -= outcome.steps;
        if (outcome.steps > 0) skip = -1;
        switch (outcome.reason) {
            case StopReason::Budget: continue;
            case StopReason::Breakpoint:
                if (StopReason armed = atArmed(m); armed != StopReason::Budget) return armed;
                skip = static_cast<int32_t>(m.state.ip);  // the goal's address, deeper: run on
                continue;
            case StopReason::Ended: return ended(ports, m.state);
            case StopReason::Watch: m.watchAddress = outcome.watchAddress; return outcome.reason;
            default: return outcome.reason;
        }
    }
    return StopReason::Budget;
}

// A step has ended the program with status; a stop request that came meanwhile is reported
// instead of the end (the instruction is left unexecuted, as every check comes before a write),
// so that a Ctrl-C during straight-line code is not lost.
static StopReason endUnlessStopped(Machine& m, Ports& ports, RunStatus status) {
    if (ports.stop.load(std::memory_order_relaxed) != 0) {
        m.state.status = RunStatus::Running;
        return StopReason::StopRequested;
    }
    m.state.status = status;
    return ended(ports, m.state);
}

// tavro -t: the definition with its trace, step after step, uncounted like runToEnd. Flattened,
// so that the step is inlined into this loop (it is the cost of every traced line).
#if defined(__GNUC__)
__attribute__((flatten))
#endif
static StopReason traceToEnd(Machine& m, Ports& ports) {
    for (;;) {
        if (ports.stop.load(std::memory_order_relaxed) != 0) return StopReason::StopRequested;
        RunStatus status = executeStep(m.state, ports, !m.state.prompted);
        if (status == RunStatus::Running) {
            if (ports.out.failed) return StopReason::OutputFailed;
            continue;
        }
        if (StopReason held; heldAtIn(status, &held)) return held;
        return endUnlessStopped(m, ports, status);
    }
}

// Notes where a public run or step came back, and consumes a stop request that it answered. A
// step over or out ends with any stop but a spent budget or a wait for input.
static StopReason settle(Machine& m, StopReason reason) {
    if (reason == StopReason::StopRequested) m.stop->store(0, std::memory_order_relaxed);
    if (reason != StopReason::Budget && reason != StopReason::NeedInput) endStepGoal(m);
    m.resumeIp = reason == StopReason::Budget ? -1 : static_cast<int32_t>(m.state.ip);
    return reason;
}

StopReason step(Machine& m) {
    Ports ports = portsOf(m);
    snapshotIfDue(m);
    return settle(m, stepWith(m, ports));
}

StopReason run(Machine& m, uint64_t budget) {
    Ports ports = portsOf(m);
    return settle(m, runWith(m, ports, budget));
}

StopReason runToEnd(Machine& m) {
    if (m.state.status != RunStatus::Running) return StopReason::Ended;
    Ports ports = portsOf(m);
    bool plain = m.history.steps == 0 && m.breakpointCount == 0 && m.watchCount == 0;
    if (m.trace && plain) return settle(m, traceToEnd(m, ports));
    if (!plain) {
        for (;;) {
            StopReason reason = runWith(m, ports, UINT64_MAX);
            if (reason != StopReason::Budget) return settle(m, reason);
        }
    }
    RunControl control;  // uncounted, no breakpoints, no watches: the fastest loop
    RunOutcome outcome = runFast(m.state, ports, control);
    if (outcome.reason == StopReason::Ended) {
        return settle(m, endUnlessStopped(m, ports, m.state.status));
    }
    return settle(m, outcome.reason);
}

void requestStop(Machine& m) { m.stop->store(1, std::memory_order_relaxed); }

void setBreakpoint(Machine& m, uint32_t address, bool armed) {
    markBreakpoint(m, address, USER_BREAKPOINT, armed);
}

// Arms the goal of a step over or out (a return address) or of a run to an address.
static void setStepGoal(Machine& m, uint32_t address, uint16_t stack) {
    endStepGoal(m);
    m.goalAddress = address;
    m.goalStack = stack;
    markBreakpoint(m, address, GOAL_BREAKPOINT, true);
}

bool beginStepOver(Machine& m) {
    const MachineState& state = m.state;
    uint32_t ip = state.ip;
    if (ip + 1 >= static_cast<uint32_t>(state.codeSize) || opcodeField(state.memory[ip]) != CALL) {
        return false;
    }
    setStepGoal(m, ip + 2, static_cast<uint16_t>(state.regs[DX]));
    return true;
}

bool beginStepOut(Machine& m, const Program& program) {
    std::vector<CallFrame> frames = callFrames(program, m);
    if (frames.empty()) return false;
    setStepGoal(m, frames[0].callAddress + 2, static_cast<uint16_t>(frames[0].slot + 2));
    return true;
}

bool beginRunTo(Machine& m, uint32_t address) {
    if (address >= static_cast<uint32_t>(m.state.codeSize)) return false;
    setStepGoal(m, address, 0);  // any depth of the stack reaches it
    return true;
}

void endStepGoal(Machine& m) {
    if (m.goalAddress < 0) return;
    markBreakpoint(m, static_cast<uint32_t>(m.goalAddress), GOAL_BREAKPOINT, false);
    m.goalAddress = -1;
}

void setWatch(Machine& m, uint32_t address, uint32_t length, bool armed) {
    uint32_t end = std::min<uint64_t>(uint64_t{address} + length, uint32_t(m.state.codeSize));
    for (uint32_t a = address; a < end; a++) {
        if ((m.watched[a] != 0) == armed) continue;
        m.watched[a] = armed ? 1 : 0;
        m.watchCount += armed ? 1 : -1;
    }
}

void giveInput(Machine& m, std::string_view bytes) {
    Input& input = m.input;
    // Without a history nothing will read the taken bytes again: drop them now and then.
    uint64_t taken = m.state.inputPosition - input.base;
    if (m.history.steps == 0 && taken >= 4096 && taken * 2 >= input.bytes.size()) {
        input.bytes.erase(0, static_cast<size_t>(taken));
        input.base += taken;
    }
    input.bytes.append(bytes);
}

void endInput(Machine& m) { m.input.ended = true; }

uint64_t undo(Machine& m, uint64_t n) {
    endStepGoal(m);
    if (m.snapshots.empty() || n == 0) return 0;
    uint64_t target = n > m.steps ? 0 : m.steps - n;
    target = std::max(target, m.snapshots.front().steps);
    while (m.snapshots.size() > 1 && m.snapshots.back().steps > target) m.snapshots.pop_back();
    const Snapshot& from = m.snapshots.back();
    drainSink(m.out);
    drainSink(m.messages);
    uint64_t undone = m.steps - target;
    m.state = from.state;
    m.steps = from.steps;
    // Re-execute up to the target with the output counted, not written.
    OutputSink out = countingSink(), messages = countingSink();
    out.drained = from.outputBytes;
    messages.drained = from.messageBytes;
    std::atomic<int> noStop{0};
    Ports ports{out, messages, m.input, noStop};
    // No snapshots (those up to the target are there already), breakpoints or watches meanwhile.
    HistoryOptions history = m.history;
    int32_t breakpointCount = m.breakpointCount, watchCount = m.watchCount;
    m.history.steps = 0;
    m.breakpointCount = m.watchCount = 0;
    m.resumeIp = -1;
    while (m.steps < target) {
        if (runWith(m, ports, target - m.steps) != StopReason::Budget) break;
    }
    m.history = history;
    m.breakpointCount = breakpointCount;
    m.watchCount = watchCount;
    drainSink(out);
    drainSink(messages);
    m.out.drained = out.drained;
    m.messages.drained = messages.drained;
    m.resumeIp = static_cast<int32_t>(m.state.ip);
    return undone;
}

BackStop runBack(Machine& m, const BackCounts& counts) {
    endStepGoal(m);
    uint64_t now = m.steps;
    uint64_t oldest = m.snapshots.empty() ? now : m.snapshots.front().steps;
    if (oldest >= now) return BackStop::Oldest;
    undo(m, now - oldest);
    // The replay makes again what the front-end has shown already: it is only counted.
    OutputSink out = takeOutput(m), messages = takeMessages(m);
    uint64_t last = oldest;
    BackStop found = BackStop::Oldest;
    while (m.steps < now) {
        StopReason reason = run(m, now - m.steps);
        if (m.steps >= now) break;
        bool stop = reason == StopReason::Breakpoint || reason == StopReason::Watch;
        if (!stop && reason != StopReason::Budget) break;
        if (stop && counts(m, reason)) {
            last = m.steps;
            found = reason == StopReason::Breakpoint ? BackStop::Breakpoint : BackStop::Watch;
        }
    }
    setOutput(m, std::move(out));
    setMessages(m, std::move(messages));
    undo(m, m.steps - last);
    return found;
}

void restartHistory(Machine& m) {
    m.snapshots.clear();
    if (m.history.steps != 0) {
        m.snapshots.push_back({m.state, m.steps, sinkBytes(m.out), sinkBytes(m.messages)});
    }
}

void resumeHere(Machine& m) { m.resumeIp = static_cast<int32_t>(m.state.ip); }

// After a change by hand: the history starts again here, and the next run goes on from ip.
static void changedByHand(Machine& m) {
    restartHistory(m);
    resumeHere(m);
}

void setRegister(Machine& m, int32_t reg, int16_t value) {
    m.state.regs[reg & 3] = value;
    changedByHand(m);
}

bool setIp(Machine& m, int64_t ip) {
    if (ip < 0 || ip >= MEMORY_SIZE) return false;
    m.state.ip = static_cast<uint32_t>(ip);
    changedByHand(m);
    return true;
}

void setBelow(Machine& m, bool below) {
    m.state.belowFlag = below ? 1 : 0;
    changedByHand(m);
}

bool setWord(Machine& m, int64_t address, int32_t value) {
    if (address < 0 || address >= MEMORY_SIZE - 1) return false;
    writeWord(m.state.memory.data() + address, value);
    changedByHand(m);
    return true;
}

bool setBytes(Machine& m, int64_t address, std::string_view bytes) {
    if (address < 0 || address > MEMORY_SIZE || bytes.size() > size_t(MEMORY_SIZE - address)) {
        return false;
    }
    std::copy(bytes.begin(), bytes.end(), m.state.memory.begin() + address);
    changedByHand(m);
    return true;
}

int16_t wordAt(const Machine& m, uint32_t address) {
    if (address >= MEMORY_SIZE - 1) return 0;  // address + 1 could wrap to 0
    return static_cast<int16_t>(readWord(m.state.memory.data() + address));
}

uint64_t outputBytes(const Machine& m) { return sinkBytes(m.out); }

uint64_t messageBytes(const Machine& m) { return sinkBytes(m.messages); }

MachineView viewMachine(const Machine& m) {
    const MachineState& state = m.state;
    MachineView view;
    std::copy(std::begin(state.regs), std::end(state.regs), view.regs.begin());
    view.ip = state.ip;
    view.below = state.belowFlag != 0;
    view.status = state.status;
    view.prompted = state.prompted;
    view.codeSize = state.codeSize;
    view.memory = state.memory.data();
    view.steps = m.steps;
    view.earliestStep = m.snapshots.empty() ? m.steps : m.snapshots.front().steps;
    view.inputPosition = state.inputPosition;
    view.outputBytes = sinkBytes(m.out);
    view.messageBytes = sinkBytes(m.messages);
    view.outputFailed = m.out.failed;
    view.watchAddress = m.watchAddress;
    return view;
}

std::string recentTrace(const Machine& m, uint64_t count) {
    std::string lines;
    if (m.snapshots.empty()) return lines;
    uint64_t from = m.steps > count ? m.steps - count : 0;
    const Snapshot* start = &m.snapshots.front();
    for (const Snapshot& snapshot : m.snapshots) {
        if (snapshot.steps <= from) start = &snapshot;
    }
    // A copy without history, breakpoints or sinks of its own: it writes only these lines.
    Machine scratch;
    scratch.state = start->state;
    scratch.steps = start->steps;
    scratch.input = m.input;
    from = std::max(from, start->steps);
    while (scratch.steps < from) {
        if (run(scratch, from - scratch.steps) != StopReason::Budget) break;
    }
    while (scratch.steps < m.steps) {
        lines += traceLine(scratch);
        if (step(scratch) != StopReason::Stepped) break;
    }
    return lines;
}

// Puts sink in place of one of the machine's, the machine's count of bytes going on in it.
static void replaceSink(OutputSink& present, OutputSink sink) {
    drainSink(present);
    uint64_t pending = static_cast<uint64_t>(sink.cursor - sink.buffer.get());
    // Unsigned: drained + pending is the count even when pending exceeds it.
    sink.drained = present.drained - pending;
    present = std::move(sink);
}

void setOutput(Machine& m, OutputSink sink) { replaceSink(m.out, std::move(sink)); }

void setMessages(Machine& m, OutputSink sink) { replaceSink(m.messages, std::move(sink)); }

// Hands back one of the machine's sinks, drained, leaving a counting one that goes on from it.
static OutputSink takeSink(OutputSink& present) {
    drainSink(present);
    OutputSink counting = countingSink();
    counting.drained = present.drained;
    OutputSink taken = std::move(present);
    present = std::move(counting);
    return taken;
}

OutputSink takeOutput(Machine& m) { return takeSink(m.out); }

OutputSink takeMessages(Machine& m) { return takeSink(m.messages); }

void writeOutput(Machine& m, std::string_view text) { sinkWrite(m.out, text); }

void drainOutput(Machine& m) {
    drainSink(m.out);
    drainSink(m.messages);
}

void shareStop(Machine& m, std::atomic<int>* flag) {
    m.stop = flag != nullptr ? flag : m.ownStop.get();
}

}  // namespace tavro
