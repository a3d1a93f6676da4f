// The execution trace: one line per executed instruction, printed before it acts.
#pragma once

#include "common/sink.h"
#include "sim/machine.h"

namespace tavro {

constexpr int TRACE_LINE_MAX = 128;  // bytes of the longest trace line, line end included

// Writes the trace line of the instruction at ip into line (TRACE_LINE_MAX bytes); returns its
// end, or line itself when ip lies outside the code (nothing is traced there).
char* formatTraceLine(const MachineState& state, char* line);
// Appends the trace line of the instruction at ip to a sink.
void traceInstruction(const MachineState& state, OutputSink& out);

}  // namespace tavro
