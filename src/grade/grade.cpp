// Grading submissions. A test is a counted run, run(machine, max_steps), with the whole NAME.in
// given at once and its end declared, so it ends exactly as `tavro SUBMISSION < NAME.in` would;
// the output sink is line-flushed so that the line that crosses max_output stops the run. The
// pool hands out (submission, test) pairs in submission order: a submission is assembled by
// the first thread that needs it and freed after its last test, so memory stays bounded by the
// number of threads, not the size of the class.
#include "grade/grade.h"

#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <memory>
#include <mutex>
#include <thread>

#include "grade/compare.h"
#include "grade/similar.h"
#include "grade/text.h"

namespace tavro {

static Submission unreadable(const std::string& path, std::string detail) {
    Submission submission;
    submission.path = path;
    submission.failure = Outcome::Unreadable;
    submission.detail = std::move(detail);
    return submission;
}

Submission prepareSubmission(const std::string& path, std::string bytes) {
    if (bytes.empty()) return unreadable(path, "empty file");  // tavro refuses it too
    AssembleOptions options;
    options.keepDiagnostics = 1;  // the first message is all a report shows
    Submission submission;
    submission.path = path;
    submission.program = assemble(std::string_view(bytes), options);
    const Program& program = submission.program;
    for (const UndefinedLabel& label : program.undefinedLabels) {
        if (submission.warnings.size() == MAX_WARNINGS) {
            submission.warnings.push_back(
                "... and " + std::to_string(program.undefinedLabels.size() - MAX_WARNINGS) +
                " more undefined labels");
            break;
        }
        std::string text = renderUndefinedLabel(label);
        text.pop_back();
        submission.warnings.push_back(displayText(text));
    }
    if (runnable(program)) return submission;
    submission.failure = Outcome::AssemblyError;
    if (!program.diagnostics.empty()) {
        submission.message = program.diagnostics[0].message;
        submission.line = program.diagnostics[0].line;
    } else {  // " ... Memory area is too large.\n"
        std::string_view message = tooLargeMessage();
        message.remove_prefix(message.find_first_not_of(" ."));
        message.remove_suffix(1);
        submission.message = message;
        submission.line = program.tooLargeLine;
    }
    submission.detail = "line " + std::to_string(submission.line) + ": " + submission.message;
    return submission;
}

// The .tas file to read for a submission that is a folder, or "" with *why set.
static std::string chooseFile(const std::string& folder, const std::string& file,
                              std::string* why) {
    namespace fs = std::filesystem;
    if (!file.empty()) {
        std::error_code error;
        std::string path = folder + "/" + file;
        if (!fs::exists(path, error) && file.find('.') == std::string::npos) path += ".tas";
        return path;
    }
    std::vector<std::string> names;
    std::error_code error;
    for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
        if (it->path().extension() == ".tas") names.push_back(it->path().filename().string());
    }
    std::sort(names.begin(), names.end());
    if (error) {
        *why = error.message();
    } else if (names.empty()) {
        *why = "no .tas file in this folder";
    } else if (names.size() > 1) {
        *why = "several .tas files (" + displayText(names[0]) + ", " + displayText(names[1]) +
               (names.size() > 2 ? ", ..." : "") + "): choose one with --file";
    } else {
        return folder + "/" + names[0];
    }
    return "";
}

Submission loadSubmission(const std::string& path, const std::string& file) {
    struct stat status;
    std::string chosen = path;
    if (stat(path.c_str(), &status) == 0 && S_ISDIR(status.st_mode)) {
        std::string folder = path;
        while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
        std::string why;
        chosen = chooseFile(folder, file, &why);
        if (chosen.empty()) return unreadable(path, why);
    }
    std::string bytes;
    std::string why = readFile(chosen, MAX_SUBMISSION_SIZE, &bytes);
    Submission submission = why.empty() ? prepareSubmission(path, std::move(bytes))
                                        : unreadable(path, displayText(chosen) + ": " + why);
    submission.file = chosen;
    return submission;
}

