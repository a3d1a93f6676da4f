// Loading a suite: the folder's NAME.out and NAME.in files, then suite.toml's settings over the
// command line's. Anything the grader could misread (an unknown key, a value of the wrong type
// or range, a test table with no NAME.out, a NAME.in with no NAME.out) is refused with the
// file, line and column, so that a typo never grades a class with the wrong limits.
#include "grade/suite.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <toml++/toml.h>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <map>
#include <optional>

#include "engine/engine.h"

namespace tavro {

std::string readFile(const std::string& path, uint64_t maxBytes, std::string* bytes) {
    // O_NONBLOCK: opening a FIFO must not wait for a writer; it is refused below anyway.
    int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return std::strerror(errno);
    struct stat status;
    std::string error;
    if (fstat(fd, &status) != 0) {
        error = std::strerror(errno);
    } else if (!S_ISREG(status.st_mode)) {
        error = "not a regular file";
    } else if (static_cast<uint64_t>(status.st_size) > maxBytes) {
        error = "larger than " + std::to_string(maxBytes) + " bytes";
    } else {
        bytes->resize(static_cast<size_t>(status.st_size));
        size_t total = 0;
        while (total < bytes->size()) {
            ssize_t n = read(fd, bytes->data() + total, bytes->size() - total);
            if (n < 0 && errno == EINTR) continue;
            if (n < 0) error = std::strerror(errno);
            if (n <= 0) break;
            total += static_cast<size_t>(n);
        }
        bytes->resize(total);  // a file that shrank meanwhile gives what was there
    }
    close(fd);
    return error;
}

namespace {

// The settings of one table of suite.toml; unset ones come from the level above.
struct Settings {
    std::optional<int64_t> points;  // thousandths
    std::optional<uint64_t> maxSteps, maxOutput;
    std::optional<uint32_t> seed;
    std::optional<Compare> compare;
    std::optional<std::string> title, feedback;
    std::optional<Visibility> visibility;
    std::map<std::string, StateCheck> checks;  // by upper-case key (7 characters for labels)
};

// "suite.toml:LINE:COLUMN: " for a node or a key.
template <typename Item>
std::string at(const Item& item) {
    const toml::source_region& where = item.source();
    return "suite.toml:" + std::to_string(where.begin.line) + ":" +
           std::to_string(where.begin.column) + ": ";
}

// An integer from low to high, or an error.
std::string readInteger(const toml::node& node, const std::string& key, int64_t low, int64_t high,
                        int64_t* value) {
    const toml::value<int64_t>* integer = node.as_integer();
    if (integer == nullptr || integer->get() < low || integer->get() > high) {
        return at(node) + key + " must be an integer from " + std::to_string(low) + " to " +
               std::to_string(high);
    }
    *value = integer->get();
    return "";
}

// name := REGISTER | letter (letter | digit)*
std::string readCheck(const toml::node& node, const std::string& name, StateCheck* check) {
    std::string upper;
    for (char c : name) upper += static_cast<char>(c >= 'a' && c <= 'z' ? c - 32 : c);
    bool label = !upper.empty() && upper[0] >= 'A' && upper[0] <= 'Z' &&
                 std::all_of(upper.begin(), upper.end(), [](char c) {
                     return (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
                 });
    if (!label) return at(node) + "expect: '" + name + "' is neither a register nor a label";
    int64_t value = 0;
    std::string error = readInteger(node, "expect." + name, INT16_MIN, INT16_MAX, &value);
    if (!error.empty()) return error;
    check->key = name;
    check->registerIndex = checkRegister(name);
    check->value = static_cast<int16_t>(value);
    return "";
}

// An unknown key is an error, or a warning added to *warnings when warnings is given.
std::string readSettings(const toml::table& table, bool topLevel, Settings* settings,
                         std::vector<std::string>* warnings) {
    for (auto&& [key, node] : table) {
        std::string name(key.str());
        int64_t value = 0;
        std::string error;
        if (topLevel && name == "tests") {
            if (!node.is_table()) error = at(node) + "tests must be a table of tables";
        } else if (name == "points") {
            std::optional<double> number = node.value<double>();
            int64_t points = 0;
            if (!node.is_number() || !number || !pointsFromNumber(*number, &points)) {
                return at(node) +
                       "points must be a number from 0 to 1000000000 with at most three "
                       "decimal places";
            }
            settings->points = points;
        } else if (name == "max_steps" || name == "max_output") {
            error = readInteger(node, name, 1, INT64_MAX, &value);
            (name == "max_steps" ? settings->maxSteps : settings->maxOutput) = value;
        } else if (name == "seed") {
            error = readInteger(node, name, 0, UINT32_MAX, &value);
            settings->seed = static_cast<uint32_t>(value);
        } else if (name == "compare") {
            std::optional<std::string_view> text = node.value<std::string_view>();
            if (!text || (*text != "exact" && *text != "trim")) {
                return at(node) + "compare must be \"exact\" or \"trim\"";
            }
            settings->compare = *text == "trim" ? Compare::Trim : Compare::Exact;
        } else if (name == "title" || name == "feedback") {
            std::optional<std::string> text = node.value<std::string>();
            if (!text) return at(node) + name + " must be a string";
            if (name == "title" && topLevel) {
                return at(key) + "title names one test: put it in [tests.NAME]";
            }
            (name == "title" ? settings->title : settings->feedback) = *text;
        } else if (name == "visibility") {
            std::optional<std::string_view> text = node.value<std::string_view>();
            int found = -1;
            for (int v = 0; text && v < 4; v++) {
                if (*text == VISIBILITY_NAMES[v]) found = v;
            }
            if (found < 0) {
                return at(node) +
                       "visibility must be \"visible\", \"hidden\", \"after_due_date\" or "
                       "\"after_published\"";
            }
            settings->visibility = static_cast<Visibility>(found);
        } else if (name == "expect") {
            const toml::table* checks = node.as_table();
            if (checks == nullptr) return at(node) + "expect must be a table, as { AX = 42 }";
            for (auto&& [checkKey, checkNode] : *checks) {
                StateCheck check;
                error = readCheck(checkNode, std::string(checkKey.str()), &check);
                if (!error.empty()) return error;
                // The assembler folds case and keeps 7 characters: two keys that fold alike
                // would name one thing, and one of them would silently go unchecked.
                std::string id = check.key.substr(0, MAX_NAME_LENGTH);
                for (char& c : id) c = static_cast<char>(c >= 'a' && c <= 'z' ? c - 32 : c);
                if (id == "RANDOM") {
                    return at(checkNode) +
                           "expect: RANDOM is the random port, not a word a program leaves";
                }
                auto [earlier, added] = settings->checks.emplace(id, check);
                if (!added) {
                    return at(checkNode) + "expect: '" + check.key + "' and '" +
                           earlier->second.key + "' name the same " +
                           (check.registerIndex >= 0 ? "register" : "label") +
                           " (case is ignored and 7 characters are significant)";
                }
            }
        } else {
            error = at(key) + "unknown key '" + name +
                    "' (known: points, max_steps, max_output, seed, compare, expect, visibility, " +
                    "feedback" + (topLevel ? "" : ", title") + (topLevel ? ", [tests.NAME])" : ")");
            if (warnings != nullptr) {
                warnings->push_back(error);
                error.clear();
            }
        }
        if (!error.empty()) return error;
    }
    return "";
}

void apply(const Settings& settings, TestCase* test) {
    if (settings.points) test->points = *settings.points;
    if (settings.maxSteps) test->limits.maxSteps = *settings.maxSteps;
    if (settings.maxOutput) test->limits.maxOutput = *settings.maxOutput;
    if (settings.seed) test->limits.seed = *settings.seed;
    if (settings.compare) test->compare = *settings.compare;
    if (settings.title) test->title = *settings.title;
    if (settings.feedback) test->feedback = *settings.feedback;
    if (settings.visibility) test->visibility = *settings.visibility;
}

}  // namespace

std::string applySettings(std::string_view text, std::vector<TestCase>* tests,
                          std::vector<std::string>* warnings) {
    toml::parse_result parsed = toml::parse(text, std::string_view("suite.toml"));
    if (!parsed) {
        const toml::parse_error& error = parsed.error();
        return "suite.toml:" + std::to_string(error.source().begin.line) + ":" +
               std::to_string(error.source().begin.column) + ": " +
               std::string(error.description());
    }
    const toml::table& root = parsed.table();
    Settings suite;
    std::string error = readSettings(root, true, &suite, warnings);
    if (!error.empty()) return error;
    std::map<std::string, Settings> perTest;
    if (const toml::table* testTables = root["tests"].as_table()) {
        for (auto&& [key, node] : *testTables) {
            std::string name(key.str());
            const toml::table* table = node.as_table();
            if (table == nullptr) return at(node) + "tests." + name + " must be a table";
            auto test = std::find_if(tests->begin(), tests->end(),
                                     [&](const TestCase& t) { return t.name == name; });
            if (test == tests->end()) {
                return at(key) + "[tests." + name + "]: the suite has no " + name + ".out";
            }
            error = readSettings(*table, false, &perTest[name], warnings);
            if (!error.empty()) return error;
        }
    }
    for (TestCase& test : *tests) {
        apply(suite, &test);
        std::map<std::string, StateCheck> checks = suite.checks;
        auto own = perTest.find(test.name);
        if (own != perTest.end()) {
            apply(own->second, &test);
            for (const auto& [id, check] : own->second.checks) checks[id] = check;
        }
        for (const auto& [id, check] : checks) test.checks.push_back(check);
    }
    return "";
}

SuiteLoad loadSuite(const std::string& suitePath, const Limits& defaults, bool lenient) {
    namespace fs = std::filesystem;
    SuiteLoad load;
    load.suite.path = suitePath;
    std::string path = suitePath;  // without trailing slashes, for the messages
    while (path.size() > 1 && path.back() == '/') path.pop_back();
    std::error_code error;
    if (!fs::is_directory(path, error)) {
        load.error = path + ": " + (error ? error.message() : "not a folder");
        return load;
    }
    std::vector<std::string> inputs;
    bool hasSettings = false;
    for (fs::directory_iterator it(path, error), end; !error && it != end; it.increment(error)) {
        std::string file = it->path().filename().string();
        std::string stem = it->path().stem().string();
        std::string extension = it->path().extension().string();
        if (file == "suite.toml") hasSettings = true;
        if (extension == ".out") {
            TestCase test;
            test.name = stem;
            test.limits = defaults;
            load.suite.tests.push_back(test);
        }
        if (extension == ".in") inputs.push_back(stem);
    }
    if (error) {
        load.error = path + ": " + error.message();
        return load;
    }
    std::vector<TestCase>& tests = load.suite.tests;
    std::sort(tests.begin(), tests.end(),
              [](const TestCase& a, const TestCase& b) { return a.name < b.name; });
    if (tests.empty()) {
        load.error = path + ": no tests (NAME.out files) in this folder";
        return load;
    }
    for (const std::string& name : inputs) {
        if (std::none_of(tests.begin(), tests.end(),
                         [&](const TestCase& t) { return t.name == name; })) {
            std::string why = path + "/" + name + ".in: there is no " + name + ".out beside it";
            if (!lenient) {
                load.error = why;
                return load;
            }
            load.warnings.push_back(why);
        }
    }
    for (TestCase& test : tests) {
        std::string file = path + "/" + test.name;
        std::string why = readFile(file + ".out", UINT64_MAX, &test.expected);
        if (!why.empty()) {
            load.error = file + ".out: " + why;
            return load;
        }
        if (std::find(inputs.begin(), inputs.end(), test.name) == inputs.end()) continue;
        why = readFile(file + ".in", UINT64_MAX, &test.input);
        if (!why.empty()) {
            load.error = file + ".in: " + why;
            return load;
        }
    }
    if (hasSettings) {
        std::string text;
        std::string why = readFile(path + "/suite.toml", UINT64_MAX, &text);
        std::vector<std::string> unknown;
        if (why.empty()) why = applySettings(text, &tests, lenient ? &unknown : nullptr);
        for (const std::string& warning : unknown) load.warnings.push_back(path + "/" + warning);
        if (!why.empty()) {
            load.error =
                path + "/" + (why.rfind("suite.toml", 0) == 0 ? why : "suite.toml: " + why);
            return load;
        }
    }
    return load;
}

}  // namespace tavro
