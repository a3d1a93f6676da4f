// The execution trace of the -t option: one line per executed instruction.
#pragma once

#include "common/tavro.h"

constexpr int TRACE_OPERAND_WIDTH = 18;  // the operand text is padded to this width

// Prints the trace line of an instruction (operand may be nullptr) with the machine as it stands.
void traceInstruction(int opcode, const Operand* operand);
// Pads the operand text from text to end and appends the register and flag columns; returns
// the new end, where a line end has been written too. Needs 64 bytes from text.
char* appendMachineColumns(char* text, char* end);
