// Source text split into numbered lines, by the loader's rules.
#pragma once

#include <cstdint>
#include <vector>

namespace tavro {

struct SourceText {
    std::vector<char> text;             // every line's characters, each line NUL-terminated
    std::vector<uint32_t> lineStarts;   // offset of each line; line k is reported as k + 1
};

// Splits bytes into lines in place: CR, LF and CR LF end lines in any mixture, and a NUL byte
// ends its line's text (the rest up to the line end is dropped, so every line keeps its
// number). There is always at least one line.
SourceText splitSource(std::vector<char> bytes);

}  // namespace tavro
