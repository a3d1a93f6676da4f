// The state of the Tavro machine, operand decoding and fetch. Everything a step reads or
// changes is in MachineState or in the Ports beside it, both passed in by the caller.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <string>

#include "common/format.h"
#include "common/sink.h"
#include "common/tavro.h"

namespace tavro {

// The random port: the additive feedback generator x[i] = x[i-3] + x[i-31] (mod 2^32), whose
// draws are x[i] >> 1, seeded by a multiplicative congruential sequence, as C libraries' rand()
// commonly is; a fixed seed repeats a run exactly.
struct RandomPort {
    int32_t table[31];
    uint8_t front, rear;  // indexes into table, 3 apart
    bool seedAtFirstDraw;  // the table is seeded from the clock when the first draw comes
};

struct MachineState {
    std::array<uint8_t, MEMORY_SIZE> memory{};
    int16_t regs[REGISTER_COUNT] = {0, 0, 0, RANDOM_ADDRESS};  // AX, BX, CX, DX; DX the stack
    uint32_t ip = 0;          // address of the next instruction
    int32_t codeSize = 1;     // bytes of code and data, 1 to 4093; the lower bound of the stack
    int32_t belowFlag = 0;    // 0 or 1; set by CMP, tested by JB and JNB
    RunStatus status = RunStatus::Running;
    bool prompted = false;    // IN has written its prompt and waits for a number
    int32_t lastWrite = -1;   // address of the last step's memory write, or -1 (definition only)
    uint64_t inputPosition = 0;  // bytes of Input::bytes taken by IN so far
    RandomPort random{};
};

// What IN reads: the bytes given so far, and whether more may come.
struct Input {
    std::string bytes;
    uint64_t base = 0;   // bytes dropped from the front of bytes (taken long ago)
    bool ended = false;
};

// The devices of a step: output, messages (the prompts of IN), input and the stop request.
struct Ports {
    OutputSink& out;
    OutputSink& messages;
    Input& input;
    const std::atomic<int>& stop;
};

// One operand of an executed instruction, as the decoder reads it.
struct DecodedOperand {
    OperandKind kind;
    uint8_t reg;       // the second register: c(reg), n+c(reg) or the source register
    uint8_t mainReg;   // the register of the instruction's register field
    bool store;        // the direction bit of a COPY: the operand receives mainReg
    int32_t value;     // address, offset or constant
};

// Starts a run on an image of codeSize bytes: ip 0, flag 0, AX = BX = CX = 0, DX = 4094. With
// clockSeed the random port takes the clock as its seed at its first draw, not now.
void resetMachine(MachineState& state, const std::array<uint8_t, MEMORY_SIZE>& image,
                  int32_t codeSize, uint32_t seed, bool clockSeed = false);
// Decodes the operand of the COPY..CMP instruction at code and stores its length, 2 or 3.
inline DecodedOperand decodeOperand(const uint8_t* code, int32_t* length);
// Reads the word at address: memory below 4094, the random port at 4094; false elsewhere.
bool readMemoryWord(MachineState& state, int32_t address, int32_t* value);

// Inline: the trace and the step both decode, once per traced instruction each.
inline DecodedOperand decodeOperand(const uint8_t* code, int32_t* length) {
    uint8_t b0 = code[0];
    uint8_t b1 = code[1];
    DecodedOperand operand{};
    operand.mainReg = static_cast<uint8_t>(registerField(b0));
    operand.reg = static_cast<uint8_t>(secondRegisterField(b1));
    int mode = modeField(b0);
    // An immediate's second byte is all constant: it has no indirect or direction bit.
    operand.store = mode != MODE_IMMEDIATE && (b1 & DIRECTION_BIT) != 0;
    switch (mode) {
        case MODE_IMMEDIATE:
            operand.kind = OperandKind::Immediate;
            operand.value = static_cast<int8_t>(b1);
            *length = 2;
            break;
        case MODE_REGISTER:
            operand.kind = (b1 & INDIRECT_BIT) ? OperandKind::Indirect : OperandKind::Register;
            *length = 2;
            break;
        case MODE_DIRECT:
            operand.kind = OperandKind::Direct;
            operand.value = addressField(b1, code[2]);
            *length = 3;
            break;
        default:  // MODE_INDEXED; the indirect bit is not looked at in modes 2 and 3
            operand.kind = OperandKind::Indexed;
            operand.value = addressField(b1, code[2]);
            *length = 3;
            break;
    }
    return operand;
}

}  // namespace tavro
