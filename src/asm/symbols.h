// The symbol table: 1024 slots of names searched by open addressing, one per assembly.
#pragma once

#include <cstdint>
#include <vector>

#include "common/tavro.h"

namespace tavro {

constexpr int SYMBOL_SLOTS = 1024;

enum class SymbolKind : uint8_t {
    Free = 0,
    Opcode = 1,
    Register = 2,
    Directive = 3,
    Label = 4,
    Undefined = 5,  // used but not (yet) defined
};

struct SymbolEntry {
    char name[MAX_NAME_LENGTH + 1];  // upper case, NUL-padded to all 8 bytes
    int64_t value;  // opcode, register number, 0 for RES, or a label's address
    int32_t line;   // 0-based line index: a label's definition, an Undefined name's first use
    SymbolKind kind;
};

struct SymbolTable {
    SymbolEntry slots[SYMBOL_SLOTS];
    bool overflowed;  // a new name found no free slot and was not entered
};

// A name written in a statement or an operand, where the source map wants it.
struct NameUse {
    int32_t slot;
    int32_t line;    // 0-based line index
    int32_t column;  // 0-based byte column
    int32_t length;  // bytes as written
};

// Where the names of one line are looked up, and where their uses are noted (uses may be null).
struct NameScope {
    SymbolTable* table;
    int32_t line;           // 0-based index of the line
    const char* lineStart;  // its text, for columns
    std::vector<NameUse>* uses;
};

// Empties the table (overflow flag included) and enters the 22 predefined names.
void initSymbols(SymbolTable& table);
// Defines name as a label at address on line; returns the kind the name had before.
SymbolKind defineLabel(SymbolTable& table, const char* name, int64_t address, int32_t line);
// Looks up the name written at p (length bytes), entering a new one as Undefined; returns the
// kind it had before and, for an Opcode, Register, Directive or Label, stores its value through
// value. The use of a label is noted in scope.uses.
SymbolKind lookUpName(NameScope& scope, const char* p, int32_t length, int64_t* value);

}  // namespace tavro
