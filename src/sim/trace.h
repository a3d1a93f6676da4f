// The execution trace: one line per executed instruction, printed before it acts.
#pragma once

#include "common/sink.h"
#include "sim/machine.h"

namespace tavro {

constexpr int TRACE_LINE_MAX = 128;  // bytes of the longest trace line, line end included

// Writes the trace line of the instruction at ip into line (TRACE_LINE_MAX bytes); returns its
// end, or line itself when ip lies outside the code (nothing is traced there).
char* formatTraceLine(const MachineState& state, char* line);
// Appends the trace line of the instruction at ip (below codeSize) to a sink; operand is its
// decoded operand for COPY..CMP (executeStep has it at hand), unused otherwise.
void traceInstruction(const MachineState& state, OutputSink& out, const DecodedOperand& operand);

}  // namespace tavro
