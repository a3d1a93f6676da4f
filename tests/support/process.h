// Runs a real binary as a child process, with its streams on pipes, and waits on conditions
// rather than on time, so that a loaded machine only makes the tests slower.
#pragma once

#include <sys/types.h>

#include <functional>
#include <string>
#include <vector>

struct ProcessResult {
    std::string out;
    std::string err;
    int exitCode = -1;  // -1 when ended by a signal
    int signal = 0;     // the signal that ended it, or 0
};

// Where a child's streams go.
struct ChildStreams {
    bool closedInput = false;     // standard input closed instead of a pipe kept open for writing
    std::string output = "pipe";  // "pipe", "terminal" (a pseudo-terminal), "closed", or a path
    bool mergeErrors = false;     // standard error goes where standard output goes
};

// A running child: write to its input, wait for text or a state, signal it, collect it.
class Child {
public:
    // Starts program with args (args[0] is the program name it sees).
    Child(const std::string& program, const std::vector<std::string>& args,
          const ChildStreams& streams = ChildStreams{});
    ~Child();
    void write(const std::string& text);
    // Reads the streams until stdout or stderr contains text; false on timeout or end.
    bool waitFor(const std::string& text, int timeoutMs = 20000);
    // Whether the child has a handler of its own for sig now.
    bool catches(int sig) const;
    // Whether the child sleeps with output pending in its pipe: blocked writing, when it
    // reads no input.
    bool blockedWriting() const;
    void signal(int sig);
    // Closes the input, reads everything until the child ends and reaps it.
    ProcessResult finish(int timeoutMs = 30000);

private:
    bool pump(int timeoutMs);
    pid_t pid_ = -1;
    int in_ = -1, out_ = -1, err_ = -1;
    ProcessResult result_;
};

// Checks condition every millisecond until it holds (true) or timeoutMs pass (false).
bool waitUntil(const std::function<bool()>& condition, int timeoutMs = 20000);

// Runs program to the end with input on its standard input.
ProcessResult runProcess(const std::string& program, const std::vector<std::string>& args,
                         const std::string& input = "");

// The bytes of the file at path, or "" when it cannot be read.
std::string readFile(const std::string& path);
// Writes text to a fresh temporary file, removed at exit, and returns its path.
std::string writeTempFile(const std::string& text, const std::string& suffix = ".tas");
// The arguments of "tavro OPTIONS... FILE", with source written to a temporary FILE.
std::vector<std::string> tavroArgs(const std::string& source,
                                   const std::vector<std::string>& options = {});
