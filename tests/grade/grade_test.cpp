// The grader's promises: one outcome per test, decided at the exact limits; standard output
// byte for byte what tavro writes (against the real binary, on every golden case and
// example); suite settings resolved most specific first, with every mistake refused; Ctrl-C
// leaving nothing behind. (Any number of threads giving the same report: grade.example_reports.)
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <thread>

#include "engine/engine.h"
#include "grade/grade.h"
#include "grade/report.h"
#include "process.h"

using namespace tavro;
namespace fs = std::filesystem;

namespace {

const std::string HALT = ">>> Program terminated. (Halt)\n";

struct Row {
    const char* source;
    std::string expected;
    Outcome outcome;
    std::string detail;  // the detail, or its start when it ends with "..."
    uint64_t maxSteps = 1000;
    uint64_t maxOutput = 1000;
    Compare compare = Compare::Exact;
    std::vector<StateCheck> checks = {};
    const char* input = "";
};

}  // namespace

TEST(Grade, EachOutcomeAtItsExactLimits) {
    const char* five = " COPY AX, #5\n OUT AX\n END\n";  // 3 steps, 38 bytes of output
    const char* total = " COPY AX, #5\n COPY TOTAL, AX\n END\nTOTAL 0\n";
    const std::string out5 = "out: 5\n" + HALT;
    const Compare trim = Compare::Trim, exact = Compare::Exact;
    // clang-format off
    const Row rows[] = {
        {five, out5, Outcome::Pass, "", 3, 38},
        {five, out5, Outcome::StepLimit, "still running after 2 steps", 2},
        {"L JMP L\n", "", Outcome::StepLimit, "still running after 1000 steps"},
        {five, out5, Outcome::OutputLimit, "more than 37 bytes of output", 3, 37},
        {five, out5, Outcome::OutputLimit, "more than 6 bytes of output", 3, 6},
        {"L OUT AX\n JMP L\n", "", Outcome::OutputLimit, "more than 100 bytes of output", 100000, 100},
        {five, "out: 6\n" + HALT, Outcome::WrongOutput, "line 1: expected \"out: 6\", got \"out: 5\""},
        {five, "out: 5\n>>> Program terminated. (Halt)", Outcome::WrongOutput,
         "line 2: expected \">>> Program terminated. (Halt)\" (no line end), got \">>> ..."},
        {five, "out: 5\n", Outcome::WrongOutput,
         "line 2: expected end of output, got \">>> Program terminated. (Halt)\""},
        {five, "out: 5 \t\n>>> Program terminated. (Halt)\r\n\n \n", Outcome::WrongOutput, "line 1..."},
        {five, "out: 5 \t\n>>> Program terminated. (Halt)\r\n\n \n", Outcome::Pass, "", 9, 99, trim},
        {five, "out: 5\n\n" + HALT, Outcome::WrongOutput, "line 2...", 9, 99, trim},
        {total, HALT, Outcome::Pass, "", 9, 99, exact, {{"ax", 0, 5}, {"total", -1, 5}}},
        {total, HALT, Outcome::StateMismatch, "AX = 5, expected -5; Total = 5, expected 6", 9, 99,
         exact, {{"AX", 0, -5}, {"Total", -1, 6}, {"CX", 2, 0}}},
        {total, HALT, Outcome::StateMismatch, "SUM: no such label", 9, 99, exact, {{"SUM", -1, 0}}},
        {" COPY AX #5\n", HALT, Outcome::AssemblyError, "line 1: ',' is expected"},
        {" END\n RES 4000\n RES 100\n", HALT, Outcome::AssemblyError, "line 3: Memory area is too large."},
        {" COPY AX, #0\n\n  DIV BX, AX\n", HALT, Outcome::RuntimeError,
         "div by zero at ip=2, line 3: \"DIV BX, AX\""},
        {" COPY AX, #0\n DIV BX, AX\n", ">>> Program terminated. (div by zero)\n", Outcome::Pass, ""},
        {" IN AX\n OUT AX\n", HALT, Outcome::RuntimeError, "unexpected EOF at ip=0, line 1: \"IN AX\""},
        {" COPY AX, #1\n OUT AX\n JMP 100\n END\n", HALT, Outcome::RuntimeError,
         "out of memory at ip=100, reached from line 3: \"JMP 100\""},
        {" COPY AX, #-1\n PUSH AX\n\n RTN\n", HALT, Outcome::RuntimeError,
         "out of memory at ip=65535, reached from line 4: \"RTN\""},
        {five, "out: 5\n>>> Program terminated. (Halt)!\n", Outcome::WrongOutput,
         "line 2: expected \">>> Program terminated. (Halt)!\", got \">>> Program terminated. (Halt)\"",
         9, 99, trim},
        {" IN AX\n OUT AX\n", "out: -7\n" + HALT, Outcome::Pass, "", 9, 99, exact, {}, "x\n -7"},
        {"", HALT, Outcome::Unreadable, "empty file"},
    };
    // clang-format on
    for (const Row& row : rows) {
        SCOPED_TRACE(std::string(row.source) + " expecting " + OUTCOME_NAMES[int(row.outcome)]);
        TestCase test;
        test.expected = row.expected;
        test.input = row.input;
        test.points = 2000;
        test.limits.maxSteps = row.maxSteps;
        test.limits.maxOutput = row.maxOutput;
        test.compare = row.compare;
        test.checks = row.checks;
        TestResult result = gradeTest(prepareSubmission("s.tas", row.source), test, GradeOptions{});
        EXPECT_EQ(OUTCOME_NAMES[int(result.outcome)], OUTCOME_NAMES[int(row.outcome)]);
        std::string_view detail = row.detail;
        if (detail.size() > 3 && detail.ends_with("...")) detail.remove_suffix(3);
        std::string first = result.detail.substr(0, result.detail.find('\n'));
        EXPECT_EQ(first.substr(0, detail.size()), detail);
        if (detail.size() == row.detail.size()) {
            EXPECT_EQ(first.size(), detail.size());
        }
        // A failed run shows how far it got.
        bool ran = row.outcome == Outcome::RuntimeError || row.outcome == Outcome::StepLimit ||
                   row.outcome == Outcome::OutputLimit || row.outcome == Outcome::WrongOutput;
        EXPECT_EQ(result.detail.find("\nlast output:\n") == first.size(), ran);
        EXPECT_EQ(result.score, row.outcome == Outcome::Pass ? 2000 : 0);
        EXPECT_EQ(result.maxScore, 2000);
        if (row.outcome == Outcome::StepLimit) {
            EXPECT_EQ(result.steps, row.maxSteps);
        }
        if (row.outcome == Outcome::OutputLimit) {
            EXPECT_GT(result.outputBytes, row.maxOutput);
            EXPECT_LE(result.outputBytes, row.maxOutput + 40);  // the line that crossed it
        }
    }
}

