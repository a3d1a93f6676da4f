// tavro-grade: a class's submissions against a suite of tests, in one command. The command
// line is read with CLI11; the grade module does the work; the report is written only when
// grading is complete, to standard output in one piece or to --output through a temporary file
// renamed into place. Ctrl-C sets the one global, which every run sees at its next taken jump:
// grading stops at once and nothing is written.
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <thread>

#include "grade/grade.h"
#include "grade/report.h"

namespace {

std::atomic<int> interruptRequested{0};
static_assert(std::atomic<int>::is_always_lock_free, "written by a signal handler");

void onInterrupt(int) { interruptRequested.store(1); }

int fail(const std::string& message) {
    std::fprintf(stderr, "tavro-grade: %s\n", message.c_str());
    return 1;
}

bool writeAll(int fd, std::string_view text) {
    while (!text.empty()) {
        ssize_t n = write(fd, text.data(), text.size());
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        text.remove_prefix(static_cast<size_t>(n));
    }
    return true;
}

// Ends the process as an interrupted one, after removing an unfinished report.
[[noreturn]] void endInterrupted(const std::string& temporary) {
    if (!temporary.empty()) unlink(temporary.c_str());
    std::fputs("\ntavro-grade: interrupted; no report written\n", stderr);
    signal(SIGINT, SIG_DFL);
    raise(SIGINT);
    _exit(130);
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
        "scores; 1 for a usage error or an unreadable suite.\n");
    std::string suitePath, outputPath, file, format = "text";
    std::vector<std::string> submissions;
    Limits limits;
    unsigned jobs = std::max(1u, std::thread::hardware_concurrency());
    bool diff = false;
    app.add_option("SUITE", suitePath, "Folder of tests")->required();
    app.add_option("SUBMISSION", submissions, "A .tas file, or a folder holding one")->required();
    CLI::Validator positive = CLI::Range(uint64_t{1}, UINT64_MAX).description("");
    app.add_option("--max-steps", limits.maxSteps, "Steps a run may take")
        ->type_name("N")
        ->check(positive)
        ->capture_default_str();
    app.add_option("--max-output", limits.maxOutput, "Bytes of output a run may write")
        ->type_name("BYTES")
        ->check(positive)
        ->capture_default_str();
    app.add_option("--seed", limits.seed, "Seed of the random port")
        ->type_name("S")
        ->capture_default_str();
    app.add_option("--jobs", jobs, "Threads that grade (default: the cores)")
        ->type_name("N")
        ->check(CLI::Range(1u, 1024u).description(""));
    app.add_option("--format", format, "text, json, csv, junit or gradescope")
        ->type_name("FORMAT")
        ->check(CLI::IsMember({"text", "json", "csv", "junit", "gradescope"}))
        ->capture_default_str();
    app.add_option("--output", outputPath, "Write the report to FILE (atomically)")
        ->type_name("FILE");
    app.add_option("--file", file, "The .tas file to grade in a folder that holds several")
        ->type_name("NAME");
    app.add_flag("--diff", diff, "Show the first differing lines of each wrong output");
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& error) {
        return app.exit(error) == 0 ? 0 : 1;
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
    if (report.format == Format::Gradescope && submissions.size() != 1) {
        return fail("--format gradescope reports one submission; " +
                    std::to_string(submissions.size()) + " were given");
    }

    SuiteLoad load = loadSuite(suitePath, limits);
    if (!load.error.empty()) return fail(load.error);

    // The temporary file is made before grading, so that a report that cannot be written is
    // known before the class is graded; it is renamed into place only when complete.
    std::string temporary;
    int outputFd = 1;
    if (!outputPath.empty()) {
        temporary = outputPath + ".XXXXXX";
        outputFd = mkstemp(temporary.data());
        if (outputFd < 0) return fail(outputPath + ": " + std::strerror(errno));
        mode_t mask = umask(0);
        umask(mask);
        fchmod(outputFd, 0666 & ~mask);
    }

    struct sigaction action {};
    action.sa_handler = onInterrupt;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);

    GradeOptions options;
    options.file = file;
    options.diff = diff;
    options.jobs = jobs;
    options.interrupt = &interruptRequested;
    bool progress = isatty(2) != 0;
    std::vector<SubmissionResult> results;
    bool complete = gradeAll(load.suite, submissions, options, &results,
                             progress ? showProgress : std::function<void(size_t, size_t)>());
    if (progress) std::fputs("\r\033[K", stderr);
    if (!complete) endInterrupted(temporary);

    std::string text = renderReport(load.suite, results, report);
    bool written = writeAll(outputFd, text);
    if (!temporary.empty()) {
        if (interruptRequested.load() != 0) endInterrupted(temporary);  // before the rename
        written = fsync(outputFd) == 0 && close(outputFd) == 0 && written &&
                  rename(temporary.c_str(), outputPath.c_str()) == 0;
        if (!written) {
            int error = errno;
            unlink(temporary.c_str());
            return fail(outputPath + ": " + std::strerror(error));
        }
    } else if (!written) {
        return fail(std::string("standard output: ") + std::strerror(errno));
    }
    return 0;
}
