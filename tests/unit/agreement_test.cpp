// The assembler and the decoder agree on the machine-code format: random valid programs (every
// instruction form, labels in any case, blanks and tabs, data words, RES) are assembled, and
// each statement's bytes decode back to what the generator wrote, at the address and with the
// size that the source map gives the statement's line.
#include <gtest/gtest.h>

#include <cctype>
#include <random>
#include <string>
#include <vector>

#include "common/format.h"
#include "engine/engine.h"

using namespace tavro;

namespace {

constexpr int DATA_WORD = -1, RESERVE = -2;  // statements that are not instructions

// One operand as the generator wrote it.
struct Written {
    std::string text;
    OperandKind kind = OperandKind::None;
    int reg = 0;
    int number = 0;     // a number or constant as written
    std::string label;  // or the label it names
};

struct Statement {
    int opcode;  // or DATA_WORD (first) or RESERVE (first.number bytes)
    Written first, second;
    bool store = false;  // a COPY whose first operand receives the register
    int length;          // the bytes it must emit
    std::string text;
};

class Generator {
public:
    Generator(uint32_t seed, int statements) : rng_(seed), statements_(statements) {}

    int pick(int n) { return static_cast<int>(rng_() % static_cast<uint32_t>(n)); }
    std::string blanks() { return std::string(1 + pick(2), pick(3) == 0 ? '\t' : ' '); }
    std::string maybeBlanks() { return pick(2) == 0 ? "" : blanks(); }
    std::string anyCase(std::string s) {
        for (char& c : s) c = pick(3) == 0 ? static_cast<char>(std::tolower(c)) : c;
        return s;
    }

    Written reg() {
        int r = pick(4);
        return {anyCase(REGISTER_NAMES[r]), OperandKind::Register, r, 0, ""};
    }
    Written number(int lowest, int highest, OperandKind kind) {
        int v = lowest + pick(highest - lowest + 1);
        return {(v >= 0 && pick(4) == 0 ? "+" : "") + std::to_string(v), kind, 0, v, ""};
    }
    // A statement label (defined), a name never defined (it gets a word), or a number.
    Written address() {
        if (pick(2) == 0) return number(-32768, 32767, OperandKind::Direct);
        std::string name =
            pick(2) == 0 ? "S" + std::to_string(pick(statements_)) : "U" + std::to_string(pick(20));
        return {anyCase(name), OperandKind::Direct, 0, 0, name};
    }
    Written indirect() {
        Written r = reg();
        r.text = (pick(2) == 0 ? "c(" : "C(") + maybeBlanks() + r.text + maybeBlanks() + ")";
        r.kind = OperandKind::Indirect;
        return r;
    }
    Written indexed() {
        Written a = address(), r = indirect();
        a.text += maybeBlanks() + "+" + maybeBlanks() + r.text;
        a.kind = OperandKind::Indexed;
        a.reg = r.reg;
        return a;
    }
    Written constant() {
        Written c = number(-128, 127, OperandKind::Immediate);
        c.text = "#" + c.text;
        return c;
    }
    // The bytes of COPY..CMP with this source (or store target).
    static int lengthOf(const Written& w) {
        return w.kind == OperandKind::Direct || w.kind == OperandKind::Indexed ? 3 : 2;
    }

