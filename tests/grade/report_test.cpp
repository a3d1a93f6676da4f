// What the example class's expected reports (compared whole by grade.example_reports) do not
// show: the json report against the guide's schema; junit read by xmllint (well-formed, and
// valid against a published JUnit schema) and by junitparser where it is installed; hostile
// names and details (every code point XML forbids, bytes that are not UTF-8, quotes, commas,
// markup) through every format; points that binary floats get wrong, exact; similar code.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <nlohmann/json.hpp>
#include <set>

#include "grade/report.h"
#include "grade/similar.h"
#include "process.h"

using namespace tavro;
using nlohmann::json;

namespace {

struct Graded {
    Suite suite;
    std::vector<SubmissionResult> results;
};

// Checks value against the part of JSON Schema that docs/grading.md's schema uses: type, enum,
// required, properties, additionalProperties and items. A field that the schema does not
// declare is an error, so a report field cannot go undocumented.
void conforms(const json& value, const json& schema, const std::string& where) {
    if (schema.contains("enum")) {
        EXPECT_NE(std::find(schema["enum"].begin(), schema["enum"].end(), value),
                  schema["enum"].end())
            << where;
    }
    std::string type = schema.value("type", "");
    bool typed = (type == "string" && value.is_string()) ||
                 (type == "integer" && value.is_number_integer()) ||
                 (type == "number" && value.is_number()) || type == "array" || type == "object" ||
                 type.empty();
    EXPECT_TRUE(typed) << where << " is not of type " << type;
    if (type == "array") {
        ASSERT_TRUE(value.is_array()) << where;
        for (const json& item : value) conforms(item, schema["items"], where + "[]");
    }
    if (type == "object") {
        ASSERT_TRUE(value.is_object()) << where;
        for (const json& key : schema.value("required", json::array())) {
            EXPECT_TRUE(value.contains(key)) << where << " lacks " << key;
        }
        for (const auto& [key, field] : value.items()) {
            if (schema.contains("properties") && schema["properties"].contains(key)) {
                conforms(field, schema["properties"][key], where + "." + key);
            } else if (schema.contains("additionalProperties")) {
                conforms(field, schema["additionalProperties"], where + "." + key);
            } else {
                ADD_FAILURE() << where << "." << key << " is not in the schema";
            }
        }
    }
}

}  // namespace

// The example class's json report (kept equal to the program's by the example test) against
// the schema that the teacher's guide publishes.
TEST(Report, JsonFollowsTheGuidesSchema) {
    std::string guide = readFile(std::string(TAVRO_SOURCE_DIR) + "/docs/grading.md");
    size_t start = guide.find("```json\n{\n  \"$schema\"");
    ASSERT_NE(start, std::string::npos);
    start += 8;
    json schema = json::parse(guide.substr(start, guide.find("```", start) - start));
    json report = json::parse(
        readFile(std::string(TAVRO_SOURCE_DIR) + "/examples/grading/expected/report.json"));
    conforms(report, schema, "report");
    EXPECT_EQ(report["summary"]["tests"]["four"], json({{"passed", 3}, {"graded", 8}}));
}

