#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "driver/source.h"
#include "process.h"

static std::vector<std::string> loadLines(const std::string& bytes) {
    SourceLines source{};
    std::string path = writeTempFile(bytes);
    EXPECT_TRUE(loadSource(path.c_str(), &source)) << bytes;
    std::vector<std::string> lines;
    for (int32_t k = 0; k < source.lineCount; k++) lines.emplace_back(source.lines[k]);
    releaseSource(&source);
    return lines;
}

struct LineCase {
    std::string bytes;
    std::vector<std::string> lines;
};

TEST(Source, SplitsLinesAtCrLfAndCrLf) {
    const LineCase cases[] = {
        {"END", {"END"}},
        {"END\n", {"END", ""}},
        {"A\r\nB\r\n", {"A", "B", ""}},
        {"A\nB\n", {"A", "B", ""}},
        {"A\rB\r", {"A", "B", ""}},
        {"A\r\rB", {"A", "", "B"}},
        {"A\n\rB", {"A", "", "B"}},
        {"A\r\n\nB", {"A", "", "B"}},
        {"A\r", {"A", ""}},
        {"\n", {"", ""}},
        {"\r\n\r\n", {"", "", ""}},
        {"A\n\r\n\rB\r\r\nC", {"A", "", "", "B", "", "C"}},
        {std::string("\t\x01\x7F\x80\xFF;\x1B", 7), {std::string("\t\x01\x7F\x80\xFF;\x1B", 7)}},
    };
    for (const LineCase& c : cases) EXPECT_EQ(loadLines(c.bytes), c.lines);
}

TEST(Source, ANulByteEndsItsLineAndKeepsTheLineNumbers) {
    const LineCase cases[] = {
        {std::string("A\0BC\nD\nE", 8), {"A", "D", "E"}}, {std::string("\0\nX", 3), {"", "X"}},
        {std::string("A\0\0\0\r\nB", 7), {"A", "B"}},     {std::string("A\nB\0C", 5), {"A", "B"}},
        {std::string("A\nB\0C\r", 6), {"A", "B", ""}},    {std::string("\0", 1), {""}},
    };
    for (const LineCase& c : cases) EXPECT_EQ(loadLines(c.bytes), c.lines);
}

TEST(Source, RefusesWhatCannotBeRead) {
    SourceLines source{};
    const std::string empty = writeTempFile("");
    const char* paths[] = {"", "/nonexistent/tavro/source.tas", empty.c_str(), "/", "."};
    for (const char* path : paths) EXPECT_FALSE(loadSource(path, &source)) << path;
}

TEST(Source, KeepsAMegabyteLine) {
    std::string line(1 << 20, 'x');
    std::vector<std::string> lines = loadLines(" " + line + "\r\nEND");
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0].size(), line.size() + 1);
    EXPECT_EQ(lines[1], "END");
}

// The line rules, byte by byte, as simply as they can be written.
static std::vector<std::string> referenceLines(const std::string& bytes) {
    std::vector<std::string> lines(1);
    bool cut = false;
    for (size_t i = 0; i < bytes.size(); i++) {
        char c = bytes[i];
        if (c == '\r' || c == '\n') {
            if (c == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n') i++;
            lines.emplace_back();
            cut = false;
        } else if (c == '\0') {
            cut = true;
        } else if (!cut) {
            lines.back() += c;
        }
    }
    return lines;
}

TEST(Source, SplitsRandomMixturesLikeTheRules) {
    std::mt19937 rng(99);
    const char alphabet[] = {'a', 'b', ' ', '\r', '\n', '\0', '\xFF'};
    for (int round = 0; round < 2000; round++) {
        std::string bytes;
        size_t length = 1 + rng() % 80;
        int spread = 1 + static_cast<int>(rng() % 20);  // long runs of ordinary bytes sometimes
        for (size_t i = 0; i < length; i++) {
            bool special = static_cast<int>(rng() % spread) == 0;
            bytes += special ? alphabet[3 + rng() % 3] : alphabet[rng() % 7];
        }
        ASSERT_EQ(loadLines(bytes), referenceLines(bytes)) << round;
    }
}
