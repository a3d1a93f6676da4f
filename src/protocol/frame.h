// Content-Length framing, the one set of rules of tavro-lsp and tavro-dap: a header block of
// fields, each line ended by CR LF or a bare LF, "Content-Length: N" among them, a blank line,
// then N bytes of JSON. The reader is fed whatever arrives and hands back whole frames or
// faults; it never blocks, and after a fault it drops bytes up to the next "Content-Length:".
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace tavro::protocol {

constexpr size_t MAX_HEADER_BYTES = 8192;      // a header block must end within this many bytes
constexpr size_t MAX_FRAME_BYTES = 64u << 20;  // 64 MiB: a larger Content-Length is refused

struct Log;

struct FrameReader {
    std::string buffer;       // bytes received and not yet taken
    size_t bodyLength = 0;    // of the body awaited after a header
    size_t checked = 0;       // bytes of the awaited body known to hold no header line
    bool haveHeader = false;  // a header was read; its body is awaited
    bool lost = false;        // after a fault: dropping bytes up to the next Content-Length
    bool refused = false;     // a frame over MAX_FRAME_BYTES came: nothing more is taken
    Log* log = nullptr;       // records every frame and fault taken, when set
};

enum class FrameStatus : uint8_t {
    NeedMore,  // no whole frame yet
    Frame,     // text holds one frame's body
    Fault,     // the bytes were not a frame; text says why; the reader goes on after them
    TooLarge,  // a frame over MAX_FRAME_BYTES; text says so; the server answers and ends
};

// Appends received bytes.
void feedBytes(FrameReader& reader, std::string_view bytes);
// Takes the next frame or framing fault out of the reader.
FrameStatus nextFrame(FrameReader& reader, std::string* text);
// At the end of the input: why the bytes left in the reader are not a frame, or "" when none are.
std::string unfinishedFrame(const FrameReader& reader);
// Wraps a JSON text in its header.
std::string frameMessage(std::string_view json);

}  // namespace tavro::protocol
