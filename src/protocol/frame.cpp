// The framing rules and the recovery after a fault. A fault is reported once; then bytes are
// dropped up to the next "Content-Length:", wherever it stands, since a lost body may run into
// the next header. The one thing to know first: a body
// is JSON, and JSON never holds a raw line end inside a string, so a header line inside an
// awaited body means that body was cut short; the reader goes on from that header at once.
#include "protocol/frame.h"

#include <algorithm>

#include "protocol/channel.h"

namespace tavro::protocol {

void feedBytes(FrameReader& reader, std::string_view bytes) {
    if (!reader.refused) reader.buffer.append(bytes);
}

static char lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; }

// Case-insensitive match of a field name at the start of text.
static bool startsWithName(std::string_view text, std::string_view name) {
    if (text.size() < name.size()) return false;
    for (size_t i = 0; i < name.size(); i++) {
        if (lower(text[i]) != name[i]) return false;
    }
    return true;
}

constexpr std::string_view LENGTH_FIELD = "content-length:";
constexpr size_t MAX_DIGITS = 20;  // a longer number, or run of blanks, is no header line
enum class Match : uint8_t { No, Yes, NeedMore };

// line := "Content-Length:" {SP | HT} DIGIT {DIGIT} {SP | HT} [CR] LF, at text[at], any case.
static Match headerLineAt(std::string_view text, size_t at) {
    text.remove_prefix(at);
    size_t n = text.size() < LENGTH_FIELD.size() ? text.size() : LENGTH_FIELD.size();
    if (!startsWithName(text, LENGTH_FIELD.substr(0, n))) return Match::No;
    if (n < LENGTH_FIELD.size()) return Match::NeedMore;
    size_t i = n, digits = 0, blanks = 0;
    for (; i < text.size() && (text[i] == ' ' || text[i] == '\t'); i++) blanks++;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; i++) digits++;
    for (; i < text.size() && digits > 0 && (text[i] == ' ' || text[i] == '\t'); i++) blanks++;
    if (digits > MAX_DIGITS || blanks > MAX_DIGITS) return Match::No;
    if (i == text.size()) return Match::NeedMore;
    if (text[i] == '\r') i++;
    if (i == text.size()) return Match::NeedMore;
    return digits > 0 && text[i] == '\n' ? Match::Yes : Match::No;
}

// The first header line starting in text[from, limit): its position and whether it is whole.
static size_t findHeaderLine(std::string_view text, size_t from, size_t limit, Match* match) {
    for (size_t at = from; at < limit; at++) {
        *match = headerLineAt(text, at);
        if (*match != Match::No) return at;
    }
    *match = Match::No;
    return std::string_view::npos;
}

// tchar of a field name: letters, digits and !#$%&'*+-.^_`|~
static bool nameChar(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
           std::string_view("!#$%&'*+-.^_`|~").find(c) != std::string_view::npos;
}

struct Header {
    Match state;         // Yes: a whole, good header; No: a bad one; NeedMore: not yet whole
    size_t size;         // of the header block with its blank line; of a bad one, what to drop
    uint64_t length;     // the Content-Length, at most MAX_FRAME_BYTES + 1
    const char* reason;  // what is wrong with a bad one
};

// header := {field EOL} EOL;  field := name ":" value;  EOL := CR LF | LF. A bad line is
// reported as soon as it is whole, without waiting for the end of the block.
static Header readHeader(std::string_view text) {
    Header h{Match::NeedMore, 0, 0, nullptr};
    bool haveLength = false;
    for (size_t start = 0;;) {
        size_t end = text.find('\n', start);
        if (end == std::string_view::npos || end >= MAX_HEADER_BYTES) {
            if (end == std::string_view::npos && text.size() < MAX_HEADER_BYTES) return h;
            return {Match::No, 1, 0, "the header has no end within 8192 bytes"};
        }
        std::string_view line = text.substr(start, end - start);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        start = end + 1;
        if (line.empty()) {
            if (!haveLength) return {Match::No, 1, 0, "the header has no Content-Length"};
            h.state = Match::Yes;
            h.size = start;
            return h;
        }
        size_t colon = line.find(':');
        if (colon == 0 || colon == std::string_view::npos) {
            return {Match::No, 1, 0, "a header line is not a field"};
        }
        for (size_t i = 0; i < colon; i++) {
            if (!nameChar(line[i])) return {Match::No, 1, 0, "a header line is not a field"};
        }
        if (!startsWithName(line, LENGTH_FIELD)) continue;
        std::string_view value = line.substr(LENGTH_FIELD.size());
        while (!value.empty() && (value.front() == ' ' || value.front() == '\t'))
            value.remove_prefix(1);
        while (!value.empty() && (value.back() == ' ' || value.back() == '\t'))
            value.remove_suffix(1);
        if (value.empty()) return {Match::No, 1, 0, "the Content-Length is not a number"};
        uint64_t length = 0;
        for (char c : value) {
            if (c < '0' || c > '9') return {Match::No, 1, 0, "the Content-Length is not a number"};
            // Past the limit the exact size no longer matters.
            length = length * 10 + static_cast<uint64_t>(c - '0');
            if (length > MAX_FRAME_BYTES) length = MAX_FRAME_BYTES + 1;
        }
        if (haveLength && length != h.length) {
            // The second goes too: the scan must not take it for the next frame's.
            return {Match::No, start, 0, "two Content-Length fields disagree"};
        }
        h.length = length;
        haveLength = true;
    }
}

