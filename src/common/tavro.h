// The records, codes and name tables shared by the assembler, the simulator and the driver.
#pragma once

#include <cstdint>

constexpr int MEMORY_SIZE = 4096;     // bytes of the machine's memory
constexpr int RANDOM_ADDRESS = 4094;  // the word here is the random port; the stack starts here
constexpr int MAX_CODE_SIZE = 4093;   // largest accepted size of code, data and label words
constexpr int MAX_NAME_LENGTH = 7;    // significant characters of a name
constexpr int REGISTER_COUNT = 4;
constexpr int OPCODE_COUNT = 16;

enum class TokenClass : uint8_t {
    EndOfLine = 0,  // the end of the line, or a ';'
    Punct = 1,      // any other single character
    Name = 2,       // a letter, then letters and digits
    Number = 3,     // a digit, '-' or '+', then digits
};

enum class OperandKind : uint8_t {
    None = 0,
    Invalid = 1,
    Register = 2,   // REG
    Direct = 3,     // the word at an absolute address: n or LABEL
    Indirect = 4,   // the word at the address held in a register: c(REG)
    Indexed = 5,    // the word at an offset plus a register: n+c(REG)
    Immediate = 6,  // an 8-bit signed constant: #n
};

// One parsed or decoded operand.
struct Operand {
    OperandKind kind;
    uint8_t reg;       // the register named inside the operand
    uint8_t mainReg;   // the register of the instruction's register field (decoder only)
    uint8_t modeBits;  // decoder only: bits 3-2 mode, bit 1 indirect bit, bit 0 direction bit
    int32_t value;     // address, offset or constant
};

enum class SymbolKind : uint8_t {
    Free = 0,
    Opcode = 1,
    Register = 2,
    Directive = 3,
    Label = 4,
    Undefined = 5,  // used but not (yet) defined; value holds the line index of the first use
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
    Interrupted = 8,  // the run was abandoned by Ctrl-C; it has no closing line
};

enum Opcode : uint8_t {
    END = 0,
    COPY,
    ADD,
    SUB,
    MUL,
    DIV,
    CMP,
    JMP,
    JNB,
    JB,
    CALL,
    RTN,
    PUSH,
    POP,
    IN,
    OUT
};

enum RegisterNumber : uint8_t { AX = 0, BX = 1, CX = 2, DX = 3 };

inline constexpr const char* MNEMONIC_NAMES[] = {
    "END",   // 0
    "COPY",  // 1
    "ADD",   // 2
    "SUB",   // 3
    "MUL",   // 4
    "DIV",   // 5
    "CMP",   // 6
    "JMP",   // 7
    "JNB",   // 8
    "JB",    // 9
    "CALL",  // 10
    "RTN",   // 11
    "PUSH",  // 12
    "POP",   // 13
    "IN",    // 14
    "OUT",   // 15
};
static_assert(sizeof(MNEMONIC_NAMES) / sizeof(MNEMONIC_NAMES[0]) == OPCODE_COUNT);

inline constexpr const char* REGISTER_NAMES[] = {
    "AX",  // 0
    "BX",  // 1
    "CX",  // 2
    "DX",  // 3
};
static_assert(sizeof(REGISTER_NAMES) / sizeof(REGISTER_NAMES[0]) == REGISTER_COUNT);

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
};
static_assert(sizeof(RUN_STATUS_TEXTS) / sizeof(RUN_STATUS_TEXTS[0]) ==
              static_cast<int>(RunStatus::Interrupted) + 1);

// Blanks are the space and the horizontal tab, nothing else.
inline bool isBlank(char c) { return c == ' ' || c == '\t'; }

// Returns p moved past any blanks.
inline const char* skipBlanks(const char* p) {
    while (isBlank(*p)) p++;
    return p;
}
