// Output sinks: where a machine's output goes. A sink is a buffer that the run fills directly
// (the hot path formats OUT and trace lines in place) and a function that takes the buffered
// bytes when the buffer fills, at a line end, or at once, as its flush mode says. The caller
// chooses the function: a file descriptor, a string, a callback.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

namespace tavro {

enum class SinkFlush : uint8_t {
    Buffered,  // hand bytes on when the buffer is full or on drainSink
    Lines,     // also after each finished line (a terminal)
    Each,      // after every write (standard error)
};

// Takes the bytes; returns false when they could not be written (the sink then fails).
using SinkWriter = std::function<bool(std::string_view bytes)>;

constexpr size_t SINK_BUFFER_SIZE = 1 << 16;
constexpr size_t SINK_RESERVE_MAX = 256;  // the most one reserveOut may ask for

struct OutputSink {
    std::unique_ptr<char[]> buffer;
    char* cursor = nullptr;  // the end of what is pending
    char* limit = nullptr;   // the end of the buffer
    SinkFlush flush = SinkFlush::Buffered;
    bool failed = false;     // a write was refused; what follows is dropped
    uint64_t drained = 0;    // bytes handed to the writer (or dropped) so far
    SinkWriter writer;       // empty: the bytes are only counted
};

// Makes a sink with its own buffer of size bytes (at least SINK_RESERVE_MAX).
OutputSink makeSink(SinkWriter writer, SinkFlush flush = SinkFlush::Buffered,
                    size_t size = SINK_BUFFER_SIZE);
// A sink that appends everything to *text.
OutputSink stringSink(std::string* text);
// A sink that drops everything and only counts it.
OutputSink countingSink();
// Hands everything pending to the writer.
void drainSink(OutputSink& sink);
// Takes the bytes up to end, for a sink that flushes lines: a finished line is drained.
void commitLines(OutputSink& sink, char* end);
// Appends len bytes.
void sinkWrite(OutputSink& sink, const char* text, size_t len);
// Appends a text.
inline void sinkWrite(OutputSink& sink, std::string_view text) {
    sinkWrite(sink, text.data(), text.size());
}
// Bytes written so far, pending ones included.
inline uint64_t sinkBytes(const OutputSink& sink) {
    return sink.drained + static_cast<uint64_t>(sink.cursor - sink.buffer.get());
}

#if defined(__GNUC__)
#define TAVRO_SINK_INLINE inline __attribute__((always_inline))
#else
#define TAVRO_SINK_INLINE inline
#endif

// Makes room for n bytes (at most SINK_RESERVE_MAX) and returns where they go.
TAVRO_SINK_INLINE char* reserveOut(OutputSink& sink, size_t n) {
    if (static_cast<size_t>(sink.limit - sink.cursor) < n) drainSink(sink);
    return sink.cursor;
}

// Marks the bytes up to end, taken from reserveOut, as written.
TAVRO_SINK_INLINE void commitOut(OutputSink& sink, char* end) {
    if (sink.flush == SinkFlush::Buffered) {
        sink.cursor = end;
    } else {
        commitLines(sink, end);
    }
}

}  // namespace tavro
