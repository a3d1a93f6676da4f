// Console streams: buffered standard output, message-at-a-time standard error, and the line
// input of IN. All of the tool's output goes through here, so that the two streams reach a
// shared file in the order the program wrote them.
#pragma once

#include <csignal>
#include <cstddef>
#include <cstdint>

enum class Stream : uint8_t { Out, Err };

constexpr size_t OUT_BUFFER_SIZE = 1 << 16;
constexpr size_t IN_BUFFER_SIZE = 1 << 16;

struct ConsoleState {
    int inFd, outFd, errFd;     // standard input, output and error, unless a fuzzer says else
    char out[OUT_BUFFER_SIZE];  // pending standard output
    char* outCursor;            // the end of what is pending
    bool outIsTerminal;         // a terminal gets each line as soon as it ends
    bool writeFailed;         // a write was refused (closed stream, full disk); the rest is dropped
    char in[IN_BUFFER_SIZE];  // standard input read but not yet consumed
    size_t inStart, inEnd;
    bool inAtEnd;  // end of input or a read error was met; it stays so
};

extern ConsoleState console;

// Empties the buffers, takes the three descriptors and notes whether output is a terminal.
void resetConsole(int inFd = 0, int outFd = 1, int errFd = 2);
// Appends len bytes to a stream. Standard error is written at once, after standard output.
void consoleWrite(Stream stream, const char* text, size_t len);
// Appends a NUL-terminated text to a stream.
void consoleText(Stream stream, const char* text);
// Appends printf-style formatted text to a stream; any length.
void consolePrintf(Stream stream, const char* format, ...) __attribute__((format(printf, 2, 3)));
// Writes out whatever standard output holds.
void consoleFlush();
// Takes the standard output pending up to end, on a terminal: finished lines are written out.
void commitToTerminal(char* end);

#if defined(__GNUC__)
#define TAVRO_CONSOLE_INLINE inline __attribute__((always_inline))
#else
#define TAVRO_CONSOLE_INLINE inline
#endif

// Makes room for at least n bytes (n at most OUT_BUFFER_SIZE) at the end of standard output.
TAVRO_CONSOLE_INLINE char* reserveOut(size_t n) {
    if (static_cast<size_t>(console.out + OUT_BUFFER_SIZE - console.outCursor) < n) consoleFlush();
    return console.outCursor;
}

// Marks the bytes up to end, taken from reserveOut, as written; on a terminal a finished line
// is written out at once.
TAVRO_CONSOLE_INLINE void commitOut(char* end) {
    if (console.outIsTerminal) {
        commitToTerminal(end);
    } else {
        console.outCursor = end;
    }
}

// Reads one line of standard input as fgets does into a buffer of size bytes: at most size-1
// bytes, the newline kept when it fits. Returns the count stored (then NUL-terminated), 0 at the
// end of input, or -1 when *interrupted became set while waiting.
int readInputLine(char* buffer, int size, const volatile sig_atomic_t* interrupted);
