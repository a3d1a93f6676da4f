// Comparing a run's standard output with a test's expected output, and describing the first
// difference for a report.
#pragma once

#include <string>
#include <string_view>

#include "grade/suite.h"

namespace tavro {

struct Difference {
    bool equal;
    std::string detail;  // the first differing line: `line 3: expected "...", got "..."`
    std::string diff;    // that line and a few after it, expected (-) then actual (+)
};

// Compares output with expected as compare says; the diff is filled only when wanted.
Difference compareOutput(std::string_view expected, std::string_view output, Compare compare,
                         bool wantDiff);

}  // namespace tavro
