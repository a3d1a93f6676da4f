// The instruction encoder: one instruction statement into its 1 to 3 bytes of machine code.
#pragma once

#include <cstdint>

#include "common/tavro.h"

// Assembles the operands in text for opcode into output (room for 3 bytes) and stores the
// length; returns nullptr, or the message of the first check that fails (length then 0).
const char* assembleInstruction(int32_t opcode, const char* text, uint8_t* output, int32_t* length);
// Writes the register/memory form of an operand of kind Register, Direct, Indirect or Indexed;
// returns the length, 2 or 3, or -1 for any other kind.
int encodeOperandForm(uint8_t* output, OperandKind kind, int opcode, int registerField,
                      int secondRegister, int direction, int32_t value);