// The final-state checks that fail, as "AX = 41, expected 42; ...", or "".
static std::string checkState(const Machine& m, const Program& program, const TestCase& test) {
    std::string failures;
    for (const StateCheck& check : test.checks) {
        std::string failure;
        if (check.registerIndex >= 0) {
            int16_t value = m.state.regs[check.registerIndex];
            if (value != check.value) {
                failure = std::string(REGISTER_NAMES[check.registerIndex]) + " = " +
                          std::to_string(value) + ", expected " + std::to_string(check.value);
            }
        } else if (const Symbol* symbol = findSymbol(program, check.key)) {
            int16_t value = wordAt(m, static_cast<uint32_t>(symbol->value));
            if (value != check.value) {
                failure = check.key + " = " + std::to_string(value) + ", expected " +
                          std::to_string(check.value);
            }
        } else {
            failure = check.key + ": no such label";
        }
        if (!failure.empty()) failures += (failures.empty() ? "" : "; ") + failure;
    }
    return failures;
}

// The line of the last instruction executed inside the program before a run that failed
// outside it (ip past the code): the jump, call or return that went there, or 0. The run is
// repeated on a quiet machine with the same input and seed, which takes the same path, up to
// just before its end, then stepped.
static int32_t lineThatLeft(const Program& program, const TestCase& test, uint64_t steps) {
    MachineOptions machineOptions;
    machineOptions.seed = test.limits.seed;
    Machine m = makeMachine(program, machineOptions);
    giveInput(m, test.input);
    endInput(m);
    if (steps > 2 && run(m, steps - 2) != StopReason::Budget) return 0;
    int32_t line = 0;
    for (int guard = 0; guard < 4 && m.state.status == RunStatus::Running; guard++) {
        uint32_t ip = m.state.ip;
        if (ip < MEMORY_SIZE && program.addressLine[ip] > 0) line = program.addressLine[ip];
        if (step(m) == StopReason::Ended) break;
    }
    return line;
}

static TestResult runTest(const Submission& submission, const TestCase& test,
                          const GradeOptions& options, std::string* output) {
    TestResult result;
    result.maxScore = test.points;
    if (submission.failure != Outcome::Pass) {
        result.outcome = submission.failure;
        result.detail = submission.detail;
        result.line = submission.line;
        result.message = submission.message;
        return result;
    }
    const Program& program = submission.program;
    MachineOptions machineOptions;
    machineOptions.seed = test.limits.seed;
    Machine m = makeMachine(program, machineOptions);
    std::string captured;
    uint64_t limit = test.limits.maxOutput;
    m.out = makeSink(
        [&captured, limit](std::string_view bytes) {
            if (bytes.size() > limit - captured.size()) return false;
            captured.append(bytes);
            return true;
        },
        SinkFlush::Lines, 4096);
    if (options.interrupt != nullptr) m.stop = options.interrupt;
    giveInput(m, test.input);
    endInput(m);
    StopReason reason = run(m, test.limits.maxSteps);
    drainSink(m.out);
    result.steps = m.steps;
    result.outputBytes = outputBytes(m);
    if (output != nullptr) *output = captured;
    if (reason == StopReason::StopRequested) {
        options.interrupt->store(1);  // the run took the request; the other threads need it too
        return result;
    }
    // How far a failed run got: its last lines of output, below the detail.
    auto lastOutput = [&captured] { return "\nlast output:\n" + outputTail(captured); };
    if (m.out.failed) {
        result.outcome = Outcome::OutputLimit;
        result.detail = "more than " + std::to_string(limit) + " bytes of output" + lastOutput();
        return result;
    }
    if (reason == StopReason::Budget) {
        result.outcome = Outcome::StepLimit;
        result.detail = "still running after " + std::to_string(m.steps) + " steps" + lastOutput();
        return result;
    }
    Difference difference = compareOutput(test.expected, captured, test.compare, options.diff);
    if (reason == StopReason::Ended && m.state.status != RunStatus::Halt && !difference.equal) {
        result.outcome = Outcome::RuntimeError;
        result.status = RUN_STATUS_TEXTS[static_cast<int>(m.state.status)];
        result.ip = static_cast<int32_t>(m.state.ip);
        result.detail = result.status + " at ip=" + std::to_string(result.ip);
        if (m.state.ip < MEMORY_SIZE) result.line = program.addressLine[m.state.ip];
        bool outside = result.line == 0;
        if (outside) result.line = lineThatLeft(program, test, m.steps);
        if (result.line > 0) {
            std::string_view text = lineText(program, result.line);
            text.remove_prefix(std::min(text.size(), text.find_first_not_of(" \t")));
            result.detail += std::string(outside ? ", reached from line " : ", line ") +
                             std::to_string(result.line) + ": " + quoteText(text);
        }
        result.detail += lastOutput();
        return result;
    }
    if (reason != StopReason::Ended) {  // NeedInput cannot follow endInput; kept honest anyway
        result.outcome = Outcome::RuntimeError;
        result.detail = "the run stopped without ending";
        return result;
    }
    if (!difference.equal) {
        result.outcome = Outcome::WrongOutput;
        result.detail = difference.detail + lastOutput();
        result.diff = difference.diff;
        return result;
    }
    std::string failures = checkState(m, program, test);
    if (!failures.empty()) {
        result.outcome = Outcome::StateMismatch;
        result.detail = failures;
        return result;
    }
    result.score = test.points;
    return result;
}

