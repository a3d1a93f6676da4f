// Captures what the code under test writes to file descriptors 1 and 2.
#pragma once

#include <string>

struct CapturedOutput {
    std::string out;
    std::string err;
};

// Redirects standard output and standard error into temporary files until finish().
class StreamCapture {
public:
    StreamCapture();
    ~StreamCapture();
    // Flushes the console, restores the streams and returns what was written meanwhile.
    CapturedOutput finish();

private:
    int savedOut_ = -1;
    int savedErr_ = -1;
    int outFile_ = -1;
    int errFile_ = -1;
};
