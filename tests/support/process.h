// Runs the real tavro binary as a child process, with its streams on pipes.
#pragma once

#include <sys/types.h>
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
    std::string input = "pipe";   // "pipe" (kept open for writing), "closed", or a file path
    std::string output = "pipe";  // "pipe", "terminal" (a pseudo-terminal), "closed", or a path
    bool mergeErrors = false;     // standard error goes where standard output goes
};

// A running child: write to its input, wait for text on its streams, signal it, collect it.
class Child {
public:
    // Starts program with args (args[0] is the program name it sees).
    Child(const std::string& program, const std::vector<std::string>& args,
          const ChildStreams& streams = ChildStreams{});
    ~Child();
    void write(const std::string& text);
    void closeInput();
    // Reads the streams until stdout or stderr contains text; false on timeout or end.
    bool waitFor(const std::string& text, int timeoutMs = 10000);
    void signal(int sig);
    // Closes the input, reads everything until the child ends and reaps it.
    ProcessResult finish(int timeoutMs = 20000);
    pid_t pid() const { return pid_; }

private:
    bool pump(int timeoutMs);
    pid_t pid_ = -1;
    int in_ = -1, out_ = -1, err_ = -1;
    ProcessResult result_;
};

// Runs program to the end with input on its standard input.
ProcessResult runProcess(const std::string& program, const std::vector<std::string>& args,
                         const std::string& input = "");

// Writes text to a fresh temporary file and returns its path; it is removed at exit.
std::string writeTempFile(const std::string& text, const std::string& suffix = ".tas");