TEST(Grade, TheLastOutputIsTheLastLinesUpTo1KiB) {
    std::string twelve, long2000(2000, 'x');
    for (int k = 1; k <= 12; k++) twelve += "out: " + std::to_string(k) + "\n";
    std::string tenShort;
    for (int k = 3; k <= 12; k++) tenShort += (k > 3 ? "\n" : "") + ("out: " + std::to_string(k));
    std::string wide;
    for (int k = 0; k < 9; k++) wide += std::string(199, 'a' + k) + "\n";
    const std::pair<std::string, std::string> rows[] = {
        {"", "(no output)"},
        {"\n", ""},
        {"out: 1\n>>> Program terminated. (Halt)\n", "out: 1\n>>> Program terminated. (Halt)"},
        {"out: 1\nno end", "out: 1\nno end"},
        {twelve, "...\n" + tenShort},
        {"a\n" + long2000, "...\n" + std::string(1024, 'x')},
        {wide, "...\n" + wide.substr(4 * 200, 4 * 200 + 199)},
        {"\x1B[2J\\ \xFF\n", "\\x1B[2J\\\\ \\xFF"},
    };
    for (const auto& [output, tail] : rows) {
        EXPECT_EQ(outputTail(output), tail) << output;
    }
}

TEST(Grade, TheSeedRepeatsRandomNumbers) {
    Submission submission = prepareSubmission("r.tas", " COPY AX, RANDOM\n OUT AX\n END\n");
    std::string outputs[3];
    uint32_t seeds[3] = {7, 7, 8};
    for (int i = 0; i < 3; i++) {
        TestCase test;
        test.limits.seed = seeds[i];
        gradeTest(submission, test, GradeOptions{}, &outputs[i]);
    }
    EXPECT_EQ(outputs[0], outputs[1]);
    EXPECT_NE(outputs[0], outputs[2]);
}

// Every golden case run without options, and every example with a checked output: the grader's
// captured output against the real tavro's standard output, byte for byte.
TEST(Grade, StandardOutputIsTavrosByteForByte) {
    fs::path source = TAVRO_SOURCE_DIR;
    std::vector<fs::path> programs;
    for (const char* dir : {"tests/golden", "examples", "examples/errors"}) {
        for (const fs::directory_entry& entry : fs::directory_iterator(source / dir)) {
            fs::path path = entry.path();
            if (path.extension() != ".tas" || path.stem() == "dice") continue;
            fs::path args = fs::path(path).replace_extension(".args");
            if (fs::exists(args) && readFile(args).find('-') != std::string::npos) continue;
            programs.push_back(path);
        }
    }
    ASSERT_GT(programs.size(), 30u);
    TestCase test;
    test.limits.maxSteps = UINT64_MAX;
    test.limits.maxOutput = UINT64_MAX;
    for (const fs::path& path : programs) {
        SCOPED_TRACE(path.string());
        fs::path in = fs::path(path).replace_extension(".in");
        test.input = fs::exists(in) ? readFile(in) : "";
        std::string output;
        Submission submission = loadSubmission(path.string(), "");
        gradeTest(submission, test, GradeOptions{}, &output);
        ProcessResult tavro = runProcess(TAVRO_BINARY, {"tavro", path.string()}, test.input);
        EXPECT_EQ(output, tavro.out);
    }
}