static FrameStatus report(FrameReader& reader, FrameStatus status, std::string* text,
                          std::string reason) {
    *text = std::move(reason);
    logRecord(reader.log, "fault", *text);
    return status;
}

// Drops bytes up to the next "Content-Length:" (any case); false while none has come. A tail
// that may begin one is kept.
static bool findHeader(FrameReader& reader) {
    std::string_view text = reader.buffer;
    size_t at = 0;
    for (; at < text.size(); at++) {
        size_t n = std::min(text.size() - at, LENGTH_FIELD.size());
        if (startsWithName(text.substr(at), LENGTH_FIELD.substr(0, n))) break;
    }
    reader.buffer.erase(0, at);
    reader.lost = reader.buffer.size() < LENGTH_FIELD.size();
    return !reader.lost;
}

FrameStatus nextFrame(FrameReader& reader, std::string* text) {
    if (reader.refused) return FrameStatus::NeedMore;
    if (!reader.haveHeader) {
        if (reader.lost && !findHeader(reader)) return FrameStatus::NeedMore;
        // Line ends between frames are padding, not a fault.
        size_t start = reader.buffer.find_first_not_of("\r\n");
        reader.buffer.erase(0, start == std::string::npos ? reader.buffer.size() : start);
        Header h = readHeader(reader.buffer);
        if (h.state == Match::NeedMore) return FrameStatus::NeedMore;
        if (h.state == Match::No) {
            // The first byte goes at least, so that the scan cannot find this header again;
            // no more, since a line that is not a field may hold a header after stray bytes.
            reader.buffer.erase(0, h.size);
            reader.lost = true;
            return report(reader, FrameStatus::Fault, text, h.reason);
        }
        if (h.length > MAX_FRAME_BYTES) {
            reader.refused = true;
            reader.buffer.clear();
            return report(reader, FrameStatus::TooLarge, text, "the frame is larger than 64 MiB");
        }
        reader.buffer.erase(0, h.size);
        reader.bodyLength = static_cast<size_t>(h.length);
        reader.checked = 0;
        reader.haveHeader = true;
    }
    size_t have = reader.buffer.size();
    bool whole = have >= reader.bodyLength;
    Match match;
    size_t at =
        findHeaderLine(reader.buffer, reader.checked, whole ? reader.bodyLength : have, &match);
    if (match == Match::Yes) {
        reader.buffer.erase(0, at);
        reader.haveHeader = false;
        return report(reader, FrameStatus::Fault, text,
                      "the body is shorter than its Content-Length");
    }
    if (!whole) {
        reader.checked = match == Match::NeedMore ? at : have;
        return FrameStatus::NeedMore;
    }
    text->assign(reader.buffer, 0, reader.bodyLength);
    reader.buffer.erase(0, reader.bodyLength);
    reader.haveHeader = false;
    logRecord(reader.log, "in", *text);
    return FrameStatus::Frame;
}

std::string unfinishedFrame(const FrameReader& reader) {
    if (reader.refused || reader.lost) return "";
    if (reader.haveHeader) return "the input ended inside a frame's body";
    if (reader.buffer.find_first_not_of("\r\n") != std::string::npos) {
        return "the input ended inside a frame's header";
    }
    return "";
}

std::string frameMessage(std::string_view json) {
    std::string text = "Content-Length: " + std::to_string(json.size()) + "\r\n\r\n";
    text += json;
    return text;
}

}  // namespace tavro::protocol
