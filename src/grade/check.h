// Checking a suite before a class is graded with it: a model answer runs every test, and the
// report names each test the model fails and each thing in the suite that is probably a
// mistake of its author's, though it is not an error.
#pragma once

#include <string>

#include "grade/grade.h"

namespace tavro {

struct SuiteCheck {
    std::string report;  // the text for the teacher
    bool passed = true;  // the model passed every test
};

// Grades the model with every test of a leniently loaded suite and says what looks wrong.
SuiteCheck checkSuite(const SuiteLoad& load, const Submission& model, const GradeOptions& options);

}  // namespace tavro
