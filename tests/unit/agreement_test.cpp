// The assembler and the decoder agree on the machine-code format for every shape: random valid
// programs (every instruction form, labels, data words, RES) are assembled, and decoding each
// statement's bytes gives back the operands that the parser makes of the statement's text.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "asm/operand.h"
#include "asm/passes.h"
#include "asm/symbols.h"
#include "capture.h"
#include "common/format.h"
#include "sim/machine.h"

namespace {

enum class Shape { Load, Store, Arithmetic, Jump, OneRegister, Plain, Number, LabelWord, Reserve };

struct Statement {
    Shape shape;
    int opcode;
    std::string first, second;  // operand texts, as written
    int32_t count;              // RES
    std::string text;           // the whole line
};

class Generator {
public:
    explicit Generator(uint32_t seed) : rng_(seed) {}

    int pick(int n) { return static_cast<int>(rng_() % static_cast<uint32_t>(n)); }

    std::string blanks() { return std::string(1 + pick(2), pick(3) == 0 ? '\t' : ' '); }
    std::string maybeBlanks() { return pick(2) == 0 ? "" : blanks(); }

    // A name in random case; half of the time one of the statement labels (defined), else a
    // name that is never defined (it gets a word after the program).
    std::string name(int statements) {
        std::string n =
            pick(2) == 0 ? "S" + std::to_string(pick(statements)) : "U" + std::to_string(pick(20));
        if (pick(3) == 0) n[0] = static_cast<char>(n[0] + 32);
        return n;
    }

    std::string reg() {
        std::string r = REGISTER_NAMES[pick(4)];
        if (pick(3) == 0) r[0] = static_cast<char>(r[0] + 32), r[1] = static_cast<char>(r[1] + 32);
        return r;
    }

    std::string number(int lowest, int highest) {
        int v = lowest + pick(highest - lowest + 1);
        return (v >= 0 && pick(4) == 0 ? "+" : "") + std::to_string(v);
    }

    std::string address(int statements) {
        return pick(2) == 0 ? name(statements) : number(-32768, 32767);
    }

    std::string indirect() {
        return std::string(pick(2) == 0 ? "c(" : "C(") + maybeBlanks() + reg() + maybeBlanks() +
               ")";
    }
    std::string indexed(int statements) {
        return address(statements) + maybeBlanks() + "+" + maybeBlanks() + indirect();
    }
    std::string constant() { return "#" + number(-128, 127); }

    Statement statement(int statements) {
        Statement s{};
        const char* mnemonic;
        switch (pick(9)) {
            case 0: {  // COPY load, every source form
                s.shape = Shape::Load, s.opcode = COPY;
                s.first = reg();
                int form = pick(5);
                s.second = form == 0   ? constant()
                           : form == 1 ? reg()
                           : form == 2 ? indirect()
                           : form == 3 ? address(statements)
                                       : indexed(statements);
                break;
            }
            case 1:  // COPY store, every target form
                s.shape = Shape::Store, s.opcode = COPY;
                s.first = pick(3) == 0   ? indirect()
                          : pick(2) == 0 ? address(statements)
                                         : indexed(statements);
                s.second = reg();
                break;
            case 2:
            case 3: {  // ADD to CMP
                s.shape = Shape::Arithmetic, s.opcode = ADD + pick(5);
                s.first = reg();
                int form = pick(3);
                s.second = form == 0 ? constant() : form == 1 ? reg() : address(statements);
                break;
            }
            case 4:
                s.shape = Shape::Jump, s.opcode = JMP + pick(4);
                s.first = address(statements);
                break;
            case 5:
                s.shape = Shape::OneRegister, s.opcode = PUSH + pick(4);
                s.first = reg();
                break;
            case 6: s.shape = Shape::Plain, s.opcode = pick(2) == 0 ? END : RTN; break;
            case 7:
                s.shape = pick(2) == 0 ? Shape::Number : Shape::LabelWord;
                s.first = s.shape == Shape::Number ? number(-32768, 32767) : name(statements);
                break;
            default:
                s.shape = Shape::Reserve;
                s.count = pick(5);
                break;
        }
        mnemonic = s.shape == Shape::Reserve ? "RES" : MNEMONIC_NAMES[s.opcode];
        if (s.shape == Shape::Number || s.shape == Shape::LabelWord) {
            s.text = s.first;
        } else if (s.shape == Shape::Reserve) {
            s.text = std::string(mnemonic) + blanks() + std::to_string(s.count);
        } else {
            s.text = mnemonic;
            if (!s.first.empty()) s.text += blanks() + s.first;
            if (!s.second.empty()) s.text += maybeBlanks() + "," + maybeBlanks() + s.second;
        }
        if (pick(4) == 0) s.text += maybeBlanks() + "; comment";
        return s;
    }

private:
    std::mt19937 rng_;
};

Operand parse(const std::string& text) {
    int32_t consumed = 0;
    return parseOperand(text.c_str(), &consumed);
}

int32_t labelAddress(const std::string& label) {
    return symbolTable.slots[findSlot(label.c_str())].value;
}

}  // namespace

