// The adapter's own pieces of the wire: its messages framed by the shared framing, and the
// base64 of readMemory and writeMemory (the standard alphabet; padding optional when read).
#include "dap/protocol.h"

#include <cstring>

namespace tavro {

std::string frameMessage(const Json& message) {
    return protocol::frameMessage(protocol::dumpJson(message));
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

}  // namespace tavro
