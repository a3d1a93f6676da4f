// Reading a report back. The json report is the one format that holds everything the other
// reports are rendered from (but run times), so a merged report in any format is the report a
// full regrade would give. Paths come back through undisplayText, details without the
// feedback that the report added to them; anything that does not fit this suite's tests (a
// name, a number of tests, a test's points) is refused rather than merged into a wrong report.
#include "grade/merge.h"

#include <sys/stat.h>

#include <nlohmann/json.hpp>

#include "grade/similar.h"
#include "engine/engine.h"

namespace tavro {

using Json = nlohmann::json;

namespace {

bool isText(const Json& object, const char* key) {
    return object.contains(key) && object[key].is_string();
}

bool isCount(const Json& object, const char* key) {
    return object.contains(key) && object[key].is_number_unsigned();
}

// Points as the report writes them, back to thousandths.
bool readPoints(const Json& object, const char* key, int64_t* thousandths) {
    return object.contains(key) && object[key].is_number() &&
           pointsFromNumber(object[key].get<double>(), thousandths);
}

std::string readTest(const Json& json, const TestCase& test, TestResult* result) {
    std::string name = displayText(test.name);
    if (!json.is_object() || !isText(json, "name") || json["name"] != name) {
        return "its tests are not this suite's (expected " + name + ")";
    }
    std::string why = "test " + name + ": a field is missing or of the wrong type";
    if (!isText(json, "outcome") || !isCount(json, "steps") || !isCount(json, "output_bytes") ||
        !isText(json, "detail") || !readPoints(json, "score", &result->score) ||
        !readPoints(json, "max_score", &result->maxScore)) {
        return why;
    }
    int outcome = -1;
    for (int k = 0; k < OUTCOME_COUNT; k++) {
        if (json["outcome"] == OUTCOME_NAMES[k]) outcome = k;
    }
    if (outcome < 0) return "test " + name + ": unknown outcome";
    if (result->maxScore != test.points) return "test " + name + " is worth other points now";
    result->outcome = static_cast<Outcome>(outcome);
    result->steps = json["steps"].get<uint64_t>();
    result->outputBytes = json["output_bytes"].get<uint64_t>();
    result->detail = json["detail"].get<std::string>();
    std::string feedback = "\nfeedback: " + displayText(test.feedback);
    if (result->outcome != Outcome::Pass && !test.feedback.empty() &&
        result->detail.ends_with(feedback)) {
        result->detail.resize(result->detail.size() - feedback.size());
    }
    if (json.contains("line") && json["line"].is_number_integer()) {
        result->line = json["line"].get<int32_t>();
    }
    if (isText(json, "message")) result->message = json["message"].get<std::string>();
    if (isText(json, "status")) result->status = json["status"].get<std::string>();
    if (json.contains("ip") && json["ip"].is_number_integer()) {
        result->ip = json["ip"].get<int32_t>();
    }
    if (isText(json, "diff")) result->diff = json["diff"].get<std::string>();
    return "";
}

std::string readSubmission(const Json& json, const Suite& suite, SubmissionResult* result) {
    if (!json.is_object() || !isText(json, "path") || !isText(json, "file") ||
        !json.contains("warnings") || !json["warnings"].is_array() || !json.contains("tests") ||
        !json["tests"].is_array()) {
        return "a submission lacks path, file, warnings or tests";
    }
    result->path = undisplayText(json["path"].get<std::string>());
    result->file = undisplayText(json["file"].get<std::string>());
    std::string shown = displayText(result->path);
    for (const Json& warning : json["warnings"]) {
        if (!warning.is_string()) return shown + ": a warning is not a string";
        result->warnings.push_back(warning.get<std::string>());
    }
    const Json& tests = json["tests"];
    if (tests.size() != suite.tests.size()) {
        return shown + ": " + std::to_string(tests.size()) + " tests, where the suite has " +
               std::to_string(suite.tests.size());
    }
    result->tests.resize(tests.size());
    for (size_t t = 0; t < tests.size(); t++) {
        std::string why = readTest(tests[t], suite.tests[t], &result->tests[t]);
        if (!why.empty()) return shown + ": " + why;
        result->score += result->tests[t].score;
        result->maxScore += result->tests[t].maxScore;
    }
    return "";
}

// The same submission: the same path, or two paths of one file or folder.
bool sameSubmission(const std::string& a, const std::string& b) {
    if (a == b) return true;
    struct stat one, two;
    return stat(a.c_str(), &one) == 0 && stat(b.c_str(), &two) == 0 && one.st_dev == two.st_dev &&
           one.st_ino == two.st_ino;
}

}  // namespace

std::string readReport(std::string_view text, const Suite& suite,
                       std::vector<SubmissionResult>* results) {
    Json json = Json::parse(text, nullptr, false);
    if (json.is_discarded()) return "not JSON";
    if (!json.is_object() || !json.contains("submissions") || !json["submissions"].is_array()) {
        return "not a json report of tavro-grade (no submissions)";
    }
    results->clear();
    for (const Json& submission : json["submissions"]) {
        results->emplace_back();
        std::string why = readSubmission(submission, suite, &results->back());
        if (!why.empty()) return why;
    }
    return "";
}

std::vector<SubmissionResult> mergeResults(std::vector<SubmissionResult> earlier,
                                           std::vector<SubmissionResult> now) {
    for (SubmissionResult& result : now) {
        bool placed = false;
        for (SubmissionResult& old : earlier) {
            if (!placed && sameSubmission(old.path, result.path)) {
                old = std::move(result);
                placed = true;
            }
        }
        if (!placed) earlier.push_back(std::move(result));
    }
    return earlier;
}

void refingerprint(std::vector<SubmissionResult>* results, const std::string& file) {
    for (SubmissionResult& result : *results) {
        if (!result.code.empty() || result.tests.empty() ||
            result.tests[0].outcome == Outcome::AssemblyError ||
            result.tests[0].outcome == Outcome::Unreadable) {
            continue;
        }
        Submission submission = loadSubmission(result.path, file);
        if (submission.failure == Outcome::Pass) takeFingerprint(*submission.program, &result);
    }
}

}  // namespace tavro
