// A suite: a folder of tests, each NAME.out (the exact expected standard output) with an
// optional NAME.in (standard input), and an optional suite.toml with the settings. Settings
// resolve, most specific first: the test's [tests.NAME] table, suite.toml's top level, the
// command line, the built-in defaults.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tavro {

enum class Compare : uint8_t {
    Exact,  // byte for byte
    Trim,   // blanks (and a CR) at line ends and blank lines at the end are ignored
};

// Who sees a test's result on a platform that can hide it (the gradescope report).
enum class Visibility : uint8_t { Visible, Hidden, AfterDueDate, AfterPublished };
inline constexpr const char* VISIBILITY_NAMES[] = {"visible", "hidden", "after_due_date",
                                                   "after_published"};

// What one run of a test may take.
struct Limits {
    uint64_t maxSteps = 10'000'000;  // instructions; a run that reaches them is a step-limit
    uint64_t maxOutput = 1 << 20;    // bytes of standard output, closing line included
    uint32_t seed = 1;               // the random port's seed
};

// A final-state check: a register, or the word at a label, must hold value.
struct StateCheck {
    std::string key;    // as suite.toml names it
    int registerIndex;  // AX..DX as 0..3, or -1 for a label
    int16_t value;
};

struct TestCase {
    std::string name;
    std::string expected;   // NAME.out
    std::string input;      // NAME.in, or empty
    int64_t points = 1000;  // thousandths of a point: exact decimals with up to three places
    Limits limits;
    Compare compare = Compare::Exact;
    std::vector<StateCheck> checks;
    std::string title;     // a display name, or empty (the name is shown)
    std::string feedback;  // shown with a failed test, or empty
    Visibility visibility = Visibility::Visible;
};

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
