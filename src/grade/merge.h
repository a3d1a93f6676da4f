// Regrading part of a class: an earlier json report read back as results, and the
// submissions graded now put in the places of their earlier results.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "grade/grade.h"

namespace tavro {

// A larger file is no report of a class: 1 GiB holds a hundred thousand graded submissions.
constexpr uint64_t MAX_REPORT_SIZE = uint64_t{1} << 30;

// Reads an earlier json report, made with this suite, back into results (without run times;
// a test's feedback taken off its detail); "" or why not.
std::string readReport(std::string_view json, const Suite& suite,
                       std::vector<SubmissionResult>* results);
// The earlier results in their order, each replaced by the one graded now for the same
// submission (the same path, or the same file), then the new submissions in their order.
std::vector<SubmissionResult> mergeResults(std::vector<SubmissionResult> earlier,
                                           std::vector<SubmissionResult> now);
// Assembles again, from their files as they are now, the results read back that had assembled,
// so that the similar submissions are found across the whole merged class; file is --file.
void refingerprint(std::vector<SubmissionResult>* results, const std::string& file);

}  // namespace tavro
