// The reports: text for a teacher at a terminal, and json, csv, junit and gradescope for the
// systems that read grades. Every writer takes the same results and returns the whole report,
// so that nothing is written until grading is complete.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "grade/grade.h"

namespace tavro {

enum class Format : uint8_t { Text, Json, Csv, Junit, Gradescope };

struct ReportOptions {
    Format format = Format::Text;
    bool colour = false;  // text only: outcomes in colour (a terminal)
    bool diff = false;    // show the differing lines of each wrong output
};

// The report of a graded class.
std::string renderReport(const Suite& suite, const std::vector<SubmissionResult>& results,
                         const ReportOptions& options);
// The suite's visible tests as an assignment for the playground (docs/grading.md), or "" with
// *error set when a test's text is not UTF-8, which JSON cannot carry unchanged.
std::string renderAssignment(const Suite& suite, std::string* error);

}  // namespace tavro
