// Grading: a submission is loaded and assembled once, then each test runs in a machine of its
// own with the test's standard input, step budget and output cap, and gives one outcome.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
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

// No program source is this large (the machine holds 4 KB): a larger file is not a program,
// and reading it would only cost the grader memory and time.
constexpr uint64_t MAX_SUBMISSION_SIZE = 1 << 20;
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

struct SubmissionResult {
    std::string path;
    std::string file;
    std::vector<std::string> warnings;
    std::vector<TestResult> tests;  // in the suite's order
    int64_t score = 0;              // thousandths of a point, summed exactly
    int64_t maxScore = 0;
    std::string code;             // the machine code, when it assembled (similar.h)
    std::vector<uint16_t> forms;  // its instruction forms
};

struct GradeOptions {
    std::string file;                       // --file: the .tas file to take from a folder
    bool diff = false;                      // fill TestResult::diff
    unsigned jobs = 1;                      // threads
    std::atomic<int>* interrupt = nullptr;  // non-zero: stop at once (Ctrl-C)
};

// Assembles a submission's bytes; path names it in the report.
Submission prepareSubmission(const std::string& path, std::string bytes);
// Reads the submission at path (a .tas file, or a folder holding one; file picks one of
// several) and assembles it.
Submission loadSubmission(const std::string& path, const std::string& file);
// Runs one test of a prepared submission; its captured standard output goes to *output.
TestResult gradeTest(const Submission& submission, const TestCase& test,
                     const GradeOptions& options, std::string* output = nullptr);
// Grades every submission with every test on options.jobs threads, calling progress (tests
// done, tests in all) from this thread now and then; false when interrupted.
bool gradeAll(const Suite& suite, const std::vector<std::string>& paths,
              const GradeOptions& options, std::vector<SubmissionResult>* results,
              const std::function<void(size_t, size_t)>& progress = nullptr);

}  // namespace tavro
