// The tool against hostile sources and paths: every result is the expected message or a clean
// run, never a crash, a hang or garbage.
#include <gtest/gtest.h>

#include <string>

#include "process.h"

TEST(HostileSources, EachGetsItsMessagesOrACleanRun) {
    std::string bytes, comments, labels, reservations;
    for (int i = 0; i < 256 * 8; i++) bytes += static_cast<char>(i);
    const std::string comment = "; a comment line of the sort a student might write, times many\n";
    while (comments.size() < 100 * 1024 * 1024) comments += comment;
    for (int i = 0; i < 100000; i++) labels += "L" + std::to_string(i) + " END\n";
    // 300000 * 4095 bytes, two jumps and the END added after them: the label words lie far
    // beyond 2^30, and their addresses are printed exactly.
    for (int i = 0; i < 300000; i++) reservations += " RES 4095\n";
    const std::string longLine = " COPY AX, #1" + std::string(1 << 20, 'x');
    auto numbers = [](const std::string& n) {
        return " " + n + "\n COPY AX, #" + n + "\n JMP " + n + "+c(BX)\n RES " + n + "\n END\n";
    };
    auto numberErrors = [](const std::string& n) {
        return "*pass=1, Value exceeds the range\n      1> " + n +
               "\n*pass=1, Syntax error in 2nd operand\n      2> COPY AX, #" + n +
               "\n*pass=1, Syntax error in 1st operand\n      3> JMP " + n +
               "+c(BX)\n*pass=1, Number is expected\n      4> RES " + n +
               "\n*** pass=1 ... 4 errors found.\n";
    };
    const std::string nines(50, '9'), sevens(1000, '7');
    const std::string unreadable = "Error: Can't read source file.\n";
    struct Case {
        const char* what;
        std::vector<std::string> args;
        int exitCode;
        std::string out, err;  // err: its whole text, or after "..." how it ends
    };
    const Case cases[] = {
        {"every byte value", tavroArgs(bytes, {"-c"}), 1, "",
         "...*** pass=1 ... 16 errors found.\n"},
        {"100 MB of comments", tavroArgs(comments, {"-c"}), 0, "", ""},
        {"a megabyte line", tavroArgs(longLine + "\n END\n", {"-c"}), 1, "",
         "*pass=1, Unexpected token\n      1>" + longLine + "\n*** pass=1 ... 1 error found.\n"},
        {"a megabyte comment", tavroArgs(" END ;" + std::string(1 << 20, 'y')), 0,
         ">>> Program terminated. (Halt)\n", ""},
        // 22 predefined names leave 1002 slots: every later label is an error of its own line.
        {"100000 labels", tavroArgs(labels, {"-c"}), 1, "",
         "...*pass=1, Symbol table overflow\n 100000>L99999 END\n"
         "*** pass=1 ... 98998 errors found.\n"},
        {"50 digits", tavroArgs(numbers(nines), {"-c"}), 1, "", numberErrors(nines)},
        {"1000 digits", tavroArgs(numbers(sevens), {"-c"}), 1, "", numberErrors(sevens)},
        {"huge reservations", tavroArgs(reservations + " JMP FOO\n JMP BAR\n"), 1, "",
         "!!Undefined Label ... Memory allocated: BAR = [1228500005], Line=300002\n"
         "!!Undefined Label ... Memory allocated: FOO = [1228500007], Line=300001\n"
         " ... Memory area is too large.\n*** pass=1 ... 1 error found.\n"},
        {"the root", {"tavro", "/"}, 1, "", unreadable},
        {"a device", {"tavro", "/dev/null"}, 1, "", unreadable},
        {"no path", {"tavro", "/nonexistent/x.tas"}, 1, "", unreadable},
        {"no argument at all", {}, 1, "", "Error: No source file is specified.\n"},
    };
    for (const Case& c : cases) {
        ProcessResult result = runProcess(TAVRO_BINARY, c.args);
        EXPECT_EQ(result.exitCode, c.exitCode) << c.what;
        EXPECT_EQ(result.out, c.out) << c.what;
        if (c.err.starts_with("...")) {
            EXPECT_TRUE(result.err.ends_with(c.err.substr(3))) << c.what << ": " << result.err;
        } else {
            EXPECT_EQ(result.err, c.err) << c.what;
        }
    }
}

TEST(HostileSources, EveryByteValueInEveryPositionOfALine) {
    // A byte in the label column, the mnemonic, the operand and the comment.
    for (int b = 0; b < 256; b++) {
        if (b == '\n' || b == '\r') continue;
        std::string c(1, static_cast<char>(b));
        std::string source = c + "L COPY AX, #1\n C" + c + "PY AX, #1\n COPY A" + c +
                             "X, #1\n COPY AX, #1 ;" + c + "\n OUT AX\n";
        ProcessResult result = runProcess(TAVRO_BINARY, tavroArgs(source, {"-d"}));
        ASSERT_EQ(result.signal, 0) << "byte " << b;
        ASSERT_TRUE(result.exitCode == 0 || result.exitCode == 1) << "byte " << b;
        if (b != 0) {  // a NUL ends the line's text, leaving valid lines
            ASSERT_NE(result.err.find("*pass=1, "), std::string::npos) << "byte " << b;
        }
    }
}
