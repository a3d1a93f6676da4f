// The framing of the base protocol. A fault (a header without a usable Content-Length, a
// header block that never ends, a body too large to keep) is reported once, and the reader
// drops bytes up to the next header, so one bad frame never stalls the ones after it.
#include "lsp/jsonrpc.h"

#include <cstring>

namespace tavro::lsp {

void feedBytes(FrameReader& reader, std::string_view bytes) {
    if (reader.skipping > 0) {
        size_t dropped = bytes.size() < reader.skipping ? bytes.size() : reader.skipping;
        reader.skipping -= dropped;
        bytes.remove_prefix(dropped);
    }
    reader.buffer.append(bytes);
}

// Case-insensitive match of a header field's name at the start of a line.
static bool startsWithField(std::string_view line, std::string_view name) {
    if (line.size() < name.size()) return false;
    for (size_t i = 0; i < name.size(); i++) {
        char c = line[i];
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
        if (c != name[i]) return false;
    }
    return true;
}

// header := {field CRLF} CRLF; the one field read is Content-Length: digits. Returns the
// length, or -1 when it is missing, malformed or beyond any size worth reading.
static int64_t contentLength(std::string_view header) {
    int64_t length = -1;
    while (!header.empty()) {
        size_t end = header.find("\r\n");
        std::string_view line = header.substr(0, end);
        header = end == std::string_view::npos ? std::string_view() : header.substr(end + 2);
        if (!startsWithField(line, "content-length:")) continue;
        std::string_view value = line.substr(15);
        while (!value.empty() && (value.front() == ' ' || value.front() == '\t'))
            value.remove_prefix(1);
        while (!value.empty() && (value.back() == ' ' || value.back() == '\t'))
            value.remove_suffix(1);
        if (value.empty() || value.size() > 15) return -1;
        int64_t n = 0;
        for (char c : value) {
            if (c < '0' || c > '9') return -1;
            n = n * 10 + (c - '0');
        }
        length = n;
    }
    return length;
}

// Drops bytes up to the next "Content-Length:" after the first byte, wherever it stands (a
// lost body may run into the next header); without one, at least the first `least` bytes and
// all but a tail that may begin one.
static void resynchronise(FrameReader& reader, size_t least) {
    constexpr std::string_view FIELD = "content-length:";
    std::string_view text = reader.buffer;
    for (size_t at = 1; at + FIELD.size() <= text.size(); at++) {
        if (startsWithField(text.substr(at), FIELD)) {
            reader.buffer.erase(0, at);
            return;
        }
    }
    size_t keep = text.size() < FIELD.size() ? text.size() : FIELD.size() - 1;
    size_t drop = text.size() - keep > least ? text.size() - keep : least;
    reader.buffer.erase(0, drop);
}

FrameStatus nextFrame(FrameReader& reader, std::string* body) {
    if (!reader.haveHeader) {
        size_t end = reader.buffer.find("\r\n\r\n");
        if (end == std::string::npos) {
            if (reader.buffer.size() <= MAX_HEADER_BYTES) return FrameStatus::NeedMore;
            *body = "header block too long";
            resynchronise(reader, 1);
            return FrameStatus::Fault;
        }
        int64_t length = contentLength(std::string_view(reader.buffer).substr(0, end + 2));
        if (length < 0) {
            *body = "no valid Content-Length header";
            resynchronise(reader, end + 4);
            return FrameStatus::Fault;
        }
        reader.buffer.erase(0, end + 4);
        if (static_cast<uint64_t>(length) > MAX_FRAME_BYTES) {
            size_t n = static_cast<size_t>(length);
            size_t dropped = reader.buffer.size() < n ? reader.buffer.size() : n;
            reader.buffer.erase(0, dropped);
            reader.skipping = n - dropped;
            *body = "frame too large";
            return FrameStatus::Fault;
        }
        reader.bodyLength = static_cast<size_t>(length);
        reader.haveHeader = true;
    }
    if (reader.buffer.size() < reader.bodyLength) return FrameStatus::NeedMore;
    body->assign(reader.buffer, 0, reader.bodyLength);
    reader.buffer.erase(0, reader.bodyLength);
    reader.haveHeader = false;
    return FrameStatus::Frame;
}

std::string frameMessage(std::string_view json) {
    std::string text = "Content-Length: " + std::to_string(json.size()) + "\r\n\r\n";
    text += json;
    return text;
}

}  // namespace tavro::lsp