TestResult gradeTest(const Submission& submission, const TestCase& test,
                     const GradeOptions& options, std::string* output) {
    auto start = std::chrono::steady_clock::now();
    TestResult result = runTest(submission, test, options, output);
    result.seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    return result;
}

namespace {

// One submission while its tests run.
struct Slot {
    std::once_flag loaded;
    std::unique_ptr<Submission> submission;
    std::atomic<size_t> remaining{0};  // tests still to run; the last one frees the submission
};

bool interrupted(const GradeOptions& options) {
    return options.interrupt != nullptr && options.interrupt->load() != 0;
}

}  // namespace

bool gradeAll(const Suite& suite, const std::vector<std::string>& paths,
              const GradeOptions& options, std::vector<SubmissionResult>* results,
              const std::function<void(size_t, size_t)>& progress) {
    size_t testCount = suite.tests.size();
    size_t total = paths.size() * testCount;
    results->assign(paths.size(), SubmissionResult{});
    std::vector<Slot> slots(paths.size());
    for (size_t s = 0; s < paths.size(); s++) {
        (*results)[s].tests.resize(testCount);
        slots[s].remaining = testCount;
    }
    std::atomic<size_t> next{0}, done{0};
    std::mutex mutex;
    std::condition_variable finished;
    size_t running = std::clamp<size_t>(options.jobs, 1, std::max<size_t>(total, 1));

    auto work = [&] {
        for (size_t i; !interrupted(options) && (i = next.fetch_add(1)) < total;) {
            size_t s = i / testCount, t = i % testCount;
            Slot& slot = slots[s];
            SubmissionResult& result = (*results)[s];
            std::call_once(slot.loaded, [&] {
                slot.submission =
                    std::make_unique<Submission>(loadSubmission(paths[s], options.file));
                result.path = paths[s];
                result.file = slot.submission->file;
                result.warnings = slot.submission->warnings;
                if (slot.submission->failure == Outcome::Pass) {
                    takeFingerprint(slot.submission->program, &result);
                }
            });
            result.tests[t] = gradeTest(*slot.submission, suite.tests[t], options);
            if (slot.remaining.fetch_sub(1) == 1) slot.submission.reset();
            done.fetch_add(1);
        }
        std::lock_guard<std::mutex> lock(mutex);
        running--;
        finished.notify_one();
    };
    std::vector<std::thread> threads;
    for (size_t k = running; k > 0; k--) threads.emplace_back(work);
    {
        std::unique_lock<std::mutex> lock(mutex);
        while (running > 0) {
            finished.wait_for(lock, std::chrono::milliseconds(100));
            if (progress && running > 0) progress(done.load(), total);
        }
    }
    for (std::thread& thread : threads) thread.join();
    if (interrupted(options)) return false;
    for (SubmissionResult& result : *results) {
        for (const TestResult& test : result.tests) {
            result.score += test.score;
            result.maxScore += test.maxScore;
        }
    }
    return true;
}

}  // namespace tavro
