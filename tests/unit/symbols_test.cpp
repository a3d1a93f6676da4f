#include <gtest/gtest.h>

#include <string>

#include "asm/symbols.h"

class Symbols : public testing::Test {
protected:
    void SetUp() override { initSymbols(); }
};

struct SlotCase {
    const char* name;
    SymbolKind kind;
    int32_t value;
    int slot;
};

TEST_F(Symbols, PredefinedNamesTakeTheirHomeSlots) {
    const SlotCase cases[] = {
        {"END", SymbolKind::Opcode, 0, 166},    {"COPY", SymbolKind::Opcode, 1, 43},
        {"ADD", SymbolKind::Opcode, 2, 44},     {"SUB", SymbolKind::Opcode, 3, 625},
        {"MUL", SymbolKind::Opcode, 4, 429},    {"DIV", SymbolKind::Opcode, 5, 165},
        {"CMP", SymbolKind::Opcode, 6, 77},     {"JMP", SymbolKind::Opcode, 7, 365},
        {"JNB", SymbolKind::Opcode, 8, 330},    {"JB", SymbolKind::Opcode, 9, 322},
        {"CALL", SymbolKind::Opcode, 10, 73},   {"RTN", SymbolKind::Opcode, 11, 584},
        {"PUSH", SymbolKind::Opcode, 12, 531},  {"POP", SymbolKind::Opcode, 13, 559},
        {"IN", SymbolKind::Opcode, 14, 302},    {"OUT", SymbolKind::Opcode, 15, 477},
        {"AX", SymbolKind::Register, 0, 56},    {"BX", SymbolKind::Register, 1, 88},
        {"CX", SymbolKind::Register, 2, 120},   {"DX", SymbolKind::Register, 3, 152},
        {"RES", SymbolKind::Directive, 0, 611}, {"RANDOM", SymbolKind::Label, 4094, 589},
    };
    int used = 0;
    for (const SymbolEntry& entry : symbolTable.slots) used += entry.kind != SymbolKind::Free;
    EXPECT_EQ(used, 22);
    for (const SlotCase& c : cases) {
        const SymbolEntry& entry = symbolTable.slots[c.slot];
        EXPECT_STREQ(entry.name, c.name);
        EXPECT_EQ(entry.kind, c.kind) << c.name;
        EXPECT_EQ(entry.value, c.value) << c.name;
        EXPECT_EQ(hashName(c.name), c.slot) << c.name;
    }
}

TEST_F(Symbols, NamesAreCaseInsensitiveAndStoredInUpperCase) {
    EXPECT_EQ(hashName("LOOP"), 465);
    EXPECT_EQ(hashName("loop"), 465);
    EXPECT_EQ(defineLabel("loop", 12), SymbolKind::Free);
    EXPECT_STREQ(symbolTable.slots[465].name, "LOOP");
    int32_t value = -1;
    EXPECT_EQ(referenceSymbol("Loop", 0, &value), SymbolKind::Label);
    EXPECT_EQ(value, 12);
    EXPECT_EQ(compareNames("aBc", "ABC"), 0);
    EXPECT_NE(compareNames("AB", "ABC"), 0);
    EXPECT_NE(compareNames("ABC", "AB"), 0);
}

TEST_F(Symbols, CollisionsProbeOnBy311) {
    EXPECT_EQ(hashName("ABCD"), 52);
    EXPECT_EQ(hashName("ABCDXYZ"), 52);
    referenceSymbol("ABCD", 0, nullptr);
    referenceSymbol("ABCDE", 0, nullptr);
    referenceSymbol("ABCDXYZ", 0, nullptr);
    EXPECT_STREQ(symbolTable.slots[52].name, "ABCD");
    EXPECT_STREQ(symbolTable.slots[363].name, "ABCDE");
    EXPECT_STREQ(symbolTable.slots[674].name, "ABCDXYZ");

    EXPECT_EQ(hashName("EF"), 166);  // END's slot, then OUT's, then free
    EXPECT_EQ(findSlot("EF"), 788);
    defineLabel("EF", 3);
    EXPECT_EQ(findSlot("ef"), 788);
}

TEST_F(Symbols, UndefinedNamesKeepTheLineOfTheirFirstUse) {
    int32_t value = 77;
    EXPECT_EQ(referenceSymbol("LATER", 4, &value), SymbolKind::Free);
    EXPECT_EQ(value, 77);  // untouched for a new name
    EXPECT_EQ(referenceSymbol("later", 9, &value), SymbolKind::Undefined);
    EXPECT_EQ(value, 77);
    int slot = findSlot("LATER");
    EXPECT_EQ(symbolTable.slots[slot].kind, SymbolKind::Undefined);
    EXPECT_EQ(symbolTable.slots[slot].value, 4);
    EXPECT_EQ(defineLabel("LATER", 30), SymbolKind::Undefined);
    EXPECT_EQ(symbolTable.slots[slot].kind, SymbolKind::Label);
    EXPECT_EQ(symbolTable.slots[slot].value, 30);
}

TEST_F(Symbols, ReservedNamesAndLabelsCannotBeRedefined) {
    defineLabel("HERE", 10);
    const struct {
        const char* name;
        SymbolKind previous;
        int32_t value;
    } cases[] = {
        {"HERE", SymbolKind::Label, 10},     {"ADD", SymbolKind::Opcode, 2},
        {"cx", SymbolKind::Register, 2},     {"RES", SymbolKind::Directive, 0},
        {"RANDOM", SymbolKind::Label, 4094}, {"jb", SymbolKind::Opcode, 9},
        {"dx", SymbolKind::Register, 3},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(defineLabel(c.name, 99), c.previous) << c.name;
        int32_t value = -1;
        EXPECT_EQ(referenceSymbol(c.name, 0, &value), c.previous) << c.name;
        EXPECT_EQ(value, c.value) << c.name;
    }
}

TEST_F(Symbols, AFullTableRefusesNewNamesAndStillFindsOldOnes) {
    int entered = 0;
    for (int i = 0; entered < SYMBOL_SLOTS - 22; i++) {
        std::string name = "N" + std::to_string(i);
        if (findSlot(name.c_str()) == NO_SLOT) break;
        if (referenceSymbol(name.c_str(), i, nullptr) == SymbolKind::Free) entered++;
    }
    ASSERT_EQ(entered, SYMBOL_SLOTS - 22);
    EXPECT_FALSE(symbolTable.overflowed);

    EXPECT_EQ(findSlot("NEWNAME"), NO_SLOT);
    EXPECT_EQ(referenceSymbol("NEWNAME", 5, nullptr), SymbolKind::Free);
    EXPECT_TRUE(symbolTable.overflowed);
    symbolTable.overflowed = false;
    EXPECT_EQ(defineLabel("NEWNAME", 5), SymbolKind::Free);
    EXPECT_TRUE(symbolTable.overflowed);

    symbolTable.overflowed = false;
    EXPECT_EQ(referenceSymbol("N0", 0, nullptr), SymbolKind::Undefined);
    EXPECT_EQ(defineLabel("OUT", 0), SymbolKind::Opcode);
    EXPECT_FALSE(symbolTable.overflowed);
}
