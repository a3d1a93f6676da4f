// The machine's record, the engine's own: front-ends see only the declaration in engine.h and
// go through its functions. Included by the engine's files alone; what a field means for a run
// (resumeIp, the goal, the snapshots) is kept in step by machine.cpp, which owns them.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <deque>
#include <memory>

#include "engine/engine.h"
#include "sim/machine.h"

namespace tavro {

// The full state at one step, for undo.
struct Snapshot {
    MachineState state;
    uint64_t steps;
    uint64_t outputBytes;
    uint64_t messageBytes;
};

// Everything a machine is; engine.h declares it only.
struct Machine {
    MachineState state;  // registers, flag, ip, memory, status, random port; sim/machine.h
    uint64_t steps = 0;  // instructions executed by step() and run() (runToEnd does not count)
    OutputSink out = countingSink();       // the program's output: OUT, trace, closing line
    OutputSink messages = countingSink();  // what tavro writes on standard error: IN's prompts
    Input input;                           // what IN reads
    // Non-zero: stop before the instruction here; bit 0 for a breakpoint of the caller's, bit 1
    // for the return address of a step over or out.
    std::array<uint8_t, MEMORY_SIZE> breakpoints{};
    std::array<uint8_t, MEMORY_SIZE> watched{};  // non-zero: stop after a write to this byte
    int32_t breakpointCount = 0;                 // armed breakpoints
    int32_t watchCount = 0;                      // watched bytes
    bool trace = false;
    // The last run or step came back here (for any reason but a spent budget): the next run
    // executes this instruction before it looks at a breakpoint here. -1 at the start, so that
    // a breakpoint on the first instruction stops the first run.
    int32_t resumeIp = -1;
    int32_t watchAddress = -1;  // the address written when the last run stopped for a watch
    int64_t goalAddress = -1;   // a step over or out in progress: the return address, or -1
    uint16_t goalStack = 0;     // ... reached once DX, as an address, is at least this
    HistoryOptions history;
    std::deque<Snapshot> snapshots;
    std::unique_ptr<std::atomic<int>> ownStop = std::make_unique<std::atomic<int>>(0);
    std::atomic<int>* stop = ownStop.get();  // runs stop when this becomes non-zero
};

}  // namespace tavro
