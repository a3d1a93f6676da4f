// A suite: a folder of tests, each NAME.out (the exact expected standard output) with an
// optional NAME.in (standard input), and an optional suite.toml with the settings. Settings
// resolve, most specific first: the test's [tests.NAME] table, suite.toml's top level, the
// command line, the built-in defaults.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "engine/engine.h"

namespace tavro {

struct Suite {
    std::string path;
    std::vector<TestCase> tests;  // in byte order of their names
};

struct SuiteLoad {
    Suite suite;
    std::string error;                  // empty when the suite was read
    std::vector<std::string> warnings;  // lenient reading: what would otherwise be an error
};

// Reads the suite folder at path; defaults are the command line's limits. Lenient (a suite
// being checked) makes an unknown key in suite.toml and a NAME.in without NAME.out warnings.
SuiteLoad loadSuite(const std::string& path, const Limits& defaults, bool lenient = false);
// Applies suite.toml's text to tests that carry the command line's limits; returns the first
// error ("suite.toml:LINE:COLUMN: ...") or an empty string. Given warnings, an unknown key is
// added there instead of being an error.
std::string applySettings(std::string_view toml, std::vector<TestCase>* tests,
                          std::vector<std::string>* warnings = nullptr);

}  // namespace tavro

namespace tavro {

// Reads the regular file at path, if it holds at most maxBytes, into *bytes; returns why not
// ("" on success).
std::string readFile(const std::string& path, uint64_t maxBytes, std::string* bytes);

}  // namespace tavro
