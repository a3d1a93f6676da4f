// A debugging session: the program, its machine, the breakpoints and the run in progress, and
// the messages waiting to go to the client. Runs advance in slices of steps so that requests
// (pause above all) are read between them; nothing here uses a thread.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "dap/protocol.h"
#include "engine/engine.h"

namespace tavro {

constexpr uint64_t DEFAULT_MAX_STEPS = 10'000'000;
// Undo reaches back this many steps at most (all of a run within the default step limit).
constexpr uint64_t HISTORY_STEPS = 10'000'000;

struct LineBreakpoint {
    int64_t id;
    int32_t line;      // 1-based
    uint32_t address;  // of the instruction the line emitted
    BreakpointConditions conditions;
};

// A data breakpoint: the word at a label, watched for writes.
struct DataBreakpoint {
    int64_t id;
    std::string label;  // upper case, as the program spells it
    uint32_t address;
    BreakpointConditions conditions;
};

enum class RunKind : uint8_t { None, Continue, StepIn, StepOver, StepOut };

struct Session {
    std::string outbox;  // framed messages for the client, in order
    int64_t seq = 1;     // of the next message sent
    FrameReader reader;
    bool clientInvalidated = false;  // the client takes invalidated events
    bool clientMemory = false;       // the client takes memory events

    bool launched = false;
    bool configured = false;  // configurationDone has come
    bool stopOnEntry = false;
    bool ended = false;       // terminated has been sent
    bool quit = false;        // disconnect has come: the adapter exits
    std::string programPath;  // absolute, as the client names sources
    ProgramPtr program = std::make_shared<const Program>();  // blank until launch assembles
    MachinePtr machine = makeMachine(*program);  // a blank one until launch makes the real one
    uint64_t maxSteps = DEFAULT_MAX_STEPS;
    bool inputFromFile = false;

    std::vector<LineBreakpoint> lineBreakpoints;
    std::vector<DataBreakpoint> dataBreakpoints;
    int64_t nextBreakpointId = 1;

    RunKind run = RunKind::None;
    bool waitingForInput = false;   // IN waits for a line from the debug console
    uint64_t sliceSteps = 1 << 16;  // steps of one slice of a run
    int32_t lineBase = 1;           // the client's first line: 1, or 0 (linesStartAt1 false)
    int32_t columnBase = 1;         // the client's first column: 1, or 0
};

// Queues an event.
void sendEvent(Session& session, const char* event, Json body = Json::object());
// Queues an output event of a category (console, stdout, stderr).
void sendOutput(Session& session, const char* category, std::string_view text);

// Makes the machine for the launched program, with output sinks that send output events.
void startMachine(Session& session, uint32_t seed);
// Starts a run of a kind: it proceeds through advance() until it stops.
void startRun(Session& session, RunKind kind);
// Whether a run wants advance() called (it is going and not waiting for input).
bool running(const Session& session);
// Runs one slice of the run in progress, and reports the stop if it stops.
void advance(Session& session);
// Stops the run in progress and reports a pause.
void pauseRun(Session& session);
// Gives IN a line typed in the debug console, and lets the run go on.
void giveLine(Session& session, std::string_view line);
// Steps back one step, or to the previous breakpoint hit (or the oldest state kept).
void stepBack(Session& session, bool toBreakpoint);
// Reports the end of the run and ends the session.
void endSession(Session& session);
// After the client changed the state (the engine restarted the history): tells the client that
// its variables changed.
void stateChanged(Session& session);

}  // namespace tavro
