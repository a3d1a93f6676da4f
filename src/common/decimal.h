// Decimal text of integers, written straight into an output buffer, as printf's "%d" and
// "%4d" would write it. The machine's words (-32768 to 32767) have fast paths: most take one
// table lookup, the rest a fixed handful of digit pairs.
#pragma once

#include <cstdint>
#include <cstring>

#if defined(__GNUC__)
#define TAVRO_DECIMAL_INLINE inline __attribute__((always_inline))
#else
#define TAVRO_DECIMAL_INLINE inline
#endif

// "00" to "99": two digits at a time.
inline constexpr char DIGIT_PAIRS[] =
    "00010203040506070809101112131415161718192021222324252627282930313233343536373839"
    "40414243444546474849505152535455565758596061626364656667686970717273747576777879"
    "8081828384858687888990919293949596979899";

// Returns the number of decimal digits of u.
inline int digitCount(uint32_t u) {
    int n = 1;
    for (; u >= 10000; u /= 10000) n += 4;
    return n + (u >= 10) + (u >= 100) + (u >= 1000);
}

// Writes v in decimal at p, as "%d" does; returns the end. Any int32_t; 11 bytes at most.
inline char* formatInt(char* p, int32_t v) {
    uint32_t u = v < 0 ? 0u - static_cast<uint32_t>(v) : static_cast<uint32_t>(v);
    if (v < 0) *p++ = '-';
    char* end = p + digitCount(u);
    char* q = end;
    for (; u >= 100; u /= 100) {
        q -= 2;
        std::memcpy(q, DIGIT_PAIRS + 2 * (u % 100), 2);
    }
    if (u >= 10) {
        std::memcpy(q - 2, DIGIT_PAIRS + 2 * u, 2);
    } else {
        q[-1] = static_cast<char>('0' + u);
    }
    return end;
}

// The texts that "%4d" prints for -999 to 9999: four characters each, right-aligned, with the
// length of the unpadded text beside them. Four spare bytes at the end let four bytes be read
// from any point of any text.
constexpr int SHORT_LOWEST = -999;
constexpr int SHORT_HIGHEST = 9999;
constexpr int SHORT_COUNT = SHORT_HIGHEST - SHORT_LOWEST + 1;
struct ShortNumberTable {
    char text[SHORT_COUNT * 4 + 4];
    uint8_t length[SHORT_COUNT];
};
constexpr ShortNumberTable makeShortNumberTable() {
    ShortNumberTable table{};
    for (int v = SHORT_LOWEST; v <= SHORT_HIGHEST; v++) {
        char* entry = table.text + (v - SHORT_LOWEST) * 4;
        int u = v < 0 ? -v : v;
        int i = 3;
        do {
            entry[i--] = static_cast<char>('0' + u % 10);
            u /= 10;
        } while (u != 0);
        if (v < 0) entry[i--] = '-';
        table.length[v - SHORT_LOWEST] = static_cast<uint8_t>(3 - i);
        while (i >= 0) entry[i--] = ' ';
    }
    return table;
}
inline constexpr ShortNumberTable SHORT_NUMBERS = makeShortNumberTable();

// Writes v, with 10000 <= |v| <= 39999, as "%d" does; returns the end. The last four digits
// are the table's text of the remainder with its blanks turned into zeros: a blank is 0x20, a
// zero 0x30, and every digit already has bit 4 set.
TAVRO_DECIMAL_INLINE char* formatFiveDigits(char* p, int32_t v) {
    uint32_t u = v < 0 ? 0u - static_cast<uint32_t>(v) : static_cast<uint32_t>(v);
    if (v < 0) *p++ = '-';
    uint32_t first = 1 + (u >= 20000) + (u >= 30000);
    uint32_t rest;
    std::memcpy(&rest, SHORT_NUMBERS.text + (u - first * 10000 - SHORT_LOWEST) * 4, 4);
    rest |= 0x10101010;
    *p = static_cast<char>('0' + first);
    std::memcpy(p + 1, &rest, 4);
    return p + 5;
}

// Writes v as "%d" does; returns the end. Fastest for machine words.
TAVRO_DECIMAL_INLINE char* formatWord(char* p, int32_t v) {
    if (v >= SHORT_LOWEST && v <= SHORT_HIGHEST) {
        int index = v - SHORT_LOWEST;
        int length = SHORT_NUMBERS.length[index];
        std::memcpy(p, SHORT_NUMBERS.text + index * 4 + (4 - length), 4);
        return p + length;
    }
    uint32_t u = v < 0 ? 0u - static_cast<uint32_t>(v) : static_cast<uint32_t>(v);
    if (u >= 10000 && u <= 39999) return formatFiveDigits(p, v);
    return formatInt(p, v);
}

// Writes v as "%4d" does: right-aligned in four columns, or wider when it needs more.
TAVRO_DECIMAL_INLINE char* formatColumn4(char* p, int32_t v) {
    if (v >= SHORT_LOWEST && v <= SHORT_HIGHEST) {
        std::memcpy(p, SHORT_NUMBERS.text + (v - SHORT_LOWEST) * 4, 4);
        return p + 4;
    }
    return formatWord(p, v);
}
