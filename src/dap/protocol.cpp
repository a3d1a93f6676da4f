// Content-Length framing and safe reads of JSON fields. nlohmann's checked accessors throw on
// a wrong type; every read of a client's field goes through the helpers here instead, which
// fall back to a default, so that no request can raise an exception.
#include "dap/protocol.h"

#include <algorithm>
#include <cctype>
#include <cstring>

namespace tavro {

void feedBytes(FrameReader& reader, std::string_view bytes) { reader.pending.append(bytes); }

// The value of a Content-Length header line, or -1 when the line is another header, -2 when
// the value is not a number.
static int64_t contentLength(std::string_view line) {
    constexpr std::string_view NAME = "content-length:";
    if (line.size() < NAME.size()) return -1;
    for (size_t i = 0; i < NAME.size(); i++) {
        if (std::tolower(static_cast<unsigned char>(line[i])) != NAME[i]) return -1;
    }
    size_t i = NAME.size();
    while (i < line.size() && (line[i] == ' ' || line[i] == '\t')) i++;
    if (i == line.size()) return -2;
    int64_t value = 0;
    for (; i < line.size(); i++) {
        char c = line[i];
        if (c == ' ' || c == '\t') break;
        if (c < '0' || c > '9') return -2;
        // Past the largest body accepted, the exact size no longer matters.
        value = std::min<int64_t>(value * 10 + (c - '0'), int64_t{MAX_BODY_SIZE} + 1);
    }
    for (; i < line.size(); i++) {
        if (line[i] != ' ' && line[i] != '\t') return -2;
    }
    return value;
}

Frame nextFrame(FrameReader& reader) {
    std::string& p = reader.pending;
    size_t end = p.find("\r\n\r\n");
    if (end == std::string::npos) {
        if (p.size() <= MAX_HEADER_SIZE) return {FrameStatus::Incomplete, {}};
        p.clear();
        return {FrameStatus::Malformed, "the header has no end within 8192 bytes"};
    }
    int64_t length = -1;
    bool bad = false;
    for (size_t start = 0; start < end;) {
        size_t stop = p.find("\r\n", start);
        if (stop == std::string::npos || stop > end) stop = end;
        int64_t value = contentLength(std::string_view(p).substr(start, stop - start));
        if (value == -2) bad = true;
        if (value >= 0) length = value;
        start = stop + 2;
    }
    size_t bodyStart = end + 4;
    if (bad || length < 0) {
        p.erase(0, bodyStart);
        return {FrameStatus::Malformed,
                bad ? "the Content-Length is not a number" : "the header has no Content-Length"};
    }
    if (static_cast<uint64_t>(length) > MAX_BODY_SIZE) {
        // Only the header goes: waiting for (or skipping) that many bytes would hang the
        // session on one bad number.
        p.erase(0, bodyStart);
        return {FrameStatus::Malformed, "the message is longer than 16 MB"};
    }
    if (p.size() - bodyStart < static_cast<uint64_t>(length)) return {FrameStatus::Incomplete, {}};
    Frame frame{FrameStatus::Frame, p.substr(bodyStart, static_cast<size_t>(length))};
    p.erase(0, bodyStart + static_cast<size_t>(length));
    return frame;
}

std::string frameMessage(const Json& message) {
    // Source lines and paths may hold bytes that are not UTF-8: they are replaced, not thrown.
    std::string body = message.dump(-1, ' ', false, Json::error_handler_t::replace);
    return "Content-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
}

static constexpr char BASE64[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

std::string encodeBase64(std::string_view bytes) {
    std::string text;
    text.reserve((bytes.size() + 2) / 3 * 4);
    for (size_t i = 0; i < bytes.size(); i += 3) {
        // Three bytes make four 6-bit digits; a short group is padded with '='.
        uint32_t group = static_cast<uint8_t>(bytes[i]) << 16;
        if (i + 1 < bytes.size()) group |= static_cast<uint8_t>(bytes[i + 1]) << 8;
        if (i + 2 < bytes.size()) group |= static_cast<uint8_t>(bytes[i + 2]);
        text += BASE64[(group >> 18) & 63];
        text += BASE64[(group >> 12) & 63];
        text += i + 1 < bytes.size() ? BASE64[(group >> 6) & 63] : '=';
        text += i + 2 < bytes.size() ? BASE64[group & 63] : '=';
    }
    return text;
}

bool decodeBase64(std::string_view text, std::string* bytes) {
    while (!text.empty() && text.back() == '=') text.remove_suffix(1);
    if (text.size() % 4 == 1) return false;
    bytes->clear();
    uint32_t group = 0;
    int bits = 0;
    for (char c : text) {
        const char* digit = c == '\0' ? nullptr : std::strchr(BASE64, c);
        if (digit == nullptr) return false;
        group = (group << 6) | static_cast<uint32_t>(digit - BASE64);
        bits += 6;
        if (bits >= 8) {
            bits -= 8;
            bytes->push_back(static_cast<char>((group >> bits) & 0xFF));
        }
    }
    return true;
}

std::string stringField(const Json& object, const char* key, std::string_view fallback) {
    if (!object.is_object()) return std::string(fallback);
    auto it = object.find(key);
    if (it == object.end() || !it->is_string()) return std::string(fallback);
    return it->get_ref<const std::string&>();
}

int64_t intField(const Json& object, const char* key, int64_t fallback) {
    if (!object.is_object()) return fallback;
    auto it = object.find(key);
    if (it == object.end()) return fallback;
    if (it->is_number_integer()) return it->get<int64_t>();
    if (it->is_number_unsigned()) {
        uint64_t value = it->get<uint64_t>();
        return value > static_cast<uint64_t>(INT64_MAX) ? INT64_MAX : static_cast<int64_t>(value);
    }
    return fallback;
}

bool boolField(const Json& object, const char* key, bool fallback) {
    if (!object.is_object()) return fallback;
    auto it = object.find(key);
    if (it == object.end() || !it->is_boolean()) return fallback;
    return it->get<bool>();
}

const Json& nestedField(const Json& object, const char* key) {
    static const Json EMPTY = Json::object();
    if (!object.is_object()) return EMPTY;
    auto it = object.find(key);
    if (it == object.end() || !(it->is_object() || it->is_array())) return EMPTY;
    return *it;
}

}  // namespace tavro
