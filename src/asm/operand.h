// The operand parser: one operand of an instruction, in every written form.
#pragma once

#include <cstdint>

#include "common/tavro.h"

// Recognises c(REG) at p: 1 with its length and register, 0 (length 0) when p does not begin
// with c( or C(, -1 when it does but the rest is malformed.
int parseIndirect(const char* p, int32_t* length, int32_t* reg);
// Parses one operand at t (blanks may precede it) and stores how many characters it consumed.
Operand parseOperand(const char* t, int32_t* consumed);
