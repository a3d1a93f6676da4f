// Escaping for display. Valid UTF-8 passes through, so that accented comments stay readable;
// everything a terminal or a parser could take as a command (C0 and C1 controls, DEL, stray
// bytes) is written as \xNN instead.
#include "grade/text.h"

#include <cmath>
#include <cstdio>

namespace tavro {

// The length of the UTF-8 sequence at text[i] that may be shown as it is, or 0.
static size_t printableSequence(std::string_view text, size_t i) {
    auto byte = [&](size_t k) { return static_cast<unsigned char>(text[k]); };
    unsigned char b = byte(i);
    if (b >= 0x20 && b < 0x7F) return 1;
    size_t length = b >= 0xC2 && b <= 0xDF   ? 2
                    : b >= 0xE0 && b <= 0xEF ? 3
                    : b >= 0xF0 && b <= 0xF4 ? 4
                                             : 0;
    if (length == 0 || i + length > text.size()) return 0;
    for (size_t k = 1; k < length; k++) {
        if ((byte(i + k) & 0xC0) != 0x80) return 0;
    }
    unsigned char second = byte(i + 1);
    if (b == 0xC2 && second < 0xA0) return 0;   // C1 controls
    if (b == 0xE0 && second < 0xA0) return 0;   // overlong
    if (b == 0xED && second >= 0xA0) return 0;  // surrogates
    if (b == 0xF0 && second < 0x90) return 0;   // overlong
    if (b == 0xF4 && second >= 0x90) return 0;  // beyond U+10FFFF
    return length;
}

static void escapeInto(std::string& out, std::string_view text, size_t max, bool quoted) {
    size_t i = 0;
    while (i < text.size()) {
        if (i >= max) {
            out += "...";
            return;
        }
        char c = text[i];
        size_t length = printableSequence(text, i);
        if (quoted && (c == '"' || c == '\\')) {
            out += '\\';
            out += c;
            i++;
        } else if (c == '\t' && quoted) {
            out += "\\t";
            i++;
        } else if (length > 0) {
            out.append(text.substr(i, length));
            i += length;
        } else {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%02X", static_cast<unsigned char>(c));
            out += hex;
            i++;
        }
    }
}

std::string quoteText(std::string_view text, size_t max) {
    std::string out = "\"";
    escapeInto(out, text, max, true);
    out += '"';
    return out;
}

std::string displayText(std::string_view text) {
    std::string out;
    escapeInto(out, text, SIZE_MAX, false);
    return out;
}

std::string formatPoints(double points) {
    char text[32];
    if (points >= 0 && points < 1e15 && points == std::floor(points)) {
        std::snprintf(text, sizeof text, "%lld", static_cast<long long>(points));
        return text;
    }
    for (int precision = 1; precision <= 17; precision++) {
        std::snprintf(text, sizeof text, "%.*g", precision, points);
        double back = 0;
        if (std::sscanf(text, "%lg", &back) == 1 && back == points) break;
    }
    return text;
}

}  // namespace tavro
