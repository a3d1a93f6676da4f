// Judging one run by the grader's rules. A test is a counted run, run(machine, max_steps), with
// the whole input given at once and its end declared, so it ends exactly as `tavro SUBMISSION <
// NAME.in` would; the output sink is line-flushed so that the line that crosses max_output
// stops the run. Both tavro-grade and the playground's engine judge with this file.
#include "engine/judge.h"

#include <algorithm>

#include "engine/engine.h"

namespace tavro {

Submission prepareSubmission(const std::string& path, std::string bytes) {
    if (bytes.empty()) {  // tavro refuses it too
        Submission submission;
        submission.path = path;
        submission.failure = Outcome::Unreadable;
        submission.detail = "empty file";
        return submission;
    }
    AssembleOptions options;
    options.keepDiagnostics = 1;  // the first message is all a report shows
    Submission submission;
    submission.path = path;
    submission.program = assemble(std::string_view(bytes), options);
    const Program& program = *submission.program;
    for (const UndefinedLabel& label : program.undefinedLabels) {
        if (submission.warnings.size() == MAX_WARNINGS) {
            submission.warnings.push_back(
                "... and " + std::to_string(program.undefinedLabels.size() - MAX_WARNINGS) +
                " more undefined labels");
            break;
        }
        std::string text = renderUndefinedLabel(label);
        text.pop_back();
        submission.warnings.push_back(displayText(text));
    }
    if (runnable(program)) return submission;
    submission.failure = Outcome::AssemblyError;
    if (!program.diagnostics.empty()) {
        submission.message = program.diagnostics[0].message;
        submission.line = program.diagnostics[0].line;
    } else {  // " ... Memory area is too large.\n"
        std::string_view message = tooLargeMessage();
        message.remove_prefix(message.find_first_not_of(" ."));
        message.remove_suffix(1);
        submission.message = message;
        submission.line = program.tooLargeLine;
    }
    submission.detail = "line " + std::to_string(submission.line) + ": " + submission.message;
    return submission;
}

int checkRegister(std::string_view key) {
    for (int r = 0; r < REGISTER_COUNT; r++) {
        std::string_view name = REGISTER_NAMES[r];
        if (key.size() == name.size() &&
            std::equal(key.begin(), key.end(), name.begin(),
                       [](char a, char b) { return (a >= 'a' && a <= 'z' ? a - 32 : a) == b; })) {
            return r;
        }
    }
    return -1;
}

// The final-state checks that fail, as "AX = 41, expected 42; ...", or "".
static std::string checkState(const Machine& m, const Program& program, const TestCase& test) {
    std::string failures;
    for (const StateCheck& check : test.checks) {
        std::string failure;
        if (check.registerIndex >= 0) {
            int16_t value = viewMachine(m).regs[check.registerIndex];
            if (value != check.value) {
                failure = std::string(REGISTER_NAMES[check.registerIndex]) + " = " +
                          std::to_string(value) + ", expected " + std::to_string(check.value);
            }
        } else if (const Symbol* symbol = findSymbol(program, check.key)) {
            int16_t value = wordAt(m, static_cast<uint32_t>(symbol->value));
            if (value != check.value) {
                failure = check.key + " = " + std::to_string(value) + ", expected " +
                          std::to_string(check.value);
            }
        } else {
            failure = check.key + ": no such label";
        }
        if (!failure.empty()) failures += (failures.empty() ? "" : "; ") + failure;
    }
    return failures;
}

// The line of the last instruction executed inside the program before a run that failed
// outside it (ip past the code): the jump, call or return that went there, or 0. The run is
// repeated on a quiet machine with the same input and seed, which takes the same path, up to
// just before its end, then stepped.
static int32_t lineThatLeft(const Program& program, const TestCase& test, uint64_t steps) {
    MachineOptions machineOptions;
    machineOptions.seed = test.limits.seed;
    MachinePtr machine = makeMachine(program, machineOptions);
    Machine& m = *machine;
    giveInput(m, test.input);
    endInput(m);
    if (steps > 2 && run(m, steps - 2) != StopReason::Budget) return 0;
    int32_t line = 0;
    for (int guard = 0; guard < 4 && viewMachine(m).status == RunStatus::Running; guard++) {
        uint32_t ip = viewMachine(m).ip;
        if (ip < MEMORY_SIZE && program.addressLine[ip] > 0) line = program.addressLine[ip];
        if (step(m) == StopReason::Ended) break;
    }
    return line;
}

TestResult judgeTest(const Submission& submission, const TestCase& test, bool diff,
                     std::atomic<int>* interrupt, std::string* output) {
    TestResult result;
    result.maxScore = test.points;
    if (submission.failure != Outcome::Pass) {
        result.outcome = submission.failure;
        result.detail = submission.detail;
        result.line = submission.line;
        result.message = submission.message;
        return result;
    }
    const Program& program = *submission.program;
    MachineOptions machineOptions;
    machineOptions.seed = test.limits.seed;
    MachinePtr machine = makeMachine(program, machineOptions);
    Machine& m = *machine;
    std::string captured;
    uint64_t limit = test.limits.maxOutput;
    setOutput(m, makeSink(
                     [&captured, limit](std::string_view bytes) {
                         if (bytes.size() > limit - captured.size()) return false;
                         captured.append(bytes);
                         return true;
                     },
                     SinkFlush::Lines, 4096));
    if (interrupt != nullptr) shareStop(m, interrupt);
    giveInput(m, test.input);
    endInput(m);
    StopReason reason = run(m, test.limits.maxSteps);
    drainOutput(m);
    MachineView view = viewMachine(m);
    result.steps = view.steps;
    result.outputBytes = view.outputBytes;
    if (output != nullptr) *output = captured;
    if (reason == StopReason::StopRequested) {
        interrupt->store(1);  // the run took the request; the other threads need it too
        return result;
    }
    // How far a failed run got: its last lines of output, below the detail.
    auto lastOutput = [&captured] { return "\nlast output:\n" + outputTail(captured); };
    if (view.outputFailed) {
        result.outcome = Outcome::OutputLimit;
        result.detail = "more than " + std::to_string(limit) + " bytes of output" + lastOutput();
        return result;
    }
    if (reason == StopReason::Budget) {
        result.outcome = Outcome::StepLimit;
        result.detail =
            "still running after " + std::to_string(view.steps) + " steps" + lastOutput();
        return result;
    }
    Difference difference = compareOutput(test.expected, captured, test.compare, diff);
    if (reason == StopReason::Ended && view.status != RunStatus::Halt && !difference.equal) {
        result.outcome = Outcome::RuntimeError;
        result.status = RUN_STATUS_TEXTS[static_cast<int>(view.status)];
        result.ip = static_cast<int32_t>(view.ip);
        result.detail = result.status + " at ip=" + std::to_string(result.ip);
        if (view.ip < MEMORY_SIZE) result.line = program.addressLine[view.ip];
        bool outside = result.line == 0;
        if (outside) result.line = lineThatLeft(program, test, view.steps);
        if (result.line > 0) {
            std::string_view text = lineText(program, result.line);
            text.remove_prefix(std::min(text.size(), text.find_first_not_of(" \t")));
            result.detail += std::string(outside ? ", reached from line " : ", line ") +
                             std::to_string(result.line) + ": " + quoteText(text);
        }
        result.detail += lastOutput();
        return result;
    }
    if (reason != StopReason::Ended) {  // NeedInput cannot follow endInput; kept honest anyway
        result.outcome = Outcome::RuntimeError;
        result.detail = "the run stopped without ending";
        return result;
    }
    if (!difference.equal) {
        result.outcome = Outcome::WrongOutput;
        result.detail = difference.detail + lastOutput();
        result.diff = difference.diff;
        return result;
    }
    std::string failures = checkState(m, program, test);
    if (!failures.empty()) {
        result.outcome = Outcome::StateMismatch;
        result.detail = failures;
        return result;
    }
    result.score = test.points;
    return result;
}

}  // namespace tavro