TEST(Agreement, DecodingGivesBackTheParsedOperands) {
    int checked = 0;
    for (uint32_t seed = 0; seed < 200; seed++) {
        Generator generator(seed);
        const int count = 20 + generator.pick(120);
        std::vector<Statement> statements;
        std::vector<std::string> lines;
        for (int i = 0; i < count; i++) {
            statements.push_back(generator.statement(count));
            lines.push_back("S" + std::to_string(i) + generator.blanks() + statements.back().text);
        }
        std::vector<char*> pointers;
        for (std::string& line : lines) pointers.push_back(line.data());
        std::vector<uint8_t> image(MEMORY_SIZE, 0);
        StreamCapture capture;  // the warnings for undefined names
        initSymbols();
        ASSERT_EQ(assemblePass(pointers.data(), count, 1, nullptr), 0) << seed;
        int32_t codeSize = allocateUndefinedLabels(assembler.locationCounter);
        ASSERT_LE(codeSize, MAX_CODE_SIZE);
        ASSERT_EQ(assemblePass(pointers.data(), count, 2, image.data()), 0) << seed;
        capture.finish();

        for (int i = 0; i < count; i++) {
            const Statement& s = statements[static_cast<size_t>(i)];
            const uint8_t* code = image.data() + labelAddress("S" + std::to_string(i));
            SCOPED_TRACE(testing::Message()
                         << "seed " << seed << ": " << lines[static_cast<size_t>(i)]);
            if (s.shape == Shape::Number || s.shape == Shape::LabelWord) {
                Operand word = parse(s.first);  // a number or a name: Direct, value as written
                EXPECT_EQ(loadBigEndian16(code), static_cast<uint32_t>(word.value) & 0xFFFF);
                continue;
            }
            if (s.shape == Shape::Reserve) {
                for (int32_t k = 0; k < s.count; k++) EXPECT_EQ(code[k], 0);
                continue;
            }
            ASSERT_EQ(opcodeField(code[0]), s.opcode);
            Operand first = parse(s.first), second = parse(s.second);
            int32_t length = 0;
            switch (s.shape) {
                case Shape::Load:
                case Shape::Arithmetic: {
                    Operand decoded = decodeOperand(code, &length);
                    EXPECT_EQ(decoded.mainReg, first.reg);
                    EXPECT_EQ(decoded.kind, second.kind);
                    EXPECT_EQ(decoded.modeBits & 1, 0);  // a load
                    if (second.kind == OperandKind::Immediate) {
                        EXPECT_EQ(decoded.value, static_cast<int8_t>(second.value));
                    } else if (second.kind != OperandKind::Register &&
                               second.kind != OperandKind::Indirect) {
                        EXPECT_EQ(decoded.value, second.value & 0x0FFF);
                    }
                    if (second.kind != OperandKind::Immediate &&
                        second.kind != OperandKind::Direct) {
                        EXPECT_EQ(decoded.reg, second.reg);
                    }
                    break;
                }
                case Shape::Store: {
                    Operand decoded = decodeOperand(code, &length);
                    EXPECT_EQ(decoded.modeBits & 1, 1);  // a store
                    EXPECT_EQ(decoded.mainReg, second.reg);
                    EXPECT_EQ(decoded.kind, first.kind);
                    if (first.kind != OperandKind::Indirect) {
                        EXPECT_EQ(decoded.value, first.value & 0x0FFF);
                    }
                    if (first.kind != OperandKind::Direct) {
                        EXPECT_EQ(decoded.reg, first.reg);
                    }
                    break;
                }
                case Shape::Jump:
                    EXPECT_EQ(addressField(code[0], code[1]), first.value & 0x0FFF);
                    break;
                case Shape::OneRegister: EXPECT_EQ(registerField(code[0]), first.reg); break;
                default: EXPECT_EQ(code[0] & 0x0F, 0); break;
            }
            checked++;
        }
    }
    EXPECT_GT(checked, 5000);
}
