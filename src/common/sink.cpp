// Output sinks. A failed writer is not asked again: the sink drops and counts what follows, so
// that a run into a full disk ends instead of retrying forever.
#include "common/sink.h"

namespace tavro {

OutputSink makeSink(SinkWriter writer, SinkFlush flush, size_t size) {
    OutputSink sink;
    if (size < SINK_RESERVE_MAX) size = SINK_RESERVE_MAX;
    sink.buffer = std::make_unique<char[]>(size);
    sink.cursor = sink.buffer.get();
    sink.limit = sink.cursor + size;
    sink.flush = flush;
    sink.writer = std::move(writer);
    return sink;
}

OutputSink stringSink(std::string* text) {
    return makeSink([text](std::string_view bytes) {
        text->append(bytes);
        return true;
    });
}

OutputSink countingSink() { return makeSink(nullptr); }

void drainSink(OutputSink& sink) {
    char* start = sink.buffer.get();
    size_t pending = static_cast<size_t>(sink.cursor - start);
    if (pending == 0) return;
    if (!sink.failed && sink.writer && !sink.writer(std::string_view(start, pending))) {
        sink.failed = true;
    }
    sink.drained += pending;
    sink.cursor = start;
}

void commitLines(OutputSink& sink, char* end) {
    bool drain = sink.flush == SinkFlush::Each ||
                 (end > sink.cursor &&
                  std::memchr(sink.cursor, '\n', static_cast<size_t>(end - sink.cursor)));
    sink.cursor = end;
    if (drain) drainSink(sink);
}

void sinkWrite(OutputSink& sink, const char* text, size_t len) {
    while (len > 0) {
        size_t chunk = len < SINK_RESERVE_MAX ? len : SINK_RESERVE_MAX;
        char* p = reserveOut(sink, chunk);
        std::memcpy(p, text, chunk);
        text += chunk;
        len -= chunk;
        if (len == 0) {
            commitOut(sink, p + chunk);
        } else {
            sink.cursor = p + chunk;  // a long text is committed once, at its end
        }
    }
}

}  // namespace tavro
