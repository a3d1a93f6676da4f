// The source loader. CR, LF and CR LF end lines in any mixture, and each line end becomes one
// NUL. A NUL byte inside the file ends its line's text at that point: the rest of that line up
// to its line end is dropped, so every line keeps its number. Every other byte is kept as it
// is. The file is read whole into a buffer of its size plus one and converted in place.
#include "driver/source.h"

#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>

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

// Turns the n bytes read into NUL-terminated lines, in place; returns the number of lines.
static int32_t splitLines(char* text, long long n) {
    int32_t lineCount = 1;
    long long w = 0;
    bool lineCut = false;  // a NUL byte has ended this line's text already
    for (long long r = 0; r < n; r++) {
        char c = text[r];
        if (c == '\r' || c == '\n') {
            if (!lineCut) text[w++] = '\0';
            lineCut = false;
            lineCount++;
            if (c == '\r' && r + 1 < n && text[r + 1] == '\n') r++;
        } else if (c == '\0') {
            if (!lineCut) text[w++] = '\0';
            lineCut = true;
        } else if (!lineCut) {
            text[w++] = c;
        }
    }
    if (!lineCut) text[w] = '\0';
    return lineCount;
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
    int32_t lineCount = splitLines(text, n);
    char** lines = static_cast<char**>(std::malloc(sizeof(char*) * static_cast<size_t>(lineCount)));
    if (lines == nullptr) {
        std::free(text);
        return false;
    }
    // Each line holds exactly one NUL, its terminator.
    char* p = text;
    for (int32_t k = 0; k < lineCount; k++) {
        lines[k] = p;
        while (*p != '\0') p++;
        p++;
    }
    source->text = text;
    source->lines = lines;
    source->lineCount = lineCount;
    return true;
}

void releaseSource(SourceLines* source) {
    std::free(source->lines);
    std::free(source->text);
    source->lines = nullptr;
    source->text = nullptr;
    source->lineCount = 0;
}
