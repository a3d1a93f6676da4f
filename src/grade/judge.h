// Judging one test: a submission's bytes assembled as the grader assembles them, and one run
// of one test scored by the grader's rules (outcome, points, detail, diff). Pure: no files, no
// threads, so that the playground's engine judges with this very code.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "engine/engine.h"
#include "grade/suite.h"

namespace tavro {

// ORDER OUTCOME: reports list outcomes in this order.
enum class Outcome : uint8_t {
    Pass,
    WrongOutput,
    StateMismatch,
    AssemblyError,
    RuntimeError,
    StepLimit,
    OutputLimit,
    Unreadable,
};
constexpr int OUTCOME_COUNT = 8;

inline constexpr const char* OUTCOME_NAMES[OUTCOME_COUNT] = {
    "pass",          "wrong-output", "state-mismatch", "assembly-error",
    "runtime-error", "step-limit",   "output-limit",   "unreadable",
};

// At most this many undefined-label warnings are kept per submission; the rest are counted.
constexpr size_t MAX_WARNINGS = 100;

struct TestResult {
    Outcome outcome = Outcome::Pass;
    uint64_t steps = 0;        // instructions executed
    uint64_t outputBytes = 0;  // bytes of standard output the run wrote (or tried to)
    int64_t score = 0;         // thousandths of a point: the test's points on a pass, else 0
    int64_t maxScore = 0;      // thousandths of a point: the test's points
    double seconds = 0;        // the run's wall-clock time (reports only; never decides)
    std::string detail;        // the message, the status or the first difference; "" on a pass
    int32_t line = 0;          // assembly-error, runtime-error: the 1-based source line, or 0;
                               // for an error outside the program, the line that went there
    int32_t ip = -1;           // runtime-error: the address of the failing instruction
    std::string message;       // assembly-error: the first message as tavro prints it
    std::string status;        // runtime-error: the status as tavro's closing line prints it
    std::string diff;          // wrong-output with the diff asked for: the differing lines
};

// A submission ready for its tests: loaded and assembled, or the reason why every test fails.
struct Submission {
    std::string path;                 // as given
    std::string file;                 // the .tas file read, or "" when none could be chosen
    Outcome failure = Outcome::Pass;  // Unreadable or AssemblyError: every test has it
    std::string detail;
    int32_t line = 0;
    std::string message;
    std::vector<std::string> warnings;  // tavro's undefined-label lines, without line ends
    Program program;
};

// Assembles a submission's bytes; path names it in the report.
Submission prepareSubmission(const std::string& path, std::string bytes);
// Runs one test of a prepared submission and judges it; the diff is filled when wanted, a
// non-zero *interrupt stops the run at once, and the captured standard output goes to *output.
TestResult judgeTest(const Submission& submission, const TestCase& test, bool diff,
                     std::atomic<int>* interrupt = nullptr, std::string* output = nullptr);
// The register a state check's key names (AX..DX as 0..3, in any case), or -1 for a label.
int checkRegister(std::string_view key);

}  // namespace tavro