    Statement statement() {
        Statement s{};
        switch (pick(9)) {
            case 0: {  // COPY load, every source form
                s.opcode = COPY, s.first = reg();
                int form = pick(5);
                s.second = form == 0   ? constant()
                           : form == 1 ? reg()
                           : form == 2 ? indirect()
                           : form == 3 ? address()
                                       : indexed();
                s.length = lengthOf(s.second);
                break;
            }
            case 1:  // COPY store, every target form
                s.opcode = COPY, s.store = true;
                s.first = pick(3) == 0 ? indirect() : pick(2) == 0 ? address() : indexed();
                s.second = reg();
                s.length = lengthOf(s.first);
                break;
            case 2:
            case 3: {  // ADD to CMP
                s.opcode = ADD + pick(5), s.first = reg();
                int form = pick(3);
                s.second = form == 0 ? constant() : form == 1 ? reg() : address();
                s.length = lengthOf(s.second);
                break;
            }
            case 4: s.opcode = JMP + pick(4), s.first = address(), s.length = 2; break;
            case 5: s.opcode = PUSH + pick(4), s.first = reg(), s.length = 1; break;
            case 6: s.opcode = pick(2) == 0 ? END : RTN, s.length = 1; break;
            case 7:
                s.opcode = DATA_WORD, s.length = 2;
                s.first = pick(2) == 0 ? number(-32768, 32767, OperandKind::Direct) : address();
                break;
            default: s.opcode = RESERVE, s.first.number = s.length = pick(5); break;
        }
        if (s.opcode == DATA_WORD) {
            s.text = s.first.text;
        } else if (s.opcode == RESERVE) {
            s.text = anyCase("RES") + blanks() + std::to_string(s.length);
        } else {
            s.text = anyCase(MNEMONIC_NAMES[s.opcode]);
            if (!s.first.text.empty()) s.text += blanks() + s.first.text;
            if (!s.second.text.empty())
                s.text += maybeBlanks() + "," + maybeBlanks() + s.second.text;
        }
        if (pick(4) == 0) s.text += maybeBlanks() + "; comment";
        return s;
    }

private:
    std::mt19937 rng_;
    int statements_;
};

// An operand's kind and the fields that kind has; value is its address, offset or constant.
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
    for (uint32_t seed = 0; seed < 200; seed++) {
        const int count = 20 + static_cast<int>(seed % 120);
        Generator generator(seed, count);
        std::vector<Statement> statements;
        std::string source;
        for (int i = 0; i < count; i++) {
            statements.push_back(generator.statement());
            source += "S" + std::to_string(i) + generator.blanks() + statements.back().text + "\n";
        }
        Program program = assemble(std::string_view(source));
        ASSERT_TRUE(runnable(program)) << renderAssembly(program);
        auto valueOf = [&](const Written& w) -> int64_t {
            return w.label.empty() ? w.number : findSymbol(program, w.label)->value;
        };

        for (int i = 0; i < count; i++) {
            const Statement& s = statements[static_cast<size_t>(i)];
            SCOPED_TRACE("seed " + std::to_string(seed) + ": " + s.text);
            int64_t at = findSymbol(program, "S" + std::to_string(i))->value;
            ASSERT_EQ(program.lines[static_cast<size_t>(i)].address, at);
            ASSERT_EQ(program.lines[static_cast<size_t>(i)].size, s.length);
            for (int k = 0; k < s.length; k++) EXPECT_EQ(program.addressLine[at + k], i + 1);
            const uint8_t* code = program.image.data() + at;
            if (s.opcode == DATA_WORD) {
                EXPECT_EQ(static_cast<int64_t>(loadBigEndian16(code)), valueOf(s.first) & 0xFFFF);
                continue;
            }
            if (s.opcode == RESERVE) {
                for (int k = 0; k < s.length; k++) EXPECT_EQ(code[k], 0);
                continue;
            }
            ASSERT_EQ(opcodeField(code[0]), s.opcode);
            switch (OPERAND_SHAPES[s.opcode]) {
                case OperandShape::NONE:
                    EXPECT_EQ(modeField(code[0]) | registerField(code[0]), 0);
                    break;
                case OperandShape::ADDRESS:
                    EXPECT_EQ(addressField(code[0], code[1]), valueOf(s.first) & 0x0FFF);
                    break;
                case OperandShape::REGISTER: EXPECT_EQ(registerField(code[0]), s.first.reg); break;
                case OperandShape::TWO: {
                    int32_t length = 0;
                    DecodedOperand decoded = decodeOperand(code, &length);
                    const Written& from = s.store ? s.first : s.second;
                    const Written& target = s.store ? s.second : s.first;
                    EXPECT_EQ(length, s.length);
                    EXPECT_EQ(decoded.store, s.store);
                    EXPECT_EQ(decoded.mainReg, target.reg);
                    EXPECT_EQ(fields(decoded.kind, decoded.reg, decoded.value),
                              fields(from.kind, from.reg, valueOf(from)));
                    break;
                }
            }
            checked++;
        }
    }
    EXPECT_GT(checked, 5000);
}
