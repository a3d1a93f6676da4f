// Fuzzes the grader on arbitrary submission bytes: assembling, every test of a small built-in
// suite (standard input, step budgets, output caps, both comparisons, state checks, a seed),
// and every report format over the results. The input is the submission's file; its first
// bytes also name it and one of the tests, so that names with any bytes reach the reports, and
// its last line, read as suite.toml, sets the tests. Each result must keep the grader's
// promises, and the json reports must parse back.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <nlohmann/json.hpp>
#include <string>

#include "grade/grade.h"
#include "grade/report.h"

using namespace tavro;

static TestCase makeTest(const char* name, const char* input, const char* expected,
                         uint64_t maxSteps, uint64_t maxOutput, Compare compare) {
    TestCase test;
    test.name = name;
    test.input = input;
    test.expected = expected;
    test.limits = {maxSteps, maxOutput, 3};
    test.compare = compare;
    return test;
}

static Suite makeSuite() {
    Suite suite;
    suite.path = "fuzz";
    suite.tests.push_back(makeTest("sum", "1\n2\n3\n0\n",
                                   "out: 3\nout: 6\n>>> Program terminated. (Halt)\n", 2000, 4096,
                                   Compare::Exact));
    suite.tests[0].checks = {{"BX", 1, 6}, {"TOTAL", -1, 6}};
    suite.tests.push_back(makeTest("echo", "5\nx\n-7",
                                   "out: 5 \nout: -7\n>>> Program terminated. (Halt)\n\n", 1000,
                                   256, Compare::Trim));
    suite.tests.push_back(makeTest("short", "", "", 100, 40, Compare::Exact));
    suite.tests[2].points = 500;
    return suite;
}

// A broken promise is a crash, which libFuzzer reports with the input.
static void require(bool promise) {
    if (!promise) __builtin_trap();
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const Suite base = makeSuite();
    Suite suite = base;
    std::string bytes(reinterpret_cast<const char*>(data), size);
    suite.tests[2].name = bytes.substr(0, 8);
    size_t lastLine = bytes.find_last_of('\n');
    std::string toml = lastLine == std::string::npos ? "" : bytes.substr(lastLine + 1);
    std::string refused = applySettings(toml, &suite.tests);
    require(refused.empty() || refused.starts_with("suite.toml:"));
    for (TestCase& test : suite.tests) {
        require(test.points >= 0 && test.points <= 1'000'000'000'000);
        require(test.limits.maxSteps >= 1 && test.limits.maxOutput >= 1);
        // Settings may ask for long runs; a fuzzer's runs stay short.
        test.limits.maxSteps = std::min<uint64_t>(test.limits.maxSteps, 100'000);
        test.limits.maxOutput = std::min<uint64_t>(test.limits.maxOutput, 65'536);
    }
    SubmissionResult result;
    result.path = bytes.substr(0, 12);
    Submission submission = prepareSubmission(result.path, bytes);
    result.warnings = submission.warnings;
    GradeOptions options;
    options.diff = true;
    for (const TestCase& test : suite.tests) {
        std::string output;
        TestResult graded = gradeTest(submission, test, options, &output);
        require(graded.steps <= test.limits.maxSteps);
        require(graded.outcome != Outcome::StepLimit || graded.steps == test.limits.maxSteps);
        require((graded.outcome == Outcome::OutputLimit) ==
                (graded.outputBytes > test.limits.maxOutput));
        require(output.size() <= test.limits.maxOutput);
        require(graded.score == (graded.outcome == Outcome::Pass ? test.points : 0));
        require((graded.outcome == Outcome::Pass) == graded.detail.empty());
        result.tests.push_back(graded);
        result.score += graded.score;
        result.maxScore += graded.maxScore;
    }
    std::vector<SubmissionResult> results = {result};
    for (Format format :
         {Format::Text, Format::Json, Format::Csv, Format::Junit, Format::Gradescope}) {
        std::string report = renderReport(suite, results, {format, true, true});
        if (format == Format::Json || format == Format::Gradescope) {
            require(!nlohmann::json::parse(report, nullptr, false).is_discarded());
        }
    }
    return 0;
}
