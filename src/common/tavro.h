// The constants, codes and the instruction-set table shared by the assembler, the simulator
// and every front-end.
#pragma once

#include <cstdint>

namespace tavro {

constexpr int MEMORY_SIZE = 4096;     // bytes of the machine's memory
constexpr int RANDOM_ADDRESS = 4094;  // the word here is the random port; the stack starts here
constexpr int MAX_CODE_SIZE = 4093;   // largest accepted size of code, data and label words
constexpr int MAX_NAME_LENGTH = 7;    // significant characters of a name
constexpr int REGISTER_COUNT = 4;

// The instruction set, in opcode order (ORDER OPCODE: the encoding depends on it). Each row:
// mnemonic, and the operand shape that both the encoder and the trace follow:
//   NONE      END, RTN: no operand
//   ADDRESS   JMP..CALL: a 12-bit target
//   REGISTER  PUSH..OUT: one register in the first byte
//   TWO       COPY (load or store) and ADD..CMP: a register and a source operand
#define TAVRO_INSTRUCTIONS(X) \
    X(END, NONE)              \
    X(COPY, TWO)              \
    X(ADD, TWO)               \
    X(SUB, TWO)               \
    X(MUL, TWO)               \
    X(DIV, TWO)               \
    X(CMP, TWO)               \
    X(JMP, ADDRESS)           \
    X(JNB, ADDRESS)           \
    X(JB, ADDRESS)            \
    X(CALL, ADDRESS)          \
    X(RTN, NONE)              \
    X(PUSH, REGISTER)         \
    X(POP, REGISTER)          \
    X(IN, REGISTER)           \
    X(OUT, REGISTER)

enum Opcode : uint8_t {
#define TAVRO_OPCODE_ENUM(name, shape) name,
    TAVRO_INSTRUCTIONS(TAVRO_OPCODE_ENUM)
#undef TAVRO_OPCODE_ENUM
        OPCODE_COUNT
};
static_assert(OPCODE_COUNT == 16, "four bits of opcode");

enum class OperandShape : uint8_t { NONE, ADDRESS, REGISTER, TWO };

inline constexpr const char* MNEMONIC_NAMES[] = {
#define TAVRO_OPCODE_NAME(name, shape) #name,
    TAVRO_INSTRUCTIONS(TAVRO_OPCODE_NAME)
#undef TAVRO_OPCODE_NAME
};

inline constexpr OperandShape OPERAND_SHAPES[] = {
#define TAVRO_OPCODE_SHAPE(name, shape) OperandShape::shape,
    TAVRO_INSTRUCTIONS(TAVRO_OPCODE_SHAPE)
#undef TAVRO_OPCODE_SHAPE
};

enum RegisterNumber : uint8_t { AX = 0, BX = 1, CX = 2, DX = 3 };

inline constexpr const char* REGISTER_NAMES[REGISTER_COUNT] = {"AX", "BX", "CX", "DX"};

// ADD to CMP: a register and a register, constant or address source.
constexpr bool isArithmetic(int opcode) { return opcode >= ADD && opcode <= CMP; }
// JMP to CALL: one 12-bit address.
constexpr bool isJump(int opcode) { return opcode >= JMP && opcode <= CALL; }

enum class OperandKind : uint8_t {
    None = 0,
    Invalid = 1,
    Register = 2,   // REG
    Direct = 3,     // the word at an absolute address: n or LABEL
    Indirect = 4,   // the word at the address held in a register: c(REG)
    Indexed = 5,    // the word at an offset plus a register: n+c(REG)
    Immediate = 6,  // an 8-bit signed constant: #n
};

enum class RunStatus : uint8_t {
    Running = 0,
    Halt = 1,
    OutOfMemory = 2,
    IllegalCode = 3,  // never produced: all sixteen opcodes are defined
    IllegalOperand = 4,
    IllegalMemoryAccess = 5,
    DivByZero = 6,
    UnexpectedEof = 7,
    Interrupted = 8,      // the run was abandoned by Ctrl-C; it has no closing line
    WaitingForInput = 9,  // a step's answer only: IN has no line yet and did not execute
    OutputFailed = 10,    // a step's answer only: the output before IN's prompt was refused
};

// Why a run of the machine came back.
enum class StopReason : uint8_t {
    Ended,          // the program stopped: its status says how (Halt or a run-time error)
    Stepped,        // one step was asked for and done, and the program goes on
    Budget,         // the budget of steps is spent
    Breakpoint,     // ip is at an armed breakpoint; the instruction there has not executed
    Watch,          // an instruction wrote to a watched byte (its step is done)
    StopRequested,  // a stop was requested (from any thread) and seen between two steps
    NeedInput,      // IN waits for a whole line; the IN has not executed
    OutputFailed,   // the output sink refused a write
};

// The text that the closing line of a run prints for each status.
inline constexpr const char* RUN_STATUS_TEXTS[] = {
    "running",                // Running
    "Halt",                   // Halt
    "out of memory",          // OutOfMemory
    "illegal code",           // IllegalCode
    "illegal operand",        // IllegalOperand
    "illegal memory access",  // IllegalMemoryAccess
    "div by zero",            // DivByZero
    "unexpected EOF",         // UnexpectedEof
    "interrupted",            // Interrupted
    "waiting for input",      // WaitingForInput
    "output failed",          // OutputFailed
};
static_assert(sizeof(RUN_STATUS_TEXTS) / sizeof(RUN_STATUS_TEXTS[0]) ==
              static_cast<int>(RunStatus::OutputFailed) + 1);

// Blanks are the space and the horizontal tab, nothing else.
inline bool isBlank(char c) { return c == ' ' || c == '\t'; }

// Returns p moved past any blanks.
inline const char* skipBlanks(const char* p) {
    while (isBlank(*p)) p++;
    return p;
}

}  // namespace tavro
