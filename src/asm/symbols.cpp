// The symbol table. A name's home slot comes from the low five bits of its first four
// characters, which makes it blind to case; collisions step on by 311 slots. Names are stored in
// upper case and compared without regard to case. Nothing is ever removed. When all 1024 slots
// are taken, a new name is not entered and overflowed is set for the caller to report.
// A stored name fills its 8 bytes with NULs after the text, so that the probe can compare a
// name as one 8-byte key: upper-cased and padded the same way, two names that compareNames
// finds equal have equal keys.
#include "asm/symbols.h"

#include <cstring>

#include "asm/lexer.h"

namespace tavro {

struct PredefinedName {
    const char* name;
    SymbolKind kind;
    int32_t value;
};

// The 22 predefined names, entered in this order (the order decides their slots): the
// mnemonics in opcode order, the registers, RES and RANDOM.
static constexpr PredefinedName PREDEFINED_NAMES[] = {
#define TAVRO_PREDEFINED_OPCODE(name, shape) {#name, SymbolKind::Opcode, name},
    TAVRO_INSTRUCTIONS(TAVRO_PREDEFINED_OPCODE)
#undef TAVRO_PREDEFINED_OPCODE
    {"AX", SymbolKind::Register, AX},
    {"BX", SymbolKind::Register, BX},
    {"CX", SymbolKind::Register, CX},
    {"DX", SymbolKind::Register, DX},
    {"RES", SymbolKind::Directive, 0},
    {"RANDOM", SymbolKind::Label, RANDOM_ADDRESS},
};

constexpr int PROBE_STEP = 311;  // odd, so a probe path visits every slot before it repeats
constexpr int NO_SLOT = -1;      // findSlot's answer when the name is absent and no slot is free

static char toUpper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c; }

// Writes name into a slot, upper-cased, at most 7 characters, NUL-padded.
static void storeName(SymbolEntry& entry, const char* name) {
    char* stored = entry.name;
    int i = 0;
    for (; i < MAX_NAME_LENGTH && name[i] != '\0'; i++) stored[i] = toUpper(name[i]);
    for (; i <= MAX_NAME_LENGTH; i++) stored[i] = '\0';
}

// home := ((c0 & 31) << 5) ^ ((c1 & 31) << 0) ^ ((c2 & 31) << 1) ^ ((c3 & 31) << 2), mod 1024,
// the walk stopping at the name's end.
static int hashName(const char* name) {
    const auto* s = reinterpret_cast<const unsigned char*>(name);
    if (s[0] == '\0') return 0;
    int h = (s[0] & 31) << 5;
    for (int i = 1; i <= 3 && s[i] != '\0'; i++) h ^= (s[i] & 31) << (i - 1);
    return h & (SYMBOL_SLOTS - 1);
}

// The 8-byte key of a name: up to 8 characters upper-cased, NUL-padded. A name of 8 or more
// characters keeps a character in the last byte, where every stored name has a NUL.
static uint64_t nameKey(const char* name) {
    char padded[8] = {};
    for (int i = 0; i < 8 && name[i] != '\0'; i++) padded[i] = name[i];
    uint64_t key;
    std::memcpy(&key, padded, 8);
    // Upper-case the ASCII letters of all eight bytes at once: a byte from 'a' to 'z' loses
    // its 0x20 bit. The sums cannot carry between bytes, since every byte is below 0x80 first.
    constexpr uint64_t ONES = 0x0101010101010101, LOWS = ONES * 0x7F;
    uint64_t ascii = key & LOWS;  // bytes at 0x80 and above are never letters
    uint64_t aboveA = ascii + ONES * (0x80 - 'a');
    uint64_t aboveZ = ascii + ONES * (0x80 - 'z' - 1);
    uint64_t lower = aboveA & ~aboveZ & ~key & (ONES * 0x80);
    return key & ~(lower >> 2);
}

static uint64_t storedKey(const SymbolEntry& entry) {
    uint64_t key;
    std::memcpy(&key, entry.name, 8);
    return key;
}

// Returns the slot holding name, or the first free slot on its probe path, or NO_SLOT.
static int findSlot(const SymbolTable& table, const char* name) {
    uint64_t key = nameKey(name);
    int slot = hashName(name);
    for (int visited = 0; visited < SYMBOL_SLOTS; visited++) {
        const SymbolEntry& entry = table.slots[slot];
        if (entry.kind == SymbolKind::Free || storedKey(entry) == key) return slot;
        slot = (slot + PROBE_STEP) & (SYMBOL_SLOTS - 1);
    }
    return NO_SLOT;
}

void initSymbols(SymbolTable& table) {
    for (SymbolEntry& entry : table.slots) entry.kind = SymbolKind::Free;
    table.overflowed = false;
    for (const PredefinedName& predefined : PREDEFINED_NAMES) {
        SymbolEntry& entry = table.slots[findSlot(table, predefined.name)];
        storeName(entry, predefined.name);
        entry.kind = predefined.kind;
        entry.value = predefined.value;
        entry.line = -1;
    }
}

// Returns the slot for name as findSlot does; when the table is full and the name is not in
// it, records the overflow and returns NO_SLOT.
static int slotFor(SymbolTable& table, const char* name) {
    int slot = findSlot(table, name);
    if (slot == NO_SLOT) table.overflowed = true;
    return slot;
}

SymbolKind defineLabel(SymbolTable& table, const char* name, int64_t address, int32_t line) {
    int slot = slotFor(table, name);
    if (slot == NO_SLOT) return SymbolKind::Free;  // not entered; the pass reports it
    SymbolEntry& entry = table.slots[slot];
    SymbolKind previous = entry.kind;
    if (previous == SymbolKind::Free) storeName(entry, name);
    if (previous == SymbolKind::Free || previous == SymbolKind::Undefined) {
        entry.kind = SymbolKind::Label;
        entry.value = address;
        entry.line = line;
    }
    return previous;
}

SymbolKind lookUpName(NameScope& scope, const char* p, int32_t length, int64_t* value) {
    char name[MAX_NAME_LENGTH + 1];
    copyName(name, p, length);
    int slot = slotFor(*scope.table, name);
    if (slot == NO_SLOT) return SymbolKind::Free;  // not entered; the pass reports it
    SymbolEntry& entry = scope.table->slots[slot];
    SymbolKind previous = entry.kind;
    if (previous == SymbolKind::Free) {
        storeName(entry, name);
        entry.kind = SymbolKind::Undefined;
        entry.line = scope.line;
    } else if (previous != SymbolKind::Undefined) {
        *value = entry.value;
    }
    if (scope.uses != nullptr && entry.kind != SymbolKind::Opcode &&
        entry.kind != SymbolKind::Register && entry.kind != SymbolKind::Directive) {
        scope.uses->push_back({slot, scope.line, static_cast<int32_t>(p - scope.lineStart), length});
    }
    return previous;
}

}  // namespace tavro
