// The two assembly passes and the words given to labels that were never defined.
#pragma once

#include <cstdint>

struct AssemblerState {
    int32_t locationCounter;  // address of the next byte to emit; never beyond LOCATION_LIMIT
    int32_t lineIndex;        // 0-based index of the line being assembled
};

// Sizes stop growing here: any size above 4093 is refused, and the cap keeps a source of any
// length from overflowing the counter.
constexpr int32_t LOCATION_LIMIT = 1 << 30;

extern AssemblerState assembler;

// Sets the location counter and the line index to 0.
void resetAssembler();
// Assembles every line (pass 1 measures and defines labels, pass 2 writes image) and prints
// each faulty line; returns the number of faulty lines.
int32_t assemblePass(char* const* lines, int32_t lineCount, int pass, uint8_t* image);
// Gives each still-undefined name a word from address on, warning for each; returns the end.
int32_t allocateUndefinedLabels(int32_t address);