namespace {

// The path of an installed tool, or "".
std::string tool(const std::string& name) {
    ProcessResult found = runProcess("/bin/sh", {"sh", "-c", "command -v " + name});
    return found.exitCode == 0 ? found.out.substr(0, found.out.size() - 1) : "";
}

// Every kind of text that XML 1.0 cannot hold, each in a submission's path, a test's name and
// the expected output that its detail and diff quote, beside names that must stay apart.
const char* const HOSTILE[] = {
    "nul\0x",
    "c0\x01\x08\x0B\x0C\x0E\x1F",
    "del\x7F",
    "c1\xC2\x80\xC2\x9F",
    "fffe\xEF\xBF\xBE",
    "ffff\xEF\xBF\xBF",
    "surrogate\xED\xA0\x80",
    "low\xED\xBF\xBF",
    "ff\xFF",
    "overlong\xC0\x80",
    "cut\xE2\x82",
    "tab\tlf\ncr\r",
    "markup<&>\"'",
    "a\\x01",
    "a\x01",
    "a.tas",
    "a_tas",
    "a b",
    "a\nb",
    "]]>",
    "fine \xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80",
};

Graded hostileClass() {
    Graded g;
    g.suite.path = "suite";
    for (const char* piece : HOSTILE) {
        std::string text(piece, piece == HOSTILE[0] ? 6 : std::strlen(piece));
        TestCase test;
        test.name = "t-" + text;
        test.expected = text + "\n";
        g.suite.tests.push_back(test);
    }
    Submission submission = prepareSubmission("x", " OUT AX\n");
    for (const TestCase& test : g.suite.tests) {
        SubmissionResult result;
        result.path = "s-" + test.name.substr(2);
        GradeOptions options;
        options.diff = true;
        for (const TestCase& each : g.suite.tests) {
            result.tests.push_back(gradeTest(submission, each, options));
        }
        g.results.push_back(result);
    }
    return g;
}

}  // namespace

// One rule renders a name in every format: the names a reader gets back are all different, and
// the same in json, gradescope, csv and junit. A CI system reads well-formed XML 1.0 that the
// published JUnit schema accepts, with every submission still a testsuite of its own.
TEST(Report, EveryFormatHoldsWhateverTheSubmissionsHold) {
    Graded g = hostileClass();
    json report = json::parse(renderReport(g.suite, g.results, {Format::Json, false, true}));
    std::set<std::string> paths, names;
    for (const json& submission : report["submissions"]) paths.insert(submission["path"]);
    for (const json& test : report["submissions"][0]["tests"]) names.insert(test["name"]);
    EXPECT_EQ(paths.size(), std::size(HOSTILE));
    EXPECT_EQ(names.size(), std::size(HOSTILE));
    std::string csv = renderReport(g.suite, g.results, {Format::Csv, false, false});
    std::string text = renderReport(g.suite, g.results, {Format::Text, false, false});
    std::vector<SubmissionResult> one = {g.results[0]};
    json gradescope = json::parse(renderReport(g.suite, one, {Format::Gradescope, false, false}));
    for (size_t t = 0; t < std::size(HOSTILE); t++) {
        std::string name = report["submissions"][0]["tests"][t]["name"];
        EXPECT_EQ(gradescope["tests"][t]["name"], name);
        EXPECT_NE(text.find(" " + name + "="), std::string::npos) << name;
        EXPECT_EQ(name.find_first_of(std::string("\0\n\r\t\x7F", 5)), std::string::npos);
    }
    EXPECT_NE(csv.find(",t-a\\\\x01,t-a\\x01,"), std::string::npos);
    EXPECT_NE(csv.find(",\"t-markup<&>\"\"'\","), std::string::npos);  // RFC 4180's quotes

    std::string xml = renderReport(g.suite, g.results, {Format::Junit, false, true});
    std::string xmllint = tool("xmllint");
    if (xmllint.empty()) GTEST_SKIP() << "xmllint is not installed";
    std::string file = writeTempFile(xml, ".xml");
    ProcessResult wellFormed = runProcess(xmllint, {"xmllint", "--noout", file});
    EXPECT_EQ(wellFormed.exitCode, 0) << wellFormed.err;
    ProcessResult valid =
        runProcess(xmllint, {"xmllint", "--noout", "--schema",
                             std::string(TAVRO_SOURCE_DIR) + "/tests/grade/junit.xsd", file});
    EXPECT_EQ(valid.exitCode, 0) << valid.err;
    ProcessResult suites = runProcess(xmllint, {"xmllint", "--xpath", "//testsuite/@name", file});
    std::set<std::string> distinct;
    for (size_t at = 0; (at = suites.out.find("name=\"", at)) != std::string::npos; at++) {
        distinct.insert(suites.out.substr(at, suites.out.find('"', at + 6) - at));
    }
    EXPECT_EQ(distinct.size(), std::size(HOSTILE));
    std::string python = tool("/usr/bin/python3");
    ProcessResult parsed = runProcess(python.empty() ? "/bin/false" : python,
                                      {"python3", "-c",
                                       "import sys, junitparser\n"
                                       "xml = junitparser.JUnitXml.fromfile(sys.argv[1])\n"
                                       "print(len({suite.name for suite in xml}))\n",
                                       file});
    if (parsed.exitCode == 0) {
        EXPECT_EQ(parsed.out, std::to_string(std::size(HOSTILE)) + "\n");
    }
}

