// Run control of a session. A run is a kind (continue, a step, next, stepOut) and goes forward
// in slices; next and stepOut are the engine's step over and step out, which stop only once
// the stack is back at the caller's depth, so recursion does not fool them. Going back is the
// engine's undo; the previous breakpoint hit is found by replaying the kept history forward
// with the output hidden, then undoing to the last hit.
#include "dap/session.h"

#include <algorithm>

namespace tavro {

void sendEvent(Session& s, const char* event, Json body) {
    Json message = {{"seq", s.seq++}, {"type", "event"}, {"event", event}};
    if (!body.empty()) message["body"] = std::move(body);
    s.outbox += frameMessage(message);
}

void sendOutput(Session& s, const char* category, std::string_view text) {
    sendEvent(s, "output", {{"category", category}, {"output", std::string(text)}});
}

void startMachine(Session& s, uint32_t seed) {
    MachineOptions options;
    options.seed = seed;
    options.history.steps = std::min(s.maxSteps, HISTORY_STEPS);
    options.history.interval = 4096;
    s.machine = makeMachine(*s.program, options);
    Session* session = &s;
    // OUT lines go as whole lines; prompts at once, since they end without a line end.
    setOutput(*s.machine, makeSink(
                              [session](std::string_view bytes) {
                                  sendOutput(*session, "stdout", bytes);
                                  return true;
                              },
                              SinkFlush::Lines));
    setMessages(*s.machine, makeSink(
                                [session](std::string_view bytes) {
                                    sendOutput(*session, "console", bytes);
                                    return true;
                                },
                                SinkFlush::Each));
}

static void reportStop(Session& s, const char* reason, const std::string& text = {},
                       int64_t breakpointId = -1) {
    endStepGoal(*s.machine);
    s.run = RunKind::None;
    s.waitingForInput = false;
    Json body = {{"reason", reason}, {"threadId", 1}, {"allThreadsStopped", true}};
    if (!text.empty()) {
        body["description"] = text;
        body["text"] = text;
    }
    if (breakpointId >= 0) body["hitBreakpointIds"] = Json::array({breakpointId});
    sendEvent(s, "stopped", std::move(body));
}

void startRun(Session& s, RunKind kind) {
    endStepGoal(*s.machine);
    s.run = kind;
    s.waitingForInput = false;
    // A next that is not at a CALL is one step; a stepOut with no call to return from runs on
    // like continue.
    if (kind == RunKind::StepOver && !beginStepOver(*s.machine)) s.run = RunKind::StepIn;
    if (kind == RunKind::StepOut) beginStepOut(*s.machine, *s.program);
}

bool running(const Session& s) { return s.run != RunKind::None && !s.waitingForInput; }

// The machine stopped before a client's breakpoint: it stops there when its conditions hold
// (or cannot be worked out, which is said), else the run goes on.
static void atBreakpoint(Session& s) {
    Machine& m = *s.machine;
    uint32_t ip = viewMachine(m).ip;
    for (LineBreakpoint& b : s.lineBreakpoints) {
        if (b.address != ip) continue;
        std::string why;
        BreakVerdict verdict = judgeBreakpoint(m, b.conditions, &why);
        if (verdict == BreakVerdict::Unknown) {
            std::string text = "The condition of the breakpoint can't be worked out: " + why;
            sendOutput(s, "console", text + "\n");
            reportStop(s, "breakpoint", text, b.id);
        } else if (verdict == BreakVerdict::Stop) {
            reportStop(s, "breakpoint", {}, b.id);
        }
        return;
    }
}

// The data breakpoint on the word written at address whose conditions hold, or nullptr;
// counts its hit when counting.
static DataBreakpoint* dataBreakpointFor(Session& s, int32_t address, bool counting) {
    for (DataBreakpoint& d : s.dataBreakpoints) {
        if (static_cast<int32_t>(d.address) >= address + 2 || address >= int32_t(d.address) + 2) {
            continue;
        }
        // A condition that cannot be worked out stops the run, as it cannot say to go on.
        std::string why;
        bool stops = counting ? judgeBreakpoint(*s.machine, d.conditions, &why) != BreakVerdict::GoOn
                              : conditionAllows(*s.machine, d.conditions);
        if (stops) return &d;
    }
    return nullptr;
}

// An instruction wrote a watched word: find who wrote it by undoing its step and doing it
// again (it writes no output, so this shows nothing twice).
static void afterWatch(Session& s, bool singleStep) {
    Machine& m = *s.machine;
    int32_t written = viewMachine(m).watchAddress;
    DataBreakpoint* d = dataBreakpointFor(s, written, true);
    if (d == nullptr && !singleStep) return;
    std::string text;
    if (d != nullptr) {
        text = d->label + " = " + wordText(wordAt(m, d->address));
        if (undo(m, 1) == 1) {
            uint32_t writer = viewMachine(m).ip;
            step(m);
            int32_t line = lineOfAddress(*s.program, writer);
            text += ", written by line " + std::to_string(line) + " (" +
                    statementText(*s.program, line) + ", address " + std::to_string(writer) + ")";
        }
        sendOutput(s, "console", text + "\n");
    }
    if (singleStep) {
        reportStop(s, "step", text);
    } else {
        reportStop(s, "data breakpoint", text, d->id);
    }
}

void advance(Session& s) {
    if (!running(s)) return;
    Machine& m = *s.machine;
    MachineView view = viewMachine(m);
    if (view.status != RunStatus::Running || view.steps >= s.maxSteps) {
        endSession(s);
        return;
    }
    bool single = s.run == RunKind::StepIn;
    StopReason reason = single ? step(m) : run(m, std::min(s.sliceSteps, s.maxSteps - view.steps));
    switch (reason) {
        case StopReason::Stepped: reportStop(s, "step"); return;  // a step, or a next's end
        case StopReason::Budget:
            if (viewMachine(m).steps >= s.maxSteps) endSession(s);
            return;
        case StopReason::Ended:
        case StopReason::OutputFailed: endSession(s); return;
        case StopReason::NeedInput: s.waitingForInput = true; return;
        case StopReason::StopRequested: reportStop(s, "pause"); return;
        case StopReason::Breakpoint: atBreakpoint(s); return;
        case StopReason::Watch: afterWatch(s, single); return;
    }
}

void pauseRun(Session& s) {
    if (s.run != RunKind::None) reportStop(s, "pause");
}

void giveLine(Session& s, std::string_view line) {
    std::string text(line);
    text += '\n';
    giveInput(*s.machine, text);
    s.waitingForInput = false;
}

// Stops where going back can go no further: the program's start ("entry"), or the oldest step
// the history keeps ("oldest step"), saying which.
static void reportOldest(Session& s) {
    uint64_t steps = viewMachine(*s.machine).steps;
    std::string text = steps == 0 ? "Back at the start of the program"
                                  : "Back at the oldest step kept (step " + std::to_string(steps) +
                                        "): no earlier step is kept";
    sendOutput(s, "console", text + "\n");
    reportStop(s, steps == 0 ? "entry" : "oldest step", text);
}

void stepBack(Session& s, bool toBreakpoint) {
    endStepGoal(*s.machine);
    s.run = RunKind::None;
    Machine& m = *s.machine;
    MachineView view = viewMachine(m);
    if (view.earliestStep >= view.steps) return reportOldest(s);
    if (!toBreakpoint) {
        undo(m, 1);
        return reportStop(s, viewMachine(m).steps == 0 ? "entry" : "step");
    }
    // The client's breakpoint at each stop met, when its condition holds there (hits are not
    // counted again); the last one met is where the run back comes to rest.
    int64_t id = -1;
    BackStop stop = runBack(m, [&](const Machine& at, StopReason reason) {
        MachineView there = viewMachine(at);
        if (reason == StopReason::Watch) {
            DataBreakpoint* d = dataBreakpointFor(s, there.watchAddress, false);
            if (d != nullptr) id = d->id;
            return d != nullptr;
        }
        bool counts = false;
        for (const LineBreakpoint& b : s.lineBreakpoints) {
            if (b.address != there.ip) continue;
            if (!conditionAllows(at, b.conditions)) continue;
            id = b.id;
            counts = true;
        }
        return counts;
    });
    if (stop == BackStop::Oldest) return reportOldest(s);
    reportStop(s, stop == BackStop::Watch ? "data breakpoint" : "breakpoint", {}, id);
}

void endSession(Session& s) {
    if (s.ended) return;
    Machine& m = *s.machine;
    drainOutput(m);
    MachineView view = viewMachine(m);
    std::string how = view.status != RunStatus::Running
                          ? RUN_STATUS_TEXTS[static_cast<int>(view.status)]
                          : "step limit of " + std::to_string(s.maxSteps) + " steps reached";
    if (s.launched) {
        sendOutput(s, "console",
                   "The run ended: " + how + ", at line " +
                       std::to_string(lineOfAddress(*s.program, view.ip)) + ".\n");
    }
    endStepGoal(m);
    s.run = RunKind::None;
    s.waitingForInput = false;
    s.ended = true;
    sendEvent(s, "exited", {{"exitCode", 0}});
    sendEvent(s, "terminated");
}

void stateChanged(Session& s) {
    if (s.clientInvalidated) sendEvent(s, "invalidated", {{"areas", Json::array({"variables"})}});
}

}  // namespace tavro
