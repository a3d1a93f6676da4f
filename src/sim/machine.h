// The state of the Tavro machine, operand decoding and fetch, and the random port.
#pragma once

#include <cstdint>

#include "common/tavro.h"

struct MachineState {
    uint8_t* memory;    // the 4096-byte image
    uint32_t ip;        // address of the next instruction
    int32_t codeSize;   // bytes of code and data, 1 to 4093; the lower bound of the stack
    int32_t belowFlag;  // 0 or 1; set by CMP, tested by JB and JNB
    int16_t regs[REGISTER_COUNT];  // AX, BX, CX, DX; DX is the stack pointer
};

extern MachineState machine;

// Starts a run: the image and its size, ip 0, flag 0, AX = BX = CX = 0 and DX = 4094.
void resetMachine(uint8_t* memory, int32_t codeSize);
// Decodes the operand of the COPY..CMP instruction at code and stores its length, 2 or 3.
Operand decodeOperand(const uint8_t* code, int32_t* length);
// Reads the value an operand denotes; status Running, or IllegalMemoryAccess with value 0.
int32_t fetchOperand(const Operand& operand, RunStatus* status);
// Returns a fresh random number, 0 to 32767; the generator is seeded at the first call.
int32_t nextRandom();
