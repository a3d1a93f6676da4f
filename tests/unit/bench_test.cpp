// The benchmark programs state their executed-instruction counts; the figures quoted from them
// are only as good as these formulas, so they are checked here against the definition itself.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <fstream>
#include <regex>
#include <string>
#include <vector>

#include "asm/passes.h"
#include "asm/symbols.h"
#include "capture.h"
#include "driver/source.h"
#include "process.h"
#include "sim/execute.h"
#include "sim/machine.h"

// Assembles a bench program and counts the steps of a run that reads n.
static long countInstructions(const std::string& path, int n) {
    SourceLines source{};
    EXPECT_TRUE(loadSource(path.c_str(), &source));
    initSymbols();
    EXPECT_EQ(assemblePass(source.lines, source.lineCount, 1, nullptr), 0);
    int32_t codeSize = allocateUndefinedLabels(assembler.locationCounter);
    std::vector<uint8_t> image(MEMORY_SIZE, 0);
    EXPECT_EQ(assemblePass(source.lines, source.lineCount, 2, image.data()), 0);
    releaseSource(&source);

    StreamCapture capture;
    std::string input = writeTempFile(std::to_string(n) + "\n", ".in");
    int savedInput = dup(STDIN_FILENO);
    int inputFile = open(input.c_str(), O_RDONLY);
    dup2(inputFile, STDIN_FILENO);
    close(inputFile);

    resetMachine(image.data(), codeSize);
    long steps = 0;
    RunStatus status;
    do {
        status = executeStep(0);
        steps++;
    } while (status == RunStatus::Running);

    dup2(savedInput, STDIN_FILENO);
    close(savedInput);
    capture.finish();
    EXPECT_EQ(status, RunStatus::Halt) << path;
    return steps;
}

TEST(BenchPrograms, ExecuteExactlyTheInstructionsTheyState) {
    for (const char* name :
         {"loop.tas", "array.tas", "calls.tas", "muldiv.tas", "out.tas", "out-loop.tas"}) {
        std::string path = std::string(TAVRO_SOURCE_DIR) + "/bench/" + name;
        std::ifstream file(path);
        std::string text((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
        std::smatch formula;
        ASSERT_TRUE(std::regex_search(text, formula,
                                      std::regex("; instructions: ([0-9]+)\\*N \\+ ([0-9]+)\n")))
            << name;
        long a = std::stol(formula[1]), b = std::stol(formula[2]);
        for (int n : {1, 2}) EXPECT_EQ(countInstructions(path, n), a * n + b) << name << " N=" << n;
    }
}
