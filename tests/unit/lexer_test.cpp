#include <gtest/gtest.h>

#include "asm/lexer.h"

struct TokenCase {
    const char* text;
    TokenClass expected;
    int32_t length;
};

TEST(Lexer, ClassifiesTokens) {
    const TokenCase cases[] = {
        {"", TokenClass::EndOfLine, 0},
        {"; comment", TokenClass::EndOfLine, 0},
        {" AX", TokenClass::Punct, 1},  // callers skip blanks themselves
        {"\t", TokenClass::Punct, 1},
        {"LOOP 5", TokenClass::Name, 4},
        {"A_B", TokenClass::Name, 1},
        {"AX1,", TokenClass::Name, 3},
        {"12AB", TokenClass::Number, 2},
        {"-", TokenClass::Number, 1},
        {"+", TokenClass::Number, 1},
        {"--5", TokenClass::Number, 1},
        {"+7", TokenClass::Number, 2},
        {"-32768", TokenClass::Number, 6},
        {"#12", TokenClass::Punct, 1},
        {"_x", TokenClass::Punct, 1},
        {"\xC3\xA9t\xC3\xA9", TokenClass::Punct, 1},  // bytes above 0x7F are never letters
        {"a\xC3", TokenClass::Name, 1},
        {"\v", TokenClass::Punct, 1},
    };
    for (const TokenCase& c : cases) {
        int32_t length = -1;
        EXPECT_EQ(classifyToken(c.text, &length), c.expected) << c.text;
        EXPECT_EQ(length, c.length) << c.text;
    }
}

TEST(Lexer, CopyNameKeepsSevenCharacters) {
    char name[8];
    copyName(name, "ABCDEFGHI", 9);
    EXPECT_STREQ(name, "ABCDEFG");
    copyName(name, "Loop rest", 4);
    EXPECT_STREQ(name, "Loop");
    copyName(name, "XYZ", 0);
    EXPECT_STREQ(name, "");
}

struct NumberCase {
    const char* text;
    int width;
    int32_t expected;
};

TEST(Lexer, ConvertsNumbersWithinTheirWidth) {
    const NumberCase cases[] = {
        {"127", 8, 127},
        {"128", 8, -1},
        {"-128", 8, 128},
        {"-129", 8, -1},
        {"-1", 8, 255},
        {"4095", 13, 4095},
        {"4096", 13, -1},
        {"-4096", 13, 4096},
        {"-1", 13, 8191},
        {"32767", 16, 32767},
        {"32768", 16, -1},
        {"-32768", 16, 32768},
        {"-1", 16, 65535},
        {" 12", 8, 12},
        {"\v\f\r\n12", 8, 12},
        {"12AB", 8, 12},
        {"X", 8, 0},
        {"", 16, 0},
        {"-", 16, 0},
        {"+", 16, 0},
        {"+5", 16, 5},
        {"--5", 16, 0},
        {"007", 16, 7},
        // Digit runs beyond 32 bits never wrap back into range.
        {"4294967296", 16, -1},
        {"4294967296", 8, -1},
        {"4294967297", 13, -1},
        {"-4294967296", 16, -1},
        {"99999999999", 8, -1},
        {"2147483648", 16, -1},
        {"65536", 16, -1},
        {"18446744073709551617", 16, -1},
        {"0000000000000000000000000000000000000000000000000005", 16, 5},
    };
    for (const NumberCase& c : cases) {
        EXPECT_EQ(convertNumber(c.text, c.width), c.expected) << c.text << " width " << c.width;
    }
}

TEST(Lexer, ConvertsAThousandDigitNumberAsOutOfRange) {
    std::string digits(1000, '9');
    EXPECT_EQ(convertNumber(digits.c_str(), 16), -1);
}
