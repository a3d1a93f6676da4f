#include "capture.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>

#include "common/console.h"

static int makeTempFile() {
    char path[] = "/tmp/tavro-capture-XXXXXX";
    int fd = mkstemp(path);
    if (fd < 0) std::abort();
    unlink(path);
    return fd;
}

static std::string readAll(int fd) {
    std::string text;
    lseek(fd, 0, SEEK_SET);
    char buffer[4096];
    ssize_t n;
    while ((n = read(fd, buffer, sizeof buffer)) > 0) text.append(buffer, static_cast<size_t>(n));
    return text;
}

StreamCapture::StreamCapture() {
    consoleFlush();
    std::fflush(nullptr);
    outFile_ = makeTempFile();
    errFile_ = makeTempFile();
    savedOut_ = dup(STDOUT_FILENO);
    savedErr_ = dup(STDERR_FILENO);
    dup2(outFile_, STDOUT_FILENO);
    dup2(errFile_, STDERR_FILENO);
    resetConsole();
}

CapturedOutput StreamCapture::finish() {
    CapturedOutput result;
    if (savedOut_ < 0) return result;
    consoleFlush();
    std::fflush(nullptr);
    dup2(savedOut_, STDOUT_FILENO);
    dup2(savedErr_, STDERR_FILENO);
    close(savedOut_);
    close(savedErr_);
    savedOut_ = savedErr_ = -1;
    result.out = readAll(outFile_);
    result.err = readAll(errFile_);
    close(outFile_);
    close(errFile_);
    resetConsole();
    return result;
}

StreamCapture::~StreamCapture() { finish(); }
