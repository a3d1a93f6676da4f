// Fuzzes the simulator on an arbitrary image: every byte pattern is decoded, traced and
// executed. The same image runs three times, for at most TAVRO_STEP_LIMIT steps each: through
// the fast run path, through executeStep, and through executeStep with the trace on. The first
// two must agree on everything (status, ip, registers, flag, memory, both streams); the traced
// run must produce the same program output once its trace lines are taken out.
// Input: two bytes (little-endian) choosing codeSize (1 to 4093), 4096 bytes of image (missing
// bytes are 0), then the standard input for IN.
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "common/console.h"
#include "sim/execute.h"
#include "sim/fastrun.h"
#include "sim/machine.h"

#ifndef TAVRO_STEP_LIMIT
#define TAVRO_STEP_LIMIT 5000
#endif

static int inputFd = -1, outFd = -1, errFd = -1;

struct Outcome {
    RunStatus status;
    uint32_t ip;
    int16_t regs[REGISTER_COUNT];
    int32_t below;
    std::vector<uint8_t> memory;
    std::string out, err;
};

static std::string drain(int fd) {
    std::string text;
    off_t size = lseek(fd, 0, SEEK_END);
    text.resize(static_cast<size_t>(size));
    if (size > 0 && pread(fd, text.data(), text.size(), 0) != size) std::abort();
    if (ftruncate(fd, 0) != 0) std::abort();
    lseek(fd, 0, SEEK_SET);
    return text;
}

enum class Path { Fast, Steps, TracedSteps };

static Outcome run(const std::vector<uint8_t>& image, int32_t codeSize, const uint8_t* input,
                   size_t inputSize, Path path) {
    Outcome outcome;
    outcome.memory = image;
    if (ftruncate(inputFd, 0) != 0 || pwrite(inputFd, input, inputSize, 0) < 0) std::abort();
    lseek(inputFd, 0, SEEK_SET);
    resetConsole(inputFd, outFd, errFd);
    resetMachine(outcome.memory.data(), codeSize);
    interruptRequested = 0;
    std::srand(1);  // the same random numbers for every path
    RunStatus status = RunStatus::Running;
    if (path == Path::Fast) {
        status = runFast(TAVRO_STEP_LIMIT);
    } else {
        int trace = path == Path::TracedSteps ? 1 : 0;
        for (int i = 0; i < TAVRO_STEP_LIMIT && status == RunStatus::Running; i++) {
            status = executeStep(trace);
        }
    }
    consoleFlush();
    outcome.status = status;
    outcome.ip = machine.ip;
    std::memcpy(outcome.regs, machine.regs, sizeof outcome.regs);
    outcome.below = machine.belowFlag;
    outcome.out = drain(outFd);
    outcome.err = drain(errFd);
    return outcome;
}

static bool same(const Outcome& a, const Outcome& b) {
    return a.status == b.status && a.ip == b.ip &&
           std::memcmp(a.regs, b.regs, sizeof a.regs) == 0 && a.below == b.below &&
           a.memory == b.memory && a.out == b.out && a.err == b.err;
}

// The output of a traced run with its trace lines taken out.
static std::string withoutTrace(const std::string& out) {
    std::string kept;
    size_t start = 0;
    while (start < out.size()) {
        size_t end = out.find('\n', start);
        end = end == std::string::npos ? out.size() : end + 1;
        if (out.compare(start, 14, ". . . . . . . ") != 0) kept.append(out, start, end - start);
        start = end;
    }
    return kept;
}

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    inputFd = memfd_create("tavro-input", 0);
    outFd = memfd_create("tavro-out", 0);
    errFd = memfd_create("tavro-err", 0);
    nextRandom();  // the port seeds itself once per process; do it before any run
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2) return 0;
    int32_t codeSize = 1 + (data[0] | (data[1] << 8)) % MAX_CODE_SIZE;
    data += 2, size -= 2;
    std::vector<uint8_t> image(MEMORY_SIZE, 0);
    size_t imageBytes = size < MEMORY_SIZE ? size : MEMORY_SIZE;
    std::memcpy(image.data(), data, imageBytes);
    data += imageBytes, size -= imageBytes;

    Outcome fast = run(image, codeSize, data, size, Path::Fast);
    Outcome steps = run(image, codeSize, data, size, Path::Steps);
    if (!same(fast, steps)) __builtin_trap();
    Outcome traced = run(image, codeSize, data, size, Path::TracedSteps);
    traced.out = withoutTrace(traced.out);
    if (!same(traced, steps)) __builtin_trap();
    return 0;
}
