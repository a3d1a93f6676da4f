// Fuzzes the whole tool in-process: the command line's options, loading, both passes, the
// label allocation, the dump and a run (capped at TAVRO_STEP_LIMIT steps in fuzz builds).
// Input: one byte of options (bit 0 -t, bit 1 -d, bit 2 -c), two bytes (little-endian) giving
// the length of the standard input that follows, that input, then the source file's bytes.
#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "driver/driver.h"

static int sourceFd = -1, inputFd = -1, nullFd = -1;
static std::string sourcePath;

// Replaces the contents of a memory file.
static void fill(int fd, const uint8_t* data, size_t size) {
    if (ftruncate(fd, 0) != 0 || pwrite(fd, data, size, 0) != static_cast<ssize_t>(size)) {
        std::perror("pipeline_fuzzer: memory file");
        _exit(1);
    }
    lseek(fd, 0, SEEK_SET);
}

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    sourceFd = memfd_create("tavro-source", 0);
    inputFd = memfd_create("tavro-input", 0);
    nullFd = open("/dev/null", O_WRONLY);
    sourcePath = "/proc/self/fd/" + std::to_string(sourceFd);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 3) return 0;
    unsigned options = data[0];
    size_t inputLength = data[1] | (data[2] << 8);
    data += 3, size -= 3;
    if (inputLength > size) inputLength = size;
    fill(inputFd, data, inputLength);
    fill(sourceFd, data + inputLength, size - inputLength);

    std::vector<std::string> args = {"tavro"};
    if (options & 1) args.emplace_back("-t");
    if (options & 2) args.emplace_back("-d");
    if (options & 4) args.emplace_back("-c");
    args.push_back(sourcePath);
    std::vector<char*> argv;
    for (std::string& arg : args) argv.push_back(arg.data());
    argv.push_back(nullptr);

    tavro::Console console = tavro::openConsole(inputFd, nullFd, nullFd);
    int status = tavro::runCommandLine(static_cast<int>(args.size()), argv.data(), console);
    if (status != 0 && status != 1) __builtin_trap();
    return 0;
}
