// What the golden cases cannot show well: number widths at their edges, the line splitter's
// rules on every mixture of line ends, and the records that only front-ends see (the source
// map, diagnostic columns, symbol uses, sizes beyond 32 bits).
#include <gtest/gtest.h>

#include <cstring>
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
        {"127", 8, 127},
        {"128", 8, -1},
        {"-128", 8, 128},
        {"-129", 8, -1},
        {"4095", 13, 4095},
        {"4096", 13, -1},
        {"-4096", 13, 4096},
        {"-1", 13, 8191},
        {"32767", 16, 32767},
        {"32768", 16, -1},
        {"-32768", 16, 32768},
        {"-32769", 16, -1},
        {"\v\f\r\n 12x", 8, 12},
        {"+5", 16, 5},
        {"--5", 16, 0},
        {"", 16, 0},
        {"4294967296", 16, -1},
        {"-4294967296", 16, -1},
        {"4294967297", 13, -1},
        {"18446744073709551617", 16, -1},
        {std::string(1000, '9'), 16, -1},
        {std::string(60, '0') + "5", 16, 5},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(convertNumber(c.text.c_str(), c.width), c.expected) << c.text << " " << c.width;
    }
}

static std::vector<std::string> linesOf(const std::string& bytes) {
    SourceText source = splitSource(std::vector<char>(bytes.begin(), bytes.end()));
    std::vector<std::string> lines;
    for (uint32_t start : source.lineStarts) lines.emplace_back(source.text.data() + start);
    return lines;
}

