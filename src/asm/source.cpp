// The line splitter. Each line end becomes one NUL; every other byte is kept as it is. It runs
// in place in one pass that skips eight ordinary bytes at a time, so a source of any size costs
// one read of it.
#include "asm/source.h"

#include <cstring>

namespace tavro {

// Marks the bytes of word that are CR, LF or NUL with their high bit (the classic zero-byte
// test, applied to the word and to it XORed with CR and LF in every byte). Borrows may mark a
// byte above a marked one as well, but never one below the first: the lowest mark is exact.
static uint64_t lineByteMarks(uint64_t word) {
    constexpr uint64_t ONES = 0x0101010101010101, HIGHS = 0x8080808080808080;
    auto zeroMarks = [](uint64_t v) { return (v - ONES) & ~v & HIGHS; };
    return zeroMarks(word) | zeroMarks(word ^ (ONES * '\r')) | zeroMarks(word ^ (ONES * '\n'));
}

// Returns the index of the next CR, LF or NUL at or after r, or n when there is none.
static size_t findLineByte(const char* text, size_t r, size_t n) {
    for (; r + 8 <= n; r += 8) {
        uint64_t word;
        std::memcpy(&word, text + r, 8);
        uint64_t marks = lineByteMarks(word);
        if (marks == 0) continue;
#if defined(__GNUC__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
        return r + static_cast<size_t>(__builtin_ctzll(marks) / 8);  // lowest address first
#else
        break;
#endif
    }
    while (r < n && text[r] != '\r' && text[r] != '\n' && text[r] != '\0') r++;
    return r;
}

SourceText splitSource(SourceBytes bytes) {
    SourceText source;
    size_t n = bytes.size();
    bytes.push_back('\0');  // room for the last line's end
    char* text = bytes.data();
    size_t r = 0, w = 0;
    bool lineCut = false;  // a NUL byte has ended this line's text already
    source.lineStarts.push_back(0);
    while (r < n) {
        // Copy the run of ordinary bytes up to the next CR, LF or NUL.
        size_t start = r;
        r = findLineByte(text, r, n);
        if (!lineCut) {
            if (w != start) std::memmove(text + w, text + start, r - start);
            w += r - start;
        }
        if (r == n) break;
        char c = text[r++];
        if (c == '\0') {
            if (!lineCut) text[w++] = '\0';
            lineCut = true;
            continue;
        }
        if (c == '\r' && r < n && text[r] == '\n') r++;
        if (!lineCut) text[w++] = '\0';
        lineCut = false;
        source.lineStarts.push_back(static_cast<uint32_t>(w));
    }
    if (!lineCut) text[w++] = '\0';
    bytes.resize(w);
    source.text = std::move(bytes);
    return source;
}

}  // namespace tavro
