// Escaping for display. Valid UTF-8 passes through, so that accented comments stay readable;
// everything a terminal or a parser could take as a command (C0 and C1 controls, DEL, stray
// bytes, lone surrogates) and the two code points that XML 1.0 forbids (U+FFFE, U+FFFF) are
// written as \xNN per byte instead. The backslash itself is doubled, so the escaping can be
// undone and two different texts never look alike.
#include "engine/text.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>

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
    if (b == 0xC2 && second < 0xA0) return 0;                          // C1 controls
    if (b == 0xE0 && second < 0xA0) return 0;                          // overlong
    if (b == 0xED && second >= 0xA0) return 0;                         // surrogates
    if (b == 0xF0 && second < 0x90) return 0;                          // overlong
    if (b == 0xF4 && second >= 0x90) return 0;                         // beyond U+10FFFF
    if (b == 0xEF && second == 0xBF && byte(i + 2) >= 0xBE) return 0;  // U+FFFE, U+FFFF
    return length;
}

static void escapeInto(std::string& out, std::string_view text, size_t max, bool quoted,
                       bool backslash = true) {
    size_t i = 0;
    while (i < text.size()) {
        if (i >= max) {
            out += "...";
            return;
        }
        char c = text[i];
        size_t length = printableSequence(text, i);
        if ((quoted && c == '"') || (backslash && c == '\\')) {
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

std::string undisplayText(std::string_view shown) {
    auto hex = [](char c) {
        return c >= '0' && c <= '9' ? c - '0' : c >= 'A' && c <= 'F' ? c - 'A' + 10 : -1;
    };
    std::string text;
    for (size_t i = 0; i < shown.size(); i++) {
        if (shown[i] == '\\' && i + 1 < shown.size() && shown[i + 1] == '\\') {
            text += '\\';
            i++;
        } else if (shown[i] == '\\' && i + 3 < shown.size() && shown[i + 1] == 'x' &&
                   hex(shown[i + 2]) >= 0 && hex(shown[i + 3]) >= 0) {
            text += static_cast<char>(hex(shown[i + 2]) * 16 + hex(shown[i + 3]));
            i += 3;
        } else {
            text += shown[i];
        }
    }
    return text;
}

std::string safeText(std::string_view text) {
    std::string out;
    escapeInto(out, text, SIZE_MAX, false, false);
    return out;
}

std::string formatPoints(int64_t thousandths) {
    uint64_t magnitude = thousandths < 0 ? 0 - static_cast<uint64_t>(thousandths)
                                         : static_cast<uint64_t>(thousandths);
    std::string text = (thousandths < 0 ? "-" : "") + std::to_string(magnitude / 1000);
    uint64_t fraction = magnitude % 1000;
    if (fraction == 0) return text;
    char digits[8];
    std::snprintf(digits, sizeof digits, ".%03u", static_cast<unsigned>(fraction));
    std::string decimals = digits;
    while (decimals.back() == '0') decimals.pop_back();
    return text + decimals;
}

bool pointsFromNumber(double number, int64_t* thousandths) {
    if (!std::isfinite(number) || number < 0 || number > 1e9) return false;
    // A decimal with at most three places comes back exactly from its nearest thousandths;
    // any finer number does not.
    double scaled = std::nearbyint(number * 1000);
    if (scaled / 1000 != number) return false;
    *thousandths = static_cast<int64_t>(scaled);
    return true;
}

bool parseCount(std::string_view text, uint64_t low, uint64_t high, uint64_t* value) {
    if (text.empty() || text.size() > 20) return false;
    uint64_t result = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return false;
        uint64_t digit = static_cast<uint64_t>(c - '0');
        if (result > (UINT64_MAX - digit) / 10) return false;
        result = result * 10 + digit;
    }
    if (result < low || result > high) return false;
    *value = result;
    return true;
}

}  // namespace tavro