// The line rules, byte by byte, as plainly as they can be written.
static std::vector<std::string> referenceLines(const std::string& bytes) {
    std::vector<std::string> lines(1);
    bool cut = false;
    for (size_t i = 0; i < bytes.size(); i++) {
        char c = bytes[i];
        if (c == '\r' || c == '\n') {
            if (c == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n') i++;
            lines.emplace_back();
            cut = false;
        } else if (c == '\0') {
            cut = true;
        } else if (!cut) {
            lines.back() += c;
        }
    }
    return lines;
}

TEST(Assembler, SplitsLinesAtCrLfAndCrLfAndCutsThemAtNul) {
    using Lines = std::vector<std::string>;
    const struct {
        std::string bytes;
        Lines lines;
    } cases[] = {
        {"END", {"END"}},
        {"A\r\nB\n", {"A", "B", ""}},
        {"A\r\rB\n\rC", {"A", "", "B", "", "C"}},
        {std::string("A\0BC\r\nD\0", 8), {"A", "D"}},
        {std::string("0123456789\0abcdefghij\n\x80\xFF", 24), {"0123456789", "\x80\xFF"}},
    };
    for (const auto& c : cases) EXPECT_EQ(linesOf(c.bytes), c.lines);
    // Random mixtures, with long runs of ordinary bytes now and then for the word-wide scan.
    std::mt19937 rng(99);
    const char alphabet[] = {'a', ' ', '\xFF', '\r', '\n', '\0'};
    for (int round = 0; round < 3000; round++) {
        std::string bytes;
        size_t length = 1 + rng() % 80;
        uint32_t spread = 1 + rng() % 20;
        for (size_t i = 0; i < length; i++) {
            bytes += rng() % spread == 0 ? alphabet[3 + rng() % 3] : alphabet[rng() % 6];
        }
        ASSERT_EQ(linesOf(bytes), referenceLines(bytes)) << round;
    }
}

TEST(Assembler, MapsEachLineToItsAddressAndEachByteToItsLine) {
    const struct {
        const char* source;
        const char* lines;        // address+size of each line
        const char* addressLine;  // the line of each byte up to codeSize (0: the added END)
    } cases[] = {
        {"A RES 3\n COPY AX, B\n\n OUT AX ; c\nB 5\n JMP A\n", "0+3 3+3 6+0 6+1 7+2 9+2 11+0",
         "1 1 1 2 2 2 4 5 5 6 6 0"},
        {" COPY AX, #1\n COPY AX,\n 7\n END\n", "0+2 2+0 2+2 4+1 5+0", ""},  // pass 1 fails
    };
    for (const auto& c : cases) {
        Program program = assemble(std::string_view(c.source));
        std::string lines, addressLine;
        for (const LineMap& line : program.lines) {
            lines += (lines.empty() ? "" : " ") + std::to_string(line.address) + "+" +
                     std::to_string(line.size);
        }
        for (int64_t a = 0; a < program.codeSize; a++) {
            addressLine += (a == 0 ? "" : " ") + std::to_string(program.addressLine[a]);
        }
        EXPECT_EQ(lines, c.lines) << c.source;
        EXPECT_EQ(addressLine, c.addressLine) << c.source;
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
        {" COPY AX, #128", "Syntax error in 2nd operand", 10, 1},
        {" ADD AX, c(BX)", "Unexpected token", 9, 1},
        {" JMP AX", "Operand isn't address", 5, 2},
        {" COPY 5, 6", "2nd operand isn't register", 9, 1},
        {" RES 5 6", "End of line is expected", 7, 1},
        {"\t40000", "Value exceeds the range", 1, 5},
    };
    for (const auto& c : cases) {
        Program program = assemble("A END\n" + std::string(c.line));
        ASSERT_EQ(program.diagnostics.size(), 1u) << c.line;
        const Diagnostic& d = program.diagnostics[0];
        EXPECT_EQ(d.pass, 1);
        EXPECT_EQ(d.line, 2);
        EXPECT_EQ(d.text, c.line);
        EXPECT_STREQ(d.message, c.message) << c.line;
        EXPECT_EQ(d.column, c.column) << c.line;
        EXPECT_EQ(d.length, c.length) << c.line;
    }
}

TEST(Assembler, RecordsWhereEachLabelIsDefinedAndUsed) {
    Program program = assemble(std::string_view(
        "LOOP COPY AX, TABLE+c(BX)\n JMP loop\n Table\nTABLE 5\n JMP LONGNAME1\n"));
    const struct {
        const char* name;
        const char* expected;  // value, defining line, defined, and each use line:column+length
    } cases[] = {
        {"LOOP", "0 1 defined 2:5+4"},
        {"TABLE", "7 4 defined 1:14+5 3:1+5"},
        {"LONGNAM", "12 0 undefined 5:5+9"},
        {"RANDOM", "4094 0 defined"},
    };
    for (const auto& c : cases) {
        const Symbol* symbol = findSymbol(program, c.name);
        ASSERT_NE(symbol, nullptr) << c.name;
        std::string text = std::to_string(symbol->value) + " " + std::to_string(symbol->line) +
                           (symbol->defined ? " defined" : " undefined");
        for (const SymbolUse& use : symbol->uses) {
            text += " " + std::to_string(use.line) + ":" + std::to_string(use.column) + "+" +
                    std::to_string(use.length);
        }
        EXPECT_EQ(text, c.expected) << c.name;
        if (symbol->defined && symbol->line > 0) {
            EXPECT_EQ(symbol->definition.line, symbol->line) << c.name;
            EXPECT_EQ(symbol->definition.length, static_cast<int32_t>(std::strlen(c.name)));
        }
    }
}

TEST(Assembler, KeepsSizesExactBeyondThirtyTwoBits) {
    std::string huge;
    for (int i = 0; i < 1050000; i++) huge += " RES 4095\n";  // 4299750000 bytes
    const struct {
        std::string source;
        int64_t codeSize;
        int64_t labelAddress;  // of the one undefined label
    } cases[] = {
        {" RES -1\n JMP X\n", 8191 + 2 + 1 + 2, 8191 + 3},
        {huge + " JMP X\n", 4299750000 + 2 + 1 + 2, 4299750000 + 3},
    };
    for (const auto& c : cases) {
        Program program = assemble(std::string_view(c.source));
        EXPECT_TRUE(program.tooLarge);
        EXPECT_FALSE(program.pass2Ran);
        EXPECT_EQ(program.codeSize, c.codeSize);
        ASSERT_EQ(program.undefinedLabels.size(), 1u);
        EXPECT_EQ(program.undefinedLabels[0].address, c.labelAddress);
    }
}
