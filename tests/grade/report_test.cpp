// Each report format read back the way the systems that take it read it: json and gradescope
// with nlohmann, junit by xmllint (well-formed XML), csv by its columns. Hostile names and
// details (control characters, bytes that are not UTF-8, quotes, commas, markup) go through
// every format.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "grade/report.h"
#include "process.h"

using namespace tavro;
using nlohmann::json;

namespace {

struct Graded {
    Suite suite;
    std::vector<SubmissionResult> results;
};

// Two tests, worth 1 and 0.5, and two submissions: one passing the first test, one whose
// path and wrong output hold everything a report must escape.
Graded graded() {
    Graded g;
    g.suite.path = "suite";
    g.suite.tests.resize(2);
    g.suite.tests[0].name = "first";
    g.suite.tests[1].name = "se,\"cond\"<&>";
    g.suite.tests[1].points = 0.5;
    const std::string hostile = "=x\033[31m,\"<b>&\xff\xc3\xa9\n";
    for (const std::string& path : {std::string("alice.tas"), hostile}) {
        SubmissionResult result;
        result.path = path;
        result.file = path;
        Submission submission = prepareSubmission(path, " OUT AX\n COPY NOWHERE, AX\n");
        result.warnings = submission.warnings;
        for (const TestCase& test : g.suite.tests) {
            TestCase t = test;
            t.expected = path == hostile ? hostile : "out: 0\n>>> Program terminated. (Halt)\n";
            GradeOptions options;
            options.diff = true;
            result.tests.push_back(gradeTest(submission, t, options));
            result.score += result.tests.back().score;
            result.maxScore += result.tests.back().maxScore;
        }
        g.results.push_back(result);
    }
    return g;
}

}  // namespace

TEST(Report, JsonHasEveryFieldOfTheSchema) {
    Graded g = graded();
    json report = json::parse(renderReport(g.suite, g.results, {Format::Json, false, true}));
    ASSERT_EQ(report["submissions"].size(), 2u);
    const json& alice = report["submissions"][0];
    EXPECT_EQ(alice["path"], "alice.tas");
    EXPECT_EQ(alice["score"], 1.5);
    EXPECT_EQ(alice["max_score"], 1.5);
    EXPECT_EQ(alice["warnings"][0],
              "!!Undefined Label ... Memory allocated: NOWHERE = [5], Line=2");
    const json& hostile = report["submissions"][1];
    EXPECT_EQ(hostile["score"], 0);
    for (const json& test : hostile["tests"]) {
        for (const char* field :
             {"name", "outcome", "steps", "output_bytes", "score", "max_score", "detail"}) {
            EXPECT_TRUE(test.contains(field)) << field;
        }
        EXPECT_EQ(test["outcome"], "wrong-output");
        EXPECT_EQ(test["detail"],
                  "line 1: expected \"=x\\x1B[31m,\\\"<b>&\\xFFé\", got \"out: 0\"");
        EXPECT_TRUE(test["diff"].is_string());
    }
    EXPECT_EQ(report["max_score"], 1.5);
}

TEST(Report, GradescopeTakesOneSubmission) {
    Graded g = graded();
    json report = json::parse(renderReport(g.suite, g.results, {Format::Gradescope, false, false}));
    EXPECT_EQ(report["score"], 1.5);
    ASSERT_EQ(report["tests"].size(), 2u);
    EXPECT_EQ(report["tests"][1]["name"], "se,\"cond\"<&>");
    EXPECT_EQ(report["tests"][1]["max_score"], 0.5);
    EXPECT_EQ(report["tests"][1]["status"], "passed");
    EXPECT_EQ(report["tests"][1]["output"], "pass");
    EXPECT_NE(report["output"].get<std::string>().find("NOWHERE"), std::string::npos);
}

TEST(Report, CsvHasARowPerSubmissionAndAColumnPerTest) {
    Graded g = graded();
    std::string csv = renderReport(g.suite, g.results, {Format::Csv, false, false});
    EXPECT_EQ(csv,
              "path,first,\"se,\"\"cond\"\"<&>\",total\n"
              "alice.tas,1,0.5,1.5\n"
              "\"'=x\\x1B[31m,\"\"<b>&\\xFFé\\x0A\",0,0,0\n");
}

TEST(Report, JunitIsWellFormedXml) {
    Graded g = graded();
    std::string xml = renderReport(g.suite, g.results, {Format::Junit, false, true});
    EXPECT_NE(xml.find("<testsuites name=\"tavro-grade\" tests=\"4\" failures=\"2\" errors=\"0\">"),
              std::string::npos);
    ProcessResult lint = runProcess("/bin/sh", {"sh", "-c", "command -v xmllint || exit 77"});
    if (lint.exitCode == 77) GTEST_SKIP() << "xmllint is not installed";
    ProcessResult result = runProcess(lint.out.substr(0, lint.out.size() - 1),
                                      {"xmllint", "--noout", writeTempFile(xml, ".xml")});
    EXPECT_EQ(result.exitCode, 0) << result.err << xml;
}

TEST(Report, TextListsScoresAndOutcomes) {
    Graded g = graded();
    std::string text = renderReport(g.suite, g.results, {Format::Text, false, false});
    EXPECT_EQ(text.substr(0, text.find('\n') + 1),
              "alice.tas  1.5/1.5  first=pass se,\"cond\"<&>=pass\n");
    EXPECT_NE(text.find("\n  1.5/1.5     1\n  0/1.5       1\n"), std::string::npos);
    EXPECT_NE(text.find("\n  wrong-output    1\n"), std::string::npos);
    EXPECT_EQ(text.find('\033'), std::string::npos);  // no colour unless asked, no raw escape
    std::string colour = renderReport(g.suite, g.results, {Format::Text, true, false});
    EXPECT_NE(colour.find("\033[32mpass\033[0m"), std::string::npos);
}
