// Tokens of the source language. Character classes are plain ASCII whatever the locale: a byte
// at or above 0x80 is neither a letter nor a digit, so it is always a one-byte Punct token.
// A ';' ends the line for every caller, since a comment runs from it to the line end.
#include "asm/lexer.h"

#include <cstring>

namespace tavro {

enum CharClass : uint8_t { LETTER = 1, DIGIT = 2 };

// The class of every byte value: ASCII letters and digits, nothing else.
struct CharClassTable {
    uint8_t of[256];
};
static constexpr CharClassTable makeCharClassTable() {
    CharClassTable table{};
    for (int c = 'A'; c <= 'Z'; c++) table.of[c] = table.of[c + 32] = LETTER;
    for (int c = '0'; c <= '9'; c++) table.of[c] = DIGIT;
    return table;
}
static constexpr CharClassTable CHAR_CLASS = makeCharClassTable();

static bool isLetter(unsigned char c) { return CHAR_CLASS.of[c] & LETTER; }
static bool isDigit(unsigned char c) { return CHAR_CLASS.of[c] & DIGIT; }
static bool isAlphanumeric(unsigned char c) { return CHAR_CLASS.of[c] != 0; }

// token := NAME | NUMBER | one punctuation byte
// NAME := letter {letter | digit}       NUMBER := (digit | '-' | '+') {digit}
TokenClass classifyToken(const char* p, int32_t* length) {
    const auto* s = reinterpret_cast<const unsigned char*>(p);
    unsigned char c = s[0];
    int32_t n = 1;
    if (c == '\0' || c == ';') {
        *length = 0;
        return TokenClass::EndOfLine;
    }
    if (isLetter(c)) {
        while (isAlphanumeric(s[n])) n++;
        *length = n;
        return TokenClass::Name;
    }
    if (isDigit(c) || c == '-' || c == '+') {
        while (isDigit(s[n])) n++;
        *length = n;
        return TokenClass::Number;
    }
    *length = 1;
    return TokenClass::Punct;
}

void copyName(char* destination, const char* token, int32_t length) {
    int32_t n = length < MAX_NAME_LENGTH ? length : MAX_NAME_LENGTH;
    // Two overlapping copies cover any length from 2 to 7 without reading past the name.
    if (n >= 4) {
        std::memcpy(destination, token, 4);
        std::memcpy(destination + n - 4, token + n - 4, 4);
    } else if (n >= 2) {
        std::memcpy(destination, token, 2);
        std::memcpy(destination + n - 2, token + n - 2, 2);
    } else if (n == 1) {
        destination[0] = token[0];
    }
    destination[n > 0 ? n : 0] = '\0';
}

// Accepts what strtol would read: leading white space, one sign, a run of digits; no digits
// converts to 0. The magnitude stops growing past 2^32, so a digit run of any length is out of
// range instead of wrapping back into it.
int32_t convertNumber(const char* text, int width) {
    const auto* s = reinterpret_cast<const unsigned char*>(text);
    while (*s == ' ' || *s == '\t' || *s == '\n' || *s == '\v' || *s == '\f' || *s == '\r') s++;
    bool negative = false;
    if (*s == '+' || *s == '-') negative = *s++ == '-';
    constexpr int64_t SATURATION = int64_t{1} << 32;
    int64_t magnitude = 0;
    for (; isDigit(*s); s++) {
        if (magnitude <= SATURATION) magnitude = magnitude * 10 + (*s - '0');
    }
    int64_t v = negative ? -magnitude : magnitude;
    int64_t half = int64_t{1} << (width - 1);
    if (v < -half || v > half - 1) return -1;
    return static_cast<int32_t>(v < 0 ? v + 2 * half : v);
}

}  // namespace tavro
