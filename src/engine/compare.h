// Comparing a run's standard output with a test's expected output, and describing the first
// difference for a report.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace tavro {

enum class Compare : uint8_t {
    Exact,  // byte for byte
    Trim,   // blanks (and a CR) at line ends and blank lines at the end are ignored
};

struct Difference {
    bool equal;
    std::string detail;  // the first differing line: `line 3: expected "...", got "..."`
    std::string diff;    // that line and a few after it, expected (-) then actual (+)
};

// The last lines of a run's output for a detail: at most OUTPUT_TAIL_LINES lines and
// OUTPUT_TAIL bytes of it, whole lines where it has line ends, each line escaped by
// displayText, after "...\n" when cut; "(no output)" when there is none.
std::string outputTail(std::string_view output);
constexpr size_t OUTPUT_TAIL = 1024;
constexpr size_t OUTPUT_TAIL_LINES = 10;

// Compares output with expected as compare says; the diff is filled only when wanted.
Difference compareOutput(std::string_view expected, std::string_view output, Compare compare,
                         bool wantDiff);

}  // namespace tavro
