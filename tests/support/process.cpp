// Child processes on pipes (or a pseudo-terminal). The test reads the child's output while it
// writes the child's input, so that no child blocks on a full pipe that the test means to drain.
#include "process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <thread>

using Clock = std::chrono::steady_clock;

static int msLeft(Clock::time_point deadline) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    return static_cast<int>(std::max<int64_t>(left.count(), 0));
}

static void makePipe(int fds[2]) {
    if (pipe2(fds, O_CLOEXEC) != 0) std::abort();
}

Child::Child(const std::string& program, const std::vector<std::string>& args,
             const ChildStreams& streams) {
    ::signal(SIGPIPE, SIG_IGN);
    int inPipe[2] = {-1, -1}, outPipe[2], errPipe[2];
    if (!streams.closedInput) makePipe(inPipe);
    if (streams.output == "terminal") {
        // The child writes to the terminal side; the test reads the other side like a pipe.
        int master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
        if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0) std::abort();
        outPipe[0] = master;
        outPipe[1] = open(ptsname(master), O_RDWR | O_NOCTTY | O_CLOEXEC);
        if (outPipe[1] < 0) std::abort();
    } else {
        makePipe(outPipe);
    }
    makePipe(errPipe);
    pid_ = fork();
    if (pid_ == 0) {
        streams.closedInput ? close(0) : dup2(inPipe[0], 0);
        if (streams.output == "closed") {
            close(1);
        } else if (streams.output == "pipe" || streams.output == "terminal") {
            dup2(outPipe[1], 1);
        } else {
            dup2(open(streams.output.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644), 1);
        }
        dup2(streams.mergeErrors ? 1 : errPipe[1], 2);
        std::vector<char*> argv;
        for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        ::signal(SIGPIPE, SIG_DFL);
        execv(program.c_str(), argv.data());
        _exit(127);
    }
    if (inPipe[0] >= 0) close(inPipe[0]);
    close(outPipe[1]);
    close(errPipe[1]);
    in_ = inPipe[1];
    if (in_ >= 0) fcntl(in_, F_SETFL, fcntl(in_, F_GETFL) | O_NONBLOCK);
    out_ = outPipe[0];
    err_ = errPipe[0];
}

Child::~Child() {
    if (pid_ > 0) {
        kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
    }
    for (int fd : {in_, out_, err_}) {
        if (fd >= 0) close(fd);
    }
}

void Child::write(const std::string& text) {
    size_t done = 0;
    while (done < text.size() && in_ >= 0) {
        pollfd writable{in_, POLLOUT, 0};
        if (poll(&writable, 1, 0) <= 0) {
            pump(10);  // the child may be blocked writing until its output is read
            continue;
        }
        ssize_t n = ::write(in_, text.data() + done, std::min<size_t>(text.size() - done, 65536));
        if (n < 0 && errno != EINTR && errno != EAGAIN) return;
        if (n > 0) done += static_cast<size_t>(n);
    }
}

// Reads what is available within timeoutMs; false once both streams have ended.
bool Child::pump(int timeoutMs) {
    pollfd fds[2] = {{out_, POLLIN, 0}, {err_, POLLIN, 0}};
    if (poll(fds, 2, timeoutMs) <= 0) return out_ >= 0 || err_ >= 0;
    std::string* targets[2] = {&result_.out, &result_.err};
    int* descriptors[2] = {&out_, &err_};
    for (int i = 0; i < 2; i++) {
        if (fds[i].fd < 0 || fds[i].revents == 0) continue;
        char buffer[65536];
        ssize_t got = read(fds[i].fd, buffer, sizeof buffer);
        if (got > 0) {
            targets[i]->append(buffer, static_cast<size_t>(got));
        } else if (got == 0 || errno != EINTR) {
            close(*descriptors[i]);
            *descriptors[i] = -1;
        }
    }
    return out_ >= 0 || err_ >= 0;
}

bool Child::waitFor(const std::string& text, int timeoutMs) {
    auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    while (result_.out.find(text) == std::string::npos &&
           result_.err.find(text) == std::string::npos) {
        if (msLeft(deadline) == 0 || !pump(msLeft(deadline))) return false;
    }
    return true;
}

std::string readFile(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), {});
}

// The text of /proc/PID/NAME for the child.
static std::string procFile(pid_t pid, const char* name) {
    return readFile("/proc/" + std::to_string(pid) + "/" + name);
}

bool Child::catches(int sig) const {
    // SigCgt is the hexadecimal mask of the caught signals, bit sig - 1 for signal sig.
    std::string status = procFile(pid_, "status");
    size_t at = status.find("SigCgt:");
    return at != std::string::npos &&
           (std::stoull(status.substr(at + 7), nullptr, 16) >> (sig - 1)) & 1;
}

bool Child::blockedWriting() const {
    std::string stat = procFile(pid_, "stat");
    size_t state = stat.rfind(") ");  // the state follows the parenthesised command name
    int pending = 0;
    return state != std::string::npos && stat[state + 2] == 'S' &&
           ioctl(out_, FIONREAD, &pending) == 0 && pending > 0;
}

void Child::signal(int sig) { kill(pid_, sig); }

bool waitUntil(const std::function<bool()>& condition, int timeoutMs) {
    auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!condition()) {
        if (msLeft(deadline) == 0) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

ProcessResult Child::finish(int timeoutMs) {
    if (in_ >= 0) close(in_);
    in_ = -1;
    auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    while (out_ >= 0 || err_ >= 0) {
        if (msLeft(deadline) == 0) {
            kill(pid_, SIGKILL);
            result_.err += "[killed after timeout]";
            deadline = Clock::now() + std::chrono::seconds(1);
        }
        pump(msLeft(deadline));
    }
    int status = 0;
    waitpid(pid_, &status, 0);
    pid_ = -1;
    if (WIFEXITED(status)) result_.exitCode = WEXITSTATUS(status);
    if (WIFSIGNALED(status)) result_.signal = WTERMSIG(status);
    return result_;
}

ProcessResult runProcess(const std::string& program, const std::vector<std::string>& args,
                         const std::string& input) {
    Child child(program, args);
    child.write(input);
    return child.finish();
}

// Temporary files are removed when the test program ends.
static struct TempFiles {
    std::vector<std::string> paths;
    ~TempFiles() {
        for (const std::string& path : paths) unlink(path.c_str());
    }
} tempFiles;

std::string writeTempFile(const std::string& text, const std::string& suffix) {
    const char* directory = std::getenv("TMPDIR");
    std::string path = std::string(directory ? directory : "/tmp") + "/tavro-test-XXXXXX" + suffix;
    int fd = mkstemps(path.data(), static_cast<int>(suffix.size()));
    if (fd < 0) std::abort();
    close(fd);
    std::ofstream(path, std::ios::binary) << text;
    tempFiles.paths.push_back(path);
    return path;
}

std::vector<std::string> tavroArgs(const std::string& source,
                                   const std::vector<std::string>& options) {
    std::vector<std::string> args = {"tavro"};
    args.insert(args.end(), options.begin(), options.end());
    args.push_back(writeTempFile(source));
    return args;
}
