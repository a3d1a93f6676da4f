// The operand parser: one operand of an instruction, in every written form.
#pragma once

#include <cstdint>

#include "asm/symbols.h"
#include "common/tavro.h"

namespace tavro {

// One operand as written.
struct ParsedOperand {
    OperandKind kind;
    uint8_t reg;    // the register named: REG, c(REG), n+c(REG)
    int64_t value;  // address, offset or constant (a label's address may lie beyond 4 KB)
};

// Parses one operand at t (blanks may precede it) and stores how many characters it consumed.
// Names are looked up in scope; a name seen for the first time is entered as Undefined.
ParsedOperand parseOperand(NameScope& scope, const char* t, int32_t* consumed);

}  // namespace tavro
