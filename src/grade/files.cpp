// Where the report goes. A report must never destroy what it is written over: a student's
// submission, a suite's expected output, a folder, or a device that a path names (which the
// shell's `>` writes through and never replaces). Everything else is replaced atomically: a
// temporary file in the same folder, renamed over the target only when the report is complete,
// and removed when grading is interrupted.
#include "grade/files.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <utility>

#include "engine/engine.h"

namespace tavro {

namespace fs = std::filesystem;

static bool sameFile(const struct stat& a, const struct stat& b) {
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// The folder part of path ("." for a bare name).
static std::string folderOf(const std::string& path) {
    size_t slash = path.find_last_of('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

// The absolute path of an existing file with every link resolved, or "".
static std::string resolved(const std::string& path) {
    char* real = realpath(path.c_str(), nullptr);
    if (real == nullptr) return "";
    std::string text = real;
    std::free(real);
    return text;
}

// Whether a submission given as path is the file at status, or holds it directly.
static bool isSubmission(const std::string& path, const struct stat& status) {
    struct stat own;
    if (stat(path.c_str(), &own) != 0) return false;
    if (sameFile(own, status)) return true;
    if (!S_ISDIR(own.st_mode)) return false;
    std::error_code error;
    for (fs::directory_iterator it(path, error), end; !error && it != end; it.increment(error)) {
        struct stat entry;
        if (stat(it->path().c_str(), &entry) == 0 && sameFile(entry, status)) return true;
    }
    return false;
}

std::string planOutput(const std::string& path, const std::string& suite,
                       const std::vector<std::string>& submissions, OutputTarget* target) {
    *target = OutputTarget{};
    target->path = path;
    std::string shown = displayText(path);
    struct stat link, status;
    bool exists = lstat(path.c_str(), &link) == 0;
    if (!exists && errno != ENOENT) return shown + ": " + std::strerror(errno);
    if (exists) {
        if (stat(path.c_str(), &status) != 0) {
            return shown + ": a symbolic link to nothing (" + std::strerror(errno) + ")";
        }
        if (S_ISDIR(status.st_mode)) return shown + ": a folder, which a report never replaces";
        if (!S_ISREG(status.st_mode)) {
            target->kind = OutputKind::Through;
            return "";
        }
        target->path = resolved(path);  // a link stays a link: the file it names gets the report
        if (target->path.empty()) return shown + ": " + std::strerror(errno);
        target->mode = status.st_mode & 07777;
    } else {
        mode_t mask = umask(0);
        umask(mask);
        target->mode = 0666 & ~mask;
    }
    target->kind = OutputKind::Atomic;
    std::string folder = resolved(folderOf(target->path));
    if (folder.empty()) return shown + ": " + std::strerror(errno);
    std::string suiteFolder = resolved(suite);
    if (!suiteFolder.empty()) {
        std::string inside = suiteFolder == "/" ? "/" : suiteFolder + "/";
        if (folder == suiteFolder || (folder + "/").starts_with(inside)) {
            return shown + ": inside the suite folder, whose files a report never replaces";
        }
    }
    if (exists) {
        for (const std::string& submission : submissions) {
            if (isSubmission(submission, status)) {
                return shown + ": the submission " + displayText(submission) +
                       ", which a report never replaces";
            }
        }
    }
    return "";
}

std::string openOutput(OutputTarget* target) {
    if (target->kind != OutputKind::Atomic) return "";
    // A hidden name in the same folder: the rename stays on one file system, and a long target
    // name cannot make the temporary name too long.
    std::string temporary = folderOf(target->path) + "/.tavro-grade-XXXXXX";
    int fd = mkstemp(temporary.data());
    if (fd < 0) return displayText(target->path) + ": " + std::strerror(errno);
    target->temporary = temporary;
    target->fd = fd;
    fchmod(fd, static_cast<mode_t>(target->mode));
    return "";
}

// Writes everything, through interrupted writes, unless the interrupt is for the whole command.
static bool writeAll(int fd, std::string_view text, const std::atomic<int>* interrupt) {
    while (!text.empty()) {
        ssize_t n = write(fd, text.data(), text.size());
        if (n < 0 && errno == EINTR && (interrupt == nullptr || interrupt->load() == 0)) continue;
        if (n <= 0) return false;
        text.remove_prefix(static_cast<size_t>(n));
    }
    return true;
}

std::string finishOutput(OutputTarget* target, std::string_view report,
                         const std::atomic<int>* interrupt) {
    if (target->kind == OutputKind::Stdout) {
        if (writeAll(1, report, interrupt)) return "";
        return std::string("standard output: ") + std::strerror(errno);
    }
    if (target->kind == OutputKind::Through) {
        // Opening a FIFO waits for a reader, as the shell's `>` does; a signal ends the wait.
        int fd = open(target->path.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
        bool written = fd >= 0 && writeAll(fd, report, interrupt);
        int error = errno;
        if (fd >= 0 && close(fd) != 0 && written) {
            written = false;
            error = errno;
        }
        return written ? "" : displayText(target->path) + ": " + std::strerror(error);
    }
    bool written = writeAll(target->fd, report, interrupt) && fsync(target->fd) == 0;
    int error = errno;
    if (close(target->fd) != 0 && written) {
        written = false;
        error = errno;
    }
    target->fd = -1;
    if (!written) return displayText(target->path) + ": " + std::strerror(error);
    // The signals that remove the temporary file wait until it is renamed or found interrupted,
    // so that a complete report is never lost between the check and the rename.
    sigset_t signals, previous;
    sigemptyset(&signals);
    for (int sig : {SIGINT, SIGTERM, SIGHUP}) sigaddset(&signals, sig);
    sigprocmask(SIG_BLOCK, &signals, &previous);
    bool renamed = (interrupt == nullptr || interrupt->load() == 0) &&
                   rename(target->temporary.c_str(), target->path.c_str()) == 0;
    error = errno;
    if (renamed) target->temporary.clear();
    sigprocmask(SIG_SETMASK, &previous, nullptr);
    if (renamed) return "";
    return displayText(target->path) + ": " +
           (interrupt != nullptr && interrupt->load() != 0 ? std::string("interrupted")
                                                           : std::string(std::strerror(error)));
}

void abandonOutput(OutputTarget* target) {
    if (target->fd >= 0) close(target->fd);
    target->fd = -1;
    if (!target->temporary.empty()) unlink(target->temporary.c_str());
    target->temporary.clear();
}

std::vector<std::string> uniqueSubmissions(const std::vector<std::string>& paths,
                                           std::vector<std::string>* warnings) {
    std::vector<std::string> unique;
    std::map<std::pair<dev_t, ino_t>, std::string> seen;  // by file: a.tas and ./a.tas are one
    std::map<std::string, bool> missing;                  // by path: what cannot be looked at
    for (const std::string& path : paths) {
        struct stat status;
        std::string first;
        if (stat(path.c_str(), &status) == 0) {
            auto [it, added] = seen.emplace(std::make_pair(status.st_dev, status.st_ino), path);
            if (!added) first = it->second;
        } else if (!missing.emplace(path, true).second) {
            first = path;
        }
        if (first.empty()) {
            unique.push_back(path);
        } else {
            warnings->push_back(displayText(path) + " is the same submission as " +
                                displayText(first) + ": graded once");
        }
    }
    return unique;
}

}  // namespace tavro
