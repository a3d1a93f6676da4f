// The assembler and the decoder agree on the machine-code format: random valid programs (every
// instruction form, names in any case, blanks and tabs, data words, RES) are assembled, and
// each statement's bytes decode back to what the generator wrote, at the address and with the
// size that the source map gives its line.
#include <gtest/gtest.h>

#include <cctype>
#include <random>
#include <string>
#include <vector>

#include "common/format.h"
#include "engine/engine.h"
#include "sim/machine.h"

using namespace tavro;

namespace {

constexpr int DATA_WORD = -1, RESERVE = -2;  // the statements that are not instructions

// One operand as written: its text, kind, register, and a number or the label it names.
struct Written {
    std::string text;
    OperandKind kind = OperandKind::None;
    int reg = 0, number = 0;
    std::string label;
};

struct Statement {
    int opcode;  // or DATA_WORD, or RESERVE of first.number bytes
    Written first, second;
    bool store;  // a COPY whose first operand receives the register
    int length;  // the bytes it must emit
    std::string text;
};

struct Generator {
    std::mt19937 rng;
    int statements;

    int pick(int n) { return static_cast<int>(rng() % static_cast<uint32_t>(n)); }
    std::string blanks(int least = 1) { return std::string(least + pick(2), pick(3) ? ' ' : '\t'); }
    std::string anyCase(std::string s) {
        for (char& c : s) c = pick(3) == 0 ? static_cast<char>(std::tolower(c)) : c;
        return s;
    }
    Written reg() {
        int r = pick(4);
        return {anyCase(REGISTER_NAMES[r]), OperandKind::Register, r, 0, ""};
    }
    Written number(int lowest, int highest, OperandKind kind, const char* prefix = "") {
        int v = lowest + pick(highest - lowest + 1);
        return {prefix + std::string(v >= 0 && pick(4) == 0 ? "+" : "") + std::to_string(v), kind,
                0, v, ""};
    }
    // A number, a statement label (defined) or a name never defined (it gets a word).
    Written address() {
        if (pick(2) == 0) return number(-32768, 32767, OperandKind::Direct);
        std::string name =
            pick(2) ? "S" + std::to_string(pick(statements)) : "U" + std::to_string(pick(20));
        return {anyCase(name), OperandKind::Direct, 0, 0, name};
    }
    Written indirect() {
        Written r = reg();
        r.text = (pick(2) ? "c(" : "C(") + blanks(0) + r.text + blanks(0) + ")";
        r.kind = OperandKind::Indirect;
        return r;
    }
    Written indexed() {
        Written a = address(), r = indirect();
        a.text += blanks(0) + "+" + blanks(0) + r.text;
        a.kind = OperandKind::Indexed;
        a.reg = r.reg;
        return a;
    }
    // The sources of ADD..CMP (0 to 2), of a load (0 to 4), or the targets of a store (2 to 4).
    Written source(int lowest, int highest) {
        int form = lowest + pick(highest - lowest + 1);
        return form == 0   ? number(-128, 127, OperandKind::Immediate, "#")
               : form == 1 ? reg()
               : form == 2 ? address()
               : form == 3 ? indirect()
                           : indexed();
    }

