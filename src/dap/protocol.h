// The wire of the Debug Adapter Protocol: the Content-Length framing and the JSON helpers shared
// with tavro-lsp (see protocol/frame.h and protocol/json.h), named in the adapter's namespace,
// and what only the adapter needs: a message framed from its JSON, and base64 for memory.
#pragma once

#include <string>
#include <string_view>

#include "protocol/frame.h"
#include "protocol/json.h"

namespace tavro {

using protocol::boolField;
using protocol::feedBytes;
using protocol::FrameReader;
using protocol::FrameStatus;
using protocol::intField;
using protocol::Json;
using protocol::nestedField;
using protocol::nextFrame;
using protocol::stringField;

// Frames a message: the header, then its JSON.
std::string frameMessage(const Json& message);

// Base64 of bytes (readMemory's data).
std::string encodeBase64(std::string_view bytes);
// Decodes base64 (padding optional); false when text is not base64.
bool decodeBase64(std::string_view text, std::string* bytes);

}  // namespace tavro
