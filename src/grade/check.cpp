// The suite check. What it warns about is what makes a right program fail, or pass by luck:
// an expected output saved with CR LF or without its last line end (tavro writes LF and ends
// every run with a whole line), and a test that the model passes only because of trim. The
// loading warnings (unknown keys, a NAME.in alone) come from the lenient suite load.
#include "grade/check.h"

#include "engine/engine.h"

namespace tavro {

// Lines of a detail or diff: the first after first, the others after prefix.
static std::string indent(const std::string& text, const char* first, const char* prefix) {
    std::string out = first;
    for (char c : text) {
        out += c;
        if (c == '\n') out += prefix;
    }
    while (!out.empty() && (out.back() == ' ' || out.back() == '\n')) out.pop_back();
    return out + "\n";
}

SuiteCheck checkSuite(const SuiteLoad& load, const Submission& model, const GradeOptions& options) {
    SuiteCheck check;
    std::vector<std::string> warnings = load.warnings;
    GradeOptions own = options;
    own.diff = true;
    size_t passes = 0;
    for (const TestCase& test : load.suite.tests) {
        std::string output;
        TestResult result = gradeTest(model, test, own, &output);
        std::string name = displayText(test.name);
        bool ran =
            result.outcome != Outcome::AssemblyError && result.outcome != Outcome::Unreadable;
        bool exactly = compareOutput(test.expected, output, Compare::Exact, false).equal;
        if (result.outcome == Outcome::Pass) {
            passes++;
            check.report += name + ": pass\n";
            if (test.compare == Compare::Trim && !exactly) {
                warnings.push_back(name + ": the model passes only because compare = \"trim\"");
            }
        } else {
            check.passed = false;
            check.report += name + ": " + OUTCOME_NAMES[static_cast<int>(result.outcome)] +
                            indent(result.detail, ": ", "    ");
            if (!result.diff.empty()) check.report += indent(result.diff, "      ", "      ");
            if (result.outcome == Outcome::WrongOutput && test.compare == Compare::Exact &&
                compareOutput(test.expected, output, Compare::Trim, false).equal) {
                check.report += "    (it would pass with compare = \"trim\")\n";
            }
        }
        if (!ran) continue;
        const std::string& expected = test.expected;
        if (expected.find("\r\n") != std::string::npos &&
            output.find("\r\n") == std::string::npos) {
            warnings.push_back(name + ".out has CR LF line ends; the model's output has LF alone");
        }
        if (!expected.empty() && expected.back() != '\n' && !output.empty() &&
            output.back() == '\n') {
            warnings.push_back(name + ".out has no line end after its last line; the model's " +
                               "output has one");
        }
    }
    for (const std::string& warning : warnings)
        check.report += "warning: " + safeText(warning) + "\n";
    size_t count = load.suite.tests.size();
    check.report += "the model passes " + std::to_string(passes) + " of " + std::to_string(count) +
                    " test" + (count == 1 ? "" : "s") + "; " + std::to_string(warnings.size()) +
                    " warning" + (warnings.size() == 1 ? "" : "s") + "\n";
    return check;
}

}  // namespace tavro
