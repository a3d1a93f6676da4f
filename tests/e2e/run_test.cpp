// Runs of the real binary that need pipes, signals or special streams: Ctrl-C at any point,
// the order of the two streams in one file, closed and full streams, and the random port.
// Every wait is for something the child shows (a prompt on standard error, a line on a
// terminal, a full pipe, a signal handler gone), never for a length of time.
#include <gtest/gtest.h>
#include <signal.h>

#include <ctime>
#include <fstream>
#include <optional>
#include <regex>
#include <sstream>
#include <string>

#include "process.h"

TEST(Interrupt, EndsAnEndlessLoop) {
    // Both lines come in one read; the second prompt shows that the first IN has its number
    // and the second needs no wait, so the loop is running (or about to) when Ctrl-C comes.
    Child child(TAVRO_BINARY, tavroArgs(" IN AX\n IN BX\nLOOP ADD AX, #1\n JMP LOOP\n"));
    ASSERT_TRUE(child.waitFor("in ? "));
    child.write("1\n2\n");
    ASSERT_TRUE(child.waitFor("in ? in ? "));
    child.signal(SIGINT);
    ProcessResult result = child.finish();
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(result.out, "!!>>> Program is interrupted. IP=2\n");
    EXPECT_EQ(result.err, "in ? in ? ");
}

TEST(Interrupt, EndsAWaitForInput) {
    Child child(TAVRO_BINARY, tavroArgs(" OUT AX\n IN BX\n END\n", {"-t"}));
    ASSERT_TRUE(child.waitFor("in ? "));
    child.signal(SIGINT);
    ProcessResult result = child.finish();
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(result.out,
              ". . . . . . .    0:  OUT   AX                   0    0    0 4094   NB\n"
              "out: 0\n"
              ". . . . . . .    1:  IN    BX                   0    0    0 4094   NB\n"
              "!!>>> Program is interrupted. IP=1\n");
}

TEST(Interrupt, ComingWithALineOfInputIsNotLost) {
    // Ctrl-C, then at once a line (or the end) of input: however the two arrive, the IN is
    // abandoned and reported, and the straight-line code after it never runs; with -t, where
    // the definition runs every step, as well.
    const std::string source = " IN AX\n COPY BX, #1\n OUT BX\n END\n";
    const std::string interrupted = "!!>>> Program is interrupted. IP=0\n";
    for (int round = 0; round < 30; round++) {
        bool traced = round >= 20;
        Child child(TAVRO_BINARY, tavroArgs(source, traced ? std::vector<std::string>{"-t"}
                                                           : std::vector<std::string>{}));
        ASSERT_TRUE(child.waitFor("in ? "));
        child.signal(SIGINT);
        if (round % 2 == 0) child.write("5\n");
        ProcessResult result = child.finish();
        EXPECT_EQ(result.exitCode, 0) << round;
        EXPECT_EQ(result.out.find("out: "), std::string::npos) << round;
        ASSERT_GE(result.out.size(), interrupted.size()) << round;
        EXPECT_EQ(result.out.substr(result.out.size() - interrupted.size()), interrupted) << round;
        if (!traced) {
            EXPECT_EQ(result.out, interrupted) << round;
        }
        EXPECT_EQ(result.err, "in ? ") << round;
    }
}

TEST(Interrupt, LosesNoOutputOfATraceIntoAPipe) {
    Child child(TAVRO_BINARY,
                tavroArgs(" COPY AX, #0\nLOOP ADD AX, #1\n OUT AX\n JMP LOOP\n", {"-t"}));
    ASSERT_TRUE(child.waitFor("out: 3000\n", 20000));
    child.signal(SIGINT);
    ProcessResult result = child.finish();
    EXPECT_EQ(result.exitCode, 0);
    // Every line up to the interruption is whole, and the counter runs without a gap.
    std::istringstream lines(result.out);
    std::string line;
    int expected = 1;
    while (std::getline(lines, line) && line.rfind("!!>>> ", 0) != 0) {
        if (line.rfind("out: ", 0) == 0) {
            ASSERT_EQ(line, "out: " + std::to_string(static_cast<int16_t>(expected++)));
        } else {
            ASSERT_TRUE(line.rfind(". . . . . . . ", 0) == 0 && line.size() == 69) << line;
        }
    }
    EXPECT_GT(expected, 3000);
    EXPECT_TRUE(std::regex_match(line, std::regex("!!>>> Program is interrupted\\. IP=[0-9]+")))
        << line;
    EXPECT_FALSE(std::getline(lines, line)) << line;  // nothing after it
}