TEST(Suite, SettingsResolveMostSpecificFirst) {
    std::vector<TestCase> tests(2);
    tests[0].name = "a";
    tests[1].name = "b.c";
    for (TestCase& test : tests) test.limits = {500, 600, 7};  // the command line's
    ASSERT_EQ(
        applySettings("points = 1.5\nmax_steps = 100\nexpect = { AX = 1, total = 2 }\n"
                      "visibility = \"hidden\"\nfeedback = \"look\"\n[tests.\"b.c\"]\npoints = 3\n"
                      "seed = 9\ncompare = \"trim\"\nexpect = { TOTAL = -3 }\ntitle = \"B\"\n"
                      "visibility = \"after_due_date\"\n",
                      &tests),
        "");
    // A test's settings in one line: points, limits, compare, visibility, title, feedback, checks.
    auto describe = [](const TestCase& t) {
        std::string text =
            std::to_string(t.points) + " steps " + std::to_string(t.limits.maxSteps) + " output " +
            std::to_string(t.limits.maxOutput) + " seed " + std::to_string(t.limits.seed) +
            (t.compare == Compare::Trim ? " trim " : " exact ") +
            VISIBILITY_NAMES[int(t.visibility)] + " '" + t.title + "' " + t.feedback;
        for (const StateCheck& c : t.checks) {
            text +=
                " " + c.key + "/" + std::to_string(c.registerIndex) + "=" + std::to_string(c.value);
        }
        return text;
    };
    EXPECT_EQ(describe(tests[0]),
              "1500 steps 100 output 600 seed 7 exact hidden '' look AX/0=1 total/-1=2");
    EXPECT_EQ(describe(tests[1]),
              "3000 steps 100 output 600 seed 9 trim after_due_date 'B' look AX/0=1 TOTAL/-1=-3");
}

TEST(Suite, MistakesAreRefusedWithTheirPlace) {
    const std::pair<const char*, const char*> rows[] = {
        {"max_step = 5\n", "suite.toml:1:1: unknown key 'max_step'"},
        {"points = -1\n", "suite.toml:1:10: points must be"},
        {"points = \"2\"\n", "suite.toml:1:10: points must be"},
        {"points = 0.0005\n", "suite.toml:1:10: points must be a number from 0 to 1000000000 with"},
        {"points = 1.2345\n", "suite.toml:1:10: points must be"},
        {"points = 1e10\n", "suite.toml:1:10: points must be"},
        {"points = nan\n", "suite.toml:1:10: points must be"},
        {"max_steps = 0\n", "suite.toml:1:13: max_steps must be an integer from 1"},
        {"max_output = 1.5\n", "suite.toml:1:14: max_output must be an integer"},
        {"seed = 4294967296\n", "suite.toml:1:8: seed must be an integer from 0 to 4294967295"},
        {"compare = \"fuzzy\"\n", "suite.toml:1:11: compare must be"},
        {"expect = { AX = 32768 }\n", "suite.toml:1:17: expect.AX must be an integer from -32768"},
        {"expect = { 'A X' = 1 }\n", "suite.toml:1:20: expect: 'A X' is neither"},
        {"expect = 5\n", "suite.toml:1:10: expect must be a table"},
        {"[tests.zz]\npoints = 1\n", "suite.toml:1:8: [tests.zz]: the suite has no zz.out"},
        {"[tests.a]\nmax_stepz = 1\n", "suite.toml:2:1: unknown key 'max_stepz'"},
        {"points = \n", "suite.toml:1:"},
        {"expect = { bx = 1, BX = 2 }\n",
         "suite.toml:1:17: expect: 'bx' and 'BX' name the same register"},
        {"[tests.a]\nexpect = { COUNTER1 = 1, COUNTER2 = 2 }\n",
         "suite.toml:2:37: expect: 'COUNTER2' and 'COUNTER1' name the same label"},
        {"expect = { Random = 0 }\n", "suite.toml:1:21: expect: RANDOM is the random port"},
        {"title = \"x\"\n", "suite.toml:1:1: title names one test"},
        {"[tests.a]\nvisibility = \"secret\"\n", "suite.toml:2:14: visibility must be"},
        {"feedback = 3\n", "suite.toml:1:12: feedback must be a string"},
    };
    for (const auto& [toml, error] : rows) {
        std::vector<TestCase> tests(1);
        tests[0].name = "a";
        EXPECT_EQ(applySettings(toml, &tests).substr(0, std::strlen(error)), error) << toml;
    }
}

