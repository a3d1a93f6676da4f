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

// No program source is this large (the machine holds 4 KB): a larger file is not a program,
// and reading it would only cost the grader memory and time.
constexpr uint64_t MAX_SUBMISSION_SIZE = 1 << 20;

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
