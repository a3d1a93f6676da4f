#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "asm/passes.h"
#include "asm/symbols.h"
#include "capture.h"
#include "common/tavro.h"

// A source held as separate lines, assembled like the driver does.
struct Assembly {
    int32_t pass1Errors = -1;
    int32_t codeSize = -1;
    int32_t pass2Errors = -1;
    std::vector<uint8_t> bytes;  // the first codeSize bytes of the image
    CapturedOutput output;
};

static Assembly assembleLines(std::vector<std::string> source) {
    std::vector<char*> lines;
    for (std::string& line : source) lines.push_back(line.data());
    Assembly result;
    StreamCapture capture;
    initSymbols();
    int32_t count = static_cast<int32_t>(lines.size());
    result.pass1Errors = assemblePass(lines.data(), count, 1, nullptr);
    if (result.pass1Errors == 0) {
        result.codeSize = allocateUndefinedLabels(assembler.locationCounter);
        if (result.codeSize <= MAX_CODE_SIZE) {
            std::vector<uint8_t> image(MEMORY_SIZE, 0);
            result.pass2Errors = assemblePass(lines.data(), count, 2, image.data());
            result.bytes.assign(image.begin(), image.begin() + result.codeSize);
        }
    }
    result.output = capture.finish();
    return result;
}

struct ProgramCase {
    const char* title;
    std::vector<std::string> lines;
    std::vector<uint8_t> bytes;
    std::string warnings;
};

TEST(Passes, AssembleWholePrograms) {
    const ProgramCase cases[] = {
        {"END appended after the last instruction",
         {" IN AX", " OUT AX", ""},
         {0xE0, 0xF0, 0x00},
         ""},
        {"forward reference, data after END",
         {" COPY AX, X", " OUT AX", " END", "X 5"},
         {0x18, 0x00, 0x05, 0xF0, 0x00, 0x00, 0x05},
         ""},
        {"undefined label gets a word",
         {" IN AX", " COPY CNT, AX", " OUT AX"},
         {0xE0, 0x18, 0x40, 0x06, 0xF0, 0x00, 0x00, 0x00},
         "!!Undefined Label ... Memory allocated: CNT = [6], Line=2\n"},
        {"undefined labels in slot order",
         {" COPY Y, AX", " COPY B, AX", " END"},
         {0x18, 0x40, 0x09, 0x18, 0x40, 0x07, 0x00, 0x00, 0x00, 0x00, 0x00},
         "!!Undefined Label ... Memory allocated: B = [7], Line=2\n"
         "!!Undefined Label ... Memory allocated: Y = [9], Line=1\n"},
        {"no statements at all",
         {"", "; comment", "LONE", "  ; indented comment", "\t"},
         {0x00},
         ""},
        {"data words",
         {" 100", " -1", " -32768", " -", " +", " RANDOM", " END"},
         {0x00, 0x64, 0xFF, 0xFF, 0x80, 0x00, 0x00, 0x00, 0x00, 0x00, 0x0F, 0xFE, 0x00},
         ""},
        {"RES and labels",
         {"A RES 3", "B RES 0", "C RES +5 ; five", " A", " B", " C", " END"},
         {0, 0, 0, 0, 0, 0, 0, 0, 0x00, 0x00, 0x00, 0x03, 0x00, 0x03, 0x00},
         ""},
        {"a name alone is a data word", {" JMP HALT", "HALT END"}, {0x70, 0x02, 0x00}, ""},
        {"data after the last non-END instruction",
         {" OUT AX", " 7"},
         {0xF0, 0x00, 0x07, 0x00},
         ""},
        {"long labels are cut to seven characters",
         {"LONGNAME1 OUT AX", " JMP LONGNAME2"},
         {0xF0, 0x70, 0x00, 0x00},
         ""},
        {"undefined name as data word",
         {" HALT", " END"},
         {0x00, 0x03, 0x00, 0x00, 0x00},
         "!!Undefined Label ... Memory allocated: HALT = [3], Line=1\n"},
    };
    for (const ProgramCase& c : cases) {
        Assembly result = assembleLines(c.lines);
        EXPECT_EQ(result.pass1Errors, 0) << c.title << "\n" << result.output.err;
        EXPECT_EQ(result.pass2Errors, 0) << c.title;
        EXPECT_EQ(result.codeSize, static_cast<int32_t>(c.bytes.size())) << c.title;
        EXPECT_EQ(result.bytes, c.bytes) << c.title;
        EXPECT_EQ(result.output.err, c.warnings) << c.title;
        EXPECT_EQ(result.output.out, "") << c.title;
    }
}

