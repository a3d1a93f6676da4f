// The symbol table: 1024 slots of names searched by open addressing, one for the whole run.
#pragma once

#include <cstdint>

#include "common/tavro.h"

constexpr int SYMBOL_SLOTS = 1024;
constexpr int PROBE_STEP = 311;  // odd, so a probe path visits every slot before it repeats
constexpr int NO_SLOT = -1;      // findSlot's answer when the name is absent and no slot is free

struct SymbolEntry {
    char name[MAX_NAME_LENGTH + 1];  // upper case, NUL-padded to all 8 bytes
    int32_t value;  // opcode, register number, 0 for RES, a label's address, or for an
                    // Undefined name the line index of its first use
    SymbolKind kind;
};

struct SymbolTable {
    SymbolEntry slots[SYMBOL_SLOTS];
    bool overflowed;  // a new name found no free slot and was not entered
};

extern SymbolTable symbolTable;

// Empties the table (overflow flag included) and enters the 22 predefined names.
void initSymbols();
// Returns 0 when two names are equal without regard to case, non-zero otherwise.
int compareNames(const char* a, const char* b);
// Returns the home slot of a name, 0 to 1023, from its first four characters.
int hashName(const char* name);
// Returns the slot holding name, or the first free slot on its probe path, or NO_SLOT.
int findSlot(const char* name);
// Writes name into a slot, upper-cased, at most 7 characters, NUL-padded.
void storeName(int slot, const char* name);
// Defines name as a label at address; returns the kind the name had before.
SymbolKind defineLabel(const char* name, int32_t address);
// Looks name up, entering a new one as Undefined at line; returns the kind it had before and,
// for an Opcode, Register, Directive or Label, stores its value through value (if given).
SymbolKind referenceSymbol(const char* name, int32_t line, int32_t* value);