// Points are exact thousandths: sums that binary floats get wrong come out exact, in their
// shortest form, in every format (points that cannot be exact are refused with the suite's
// mistakes). A path that a spreadsheet would take for a formula is quoted in the csv.
TEST(Report, PointsAreExactDecimals) {
    const std::tuple<const char*, size_t, const char*> rows[] = {
        {"points = 0.1\n", 10, "1"},
        {"[tests.t0]\npoints = 0.1\n[tests.t1]\npoints = 0.2\n", 2, "0.3"},
        {"points = 0.001\n", 3, "0.003"},
        {"points = 1000000000\n", 2, "2000000000"},
        {"points = 333.333\n", 3, "999.999"},
        {"points = 0\n", 1, "0"},
    };
    for (const auto& [toml, count, total] : rows) {
        SCOPED_TRACE(toml);
        Graded g;
        g.suite.path = "suite";
        g.suite.tests.resize(count);
        for (size_t t = 0; t < count; t++) {
            g.suite.tests[t].name = "t" + std::to_string(t);
            g.suite.tests[t].expected = ">>> Program terminated. (Halt)\n";
        }
        ASSERT_EQ(applySettings(toml, &g.suite.tests), "");
        SubmissionResult result;
        result.path = "=p.tas";
        Submission submission = prepareSubmission("p.tas", " END\n");
        for (const TestCase& test : g.suite.tests) {
            result.tests.push_back(gradeTest(submission, test, GradeOptions{}));
            result.score += result.tests.back().score;
            result.maxScore += result.tests.back().maxScore;
        }
        g.results = {result};
        std::string text = renderReport(g.suite, g.results, {Format::Text, true, false});
        EXPECT_NE(text.find(std::string("  ") + total + "/" + total + " "), std::string::npos);
        EXPECT_NE(text.find("=\033[32mpass\033[0m"), std::string::npos);  // colour when asked
        std::string csv = renderReport(g.suite, g.results, {Format::Csv, false, false});
        EXPECT_NE(csv.find(std::string("\n'=p.tas,")), std::string::npos) << csv;
        EXPECT_TRUE(csv.ends_with(std::string(",") + total + "\n")) << csv;
        std::string xml = renderReport(g.suite, g.results, {Format::Junit, false, false});
        EXPECT_NE(xml.find(std::string("\"score\" value=\"") + total + "\""), std::string::npos);
        for (Format format : {Format::Json, Format::Gradescope}) {
            std::string report = renderReport(g.suite, g.results, {format, false, false});
            EXPECT_NE(report.find(std::string("\"score\": ") + total + ",\n"), std::string::npos)
                << report;
        }
    }
}

