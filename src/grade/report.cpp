// Report writers. Texts from submissions reach a report only through text.h's escaping (details
// are built escaped; paths and names are rendered here by displayText, the same in every
// format), so that a report is valid UTF-8 with no control characters whatever the class handed
// in; json and junit then add their own quoting. Points are exact thousandths, written as
// integers when they are whole and as their shortest decimal otherwise.
#include "grade/report.h"

#include <cmath>
#include <cstdio>
#include <map>
#include <nlohmann/json.hpp>

#include "grade/similar.h"
#include "engine/engine.h"

namespace tavro {

using Json = nlohmann::ordered_json;

static const char* outcomeName(Outcome outcome) { return OUTCOME_NAMES[static_cast<int>(outcome)]; }

// A whole submission failed before its tests ran (every test has the same outcome).
static bool failedWhole(const SubmissionResult& result) {
    return !result.tests.empty() && (result.tests[0].outcome == Outcome::AssemblyError ||
                                     result.tests[0].outcome == Outcome::Unreadable);
}

static int64_t maxScoreOf(const Suite& suite) {
    int64_t total = 0;
    for (const TestCase& test : suite.tests) total += test.points;
    return total;
}

// ---- text ----------------------------------------------------------------------------------

static std::string coloured(Outcome outcome, bool colour) {
    static constexpr const char* COLOURS[OUTCOME_COUNT] = {
        "32", "31", "31", "35", "33", "33", "33", "35",
    };
    if (!colour) return outcomeName(outcome);
    return std::string("\033[") + COLOURS[static_cast<int>(outcome)] + "m" + outcomeName(outcome) +
           "\033[0m";
}

// Each line of text after the first (or every line, when all), indented.
static std::string indented(const std::string& text, const std::string& indent, bool all) {
    std::string out = all ? indent : "";
    for (char c : text) {
        out += c;
        if (c == '\n') out += indent;
    }
    if (out.ends_with(indent)) out.resize(out.size() - indent.size());
    return out;
}

// How a test is named where a person reads it: its title, else its name.
static std::string shownName(const TestCase& test) {
    return displayText(test.title.empty() ? test.name : test.title);
}

// The detail of a test that did not pass, then its feedback.
static std::string detailWithFeedback(const TestCase& test, const TestResult& result) {
    if (result.outcome == Outcome::Pass || test.feedback.empty()) return result.detail;
    return result.detail + "\nfeedback: " + displayText(test.feedback);
}

// For each test, how many submissions passed it: a test that nobody passes is often broken.
static std::vector<size_t> passesPerTest(const Suite& suite,
                                         const std::vector<SubmissionResult>& results) {
    std::vector<size_t> passes(suite.tests.size(), 0);
    for (const SubmissionResult& result : results) {
        for (size_t t = 0; t < result.tests.size(); t++) {
            passes[t] += result.tests[t].outcome == Outcome::Pass ? 1 : 0;
        }
    }
    return passes;
}

static std::string textReport(const Suite& suite, const std::vector<SubmissionResult>& results,
                              const ReportOptions& options) {
    std::string text;
    std::string possible = formatPoints(maxScoreOf(suite));
    std::map<int64_t, size_t> scores;
    size_t outcomes[OUTCOME_COUNT] = {};
    for (const SubmissionResult& result : results) {
        text += displayText(result.path) + "  " + formatPoints(result.score) + "/" + possible + " ";
        bool seen[OUTCOME_COUNT] = {};
        for (size_t t = 0; t < result.tests.size(); t++) {
            Outcome outcome = result.tests[t].outcome;
            text +=
                " " + displayText(suite.tests[t].name) + "=" + coloured(outcome, options.colour);
            seen[static_cast<int>(outcome)] = true;
        }
        text += "\n";
        for (const std::string& warning : result.warnings) text += "  warning: " + warning + "\n";
        if (failedWhole(result)) {
            const TestResult& first = result.tests[0];
            text += "  " + std::string(outcomeName(first.outcome)) + ": " + first.detail + "\n";
        } else {
            for (size_t t = 0; t < result.tests.size(); t++) {
                const TestResult& test = result.tests[t];
                if (test.outcome == Outcome::Pass) continue;
                std::string name = displayText(suite.tests[t].name);
                if (!suite.tests[t].title.empty()) name += " (" + shownName(suite.tests[t]) + ")";
                text += "  " + name + ": " + outcomeName(test.outcome) + ": " +
                        indented(detailWithFeedback(suite.tests[t], test), "    ", false) + "\n";
                if (options.diff && !test.diff.empty()) {
                    text += indented(test.diff, "      ", true) + "\n";
                }
            }
        }
        scores[result.score]++;
        for (int k = 0; k < OUTCOME_COUNT; k++) outcomes[k] += seen[k] ? 1 : 0;
    }
    text += "\n" + std::to_string(results.size()) + " submission" +
            (results.size() == 1 ? "" : "s") + ", " + std::to_string(suite.tests.size()) + " test" +
            (suite.tests.size() == 1 ? "" : "s") + ", " + possible + " points possible\n";
    text += "scores:\n";
    for (auto it = scores.rbegin(); it != scores.rend(); ++it) {
        std::string score = formatPoints(it->first) + "/" + possible;
        text += "  " + score + std::string(score.size() < 12 ? 12 - score.size() : 1, ' ') +
                std::to_string(it->second) + "\n";
    }
    text += "submissions passing each test:\n";
    std::vector<size_t> passes = passesPerTest(suite, results);
    for (size_t t = 0; t < suite.tests.size(); t++) {
        std::string name = displayText(suite.tests[t].name);
        text += "  " + name + std::string(name.size() < 15 ? 16 - name.size() : 1, ' ') +
                std::to_string(passes[t]) + "/" + std::to_string(results.size()) + "\n";
    }
    text += "submissions with each outcome:\n";
    for (int k = 0; k < OUTCOME_COUNT; k++) {
        std::string name = outcomeName(static_cast<Outcome>(k));
        text += "  " + coloured(static_cast<Outcome>(k), options.colour) +
                std::string(16 - name.size(), ' ') + std::to_string(outcomes[k]) + "\n";
    }
    std::vector<SimilarSet> similar = findSimilar(results);
    text += "similar submissions (a hint to look at, never a score):\n";
    if (similar.empty()) text += "  none\n";
    for (const SimilarSet& set : similar) {
        text += set.kind == Likeness::IdenticalCode
                    ? std::string("  identical code:")
                    : "  " + std::to_string(set.percent) + "% alike:";
        for (size_t k = 0; k < set.members.size(); k++) {
            text += (k == 0 ? " " : ", ") + displayText(results[set.members[k]].path);
        }
        text += "\n";
    }
    return text;
}

// ---- json and gradescope -------------------------------------------------------------------

// A JSON number whose shortest form is the decimal itself: thousandths up to 10^12 are exact
// in a double, and the writer prints a double's shortest round trip.
static Json points(int64_t thousandths) {
    if (thousandths % 1000 == 0) return thousandths / 1000;
    return static_cast<double>(thousandths) / 1000;
}

static Json testJson(const TestCase& test, const TestResult& result, bool diff) {
    Json json = {
        {"name", displayText(test.name)},
        {"outcome", outcomeName(result.outcome)},
        {"steps", result.steps},
        {"output_bytes", result.outputBytes},
        {"score", points(result.score)},
        {"max_score", points(result.maxScore)},
        {"detail", detailWithFeedback(test, result)},
    };
    if (!test.title.empty()) json["title"] = displayText(test.title);
    json["visibility"] = VISIBILITY_NAMES[static_cast<int>(test.visibility)];
    if (result.line > 0) json["line"] = result.line;
    if (!result.message.empty()) json["message"] = result.message;
    if (!result.status.empty()) {
        json["status"] = result.status;
        json["ip"] = result.ip;
    }
    if (diff && !result.diff.empty()) json["diff"] = result.diff;
    return json;
}

static std::string dump(const Json& json) {
    return json.dump(2, ' ', false, Json::error_handler_t::replace) + "\n";
}

static std::string jsonReport(const Suite& suite, const std::vector<SubmissionResult>& results,
                              const ReportOptions& options) {
    Json submissions = Json::array();
    for (const SubmissionResult& result : results) {
        Json tests = Json::array();
        for (size_t t = 0; t < result.tests.size(); t++) {
            tests.push_back(testJson(suite.tests[t], result.tests[t], options.diff));
        }
        submissions.push_back({
            {"path", displayText(result.path)},
            {"file", displayText(result.file)},
            {"score", points(result.score)},
            {"max_score", points(result.maxScore)},
            {"warnings", result.warnings},
            {"tests", tests},
        });
    }
    Json perTest = Json::object();
    std::vector<size_t> passes = passesPerTest(suite, results);
    for (size_t t = 0; t < suite.tests.size(); t++) {
        perTest[displayText(suite.tests[t].name)] = {{"passed", passes[t]},
                                                     {"graded", results.size()}};
    }
    Json similar = Json::array();
    for (const SimilarSet& set : findSimilar(results)) {
        Json paths = Json::array();
        for (size_t member : set.members) paths.push_back(displayText(results[member].path));
        similar.push_back(
            {{"paths", paths},
             {"kind", LIKENESS_NAMES[static_cast<int>(set.kind)]},
             {"similarity", set.percent == 100 ? Json(1) : Json(set.percent / 100.0)}});
    }
    return dump({{"suite", displayText(suite.path)},
                 {"max_score", points(maxScoreOf(suite))},
                 {"submissions", submissions},
                 {"summary", {{"tests", perTest}}},
                 {"similar", similar}});
}

static std::string gradescopeReport(const Suite& suite,
                                    const std::vector<SubmissionResult>& results,
                                    const ReportOptions& options) {
    Json tests = Json::array();
    std::string output;
    int64_t score = 0;
    double seconds = 0;
    if (!results.empty()) {
        const SubmissionResult& result = results[0];
        score = result.score;
        for (const std::string& warning : result.warnings) output += "warning: " + warning + "\n";
        if (failedWhole(result)) {
            output += std::string(outcomeName(result.tests[0].outcome)) + ": " +
                      result.tests[0].detail + "\n";
        }
        for (size_t t = 0; t < result.tests.size(); t++) {
            const TestResult& test = result.tests[t];
            std::string text = outcomeName(test.outcome);
            std::string detail = detailWithFeedback(suite.tests[t], test);
            if (!detail.empty()) text += ": " + detail;
            if (options.diff && !test.diff.empty()) text += "\n" + test.diff;
            seconds += test.seconds;
            tests.push_back({
                {"name", shownName(suite.tests[t])},
                {"score", points(test.score)},
                {"max_score", points(test.maxScore)},
                {"status", test.outcome == Outcome::Pass ? "passed" : "failed"},
                {"output", text},
                {"visibility", VISIBILITY_NAMES[static_cast<int>(suite.tests[t].visibility)]},
            });
        }
    }
    return dump({{"score", points(score)},
                 {"execution_time", std::round(seconds * 1000) / 1000},
                 {"output", output},
                 {"tests", tests}});
}

// ---- csv -----------------------------------------------------------------------------------

// A field as RFC 4180 quotes it; a name that a spreadsheet would take for a formula gets a
// leading apostrophe.
static std::string csvField(const std::string& raw) {
    std::string text = displayText(raw);
    if (!text.empty() && std::string_view("=+-@").find(text[0]) != std::string_view::npos) {
        text.insert(0, "'");
    }
    if (text.find_first_of(",\"") == std::string::npos) return text;
    std::string quoted = "\"";
    for (char c : text) quoted += c == '"' ? std::string("\"\"") : std::string(1, c);
    return quoted + "\"";
}

static std::string csvReport(const Suite& suite, const std::vector<SubmissionResult>& results) {
    std::string text = "path";
    for (const TestCase& test : suite.tests) text += "," + csvField(test.name);
    text += ",total\n";
    for (const SubmissionResult& result : results) {
        text += csvField(result.path);
        for (const TestResult& test : result.tests) text += "," + formatPoints(test.score);
        text += "," + formatPoints(result.score) + "\n";
    }
    return text;
}

// ---- junit ---------------------------------------------------------------------------------

// Markup escaped for an attribute or an element; a line end in an attribute is a character
// reference, since a reader would turn a literal one into a blank.
static std::string markup(std::string_view safe, bool attribute) {
    std::string text;
    for (char c : safe) {
        switch (c) {
            case '&': text += "&amp;"; break;
            case '<': text += "&lt;"; break;
            case '>': text += "&gt;"; break;
            case '"': text += "&quot;"; break;
            case '\'': text += "&apos;"; break;
            case '\n': text += attribute ? "&#10;" : "\n"; break;
            default: text += c;
        }
    }
    return text;
}

// A name or path: rendered as in every report, then escaped for XML.
static std::string xmlName(const std::string& raw) { return markup(displayText(raw), true); }

// A detail or diff (built escaped), line by line kept safe, then escaped for XML. What is left
// holds no code point that XML 1.0 forbids: displayText's rule escapes them all.
static std::string xmlText(const std::string& raw, bool attribute) {
    std::string safe;
    size_t start = 0;
    while (start <= raw.size()) {
        size_t end = raw.find('\n', start);
        if (end == std::string::npos) end = raw.size();
        safe += safeText(std::string_view(raw).substr(start, end - start));
        if (end < raw.size()) safe += '\n';
        start = end + 1;
    }
    return markup(safe, attribute);
}

static std::string seconds(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.3f", value);
    return text;
}

// Wrong output and a state that does not match are failures; everything else is an error.
static bool isFailure(Outcome outcome) {
    return outcome == Outcome::WrongOutput || outcome == Outcome::StateMismatch;
}

static std::string junitReport(const Suite& suite, const std::vector<SubmissionResult>& results,
                               const ReportOptions& options) {
    size_t failures = 0, errors = 0, tests = 0;
    double allSeconds = 0;
    std::string body;
    for (const SubmissionResult& result : results) {
        size_t ownFailures = 0, ownErrors = 0;
        double ownSeconds = 0;
        std::string cases;
        std::string path = xmlName(result.path);
        for (size_t t = 0; t < result.tests.size(); t++) {
            const TestResult& test = result.tests[t];
            ownSeconds += test.seconds;
            cases += "    <testcase name=\"" + xmlName(suite.tests[t].name) + "\" classname=\"" +
                     path + "\" time=\"" + seconds(test.seconds) + "\"";
            if (test.outcome == Outcome::Pass) {
                cases += "/>\n";
                continue;
            }
            const char* element = isFailure(test.outcome) ? "failure" : "error";
            (isFailure(test.outcome) ? ownFailures : ownErrors)++;
            std::string detail = detailWithFeedback(suite.tests[t], test);
            cases += ">\n      <" + std::string(element) + " type=\"" + outcomeName(test.outcome) +
                     "\" message=\"" + xmlText(detail.substr(0, detail.find('\n')), true) + "\">";
            if (options.diff && !test.diff.empty()) detail += "\n" + test.diff;
            cases += xmlText(detail, false);
            cases += "</" + std::string(element) + ">\n    </testcase>\n";
        }
        body += "  <testsuite name=\"" + path + "\" tests=\"" +
                std::to_string(result.tests.size()) + "\" failures=\"" +
                std::to_string(ownFailures) + "\" errors=\"" + std::to_string(ownErrors) +
                "\" skipped=\"0\" time=\"" + seconds(ownSeconds) + "\">\n    <properties>\n" +
                "      <property name=\"score\" value=\"" + formatPoints(result.score) + "\"/>\n" +
                "      <property name=\"max_score\" value=\"" + formatPoints(result.maxScore) +
                "\"/>\n";
        for (const std::string& warning : result.warnings) {
            body += "      <property name=\"warning\" value=\"" + xmlText(warning, true) + "\"/>\n";
        }
        body += "    </properties>\n" + cases + "  </testsuite>\n";
        failures += ownFailures;
        errors += ownErrors;
        tests += result.tests.size();
        allSeconds += ownSeconds;
    }
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<testsuites name=\"tavro-grade\" tests=\"" +
           std::to_string(tests) + "\" failures=\"" + std::to_string(failures) + "\" errors=\"" +
           std::to_string(errors) + "\" time=\"" + seconds(allSeconds) + "\">\n" + body +
           "</testsuites>\n";
}

std::string renderReport(const Suite& suite, const std::vector<SubmissionResult>& results,
                         const ReportOptions& options) {
    switch (options.format) {
        case Format::Json: return jsonReport(suite, results, options);
        case Format::Csv: return csvReport(suite, results);
        case Format::Junit: return junitReport(suite, results, options);
        case Format::Gradescope: return gradescopeReport(suite, results, options);
        default: return textReport(suite, results, options);
    }
}

// ---- the playground's assignment ----------------------------------------------------------

// A test's texts go out byte for byte or not at all: a replaced byte would change what the
// page expects, and so its outcome.
static bool holdsUtf8(const Json& json) {
    return json.dump(-1, ' ', false, Json::error_handler_t::replace) ==
           json.dump(-1, ' ', false, Json::error_handler_t::ignore);
}

std::string renderAssignment(const Suite& suite, std::string* error) {
    Json tests = Json::array();
    for (const TestCase& test : suite.tests) {
        if (test.visibility != Visibility::Visible) continue;
        Json expect = Json::object();
        for (const StateCheck& check : test.checks) expect[check.key] = check.value;
        Json json = {
            {"name", test.name},
            {"title", test.title},
            {"input", test.input},
            {"expected", test.expected},
            {"points", points(test.points)},
            {"max_steps", test.limits.maxSteps},
            {"max_output", test.limits.maxOutput},
            {"seed", test.limits.seed},
            {"compare", test.compare == Compare::Trim ? "trim" : "exact"},
            {"expect", expect},
            {"feedback", test.feedback},
        };
        if (!holdsUtf8(json)) {
            *error = "test " + displayText(test.name) + ": its texts are not UTF-8";
            return "";
        }
        tests.push_back(std::move(json));
    }
    return dump(Json{{"format", "tavro-assignment"}, {"version", 1}, {"tests", tests}});
}

}  // namespace tavro
