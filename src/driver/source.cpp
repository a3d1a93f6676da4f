// The source loader. CR, LF and CR LF end lines in any mixture, and each line end becomes one
// NUL. A NUL byte inside the file ends its line's text at that point: the rest of that line up
// to its line end is dropped, so every line keeps its number. Every other byte is kept as it
// is. The file is read whole into a buffer of its size plus one and split in place, in one
// pass that skips eight ordinary bytes at a time.
#include "driver/source.h"

#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

// Lines are numbered with 32-bit integers; a larger file is refused like one that cannot be read.
constexpr long long MAX_SOURCE_SIZE = 0x7FFFFFFE;

// Reads up to size bytes; returns how many, or -1 on a read error.
static long long readFile(const char* path, char* buffer, long long size) {
    std::FILE* file = std::fopen(path, "rb");
    if (file == nullptr) return -1;
    long long total = 0;
    while (total < size) {
        size_t n = std::fread(buffer + total, 1, static_cast<size_t>(size - total), file);
        total += static_cast<long long>(n);
        if (n == 0) break;
    }
    bool failed = std::ferror(file) != 0;
    std::fclose(file);
    return failed ? -1 : total;
}

// Marks the bytes of word that are CR, LF or NUL with their high bit (the classic zero-byte
// test, applied to the word and to it XORed with CR and LF in every byte). Borrows may mark a
// byte above a marked one as well, but never one below the first: the lowest mark is exact.
static uint64_t lineByteMarks(uint64_t word) {
    constexpr uint64_t ONES = 0x0101010101010101, HIGHS = 0x8080808080808080;
    auto zeroMarks = [](uint64_t v) { return (v - ONES) & ~v & HIGHS; };
    return zeroMarks(word) | zeroMarks(word ^ (ONES * '\r')) | zeroMarks(word ^ (ONES * '\n'));
}

// Returns the index of the next CR, LF or NUL at or after r, or n when there is none.
static long long findLineByte(const char* text, long long r, long long n) {
    for (; r + 8 <= n; r += 8) {
        uint64_t word;
        std::memcpy(&word, text + r, 8);
        uint64_t marks = lineByteMarks(word);
        if (marks == 0) continue;
#if defined(__GNUC__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
        return r + __builtin_ctzll(marks) / 8;  // the byte at the lowest address is the lowest
#else
        break;
#endif
    }
    while (r < n && text[r] != '\r' && text[r] != '\n' && text[r] != '\0') r++;
    return r;
}

// The table of line starts, grown as lines are found.
struct LineTable {
    char** starts;
    int32_t count;
    int32_t capacity;
};

static bool addLine(LineTable* table, char* start) {
    if (table->count == table->capacity) {
        int32_t capacity = table->capacity < 1024 ? 1024 : table->capacity * 2;
        if (capacity < table->capacity) return false;  // beyond 2^31 lines
        void* grown = std::realloc(table->starts, sizeof(char*) * static_cast<size_t>(capacity));
        if (grown == nullptr) return false;
        table->starts = static_cast<char**>(grown);
        table->capacity = capacity;
    }
    table->starts[table->count++] = start;
    return true;
}

// Turns the n bytes read into NUL-terminated lines, in place, recording where each starts.
static bool splitLines(char* text, long long n, LineTable* table) {
    long long r = 0, w = 0;
    bool lineCut = false;  // a NUL byte has ended this line's text already
    if (!addLine(table, text)) return false;
    while (r < n) {
        // Copy the run of ordinary bytes up to the next CR, LF or NUL.
        long long start = r;
        r = findLineByte(text, r, n);
        if (!lineCut) {
            if (w != start) std::memmove(text + w, text + start, static_cast<size_t>(r - start));
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
        if (!addLine(table, text + w)) return false;
    }
    if (!lineCut) text[w] = '\0';
    return true;
}

bool loadSource(const char* path, SourceLines* source) {
    struct stat status;
    if (stat(path, &status) != 0 || status.st_size <= 0 || status.st_size > MAX_SOURCE_SIZE) {
        return false;
    }
    long long size = status.st_size;
    char* text = static_cast<char*>(std::malloc(static_cast<size_t>(size) + 1));
    if (text == nullptr) return false;
    long long n = readFile(path, text, size);
    if (n < 0) {
        std::free(text);
        return false;
    }
    LineTable table{nullptr, 0, 0};
    if (!splitLines(text, n, &table)) {
        std::free(table.starts);
        std::free(text);
        return false;
    }
    source->text = text;
    source->lines = table.starts;
    source->lineCount = table.count;
    return true;
}

void releaseSource(SourceLines* source) {
    std::free(source->lines);
    std::free(source->text);
    source->lines = nullptr;
    source->text = nullptr;
    source->lineCount = 0;
}
