// The instruction encoder: one instruction statement into its 1 to 3 bytes of machine code.
#pragma once

#include <cstdint>

#include "asm/symbols.h"

namespace tavro {

// What an instruction statement gives: its bytes, or the message of the first check that fails
// and where in the line that check stood.
struct Encoding {
    uint8_t bytes[3];
    int32_t length;       // 1 to 3; 0 on failure
    const char* message;  // nullptr on success
    const char* where;    // the failing check's position in the line, or nullptr
};

// Assembles the operands in text for opcode, looking names up in scope.
Encoding assembleInstruction(NameScope& scope, int opcode, const char* text);

}  // namespace tavro
