// Judging one test: a submission's bytes assembled as the grader assembles them, and one run
// of one test scored by the grader's rules (outcome, points, detail, diff). Pure: no files, no
// threads, so that tavro-grade and the playground judge with this very code. The records of a
// test are here too; tavro-grade reads them from a suite, the page from an assignment.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "asm/passes.h"
#include "engine/compare.h"

namespace tavro {

// Who sees a test's result on a platform that can hide it (the gradescope report).
enum class Visibility : uint8_t { Visible, Hidden, AfterDueDate, AfterPublished };
inline constexpr const char* VISIBILITY_NAMES[] = {"visible", "hidden", "after_due_date",
                                                   "after_published"};

// What one run of a test may take.
struct Limits {
    uint64_t maxSteps = 10'000'000;  // instructions; a run that reaches them is a step-limit
    uint64_t maxOutput = 1 << 20;    // bytes of standard output, closing line included
    uint32_t seed = 1;               // the random port's seed
};

// A final-state check: a register, or the word at a label, must hold value.
struct StateCheck {
    std::string key;    // as suite.toml names it
    int registerIndex;  // AX..DX as 0..3, or -1 for a label
    int16_t value;
};

// One test: what its run is given, what it must give, and what it is worth.
struct TestCase {
    std::string name;
    std::string expected;   // NAME.out
    std::string input;      // NAME.in, or empty
    int64_t points = 1000;  // thousandths of a point: exact decimals with up to three places
    Limits limits;
    Compare compare = Compare::Exact;
    std::vector<StateCheck> checks;
    std::string title;     // a display name, or empty (the name is shown)
    std::string feedback;  // shown with a failed test, or empty
    Visibility visibility = Visibility::Visible;
};

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
    ProgramPtr program;                 // null when the submission could not be read
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
