// The ports of the machine: IN reads a number from the input, OUT prints a register, and the
// word at 4094 draws a random number.
#pragma once

#include <cstdint>
#include <cstdint>
#include <cstring>

#include "common/decimal.h"
#include "common/sink.h"
#include "sim/machine.h"

namespace tavro {

// Seeds the random port.
void seedRandom(RandomPort& port, uint32_t seed);
// Seeds the port from the clock now, where it waits for its first draw to be seeded.
void seedFromClock(RandomPort& port);
// Returns a fresh random number, 0 to 32767.
inline int32_t nextRandom(RandomPort& port);
// Executes the reading of an IN: prompts once, then takes lines until one starts (after blanks)
// with a digit or a minus. Running with *value set, UnexpectedEof, or WaitingForInput when no
// whole line is there yet (the prompt is not repeated when the IN is tried again). The IN does
// not execute when a stop is requested (Interrupted) or the output pending before its prompt
// cannot be written (OutputFailed): nothing is prompted or read then.
RunStatus inputNumber(MachineState& state, Ports& ports, int16_t* value);
// Writes a message (a prompt) after draining the program's output, so both keep their order;
// false, with nothing written, when the output refused the drain.
bool writeMessage(Ports& ports, const char* text);

// Writes the line of an OUT where the buffer needs draining or the sink flushes lines; returns
// false when the sink is found failed.
bool printOutSlowly(OutputSink& out, int32_t value);

// The draws of x[i] = x[i-3] + x[i-31]: see RandomPort.
inline int32_t nextRandom(RandomPort& port) {
    if (port.seedAtFirstDraw) seedFromClock(port);
    uint32_t sum = static_cast<uint32_t>(port.table[port.front]) +
                   static_cast<uint32_t>(port.table[port.rear]);
    port.table[port.front] = static_cast<int32_t>(sum);
    port.front = static_cast<uint8_t>(port.front == 30 ? 0 : port.front + 1);
    port.rear = static_cast<uint8_t>(port.rear == 30 ? 0 : port.rear + 1);
    return static_cast<int32_t>((sum >> 1) & 0x7FFF);
}

constexpr size_t OUT_LINE_MAX = 24;  // room for an OUT line, spare bytes of its stores included

// Writes the line of an OUT, "out: %d\n", at p (OUT_LINE_MAX bytes of room); returns its end.
TAVRO_DECIMAL_INLINE char* formatOutLine(char* p, int32_t value) {
    std::memcpy(p, "out: \0\0", 8);  // one store; the spare bytes are overwritten
    p = formatWord(p + 5, value);
    *p++ = '\n';
    return p;
}

// Prints the line of an OUT for a register's value. Returns false when the sink is found
// failed; that is looked at only when bytes are handed on, off the common path.
TAVRO_DECIMAL_INLINE bool printOut(OutputSink& out, int32_t value) {
    char* p = out.cursor;
    if (static_cast<size_t>(out.limit - p) < OUT_LINE_MAX || out.flush != SinkFlush::Buffered) {
        return printOutSlowly(out, value);
    }
    out.cursor = formatOutLine(p, value);
    return true;
}

}  // namespace tavro
