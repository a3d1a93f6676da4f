// The tool against hostile sources: every result is the expected message or a clean run,
// never a crash, a hang or garbage.
#include <gtest/gtest.h>

#include <string>

#include "process.h"

static ProcessResult tavro(const std::vector<std::string>& options, const std::string& source) {
    return runProcess(TAVRO_BINARY, tavroArgs(source, options));
}

TEST(HostileSources, BinaryFilesGetLineErrorsNotCrashes) {
    std::string bytes;
    for (int i = 0; i < 256; i++) bytes += static_cast<char>(i);
    for (int round = 0; round < 3; round++) bytes += bytes;
    ProcessResult result = tavro({"-c"}, bytes);
    EXPECT_EQ(result.signal, 0);
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_NE(result.err.find("*** pass=1 ... "), std::string::npos);
    EXPECT_EQ(result.out, "");
}

TEST(HostileSources, EveryByteValueInEveryPositionOfALine) {
    // A byte in the label column, the mnemonic, the operand and the comment.
    for (int b = 0; b < 256; b++) {
        if (b == '\n' || b == '\r') continue;
        std::string c(1, static_cast<char>(b));
        std::string source = c + "L COPY AX, #1\n C" + c + "PY AX, #1\n COPY A" + c +
                             "X, #1\n COPY AX, #1 ;" + c + "\n OUT AX\n";
        ProcessResult result = tavro({"-d"}, source);
        ASSERT_EQ(result.signal, 0) << "byte " << b;
        ASSERT_TRUE(result.exitCode == 0 || result.exitCode == 1) << "byte " << b;
        if (b != 0) {  // a NUL ends the line's text, leaving valid lines
            ASSERT_NE(result.err.find("*pass=1, "), std::string::npos) << "byte " << b;
        }
    }
}

TEST(HostileSources, AHundredMegabytesOfComments) {
    std::string source;
    const std::string line = "; a comment line of the sort a student might write, times many\n";
    source.reserve(100 * 1024 * 1024 + line.size());
    while (source.size() < 100 * 1024 * 1024) source += line;
    ProcessResult result = tavro({"-c"}, source);
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(result.out + result.err, "");
}

TEST(HostileSources, MegabyteLinesAreReportedWhole) {
    std::string line = " COPY AX, #1" + std::string(1 << 20, 'x');
    ProcessResult result = tavro({"-c"}, line + "\n END\n");
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_EQ(result.err,
              "*pass=1, Unexpected token\n      1>" + line + "\n*** pass=1 ... 1 error found.\n");

    std::string comment = " END ;" + std::string(1 << 20, 'y');
    result = tavro({}, comment);
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(result.out, ">>> Program terminated. (Halt)\n");
}

TEST(HostileSources, AHundredThousandDistinctLabelsOverflowTheTable) {
    std::string source;
    for (int i = 0; i < 100000; i++) source += "L" + std::to_string(i) + " END\n";
    ProcessResult result = tavro({"-c"}, source);
    EXPECT_EQ(result.exitCode, 1);
    // 22 predefined names leave 1002 slots: every later label is an error of its own line.
    EXPECT_NE(result.err.find("*pass=1, Symbol table overflow\n   1003>L1002 END\n"),
              std::string::npos);
    EXPECT_NE(result.err.find("*** pass=1 ... 98998 errors found.\n"), std::string::npos);
}

TEST(HostileSources, LongNumbersAreOutOfRange) {
    for (const std::string& digits : {std::string(50, '9'), std::string(1000, '7')}) {
        ProcessResult result = tavro({"-c"}, " " + digits + "\n COPY AX, #" + digits + "\n JMP " +
                                                 digits + "+c(BX)\n RES " + digits + "\n END\n");
        EXPECT_EQ(result.err, "*pass=1, Value exceeds the range\n      1> " + digits +
                                  "\n*pass=1, Syntax error in 2nd operand\n      2> COPY AX, #" +
                                  digits + "\n*pass=1, Syntax error in 1st operand\n      3> JMP " +
                                  digits + "+c(BX)\n*pass=1, Number is expected\n      4> RES " +
                                  digits + "\n*** pass=1 ... 4 errors found.\n");
        EXPECT_EQ(result.exitCode, 1);
    }
}

TEST(HostileSources, HugeReservationsKeepExactAddresses) {
    // 300000 * 4095 bytes, two jumps and the END added after them: the label words lie far
    // beyond 2^30, and their addresses are printed exactly.
    std::string source;
    for (int i = 0; i < 300000; i++) source += " RES 4095\n";
    ProcessResult result = tavro({}, source + " JMP FOO\n JMP BAR\n");
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_EQ(result.err,
              "!!Undefined Label ... Memory allocated: BAR = [1228500005], Line=300002\n"
              "!!Undefined Label ... Memory allocated: FOO = [1228500007], Line=300001\n"
              " ... Memory area is too large.\n*** pass=1 ... 1 error found.\n");
    EXPECT_EQ(result.out, "");
}

TEST(HostileSources, UnreadablePathsFailToLoad) {
    for (const char* path : {"", ".", "/", "/nonexistent/x.tas", "/dev/null"}) {
        ProcessResult result = runProcess(TAVRO_BINARY, {"tavro", path});
        EXPECT_EQ(result.exitCode, 1) << path;
        EXPECT_EQ(result.err, "Error: Can't read source file.\n") << path;
        EXPECT_EQ(result.out, "") << path;
    }
}

TEST(HostileSources, AnEmptyArgumentVectorIsAMissingSource) {
    ProcessResult result = runProcess(TAVRO_BINARY, {});
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_EQ(result.err, "Error: No source file is specified.\n");
}
