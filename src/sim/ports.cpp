// The random port, IN and the line reading under it. IN takes its input a line at a time, exactly as a reader of
// 64-byte lines with fgets would: up to and including a line end, but at most 63 bytes, so a
// longer line arrives in pieces, each taken as a line of its own. Input comes in whatever
// pieces the front-end has (a read of a pipe, a file, a line typed in a page); a line is taken
// only when it is whole, so IN may have to wait for more.
#include "sim/ports.h"

#include <ctime>

namespace tavro {

constexpr size_t INPUT_LINE_MAX = 63;

// table[0] = seed; table[i] = 16807 * table[i-1] mod (2^31 - 1), by Schrage's method so that
// nothing overflows; then 310 draws are thrown away to mix the table.
void seedRandom(RandomPort& port, uint32_t seed) {
    port.seedAtFirstDraw = false;
    int32_t word = seed == 0 ? 1 : static_cast<int32_t>(seed);
    port.table[0] = word;
    for (int i = 1; i < 31; i++) {
        int32_t hi = word / 127773;
        int32_t lo = word % 127773;
        word = 16807 * lo - 2836 * hi;
        if (word < 0) word += 2147483647;
        port.table[i] = word;
    }
    port.front = 3;
    port.rear = 0;
    for (int i = 0; i < 310; i++) nextRandom(port);
}

void seedFromClock(RandomPort& port) {
    // A program that waits for input before it draws must not repeat one that drew at the
    // moment its run began: the clock is read at the draw.
    seedRandom(port, static_cast<uint32_t>(std::time(nullptr)));
}

// Reads an IN line's number: an optional minus and digits, reduced modulo 65536 to 16 bits.
static int16_t parseInputNumber(const char* text, const char* end) {
    bool negative = text < end && *text == '-';
    if (negative) text++;
    // Accumulating modulo 65536 keeps the exact value's residue, however many digits come.
    uint32_t value = 0;
    for (; text < end && *text >= '0' && *text <= '9'; text++) {
        value = (value * 10 + static_cast<uint32_t>(*text - '0')) & 0xFFFF;
    }
    if (negative) value = (0x10000 - value) & 0xFFFF;
    return static_cast<int16_t>(value);
}

bool printOutSlowly(OutputSink& out, int32_t value) {
    char line[OUT_LINE_MAX];
    char* end = formatOutLine(line, value);
    sinkWrite(out, line, static_cast<size_t>(end - line));
    return !out.failed;
}

bool writeMessage(Ports& ports, const char* text) {
    drainSink(ports.out);
    if (ports.out.failed) return false;
    sinkWrite(ports.messages, text, std::strlen(text));
    return true;
}

enum class LineTake : uint8_t { Line, Wait, End };

// Takes the next line from the input at state.inputPosition: [*begin, *end).
static LineTake takeLine(MachineState& state, const Input& input, const char** begin,
                         const char** end) {
    const std::string& bytes = input.bytes;
    size_t start = static_cast<size_t>(state.inputPosition - input.base);
    size_t available = bytes.size() - start;
    size_t window = available < INPUT_LINE_MAX ? available : INPUT_LINE_MAX;
    const char* p = bytes.data() + start;
    const void* newline = std::memchr(p, '\n', window);
    size_t length;
    if (newline != nullptr) {
        length = static_cast<size_t>(static_cast<const char*>(newline) - p) + 1;
    } else if (window == INPUT_LINE_MAX || (input.ended && window > 0)) {
        length = window;
    } else {
        return input.ended ? LineTake::End : LineTake::Wait;
    }
    state.inputPosition += length;
    *begin = p;
    *end = p + length;
    return LineTake::Line;
}

RunStatus inputNumber(MachineState& state, Ports& ports, int16_t* value) {
    // Looked at before every IN, and again when it is tried after a wait for input: a Ctrl-C
    // that came with the line is not lost in the straight-line code that may follow.
    if (ports.stop.load(std::memory_order_relaxed) != 0) return RunStatus::Interrupted;
    if (!state.prompted) {
        if (!writeMessage(ports, "in ? ")) return RunStatus::OutputFailed;
        state.prompted = true;
    }
    for (;;) {
        const char* begin = nullptr;
        const char* end = nullptr;
        LineTake take = takeLine(state, ports.input, &begin, &end);
        if (take == LineTake::Wait) return RunStatus::WaitingForInput;
        if (take == LineTake::End) {
            state.prompted = false;
            return RunStatus::UnexpectedEof;
        }
        while (begin < end && isBlank(*begin)) begin++;
        if (begin < end && ((*begin >= '0' && *begin <= '9') || *begin == '-')) {
            *value = parseInputNumber(begin, end);
            state.prompted = false;
            return RunStatus::Running;
        }
        if (!writeMessage(ports, "input number ? ")) return RunStatus::OutputFailed;
    }
}

}  // namespace tavro