TEST(Suite, FilesAndSubmissionsOnDisk) {
    fs::path dir = fs::temp_directory_path() / ("tavro-grade-test-" + std::to_string(getpid()));
    fs::remove_all(dir);
    fs::create_directories(dir / "suite");
    auto write = [&](const fs::path& path, const std::string& text) {
        std::ofstream(dir / path) << text;
    };
    write("suite/b.out", HALT);
    write("suite/a.out", "out: 1\n" + HALT);
    write("suite/a.in", "1\n");
    write("suite/notes.txt", "ignored");
    SuiteLoad load = loadSuite((dir / "suite/").string(), Limits{});
    ASSERT_EQ(load.error, "");
    ASSERT_EQ(load.suite.tests.size(), 2u);
    EXPECT_EQ(load.suite.tests[0].name, "a");
    EXPECT_EQ(load.suite.tests[0].input, "1\n");
    write("suite/orphan.in", "");
    EXPECT_NE(loadSuite((dir / "suite").string(), Limits{}).error.find("orphan.in: there is no"),
              std::string::npos);
    EXPECT_NE(loadSuite((dir / "none").string(), Limits{}).error, "");
    fs::create_directories(dir / "empty");
    EXPECT_NE(loadSuite((dir / "empty").string(), Limits{}).error.find("no tests"),
              std::string::npos);

    fs::create_directories(dir / "one");
    write("one/x.tas", " END\n");
    fs::create_directories(dir / "two");
    write("two/x.tas", " END\n");
    write("two/y.tas", " COPY AX #1\n");
    write("big.tas", std::string(MAX_SUBMISSION_SIZE + 1, ';'));
    write("dir.tas/z.txt", "");
    mkfifo((dir / "fifo.tas").c_str(), 0600);
    const std::tuple<const char*, const char*, Outcome, const char*> rows[] = {
        {"one", "", Outcome::Pass, ""},
        {"one/", "", Outcome::Pass, ""},
        {"two", "", Outcome::Unreadable,
         "several .tas files (x.tas, y.tas): choose one with --file"},
        {"two", "y", Outcome::AssemblyError, "line 1: ',' is expected"},
        {"two", "y.tas", Outcome::AssemblyError, "line 1: ',' is expected"},
        {"two", "w.tas", Outcome::Unreadable, "No such file or directory"},
        {"empty", "", Outcome::Unreadable, "no .tas file in this folder"},
        {"missing.tas", "", Outcome::Unreadable, "No such file or directory"},
        {"big.tas", "", Outcome::Unreadable, "larger than 1048576 bytes"},
        {"fifo.tas", "", Outcome::Unreadable, "not a regular file"},
    };
    TestCase test;
    test.expected = HALT;
    for (const auto& [path, file, outcome, detail] : rows) {
        SCOPED_TRACE(path);
        TestResult result =
            gradeTest(loadSubmission((dir / path).string(), file), test, GradeOptions{});
        EXPECT_EQ(OUTCOME_NAMES[int(result.outcome)], OUTCOME_NAMES[int(outcome)]);
        EXPECT_TRUE(result.detail.ends_with(detail)) << result.detail;
    }
    fs::remove_all(dir);
}

// Ctrl-C, a kill and a closed terminal each stop grading at once, leave no temporary file and
// end the command by that signal.
TEST(Command, ASignalWritesNoHalfReport) {
    fs::path dir = fs::temp_directory_path() / ("tavro-grade-int-" + std::to_string(getpid()));
    fs::create_directories(dir / "suite");
    std::ofstream(dir / "suite/a.out") << HALT;
    std::ofstream(dir / "loop.tas") << "L JMP L\n";
    std::string report = (dir / "report.json").string();
    std::string loop = (dir / "loop.tas").string();
    for (int sig : {SIGINT, SIGTERM, SIGHUP}) {
        SCOPED_TRACE(sig);
        Child child(TAVRO_GRADE_BINARY,
                    {"tavro-grade", "--max-steps", "100000000000", "--jobs", "2", "--output",
                     report, (dir / "suite").string(), loop, (dir / "./loop.tas").string()});
        ASSERT_TRUE(waitUntil([&] { return child.catches(sig); }));
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        child.signal(sig);
        ProcessResult result = child.finish(5000);
        EXPECT_EQ(result.signal, sig);
        EXPECT_EQ(result.out, "");
        EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator()), 2);
    }
    fs::remove_all(dir);
}
