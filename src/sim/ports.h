// The console ports of the machine: IN reads a number from the input, OUT prints a register.
#pragma once

#include <cstdint>
#include <cstring>

#include "common/decimal.h"
#include "common/sink.h"
#include "sim/machine.h"

namespace tavro {

// Executes the reading of an IN: prompts once, then takes lines until one starts (after blanks)
// with a digit or a minus. Running with *value set, UnexpectedEof, or WaitingForInput when no
// whole line is there yet (the prompt is not repeated when the IN is tried again).
RunStatus inputNumber(MachineState& state, Ports& ports, int16_t* value);
// Writes a message (a prompt) after draining the program's output, so both keep their order.
void writeMessage(Ports& ports, const char* text);

// Prints the line of an OUT, "out: %d\n", for a register's value.
TAVRO_DECIMAL_INLINE void printOut(OutputSink& out, int32_t value) {
    char* p = reserveOut(out, 24);
    std::memcpy(p, "out: \0\0", 8);  // one store; the spare bytes are overwritten
    p = formatWord(p + 5, value);
    *p++ = '\n';
    commitOut(out, p);
}

}  // namespace tavro
