// What the golden cases cannot show well: numbers at the edges of their widths, the line
// splitter on every mixture of line ends, and the records that only front-ends see (diagnostic
// columns, symbol uses, sizes beyond 32 bits). The agreement test covers the source map.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "asm/lexer.h"
#include "engine/engine.h"

using namespace tavro;

TEST(Assembler, ConvertsNumbersWithinTheirWidthAndNeverWraps) {
    const struct {
        std::string text;
        int width;
        int32_t expected;  // -1: out of range
    } cases[] = {
        // clang-format off
        {"127", 8, 127}, {"128", 8, -1}, {"-128", 8, 128}, {"-129", 8, -1}, {"4095", 13, 4095},
        {"4096", 13, -1}, {"-1", 13, 8191}, {"32767", 16, 32767}, {"32768", 16, -1},
        {"-32768", 16, 32768}, {"-32769", 16, -1}, {"\v\f\r\n 12x", 8, 12}, {"+5", 16, 5},
        {"--5", 16, 0}, {"", 16, 0}, {"4294967296", 16, -1}, {"-4294967296", 16, -1},
        {"18446744073709551617", 16, -1}, {std::string(1000, '9'), 16, -1},
        {std::string(60, '0') + "5", 16, 5},
        // clang-format on
    };
    for (const auto& c : cases) {
        EXPECT_EQ(convertNumber(c.text.c_str(), c.width), c.expected) << c.text << " " << c.width;
    }
}

TEST(Assembler, SplitsLinesByTheLoadersRules) {
    // The rules, byte by byte, as plainly as they can be written: CR, LF and CR LF end a line,
    // a NUL byte ends its line's text.
    auto rules = [](const std::string& bytes) {
        std::vector<std::string> lines(1);
        bool cut = false;
        for (size_t i = 0; i < bytes.size(); i++) {
            if (bytes[i] == '\r' || bytes[i] == '\n') {
                if (bytes[i] == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n') i++;
                lines.emplace_back();
                cut = false;
            } else if (bytes[i] == '\0' || cut) {
                cut = true;
            } else {
                lines.back() += bytes[i];
            }
        }
        return lines;
    };
    // Random mixtures, now and then with long runs of ordinary bytes for the word-wide scan.
    std::mt19937 rng(99);
    const char alphabet[] = {'a', ' ', '\xFF', '\r', '\n', '\0'};
    for (int round = 0; round < 3000; round++) {
        std::string bytes;
        uint32_t spread = 1 + rng() % 20;
        for (size_t i = 0, n = 1 + rng() % 80; i < n; i++) {
            bytes += alphabet[rng() % spread == 0 ? 3 + rng() % 3 : rng() % 6];
        }
        SourceText source = splitSource(SourceBytes(bytes.begin(), bytes.end()));
        std::vector<std::string> lines;
        for (uint32_t start : source.lineStarts) lines.emplace_back(source.text.data() + start);
        ASSERT_EQ(lines, rules(bytes)) << round;
    }
}

TEST(Assembler, PointsAtTheFailingToken) {
    const struct {
        const char* line;  // assembled as line 2, after "A END"
        const char* message;
        int32_t column, length;
    } cases[] = {
        {"LOOP: END", "Unexpected token", 4, 1},
        {"A OUT BX", "Duplicated label definitionl", 0, 1},
        {" dx, 5", "Opcode is expected", 1, 2},
        {" COPY AX BX", "',' is expected", 9, 2},
        {" COPY AX, #128", "Syntax error in 2nd operand", 10, 4},
        {" COPY AX, #-200", "Syntax error in 2nd operand", 10, 5},
        {" ADD AX, c(BX)", "Unexpected token", 9, 1},
        {" JMP AX", "Operand isn't address", 5, 2},
        {" COPY 5, 6", "2nd operand isn't register", 9, 1},
        {" RES 5 6", "End of line is expected", 7, 1},
        {"\t40000", "Value exceeds the range", 1, 5},
    };
    for (const auto& c : cases) {
        Program program = *assemble("A END\n" + std::string(c.line));
        ASSERT_EQ(program.diagnostics.size(), 1u) << c.line;
        const Diagnostic& d = program.diagnostics[0];
        EXPECT_EQ(std::to_string(d.pass) + " " + std::to_string(d.line) + " " + d.message + " " +
                      std::to_string(d.column) + "+" + std::to_string(d.length) + " " + d.text,
                  "1 2 " + std::string(c.message) + " " + std::to_string(c.column) + "+" +
                      std::to_string(c.length) + " " + c.line);
    }
}

TEST(Assembler, RecordsWhereEachLabelIsDefinedAndUsed) {
    Program program = *assemble(std::string_view(
        "LOOP COPY AX, TABLE+c(BX)\n JMP loop\n Table\nTABLE 5\n JMP LONGNAME1\n"));
    const char* const cases[][2] = {
        // name: value, defining line:column+length, and each use
        {"LOOP", "0 1:0+4 2:5+4"},
        {"TABLE", "7 4:0+5 1:14+5 3:1+5"},
        {"LONGNAM", "12 0:0+0 5:5+9"},  // undefined: it got the word after the program
        {"RANDOM", "4094 0:0+0"},
    };
    for (const auto& [name, expected] : cases) {
        const Symbol* symbol = findSymbol(program, name);
        ASSERT_NE(symbol, nullptr) << name;
        auto place = [](const SymbolUse& use) {
            return " " + std::to_string(use.line) + ":" + std::to_string(use.column) + "+" +
                   std::to_string(use.length);
        };
        std::string text = std::to_string(symbol->value) + place(symbol->definition);
        for (const SymbolUse& use : symbol->uses) text += place(use);
        EXPECT_EQ(text, expected) << name;
        EXPECT_EQ(symbol->line, symbol->definition.line) << name;
    }
}

TEST(Assembler, GivesUndefinedLabelsExactWordsInSlotOrder) {
    std::string huge;
    for (int i = 0; i < 1050000; i++) huge += " RES 4095\n";  // 4299750000 bytes
    // RES, two jumps, the added END, then a word for AB (slot 34) and for AQ (slot 49).
    for (const auto& [source, reserved] : {std::pair{std::string(" RES -1\n"), int64_t{8191}},
                                           std::pair{huge, int64_t{4299750000}}}) {
        Program program = *assemble(std::string_view(source + " JMP AQ\n JMP AB\n"));
        EXPECT_TRUE(program.tooLarge && !program.pass2Ran);
        EXPECT_EQ(program.codeSize, reserved + 9);
        std::string words;
        for (const UndefinedLabel& label : program.undefinedLabels) {
            words += label.name + "=" + std::to_string(label.address - reserved) + " ";
        }
        EXPECT_EQ(words, "AB=5 AQ=7 ");
    }
}
