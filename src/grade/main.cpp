// tavro-grade: a class's submissions against a suite of tests, in one command. The command
// line is read with CLI11; the grade module does the work; the report is written only when
// grading is complete, to standard output in one piece or to --output as files.h decides.
// Ctrl-C (or SIGTERM, SIGHUP) sets the one global, which every run sees at its next taken jump:
// grading stops at once, nothing is written and the temporary file is removed.
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <thread>

#include "grade/check.h"
#include "grade/files.h"
#include "grade/grade.h"
#include "grade/merge.h"
#include "grade/report.h"
#include "engine/engine.h"

namespace {

// The signal flag: stop, which the runs watch (and which a run that stops for it clears and
// the grader sets again), and the signal that set it, to end with.
struct Interruption {
    std::atomic<int> stop{0};
    std::atomic<int> signal{0};
};
Interruption interruption;
static_assert(std::atomic<int>::is_always_lock_free, "written by a signal handler");

void onInterrupt(int sig) {
    interruption.signal.store(sig);
    interruption.stop.store(1);
}

int fail(const std::string& message) {
    std::fprintf(stderr, "tavro-grade: %s\n", message.c_str());
    return 1;
}

// Ends the process as one killed by the signal that interrupted it, after removing an
// unfinished report.
[[noreturn]] void endInterrupted(tavro::OutputTarget* target) {
    tavro::abandonOutput(target);
    std::fputs("\ntavro-grade: interrupted; no report written\n", stderr);
    int sig = interruption.signal.load();
    if (sig == 0) sig = SIGINT;
    signal(sig, SIG_DFL);
    raise(sig);
    _exit(128 + sig);
}

// A check that a value is a plain decimal from low to high: CLI11's own conversion takes -1
// as 2^64 - 1 and wraps numbers that are too large.
CLI::Validator countFrom(uint64_t low, uint64_t high) {
    return CLI::Validator(
        [low, high](std::string& text) {
            uint64_t value = 0;
            if (tavro::parseCount(text, low, high, &value)) return std::string();
            return "must be an integer from " + std::to_string(low) + " to " + std::to_string(high);
        },
        "");
}

void showProgress(size_t done, size_t total) {
    constexpr size_t WIDTH = 40;
    size_t filled = total == 0 ? WIDTH : done * WIDTH / total;
    std::fprintf(stderr, "\r[%s%s] %zu/%zu tests", std::string(filled, '#').c_str(),
                 std::string(WIDTH - filled, '.').c_str(), done, total);
    std::fflush(stderr);
}

}  // namespace

