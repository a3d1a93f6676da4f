// JSON-RPC framing over a byte stream: "Content-Length: N" headers, a blank line, N bytes of
// JSON. The reader is fed whatever arrives and hands back whole frames or framing faults; it
// never blocks and never holds more than one frame's body.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace tavro::lsp {

constexpr size_t MAX_HEADER_BYTES = 8192;       // a header block longer than this is garbage
constexpr size_t MAX_FRAME_BYTES = 256u << 20;  // larger bodies are skipped, not kept

struct FrameReader {
    std::string buffer;       // bytes received and not yet taken
    size_t skipping = 0;      // bytes of an oversized body still to drop
    size_t bodyLength = 0;    // the body being waited for
    bool haveHeader = false;  // a header block was read, its body is awaited
};

enum class FrameStatus : uint8_t {
    NeedMore,  // no whole frame yet
    Frame,     // body holds one frame's JSON text
    Fault,     // the bytes were not a frame; body says why; the reader resynchronised
};

// Appends received bytes.
void feedBytes(FrameReader& reader, std::string_view bytes);
// Takes the next frame or framing fault out of the reader.
FrameStatus nextFrame(FrameReader& reader, std::string* body);
// Wraps a JSON text in its header.
std::string frameMessage(std::string_view json);

}  // namespace tavro::lsp