// The bit-parallel distance against the whole table, on random sequences over a small alphabet
// (so that near matches are common), across several blocks of 64, at limits that cut it and
// limits that do not.
TEST(Similar, DistanceIsTheEditDistanceUpToItsLimit) {
    uint32_t seed = 12345;
    auto next = [&seed](uint32_t n) {
        seed = seed * 1103515245 + 12345;
        return (seed >> 16) % n;
    };
    for (int round = 0; round < 3000; round++) {
        std::vector<uint16_t> a(next(round % 3 == 0 ? 200 : 25)), b;
        for (uint16_t& x : a) x = static_cast<uint16_t>(next(3) * 80);
        b = a;
        for (uint32_t edits = next(round % 5 == 0 ? 150 : 6); edits > 0; edits--) {
            uint32_t at = next(static_cast<uint32_t>(b.size()) + 1);
            switch (next(3)) {
                case 0: b.insert(b.begin() + at, static_cast<uint16_t>(next(3) * 80)); break;
                case 1:
                    if (at < b.size()) b.erase(b.begin() + at);
                    break;
                default:
                    if (at < b.size()) b[at] = static_cast<uint16_t>(next(3) * 80);
            }
        }
        std::vector<std::vector<size_t>> d(a.size() + 1, std::vector<size_t>(b.size() + 1));
        for (size_t i = 0; i <= a.size(); i++) {
            for (size_t j = 0; j <= b.size(); j++) {
                d[i][j] = i == 0 || j == 0 ? i + j
                                           : std::min({d[i - 1][j] + 1, d[i][j - 1] + 1,
                                                       d[i - 1][j - 1] + (a[i - 1] != b[j - 1])});
            }
        }
        size_t limit = round % 2 == 0 ? next(8) : 1000;
        ASSERT_EQ(formDistance(a, b, limit), std::min(d[a.size()][b.size()], limit + 1))
            << "round " << round << ", limit " << limit;
    }
}

TEST(Similar, IdenticalCodeAndAlikePairs) {
    auto outs = [](int n, const char* odd) {
        std::string text;
        for (int k = 0; k < n; k++) text += k == n / 2 ? odd : " OUT AX\n";
        return text + " END\n";
    };
    const std::string sum =
        " COPY BX, #0\nL IN AX\n ADD BX, AX\n CMP AX, #0\n JNB L\n OUT BX\n END\n";
    const std::string renamed =
        "; the same, written apart\n COPY   BX, #0 ; zero\nTOP  IN AX\n ADD BX,AX\n CMP AX, #0\n"
        " JNB TOP\n OUT BX\n END\n";
    const std::string other =
        " COPY CX, #7\nL IN DX\n ADD CX, DX\n CMP DX, #0\n JNB L\n OUT CX\n END\n";
    struct Row {
        std::vector<std::string> sources;
        std::string sets;  // "KIND PERCENT: MEMBERS; ..."
    };
    // clang-format off
    const Row rows[] = {
        {{sum, renamed, other, " COPY AX\n", " POP\n"}, "identical-code 100: 0 1; alike 100: 0 2"},
        {{outs(9, " PUSH AX\n"), outs(9, " OUT AX\n")}, "alike 90: 0 1"},      // 1 in 10
        {{outs(8, " PUSH AX\n"), outs(8, " OUT AX\n")}, ""},                  // 1 in 9
        {{outs(10, " COPY AX, X\n") + "X 0\n", outs(10, " COPY X, AX\n") + "X 0\n"}, "alike 90: 0 1"},
        {{outs(10, " COPY AX, X\n") + "X 0\n", outs(10, " COPY AX, c(BX)\n") + "X 0\n"}, "alike 90: 0 1"},
        {{outs(10, " ADD AX, #1\n"), outs(10, " ADD AX, #2\n")}, "alike 100: 0 1"},
        {{outs(3, " OUT AX\n"), outs(3, " OUT AX\n"), outs(3, " OUT AX\n")}, "identical-code 100: 0 1 2"},
    };
    // clang-format on
    for (const Row& row : rows) {
        std::vector<SubmissionResult> results(row.sources.size());
        for (size_t s = 0; s < row.sources.size(); s++) {
            Submission submission = prepareSubmission("s.tas", row.sources[s]);
            if (submission.failure == Outcome::Pass)
                takeFingerprint(*submission.program, &results[s]);
        }
        std::string sets;
        for (const SimilarSet& set : findSimilar(results)) {
            if (!sets.empty()) sets += "; ";
            sets.append(LIKENESS_NAMES[static_cast<int>(set.kind)]);
            sets.append(" " + std::to_string(set.percent) + ":");
            for (size_t member : set.members) sets += " " + std::to_string(member);
        }
        EXPECT_EQ(sets, row.sets) << row.sources[0];
    }
}
