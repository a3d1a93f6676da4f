// The source loader: the whole file read at once and split into numbered lines.
#pragma once

#include <cstdint>

struct SourceLines {
    char* text;         // every line's characters, each line NUL-terminated
    char** lines;       // lineCount pointers into text; line k is reported as line k + 1
    int32_t lineCount;  // 1 plus the number of line ends; at least 1
};

// Loads the file at path; false (and nothing kept) when it cannot be read or is empty.
bool loadSource(const char* path, SourceLines* source);
// Splits the n bytes at text (a malloc'd buffer of at least n + 1 bytes, which source takes
// over) into lines, in place, as loadSource does; false when the line table cannot be had.
bool splitSource(char* text, long long n, SourceLines* source);
// Gives back the memory of a loaded source.
void releaseSource(SourceLines* source);
