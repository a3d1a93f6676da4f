// Parsing and evaluating the debugger's expressions (the grammar is in engine.h). Names follow
// the assembler's rules (any case, seven characters significant), so `count`, `COUNT` and
// `COUNTER1` as the source spells them all find the label the program has. A parsed condition
// holds a label's address, not its name: it stays right for the program it was parsed against.
#include "engine/machine_record.h"

#include <cstdio>

namespace tavro {

namespace {

struct Cursor {
    std::string_view text;
    size_t at = 0;
};

void skipSpace(Cursor& c) {
    while (c.at < c.text.size() && (c.text[c.at] == ' ' || c.text[c.at] == '\t')) c.at++;
}

bool isLetter(char ch) { return (ch >= 'a' && ch <= 'z') || (ch >= 'A' && ch <= 'Z'); }
bool isDigit(char ch) { return ch >= '0' && ch <= '9'; }

// name := letter {letter | digit}
std::string_view readName(Cursor& c) {
    size_t start = c.at;
    if (c.at < c.text.size() && isLetter(c.text[c.at])) {
        while (c.at < c.text.size() && (isLetter(c.text[c.at]) || isDigit(c.text[c.at]))) c.at++;
    }
    return c.text.substr(start, c.at - start);
}

// number := ['+' | '-'] (digits | '0x' hexdigits)
bool readNumber(Cursor& c, int64_t* value) {
    size_t start = c.at;
    if (c.at < c.text.size() && (c.text[c.at] == '-' || c.text[c.at] == '+')) c.at++;
    while (c.at < c.text.size() && (isLetter(c.text[c.at]) || isDigit(c.text[c.at]))) c.at++;
    if (!parseValue(c.text.substr(start, c.at - start), -0x80000000LL, 0xFFFFFFFFLL, value)) {
        c.at = start;
        return false;
    }
    return true;
}

bool sameName(std::string_view name, const char* upper) {
    size_t n = 0;
    for (; upper[n] != '\0'; n++) {
        if (n >= name.size()) return false;
        char ch = name[n];
        if (ch >= 'a' && ch <= 'z') ch = static_cast<char>(ch - 32);
        if (ch != upper[n]) return false;
    }
    return n == name.size();
}

int registerNumber(std::string_view name) {
    for (int r = 0; r < REGISTER_COUNT; r++) {
        if (sameName(name, REGISTER_NAMES[r])) return r;
    }
    return -1;
}

constexpr int64_t LAST_WORD = MEMORY_SIZE - 2;  // the highest address a word starts at
constexpr const char* NO_WORD = "no word there: memory words start at 0 to 4094";

// A label the source defined or was given a word; RANDOM is the port, not a word.
const Symbol* findLabel(const Program& program, std::string_view name) {
    const Symbol* symbol = findSymbol(program, name);
    if (symbol == nullptr || symbol->value < 0 || symbol->value >= RANDOM_ADDRESS) return nullptr;
    return symbol;
}

// address := (LABEL | REG | number) [('+' | '-') number]
const char* parseAddress(const Program& program, Cursor& c, Term* term) {
    term->kind = TermKind::Word;
    skipSpace(c);
    int64_t number = 0;
    int64_t address = 0;
    if (readNumber(c, &number)) {
        address = number;
    } else {
        std::string_view name = readName(c);
        if (name.empty()) return "an address is expected inside [ ]";
        int reg = registerNumber(name);
        const Symbol* label = reg < 0 ? findLabel(program, name) : nullptr;
        if (reg < 0 && label == nullptr) return "unknown name";
        if (reg >= 0) term->reg = reg;
        if (label != nullptr) address = label->value;
    }
    skipSpace(c);
    if (c.at < c.text.size() && (c.text[c.at] == '+' || c.text[c.at] == '-')) {
        bool minus = c.text[c.at] == '-';
        c.at++;
        skipSpace(c);
        if (!readNumber(c, &number)) return "a number is expected after + or -";
        address += minus ? -number : number;
    }
    skipSpace(c);
    if (c.at >= c.text.size() || c.text[c.at] != ']') return "']' is expected";
    c.at++;
    // A fixed address must name a word of memory; one with a register is checked when read.
    if (term->reg < 0 && (address < 0 || address > LAST_WORD)) return NO_WORD;
    if (address < -0xFFFF || address > 0xFFFF) return NO_WORD;
    term->value = static_cast<int32_t>(address);
    return nullptr;
}

// term := REG | IP | BELOW | LABEL | number | '[' address ']'
const char* parseTerm(const Program& program, Cursor& c, Term* term) {
    skipSpace(c);
    *term = Term{};
    if (c.at < c.text.size() && c.text[c.at] == '[') {
        c.at++;
        return parseAddress(program, c, term);
    }
    int64_t number = 0;
    if (readNumber(c, &number)) {
        term->value = static_cast<int32_t>(number);
        return nullptr;
    }
    std::string_view name = readName(c);
    if (name.empty()) return "a register, label, number or [address] is expected";
    if (int reg = registerNumber(name); reg >= 0) {
        term->kind = TermKind::Register;
        term->value = reg;
    } else if (sameName(name, "IP")) {
        term->kind = TermKind::Ip;
    } else if (sameName(name, "BELOW")) {
        term->kind = TermKind::Below;
    } else if (const Symbol* label = findLabel(program, name)) {
        term->kind = TermKind::Word;
        term->value = static_cast<int32_t>(label->value);
    } else {
        return "unknown name";
    }
    return nullptr;
}

Comparison readComparison(Cursor& c) {
    struct Spelling {
        const char* text;
        Comparison op;
    };
    // Two-character operators first, so that "<=" is not read as "<".
    static constexpr Spelling SPELLINGS[] = {
        {"==", Comparison::Equal},     {"!=", Comparison::NotEqual},
        {"<=", Comparison::LessEqual}, {">=", Comparison::GreaterEqual},
        {"<", Comparison::Less},       {">", Comparison::Greater},
    };
    skipSpace(c);
    for (const Spelling& s : SPELLINGS) {
        std::string_view op(s.text);
        if (c.text.substr(c.at, op.size()) == op) {
            c.at += op.size();
            return s.op;
        }
    }
    return Comparison::None;
}

}  // namespace

const char* parseCondition(const Program& program, std::string_view text, Condition* condition) {
    Cursor c{text};
    *condition = Condition{};
    if (const char* error = parseTerm(program, c, &condition->left)) return error;
    skipSpace(c);
    if (c.at < text.size()) {
        condition->op = readComparison(c);
        if (condition->op == Comparison::None) return "expected ==, !=, <, <=, > or >=";
        if (const char* error = parseTerm(program, c, &condition->right)) return error;
        skipSpace(c);
    }
    return c.at < text.size() ? "unexpected text at the end" : nullptr;
}

const char* parseHitCondition(std::string_view text, HitCondition* hit) {
    Cursor c{text};
    skipSpace(c);
    char op = 'g';  // a bare number: from that hit on
    struct Spelling {
        const char* text;
        char op;
    };
    static constexpr Spelling SPELLINGS[] = {{"==", '='}, {">=", 'g'}, {"<=", 'l'}, {"=", '='},
                                             {">", '>'},  {"<", '<'},  {"%", '%'}};
    for (const Spelling& s : SPELLINGS) {
        std::string_view spelled(s.text);
        if (text.substr(c.at, spelled.size()) == spelled) {
            c.at += spelled.size();
            op = s.op;
            break;
        }
    }
    skipSpace(c);
    int64_t count = 0;
    if (!readNumber(c, &count) || count < 0)
        return "a hit count is a number, after ==, >, >=, <, <= or %";
    skipSpace(c);
    if (c.at < text.size()) return "unexpected text after the hit count";
    if (op == '%' && count == 0) return "% 0 never holds";
    *hit = HitCondition{op, static_cast<uint64_t>(count)};
    return nullptr;
}

bool termValue(const Machine& machine, const Term& term, int32_t* value, std::string* error) {
    const MachineState& s = machine.state;
    switch (term.kind) {
        case TermKind::Number: *value = term.value; return true;
        case TermKind::Register: *value = s.regs[term.value & 3]; return true;
        case TermKind::Ip: *value = static_cast<int32_t>(s.ip); return true;
        case TermKind::Below: *value = s.belowFlag; return true;
        case TermKind::Word: {
            int64_t address = term.value + (term.reg >= 0 ? s.regs[term.reg] : 0);
            if (address < 0 || address > LAST_WORD) {
                *error = "no word at " + std::to_string(address) +
                         ": memory words start at 0 to 4094";
                return false;
            }
            *value = wordAt(machine, static_cast<uint32_t>(address));
            return true;
        }
    }
    return false;
}

std::string checkCondition(const Machine& machine, const Condition& condition, bool* holds) {
    int32_t left = 0, right = 0;
    std::string error;
    if (!termValue(machine, condition.left, &left, &error)) return error;
    if (condition.op != Comparison::None && !termValue(machine, condition.right, &right, &error)) {
        return error;
    }
    switch (condition.op) {
        case Comparison::None: *holds = left != 0; break;
        case Comparison::Equal: *holds = left == right; break;
        case Comparison::NotEqual: *holds = left != right; break;
        case Comparison::Less: *holds = left < right; break;
        case Comparison::LessEqual: *holds = left <= right; break;
        case Comparison::Greater: *holds = left > right; break;
        case Comparison::GreaterEqual: *holds = left >= right; break;
    }
    return {};
}

bool hitPasses(const HitCondition& hit, uint64_t hits) {
    switch (hit.op) {
        case '=': return hits == hit.count;
        case '>': return hits > hit.count;
        case 'g': return hits >= hit.count;
        case '<': return hits < hit.count;
        case 'l': return hits <= hit.count;
        case '%': return hits % hit.count == 0;
        default: return true;
    }
}

std::string parseBreakpointConditions(const Program& program, std::string_view condition,
                                      std::string_view hitCondition, BreakpointConditions* out) {
    *out = BreakpointConditions{};
    auto blank = [](std::string_view text) {
        return text.find_first_not_of(" \t") == std::string_view::npos;
    };
    out->conditional = !blank(condition);
    if (out->conditional) {
        if (const char* error = parseCondition(program, condition, &out->condition)) {
            return "Condition '" + std::string(condition) + "': " + error;
        }
    }
    if (!blank(hitCondition)) {
        if (const char* error = parseHitCondition(hitCondition, &out->hit)) {
            return "Hit count '" + std::string(hitCondition) + "': " + error;
        }
    }
    return {};
}

BreakVerdict judgeBreakpoint(const Machine& machine, BreakpointConditions& conditions,
                             std::string* why) {
    bool holds = true;
    if (conditions.conditional) {
        *why = checkCondition(machine, conditions.condition, &holds);
        if (!why->empty()) return BreakVerdict::Unknown;
    }
    if (!holds || !hitPasses(conditions.hit, ++conditions.hits)) return BreakVerdict::GoOn;
    return BreakVerdict::Stop;
}

bool conditionAllows(const Machine& machine, const BreakpointConditions& conditions) {
    if (!conditions.conditional) return true;
    bool holds = true;
    return !checkCondition(machine, conditions.condition, &holds).empty() || holds;
}

bool parseValue(std::string_view text, int64_t min, int64_t max, int64_t* value) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
    bool minus = false;
    if (!text.empty() && (text[0] == '-' || text[0] == '+')) {
        minus = text[0] == '-';
        text.remove_prefix(1);
    }
    int base = 10;
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        base = 16;
        text.remove_prefix(2);
    }
    if (text.empty() || text.size() > 12) return false;
    int64_t result = 0;
    for (char ch : text) {
        int digit = isDigit(ch)                            ? ch - '0'
                    : base == 16 && ch >= 'a' && ch <= 'f' ? ch - 'a' + 10
                    : base == 16 && ch >= 'A' && ch <= 'F' ? ch - 'A' + 10
                                                           : -1;
        if (digit < 0) return false;
        result = result * base + digit;
    }
    if (minus) result = -result;
    if (result < min || result > max) return false;
    *value = result;
    return true;
}

std::string wordText(int32_t value) {
    char text[32];
    std::snprintf(text, sizeof text, "%d (0x%04X)", static_cast<int>(static_cast<int16_t>(value)),
                  static_cast<unsigned>(value & 0xFFFF));
    return text;
}

}  // namespace tavro
