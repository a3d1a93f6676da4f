// Reading the program and the machine the way a debugger shows them: what a source line
// emits, where an address came from, and the calls on the machine's stack.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "engine/engine.h"

namespace tavro {

enum class LineKind : uint8_t { Nothing, Instruction, Data };

// What a source line emits, told by its statement: an instruction, data (a number, a label's
// address, RES), or nothing.
LineKind lineKind(const Program& program, int32_t line);
// The statement of a 1-based line: its text without the label, the comment and outer blanks.
std::string statementText(const Program& program, int32_t line);
// The 1-based source line that emitted the byte at address; the last line for bytes no line
// emitted (the END added after a program that lacks one).
int32_t lineOfAddress(const Program& program, uint32_t address);

// A CALL whose return address is on the stack.
struct CallFrame {
    int32_t slot;          // the stack word holding the return address
    uint32_t callAddress;  // of the CALL, two bytes before the return address
    std::string callee;    // the label it called, or "CALL n" when no label names the target
};

// The calls on the stack, innermost first: every word from DX up to 4092 that holds the
// address just after a CALL instruction of the program.
std::vector<CallFrame> callFrames(const Program& program, const Machine& machine);
// The stack words from DX (rounded down to even) to 4092; empty when DX lies outside.
std::vector<int32_t> stackSlots(const Machine& machine);
// The label defined at address, or nullptr.
const Symbol* labelAt(const Program& program, int64_t address);

}  // namespace tavro
