// Instruction execution, the run loop and its interruption by Ctrl-C.
#pragma once

#include <csignal>
#include <cstdint>

#include "common/console.h"
#include "common/decimal.h"
#include "common/tavro.h"

// Set by the SIGINT handler; the run ends at the next step (or the wait for input) it sees it.
extern volatile sig_atomic_t interruptRequested;

// Executes the instruction at ip (tracing it first when trace is 1) and returns its status.
RunStatus executeStep(int trace);
// Runs image from address 0 until it stops, then prints the closing or interruption line.
void runProgram(uint8_t* image, int32_t codeSize, int trace);
// Reads an IN line's number: an optional minus and digits, reduced modulo 65536 to 16 bits.
int16_t parseInputNumber(const char* text);
// Prompts for and reads the number of an IN; Running with *value set, UnexpectedEof or
// Interrupted.
RunStatus inputNumber(int16_t* value);
// Prints the line of an OUT, "out: %d\n", for a register's value.
TAVRO_CONSOLE_INLINE void printOut(int32_t value) {
    char* p = reserveOut(24);
    std::memcpy(p, "out: \0\0", 8);  // one store; the spare bytes are overwritten
    p = formatWord(p + 5, value);
    *p++ = '\n';
    commitOut(p);
}
