// Grading submissions: reading them from files, and running the tests on a pool of threads
// (each test judged by judge.cpp). The pool hands out (submission, test) pairs in submission order:
// a submission is assembled by the first thread that needs it and freed after its last test, so
// memory stays bounded by the number of threads, not the size of the class.
#include "grade/grade.h"

#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <memory>
#include <mutex>
#include <thread>

#include "engine/engine.h"
#include "grade/similar.h"

namespace tavro {

static Submission unreadable(const std::string& path, std::string detail) {
    Submission submission;
    submission.path = path;
    submission.failure = Outcome::Unreadable;
    submission.detail = std::move(detail);
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

TestResult gradeTest(const Submission& submission, const TestCase& test,
                     const GradeOptions& options, std::string* output) {
    auto start = std::chrono::steady_clock::now();
    TestResult result = judgeTest(submission, test, options.diff, options.interrupt, output);
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
                    takeFingerprint(*slot.submission->program, &result);
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