TEST(Interrupt, ASecondCtrlCEndsTheProcessTheOrdinaryWay) {
    // Nobody reads the output pipe, so the run blocks in a write once it is full; the first
    // SIGINT cannot end it there, the second one (default handling by then) ends the process.
    Child child(TAVRO_BINARY, tavroArgs(" IN AX\nLOOP OUT AX\n JMP LOOP\n"));
    ASSERT_TRUE(child.waitFor("in ? "));
    child.write("7\n");
    ASSERT_TRUE(waitUntil([&] { return child.blockedWriting(); }));
    child.signal(SIGINT);
    ASSERT_TRUE(waitUntil([&] { return !child.catches(SIGINT); }));
    child.signal(SIGINT);
    ProcessResult result = child.finish();
    EXPECT_EQ(result.signal, SIGINT);
}

TEST(Streams, KeepTheirOrderInOneFile) {
    std::string path = writeTempFile("", ".out");
    Child child(TAVRO_BINARY, tavroArgs(" OUT AX\n IN AX\n OUT AX\n", {"-t"}),
                {.output = path, .mergeErrors = true});
    child.write("x\n5\n");
    ProcessResult result = child.finish();
    EXPECT_EQ(result.exitCode, 0);
    std::ifstream file(path, std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(file), {}),
              ". . . . . . .    0:  OUT   AX                   0    0    0 4094   NB\n"
              "out: 0\n"
              ". . . . . . .    1:  IN    AX                   0    0    0 4094   NB\n"
              "in ? input number ? "
              ". . . . . . .    2:  OUT   AX                   5    0    0 4094   NB\n"
              "out: 5\n"
              ". . . . . . .    3:  END                        5    0    0 4094   NB\n"
              ">>> Program terminated. (Halt)\n");
}

TEST(Streams, ATerminalGetsEachLineAtOnce) {
    // The program prints a line and then loops: on a terminal the line shows before Ctrl-C.
    Child child(TAVRO_BINARY, tavroArgs(" OUT AX\nLOOP JMP LOOP\n"), {.output = "terminal"});
    EXPECT_TRUE(child.waitFor("out: 0"));
    child.signal(SIGINT);
    ProcessResult result = child.finish();
    EXPECT_EQ(result.exitCode, 0);
}

TEST(Streams, ClosedStandardInputIsTheEndOfInput) {
    Child child(TAVRO_BINARY, tavroArgs(" IN AX\n END\n"), {.closedInput = true});
    ProcessResult result = child.finish();
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(result.out, ">>> Program terminated. (unexpected EOF)\n");
    EXPECT_EQ(result.err, "in ? ");
}

TEST(Streams, AFailedWriteIsAnErrorNotSuccess) {
    // A closed or full standard output ends the run with a message and status 1; so does one
    // that fills up in the middle of a long run.
    const std::string loop = " COPY CX, #0\nLOOP OUT CX\n ADD CX, #1\n CMP CX, #100\n JB LOOP\n";
    const std::string endless = "LOOP OUT CX\n ADD CX, #1\n JMP LOOP\n";
    for (const auto& [output, source] : {std::pair{"closed", loop}, std::pair{"/dev/full", loop},
                                         std::pair{"/dev/full", endless}}) {
        Child child(TAVRO_BINARY, tavroArgs(source, {"-t", "-d"}), {.output = output});
        ProcessResult result = child.finish();
        EXPECT_EQ(result.signal, 0) << output;
        EXPECT_EQ(result.exitCode, 1) << output;
        EXPECT_EQ(result.err, "Error: Can't write output.\n") << output;
    }
}

