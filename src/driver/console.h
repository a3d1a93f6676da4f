// tavro's console: the program's output on standard output (buffered, or line by line on a
// terminal), messages on standard error one at a time after whatever output is pending, and
// standard input read as it comes, with Ctrl-C able to end a wait for it.
#pragma once

#include <atomic>
#include <string>

#include "engine/engine.h"

namespace tavro {

struct Console {
    int inFd, outFd, errFd;
    OutputSink out;  // standard output
    OutputSink err;  // standard error, written at once
};

enum class InputRead : uint8_t { Data, End, Interrupted };

// Opens the console on three descriptors; a terminal on outFd gets each line at once.
Console openConsole(int inFd = 0, int outFd = 1, int errFd = 2);
// Writes a message on standard error after draining standard output.
void printError(Console& console, std::string_view text);
// Waits until standard input has bytes, ends, or interrupt becomes non-zero; reads what is
// there into *bytes. SIGINT is blocked until the wait begins, so none is missed.
InputRead readInput(const Console& console, std::string* bytes, const std::atomic<int>& interrupt);

}  // namespace tavro
