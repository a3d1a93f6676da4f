// The small expressions of the debugger: what conditional breakpoints compare, what the debug
// console evaluates, and what setVariable accepts as a value.
//   term      := REG | IP | BELOW | LABEL | number | '[' address ']'
//   address   := (LABEL | REG | number) [('+' | '-') number]   (a word of memory: 0 to 4094)
//   condition := term [op term]          op := == != < <= > >=
// A label stands for its word, as the Labels scope shows it; [address] is the word there.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "engine/engine.h"

namespace tavro {

enum class TermKind : uint8_t { Number, Register, Ip, Below, Word };

struct Term {
    TermKind kind = TermKind::Number;
    int32_t value = 0;  // Number: the number; Register: its number; Word: the address's constant
    int32_t reg = -1;   // Word: a register added to the address, or -1
};

enum class Comparison : uint8_t { None, Equal, NotEqual, Less, LessEqual, Greater, GreaterEqual };

struct Condition {
    Term left;
    Comparison op = Comparison::None;  // None: the condition is the left term alone
    Term right;
};

// A hit condition: "N" (from the Nth hit on), "== N", ">= N", "> N", "< N", "<= N", "% N".
struct HitCondition {
    char op = 0;  // 0: none; '=', '>', 'g' (>=), '<', 'l' (<=), '%'
    uint64_t count = 0;
};

// Parses a condition; returns the fixed reason it is refused, nullptr on success.
const char* parseCondition(const Program& program, std::string_view text, Condition* condition);
// Parses a hit condition; returns the reason it is refused, nullptr on success.
const char* parseHitCondition(std::string_view text, HitCondition* hit);
// The value of a term on the machine as it stands; false, with *error saying why, when it
// names a word outside memory.
bool termValue(const Machine& machine, const Term& term, int32_t* value, std::string* error);
// Works out whether a condition holds (a lone term holds when it is not zero): "" with *holds
// set, or why it cannot be worked out.
std::string checkCondition(const Machine& machine, const Condition& condition, bool* holds);
// Whether the hits-th hit (counted from 1) passes the hit condition.
bool hitPasses(const HitCondition& hit, uint64_t hits);
// Parses a value to store: a decimal number with a sign, or 0x and hexadecimal digits; false
// when it is neither or lies outside min..max.
bool parseValue(std::string_view text, int64_t min, int64_t max, int64_t* value);
// A word as the debugger shows it: signed decimal, then its 16 bits in hexadecimal.
std::string wordText(int32_t value);

}  // namespace tavro