    Statement statement() {
        Statement s{};
        int kind = pick(9);
        if (kind <= 1) {  // COPY, a load or a store
            s.opcode = COPY, s.store = kind == 1;
            s.first = s.store ? source(2, 4) : reg();
            s.second = s.store ? reg() : source(0, 4);
        } else if (kind <= 3) {
            s.opcode = ADD + pick(5), s.first = reg(), s.second = source(0, 2);
        } else if (kind == 4) {
            s.opcode = JMP + pick(4), s.first = address(), s.length = 2;
        } else if (kind == 5) {
            s.opcode = PUSH + pick(4), s.first = reg(), s.length = 1;
        } else if (kind == 6) {
            s.opcode = pick(2) ? END : RTN, s.length = 1;
        } else if (kind == 7) {
            s.opcode = DATA_WORD, s.first = address(), s.length = 2;
        } else {
            s.opcode = RESERVE, s.first.number = s.length = pick(5);
        }
        if (s.opcode >= COPY && s.opcode <= CMP) {
            const Written& memory = s.store ? s.first : s.second;
            s.length =
                memory.kind == OperandKind::Direct || memory.kind == OperandKind::Indexed ? 3 : 2;
        }
        if (s.opcode == DATA_WORD) {
            s.text = s.first.text;
        } else if (s.opcode == RESERVE) {
            s.text = anyCase("RES") + blanks() + std::to_string(s.length);
        } else {
            s.text = anyCase(MNEMONIC_NAMES[s.opcode]);
            if (!s.first.text.empty()) s.text += blanks() + s.first.text;
            if (!s.second.text.empty()) s.text += blanks(0) + "," + blanks(0) + s.second.text;
        }
        if (pick(4) == 0) s.text += blanks(0) + "; comment";
        return s;
    }
};

// An operand's kind and the fields that kind has; value is an address, offset or constant.
std::string fields(OperandKind kind, int reg, int64_t value) {
    std::string text = "kind " + std::to_string(static_cast<int>(kind));
    if (kind == OperandKind::Register || kind == OperandKind::Indirect ||
        kind == OperandKind::Indexed) {
        text += " reg " + std::to_string(reg);
    }
    if (kind == OperandKind::Direct || kind == OperandKind::Indexed) {
        text += " address " + std::to_string(value & 0x0FFF);  // 12 bits are encoded
    } else if (kind == OperandKind::Immediate) {
        text += " constant " + std::to_string(value);
    }
    return text;
}

}  // namespace

TEST(Agreement, DecodingGivesBackWhatWasWritten) {
    int checked = 0;
    for (uint32_t seed = 0; seed < 200 && !HasFailure(); seed++) {
        const int count = 20 + static_cast<int>(seed % 120);
        Generator generator{std::mt19937(seed), count};
        std::vector<Statement> statements;
        std::string text;
        for (int i = 0; i < count; i++) {
            statements.push_back(generator.statement());
            text += "S" + std::to_string(i) + generator.blanks() + statements.back().text + "\n";
        }
        Program program = *assemble(std::string_view(text));
        ASSERT_TRUE(runnable(program)) << renderAssembly(program);
        auto valueOf = [&](const Written& w) -> int64_t {
            return w.label.empty() ? w.number : findSymbol(program, w.label)->value;
        };
        for (int i = 0; i < count; i++, checked++) {
            const Statement& s = statements[static_cast<size_t>(i)];
            SCOPED_TRACE("seed " + std::to_string(seed) + ": " + s.text);
            int64_t at = findSymbol(program, "S" + std::to_string(i))->value;
            EXPECT_EQ(program.lines[static_cast<size_t>(i)].address, at);
            EXPECT_EQ(program.lines[static_cast<size_t>(i)].size, s.length);
            for (int k = 0; k < s.length; k++) EXPECT_EQ(program.addressLine[at + k], i + 1);
            const uint8_t* code = program.image.data() + at;
            if (s.opcode >= 0) {
                EXPECT_EQ(opcodeField(code[0]), s.opcode);
            }
            if (s.opcode == DATA_WORD) {
                EXPECT_EQ(static_cast<int64_t>(loadBigEndian16(code)), valueOf(s.first) & 0xFFFF);
            } else if (s.opcode == RESERVE) {
                for (int k = 0; k < s.length; k++) EXPECT_EQ(code[k], 0);
            } else if (OPERAND_SHAPES[s.opcode] == OperandShape::TWO) {
                int32_t length = 0;
                DecodedOperand decoded = decodeOperand(code, &length);
                const Written& from = s.store ? s.first : s.second;
                EXPECT_EQ(length, s.length);
                EXPECT_EQ(decoded.store, s.store);
                EXPECT_EQ(decoded.mainReg, (s.store ? s.second : s.first).reg);
                EXPECT_EQ(fields(decoded.kind, decoded.reg, decoded.value),
                          fields(from.kind, from.reg, valueOf(from)));
            } else if (OPERAND_SHAPES[s.opcode] == OperandShape::ADDRESS) {
                EXPECT_EQ(addressField(code[0], code[1]), valueOf(s.first) & 0x0FFF);
            } else {  // one register, or none (register and mode 0)
                EXPECT_EQ(modeField(code[0]) * 4 + registerField(code[0]), s.first.reg);
            }
        }
    }
    EXPECT_GT(checked, 5000);
}