struct ErrorCase {
    std::string line;
    const char* message;
};

TEST(Passes, ReportEachFaultyLineWithItsMessage) {
    const ErrorCase cases[] = {
        {"LOOP: END", "Unexpected token"},
        {"END", "Unexpected token"},
        {"AX", "Unexpected token"},
        {"RES 5", "Unexpected token"},
        {"5 END", "Unexpected token"},
        {"-X", "Unexpected token"},
        {"#", "Unexpected token"},
        {"\xFF OUT AX", "Unexpected token"},
        {"RANDOM 5", "Duplicated label definitionl"},
        {" , AX", "Unexpected token"},
        {" #5", "Unexpected token"},
        {" AX", "Opcode is expected"},
        {" dx, 5", "Opcode is expected"},
        {" RES", "Number is expected"},
        {" RES 4096", "Number is expected"},
        {" RES X", "Number is expected"},
        {" RES 5 6", "End of line is expected"},
        {" 32768", "Value exceeds the range"},
        {" 4294967296", "Value exceeds the range"},
        {" 5 6", "End of line is expected"},
        {" 5, 6", "End of line is expected"},
        {" LABEL X", "End of line is expected"},
        {"\tADD AX", "',' is expected"},
    };
    for (const ErrorCase& c : cases) {
        Assembly result = assembleLines({" END", "", c.line});
        EXPECT_EQ(result.pass1Errors, 1) << c.line;
        EXPECT_EQ(result.output.err,
                  std::string("*pass=1, ") + c.message + "\n      3>" + c.line + "\n")
            << c.line;
    }
}

TEST(Passes, KeepGoingAfterErrorsAndCountThem) {
    Assembly result = assembleLines(
        {"A OUT AX", "A OUT BX", "LONGNAME1 END", "LONGNAME2 END", " OUT AX, 1", " 40000"});
    EXPECT_EQ(result.pass1Errors, 4);
    EXPECT_EQ(result.output.err,
              "*pass=1, Duplicated label definitionl\n      2>A OUT BX\n"
              "*pass=1, Duplicated label definitionl\n      4>LONGNAME2 END\n"
              "*pass=1, Unexpected token\n      5> OUT AX, 1\n"
              "*pass=1, Value exceeds the range\n      6> 40000\n");
}

TEST(Passes, LabelOnAFaultyLineIsStillDefined) {
    Assembly result = assembleLines({"LOOP: END", " JMP LOOP"});
    EXPECT_EQ(result.pass1Errors, 1);
    EXPECT_EQ(symbolTable.slots[findSlot("LOOP")].kind, SymbolKind::Label);
}

TEST(Passes, SizesNeverWrap) {
    // 300000 lines of RES 4095 would pass 2^31 bytes; the size stops growing instead.
    std::vector<std::string> lines(300000, " RES 4095");
    lines.push_back(" JMP NOWHERE");
    Assembly result = assembleLines(lines);
    EXPECT_EQ(result.pass1Errors, 0);
    EXPECT_GT(result.codeSize, MAX_CODE_SIZE);
    EXPECT_LE(result.codeSize, LOCATION_LIMIT + 2);

    Assembly negative = assembleLines({" RES -1", " END"});
    EXPECT_EQ(negative.codeSize, 8191 + 1);  // -1 counts as 8191 bytes, then END
}

TEST(Passes, AFullSymbolTableIsAnErrorOfTheLine) {
    std::vector<std::string> lines;
    for (int i = 0; i < SYMBOL_SLOTS - 22; i++) lines.push_back("L" + std::to_string(i) + " END");
    lines.push_back(" JMP FARAWAY");
    lines.push_back("NEWLAB OUT AX");
    lines.push_back(" COPY AX, c(NEWONE)");
    lines.push_back(" JMP L5");
    Assembly result = assembleLines(lines);
    EXPECT_EQ(result.pass1Errors, 3);
    EXPECT_EQ(result.output.err,
              "*pass=1, Symbol table overflow\n   1003> JMP FARAWAY\n"
              "*pass=1, Symbol table overflow\n   1004>NEWLAB OUT AX\n"
              "*pass=1, Symbol table overflow\n   1005> COPY AX, c(NEWONE)\n");
}