TEST(Streams, AFailedWriteBeforeAPromptStopsTheRun) {
    // The output of OUT cannot be written before the second prompt: no prompt, no line read,
    // however much input is there.
    Child child(TAVRO_BINARY, tavroArgs("LOOP IN AX\n OUT AX\n JMP LOOP\n"),
                {.output = "/dev/full"});
    ASSERT_TRUE(child.waitFor("in ? "));
    child.write("5\n6\n7\n");
    ProcessResult result = child.finish();
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_EQ(result.err, "in ? Error: Can't write output.\n");
}

// Input that a reader can get wrong: each piece of a long line that does not start with a
// number gets one "input number ? "; 63 nines are read per IN, and 10^63 is a multiple of
// 65536, so each reads as -1; binary bytes; and a million reads in one run.
TEST(Input, HostileInputIsReadByTheRulesToTheEnd) {
    std::string megabyte(1 << 20, 'x'), binary, million, pieces = "in ? ", millionPrompts;
    for (size_t i = 0; i < (megabyte.size() + 1 + 62) / 63; i++) pieces += "input number ? ";
    for (int round = 0; round < 64; round++) {
        for (int b = 0; b < 256; b++) binary += static_cast<char>((b * 37 + round * 11) & 0xFF);
    }
    for (int i = 0; i < 1000000; i++) million += "1\n";
    for (int i = 0; i < 1000001; i++) millionPrompts += "in ? ";
    const std::string halt = ">>> Program terminated. (Halt)\n";
    const std::string eof = ">>> Program terminated. (unexpected EOF)\n";
    struct Case {
        const char* what;
        std::string source, input;
        std::string out;                 // its whole text, or after "..." how it ends
        std::optional<std::string> err;  // its whole text, when it is looked at
    };
    const Case cases[] = {
        {"a megabyte line", " IN AX\n OUT AX\n", megabyte + "\n5\n", "out: 5\n" + halt, pieces},
        {"1000 nines", " IN AX\n OUT AX\n IN AX\n OUT AX\n", std::string(1000, '9') + "\n",
         "out: -1\nout: -1\n" + halt, "in ? in ? "},
        {"binary bytes", "LOOP IN AX\n OUT AX\n JMP LOOP\n", binary, "..." + eof, std::nullopt},
        {"a million reads", "LOOP IN BX\n ADD AX, BX\n JMP LOOP\n", million, eof, millionPrompts},
    };
    for (const Case& c : cases) {
        ProcessResult result = runProcess(TAVRO_BINARY, tavroArgs(c.source), c.input);
        EXPECT_EQ(result.exitCode, 0) << c.what;
        if (c.out.starts_with("...")) {
            EXPECT_TRUE(result.out.ends_with(c.out.substr(3))) << c.what;
        } else {
            EXPECT_EQ(result.out, c.out) << c.what;
        }
        if (c.err) {
            EXPECT_EQ(result.err, *c.err) << c.what;
        }
    }
}

TEST(RandomPort, IsSeededAtTheFirstDrawNotAtTheStart) {
    // A program that waits for input before it draws gets the draw of a program that draws at
    // once in the same second, not that of the second it started in.
    const std::string waits = " IN AX\n COPY BX, RANDOM\n OUT BX\n END\n";
    const std::string draws = " COPY BX, RANDOM\n OUT BX\n END\n";
    bool same = false;
    for (int attempt = 0; attempt < 3 && !same; attempt++) {
        Child waiting(TAVRO_BINARY, tavroArgs(waits));
        ASSERT_TRUE(waiting.waitFor("in ? "));
        std::time_t started = std::time(nullptr);
        ASSERT_TRUE(waitUntil([&] { return std::time(nullptr) >= started + 2; }, 5000));
        ProcessResult now = runProcess(TAVRO_BINARY, tavroArgs(draws));
        waiting.write("1\n");
        ProcessResult later = waiting.finish();
        same = now.out == later.out;  // a second may turn between the two draws: try again
    }
    EXPECT_TRUE(same);
}
