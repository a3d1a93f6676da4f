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
// Gives back the memory of a loaded source.
void releaseSource(SourceLines* source);
