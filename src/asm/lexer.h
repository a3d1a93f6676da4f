// Lexical rules of the source language: tokens, names and decimal numbers.
#pragma once

#include <cstdint>

#include "common/tavro.h"

namespace tavro {

enum class TokenClass : uint8_t {
    EndOfLine = 0,  // the end of the line, or a ';'
    Punct = 1,      // any other single character
    Name = 2,       // a letter, then letters and digits
    Number = 3,     // a digit, '-' or '+', then digits
};

// Returns the class of the token at p and stores its length in bytes (0 at the end of a line).
TokenClass classifyToken(const char* p, int32_t* length);
// Copies the first min(length, 7) characters of a name into an 8-byte buffer, NUL-terminated.
void copyName(char* destination, const char* token, int32_t length);
// Converts a signed decimal number and reduces it to width bits; -1 when outside the signed range.
int32_t convertNumber(const char* text, int width);

}  // namespace tavro