int main(int argc, char** argv) {
    using namespace tavro;
    CLI::App app{"Grades Tavro submissions against a suite of tests.", "tavro-grade"};
    app.set_version_flag("--version", "tavro-grade " TAVRO_VERSION);
    app.footer(
        "SUITE holds NAME.out (expected standard output), NAME.in (standard input) and an\n"
        "optional suite.toml. Exit status: 0 when every submission was graded, whatever the\n"
        "scores; 1 for a usage error or an unreadable suite. With --check: 0 when the model\n"
        "passes every test, 1 otherwise.\n");
    std::string suitePath, outputPath, mergePath, file, format = "text";
    std::vector<std::string> submissions;
    Limits limits;
    unsigned jobs = std::max(1u, std::thread::hardware_concurrency());
    bool diff = false, check = false, exportSuite = false;
    app.add_option("SUITE", suitePath, "Folder of tests")->required();
    CLI::Option* submissionOption =
        app.add_option("SUBMISSION", submissions, "A .tas file, or a folder holding one")
            ->required();
    app.add_option("--max-steps", limits.maxSteps, "Steps a run may take")
        ->type_name("N")
        ->check(countFrom(1, INT64_MAX))
        ->capture_default_str();
    app.add_option("--max-output", limits.maxOutput, "Bytes of output a run may write")
        ->type_name("BYTES")
        ->check(countFrom(1, INT64_MAX))
        ->capture_default_str();
    app.add_option("--seed", limits.seed, "Seed of the random port")
        ->type_name("S")
        ->check(countFrom(0, UINT32_MAX))
        ->capture_default_str();
    app.add_option("--jobs", jobs, "Threads that grade (default: the cores)")
        ->type_name("N")
        ->check(countFrom(1, 1024));
    app.add_option("--format", format, "text, json, csv, junit or gradescope")
        ->type_name("FORMAT")
        ->check(CLI::IsMember({"text", "json", "csv", "junit", "gradescope"}))
        ->capture_default_str();
    app.add_option("--output", outputPath, "Write the report to FILE (atomically)")
        ->type_name("FILE")
        ->check(CLI::Validator(
            [](std::string& text) { return text.empty() ? "a file name is needed" : ""; }, ""));
    app.add_option("--merge", mergePath,
                   "Take this earlier json report and regrade only the SUBMISSIONs in it")
        ->type_name("REPORT")
        ->check(CLI::Validator(
            [](std::string& text) { return text.empty() ? "a file name is needed" : ""; }, ""));
    app.add_option("--file", file, "The .tas file to grade in a folder that holds several")
        ->type_name("NAME");
    app.add_flag("--diff", diff, "Show the first differing lines of each wrong output");
    app.add_flag("--check", check, "Check the suite against one model answer, the SUBMISSION");
    // --export takes the suite alone: seen, it lifts SUBMISSION's requirement before CLI11
    // checks requirements at the end of the parse.
    app.add_flag("--export", exportSuite,
                 "Write the suite's visible tests as JSON for the playground, and no grades")
        ->trigger_on_parse()
        ->each([submissionOption](const std::string&) { submissionOption->required(false); });
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& error) {
        return app.exit(error) == 0 ? 0 : 1;
    }
    if (exportSuite) {
        if (!submissions.empty() || check || !mergePath.empty() || !outputPath.empty()) {
            return fail("--export takes the suite alone and writes to standard output");
        }
        SuiteLoad load = loadSuite(suitePath, limits);
        if (!load.error.empty()) return fail(load.error);
        std::string error;
        std::string json = renderAssignment(load.suite, &error);
        if (!error.empty()) return fail(error);
        std::fwrite(json.data(), 1, json.size(), stdout);
        if (std::fflush(stdout) != 0) {
            return fail(std::string("standard output: ") + std::strerror(errno));
        }
        return 0;
    }
    ReportOptions report;
    report.format = format == "json"         ? Format::Json
                    : format == "csv"        ? Format::Csv
                    : format == "junit"      ? Format::Junit
                    : format == "gradescope" ? Format::Gradescope
                                             : Format::Text;
    report.diff = diff;
    const char* noColour = std::getenv("NO_COLOR");
    report.colour = report.format == Format::Text && outputPath.empty() && isatty(1) &&
                    (noColour == nullptr || noColour[0] == '\0');
    std::vector<std::string> repeats;
    submissions = uniqueSubmissions(submissions, &repeats);
    for (const std::string& warning : repeats) {
        std::fprintf(stderr, "tavro-grade: warning: %s\n", warning.c_str());
    }
    if (!mergePath.empty() && (check || report.format == Format::Gradescope)) {
        return fail("--merge makes a class's report: not with --check or --format gradescope");
    }
    if (report.format == Format::Gradescope && submissions.size() != 1) {
        return fail("--format gradescope reports one submission; " +
                    std::to_string(submissions.size()) + " were given");
    }

    if (check && (submissions.size() != 1 || app.count("--format") > 0)) {
        return fail("--check takes one model answer and writes text");
    }

    SuiteLoad load = loadSuite(suitePath, limits, check);
    if (!load.error.empty()) return fail(load.error);
    std::vector<SubmissionResult> earlier;
    if (!mergePath.empty()) {
        std::string bytes;
        std::string why = readFile(mergePath, MAX_REPORT_SIZE, &bytes);
        if (why.empty()) why = readReport(bytes, load.suite, &earlier);
        if (!why.empty()) return fail(displayText(mergePath) + ": " + why);
    }

    OutputTarget target;
    if (!outputPath.empty()) {
        std::string refused = planOutput(outputPath, suitePath, submissions, &target);
        if (!refused.empty()) return fail(refused);
    }
    struct sigaction action {};
    action.sa_handler = onInterrupt;  // no SA_RESTART: a wait on a FIFO ends at the signal
    sigemptyset(&action.sa_mask);
    for (int sig : {SIGINT, SIGTERM, SIGHUP}) sigaction(sig, &action, nullptr);
    // The temporary file is made before grading, so that a report that cannot be written is
    // known before the class is graded; it is renamed into place only when complete.
    std::string unwritable = openOutput(&target);
    if (!unwritable.empty()) return fail(unwritable);

    GradeOptions options;
    options.file = file;
    options.diff = diff;
    options.jobs = jobs;
    options.interrupt = &interruption.stop;
    if (check) {
        Submission model = loadSubmission(submissions[0], file);
        SuiteCheck checked = checkSuite(load, model, options);
        if (interruption.stop.load() != 0) endInterrupted(&target);
        std::string unwritten = finishOutput(&target, checked.report, &interruption.stop);
        if (interruption.stop.load() != 0) endInterrupted(&target);
        if (!unwritten.empty()) {
            abandonOutput(&target);
            return fail(unwritten);
        }
        return checked.passed ? 0 : 1;
    }
    bool progress = isatty(2) != 0;
    std::vector<SubmissionResult> results;
    bool complete = gradeAll(load.suite, submissions, options, &results,
                             progress ? showProgress : std::function<void(size_t, size_t)>());
    if (progress) std::fputs("\r\033[K", stderr);
    if (!complete) endInterrupted(&target);
    if (!mergePath.empty()) {
        results = mergeResults(std::move(earlier), std::move(results));
        refingerprint(&results, file);
    }

    std::string text = renderReport(load.suite, results, report);
    std::string unwritten = finishOutput(&target, text, &interruption.stop);
    if (interruption.stop.load() != 0) endInterrupted(&target);
    if (!unwritten.empty()) {
        abandonOutput(&target);
        return fail(unwritten);
    }
    return 0;
}
