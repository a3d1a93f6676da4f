// The wire of the Debug Adapter Protocol: messages framed by a Content-Length header, and the
// JSON of responses and events. Reading is incremental, so that a frame may arrive in pieces
// and a malformed one is reported and skipped without waiting for bytes that never come.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include <nlohmann/json.hpp>

namespace tavro {

using Json = nlohmann::json;

constexpr size_t MAX_HEADER_SIZE = 8192;    // a header longer than this is malformed
constexpr size_t MAX_BODY_SIZE = 16 << 20;  // a longer body is refused: its header is dropped

// Bytes received and not yet taken as frames.
struct FrameReader {
    std::string pending;
};

// What nextFrame found.
enum class FrameStatus : uint8_t { Frame, Incomplete, Malformed };

struct Frame {
    FrameStatus status;
    std::string body;  // the message (Frame) or what was wrong (Malformed)
};

// Adds received bytes.
void feedBytes(FrameReader& reader, std::string_view bytes);
// Takes the next whole frame; a malformed header is dropped with the reason.
Frame nextFrame(FrameReader& reader);
// Frames a message: the header, then its JSON.
std::string frameMessage(const Json& message);

// Base64 of bytes (readMemory's data).
std::string encodeBase64(std::string_view bytes);
// Decodes base64 (padding optional); false when text is not base64.
bool decodeBase64(std::string_view text, std::string* bytes);

// The field key of object as a string, or fallback when it is absent or not a string.
std::string stringField(const Json& object, const char* key, std::string_view fallback = "");
// The field key of object as an integer, or fallback when it is absent or not an integer.
int64_t intField(const Json& object, const char* key, int64_t fallback);
// The field key of object as a boolean, or fallback when it is absent or not a boolean.
bool boolField(const Json& object, const char* key, bool fallback);
// The field key of object if it is an object or array, else an empty object.
const Json& nestedField(const Json& object, const char* key);

}  // namespace tavro
