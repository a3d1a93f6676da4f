// The engine as the playground's worker sees it: a C ABI over engine.h, compiled to WebAssembly.
// A Session holds the last assembled program and one machine made from it; the caller owns it
// through the pointer that tavro_new returns. Texts cross the boundary as bytes in the session's
// text buffer (a pointer here, its length from tavro_text_length), valid until the next call
// that returns text. Counts that may pass 2^32 (steps, output bytes) travel as doubles.
#include <emscripten/emscripten.h>

#include <cstdint>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "engine/engine.h"

using namespace tavro;

namespace {

struct Session {
    ProgramPtr program = std::make_shared<const Program>();  // the program last assembled
    ProgramPtr running = program;  // the program the machine was made from
    MachinePtr machine = makeMachine(*running);  // made again by tavro_reset
    std::string out;       // the program's output not yet taken (its latest keptOutput bytes)
    size_t keptOutput = SIZE_MAX;
    std::string messages;  // what standard error would hold, not yet taken
    // For each message written, not yet taken: the output bytes before it, the message bytes
    // after it and the input bytes taken before it. IN alone writes messages and takes input,
    // so a terminal's order of the three streams follows from these.
    std::vector<double> marks;
    std::string text;      // the last text handed out
    double state[16];      // see tavro_state
    // The conditions of breakpoints, by address, read against the running program; a text that
    // program refuses stays here with its reason, so that the breakpoint stops and says why.
    std::map<uint32_t, BreakpointConditions> conditions;
    std::map<uint32_t, std::string> refused;
    // The program as tavro-grade assembles a submission (tavro_grade_prepare).
    Submission submission;
};

// Appends text as a JSON string: quotes, backslashes and control bytes escaped; other bytes as
// they are (the page sends UTF-8, so what comes back is UTF-8 too).
void appendJsonString(std::string& json, std::string_view text) {
    json += '"';
    for (char c : text) {
        if (c == '"' || c == '\\') {
            json += '\\';
            json += c;
        } else if (static_cast<unsigned char>(c) < 0x20) {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\u%04x", c);
            json += escape;
        } else {
            json += c;
        }
    }
    json += '"';
}

void appendField(std::string& json, const char* name, int64_t value) {
    json += '"';
    json += name;
    json += "\":";
    json += std::to_string(value);
    json += ',';
}

// One entry of the diagnostics list. key names the entry of the hint table (docs/hints.json).
void appendDiagnostic(std::string& json, const char* severity, int32_t line, int32_t column,
                      int32_t length, std::string_view message, std::string_view key) {
    json += "{\"severity\":\"";
    json += severity;
    json += "\",";
    appendField(json, "line", line);
    appendField(json, "column", column);
    appendField(json, "length", length);
    json += "\"message\":";
    appendJsonString(json, message);
    json += ",\"key\":";
    appendJsonString(json, key);
    json += "},";
}

// The program as JSON: whether it runs, its size, every diagnostic and warning, the labels and
// each line's bytes (address, size, 1 for code or 2 for data).
std::string describeProgram(const Program& p) {
    std::string json = "{";
    json += runnable(p) ? "\"runnable\":true," : "\"runnable\":false,";
    appendField(json, "codeSize", p.codeSize);
    appendField(json, "errors", p.pass1Errors + p.pass2Errors + (p.tooLarge ? 1 : 0));
    json += "\"diagnostics\":[";
    for (const ClientDiagnostic& d : clientDiagnostics(p)) {
        appendDiagnostic(json, d.severity == Severity::Error ? "error" : "warning", d.line,
                         d.column, d.length, d.message, d.hintKey);
    }
    if (json.back() == ',') json.pop_back();
    json += "],\"labelWords\":[";
    for (const UndefinedLabel& label : p.undefinedLabels) json += std::to_string(label.address) + ",";
    if (json.back() == ',') json.pop_back();
    json += "],\"symbols\":[";
    for (const Symbol& s : p.symbols) {
        json += "{\"name\":";
        appendJsonString(json, s.name);
        json += ',';
        appendField(json, "value", s.value);
        appendField(json, "line", s.line);
        json += s.defined ? "\"defined\":true}," : "\"defined\":false},";
    }
    if (json.back() == ',') json.pop_back();
    json += "],\"lines\":[";
    for (size_t i = 0; i < p.lines.size(); i++) {
        const LineMap& line = p.lines[i];
        LineKind lineKindHere = lineKind(p, static_cast<int32_t>(i + 1));
        int kind = lineKindHere == LineKind::Nothing ? 0 : lineKindHere == LineKind::Instruction ? 1 : 2;
        json += "[" + std::to_string(line.address) + "," + std::to_string(line.size) + "," +
                std::to_string(kind) + "],";
    }
    if (json.back() == ',') json.pop_back();
    json += "]}";
    return json;
}

// Moves the sinks' pending bytes into the session's strings.
// Appends bytes to text, of which only the latest keep bytes count: the front is cut once
// text holds twice that, so each byte is moved at most once on average.
void keepLatest(std::string& text, std::string_view bytes, size_t keep) {
    if (bytes.size() >= keep) {
        text.assign(bytes.substr(bytes.size() - keep));
        return;
    }
    text.append(bytes);
    if (text.size() >= 2 * keep) text.erase(0, text.size() - keep);
}

void collect(Session& s) { drainOutput(*s.machine); }

// A decimal integer with an optional minus sign (a state check's value); false otherwise.
bool parseSigned(std::string_view text, int64_t* value) {
    bool negative = !text.empty() && text[0] == '-';
    if (negative) text.remove_prefix(1);
    uint64_t magnitude = 0;
    if (!parseCount(text, 0, 32768, &magnitude)) return false;
    *value = negative ? -static_cast<int64_t>(magnitude) : static_cast<int64_t>(magnitude);
    return true;
}

const char* handOut(Session& s, std::string text) {
    s.text = std::move(text);
    return s.text.c_str();
}

}  // namespace

extern "C" {

// Makes a session with no program and a machine that has nothing to run.
EMSCRIPTEN_KEEPALIVE Session* tavro_new() { return new Session(); }

// Frees a session.
EMSCRIPTEN_KEEPALIVE void tavro_delete(Session* s) { delete s; }

// Length of the text that the last text-returning call handed out.
EMSCRIPTEN_KEEPALIVE uint32_t tavro_text_length(Session* s) {
    return static_cast<uint32_t>(s->text.size());
}

// Assembles length bytes of source (tavro -c when checkOnly) and keeps the program; returns it
// as JSON (see describeProgram).
EMSCRIPTEN_KEEPALIVE const char* tavro_assemble(Session* s, const char* source, uint32_t length,
                                                int checkOnly) {
    AssembleOptions options;
    options.checkOnly = checkOnly != 0;
    s->program = assemble(std::string_view(source, length), options);
    return handOut(*s, describeProgram(*s->program));
}

// What tavro writes on standard error while assembling the kept program.
EMSCRIPTEN_KEEPALIVE const char* tavro_assembly_text(Session* s) {
    return handOut(*s, renderAssembly(*s->program));
}

// The kept program's machine code as tavro -d dumps it.
EMSCRIPTEN_KEEPALIVE const char* tavro_dump(Session* s) {
    std::string text;
    OutputSink sink = stringSink(&text);
    dumpMemory(s->program->image.data(), static_cast<int32_t>(s->program->codeSize), sink);
    drainSink(sink);
    return handOut(*s, std::move(text));
}

// The kept program's listing as tavro-list prints it; empty when the program cannot run.
EMSCRIPTEN_KEEPALIVE const char* tavro_listing(Session* s) {
    return handOut(*s, runnable(*s->program) ? renderListing(*s->program) : std::string());
}

// length bytes of source laid out as tavro-lsp formats them.
EMSCRIPTEN_KEEPALIVE const char* tavro_format(Session* s, const char* source, uint32_t length) {
    return handOut(*s, formatSource(std::string_view(source, length)));
}

// Makes a new machine at the start of the kept program: the random port's seed, tavro -t's
// trace in the output when trace is non-zero, a history for undo covering historySteps
// steps with a snapshot every interval steps (0: none), and keeping only the latest
// keepOutput bytes of output between takes (0: all of it).
EMSCRIPTEN_KEEPALIVE void tavro_reset(Session* s, uint32_t seed, int trace, double historySteps,
                                      uint32_t interval, double keepOutput) {
    MachineOptions options;
    options.seed = seed;
    options.trace = trace != 0;
    options.history = {static_cast<uint64_t>(historySteps), interval};
    s->running = s->program;
    s->machine = makeMachine(*s->running, options);
    s->conditions.clear();
    s->refused.clear();
    s->out.clear();
    s->messages.clear();
    // A program that prints without end would otherwise fill the heap between two takes (and
    // each growth copies it), which slows the very run a Stop has to wait for.
    s->keptOutput = keepOutput >= 1 ? static_cast<size_t>(keepOutput) : SIZE_MAX;
    setOutput(*s->machine, makeSink([s](std::string_view bytes) {
        keepLatest(s->out, bytes, s->keptOutput);
        return true;
    }));
    s->marks.clear();
    // Each message is handed on as it is written, when the output before it has been drained
    // and the input after it not yet taken.
    OutputSink messages = makeSink(
        [s](std::string_view bytes) {
            s->messages.append(bytes);
            // Called while the bytes are pending: the count includes them already.
            MachineView view = viewMachine(*s->machine);
            s->marks.push_back(static_cast<double>(view.outputBytes));
            s->marks.push_back(static_cast<double>(view.messageBytes));
            s->marks.push_back(static_cast<double>(view.inputPosition));
            return true;
        },
        SinkFlush::Each);
    setMessages(*s->machine, std::move(messages));
}

// Executes one instruction; returns the StopReason.
EMSCRIPTEN_KEEPALIVE int tavro_step(Session* s) { return static_cast<int>(step(*s->machine)); }

// Runs at most budget steps, stopping at breakpoints; returns the StopReason.
EMSCRIPTEN_KEEPALIVE int tavro_run(Session* s, double budget) {
    return static_cast<int>(run(*s->machine, static_cast<uint64_t>(budget)));
}

// Starts a step over at ip (see beginStepOver): 1 when ip is at a CALL and the runs that follow
// go on until it has returned, coming back with Stepped; 0 when one step is the step over.
EMSCRIPTEN_KEEPALIVE int tavro_begin_step_over(Session* s) {
    return beginStepOver(*s->machine) ? 1 : 0;
}

// Starts a step out of the routine the innermost call on the stack called (see beginStepOut):
// 1 when one is, 0 when no call is on the stack.
EMSCRIPTEN_KEEPALIVE int tavro_begin_step_out(Session* s) {
    return beginStepOut(*s->machine, *s->running) ? 1 : 0;
}

// Starts a run to address (see beginRunTo): 1, or 0 when address lies outside the code.
EMSCRIPTEN_KEEPALIVE int tavro_begin_run_to(Session* s, uint32_t address) {
    return beginRunTo(*s->machine, address) ? 1 : 0;
}

// Sets a register by hand (0 AX to 3 DX, 4 for IP); the history starts again from there.
EMSCRIPTEN_KEEPALIVE void tavro_set_register(Session* s, int reg, int value) {
    if (reg == 4) {
        setIp(*s->machine, value);
    } else {
        setRegister(*s->machine, reg, static_cast<int16_t>(value));
    }
}

// Writes a word by hand at address (0 to 4094); the history starts again from there.
EMSCRIPTEN_KEEPALIVE void tavro_set_word(Session* s, int address, int value) {
    setWord(*s->machine, address, value);
}

// Drops a step over or out, or a run to, in progress (the page's Stop, or another command).
EMSCRIPTEN_KEEPALIVE void tavro_end_step_goal(Session* s) { endStepGoal(*s->machine); }

// Steps back n steps; returns how many it could.
EMSCRIPTEN_KEEPALIVE double tavro_undo(Session* s, double n) {
    collect(*s);
    double undone = static_cast<double>(undo(*s->machine, static_cast<uint64_t>(n)));
    // The marks of messages that the undone steps wrote go with them.
    auto kept = static_cast<double>(messageBytes(*s->machine));
    while (!s->marks.empty() && s->marks[s->marks.size() - 2] > kept) s->marks.resize(s->marks.size() - 3);
    return undone;
}

// Hands IN length bytes of input.
EMSCRIPTEN_KEEPALIVE void tavro_give_input(Session* s, const char* bytes, uint32_t length) {
    giveInput(*s->machine, std::string_view(bytes, length));
}

// Says that no more input will come.
EMSCRIPTEN_KEEPALIVE void tavro_end_input(Session* s) { endInput(*s->machine); }

// Arms or clears the breakpoint at address.
EMSCRIPTEN_KEEPALIVE void tavro_set_breakpoint(Session* s, uint32_t address, int armed) {
    setBreakpoint(*s->machine, address, armed != 0);
}

// Checks a breakpoint's condition and hit count (length bytes each; blank: none) against the
// kept program: "" when both are taken, else why one is refused (tavro-dap's words).
EMSCRIPTEN_KEEPALIVE const char* tavro_check_condition(Session* s, const char* condition,
                                                       uint32_t conditionLength, const char* hit,
                                                       uint32_t hitLength) {
    BreakpointConditions read;
    return handOut(
        *s, parseBreakpointConditions(*s->program, std::string_view(condition, conditionLength),
                                      std::string_view(hit, hitLength), &read));
}

// Gives the breakpoint at address a condition and hit count, read against the running program
// (both blank: none), and starts its count of hits again; returns "" or why it was refused.
EMSCRIPTEN_KEEPALIVE const char* tavro_set_condition(Session* s, uint32_t address,
                                                     const char* condition,
                                                     uint32_t conditionLength, const char* hit,
                                                     uint32_t hitLength) {
    BreakpointConditions read;
    std::string why =
        parseBreakpointConditions(*s->running, std::string_view(condition, conditionLength),
                                  std::string_view(hit, hitLength), &read);
    s->conditions.erase(address);
    s->refused.erase(address);
    if (!why.empty()) {
        s->refused[address] = why;
    } else if (read.conditional || read.hit.op != 0) {
        s->conditions[address] = read;
    }
    return handOut(*s, std::move(why));
}

// After a run stopped at a breakpoint: 0 when its conditions say to go on (the hit is counted),
// 1 to stop there, 2 to stop because they cannot be worked out; then tavro_judged_reason says why.
EMSCRIPTEN_KEEPALIVE int tavro_judge_breakpoint(Session* s) {
    uint32_t ip = viewMachine(*s->machine).ip;
    s->text.clear();
    if (auto refused = s->refused.find(ip); refused != s->refused.end()) {
        s->text = refused->second;
        return 2;
    }
    auto found = s->conditions.find(ip);
    if (found == s->conditions.end()) return 1;
    std::string why;
    switch (judgeBreakpoint(*s->machine, found->second, &why)) {
        case BreakVerdict::GoOn: return 0;
        case BreakVerdict::Stop: return 1;
        case BreakVerdict::Unknown: s->text = std::move(why); return 2;
    }
    return 1;
}

// Why the last judged breakpoint stopped although its conditions could not be worked out.
EMSCRIPTEN_KEEPALIVE const char* tavro_judged_reason(Session* s) { return s->text.c_str(); }

// The machine's figures: AX, BX, CX, DX, ip, below flag, status, waiting for input (0 or 1),
// steps, output bytes, message bytes, code size, the earliest step that undo can reach, and the
// input bytes taken by IN.
EMSCRIPTEN_KEEPALIVE const double* tavro_state(Session* s) {
    MachineView view = viewMachine(*s->machine);
    double* f = s->state;
    for (int r = 0; r < REGISTER_COUNT; r++) f[r] = view.regs[r];
    f[4] = view.ip;
    f[5] = view.below ? 1 : 0;
    f[6] = static_cast<double>(view.status);
    f[7] = view.prompted ? 1 : 0;
    f[8] = static_cast<double>(view.steps);
    f[9] = static_cast<double>(view.outputBytes);
    f[10] = static_cast<double>(view.messageBytes);
    f[11] = view.codeSize;
    f[12] = static_cast<double>(view.earliestStep);
    f[13] = static_cast<double>(view.inputPosition);
    return f;
}

// The machine's 4096 bytes of memory.
EMSCRIPTEN_KEEPALIVE const uint8_t* tavro_memory(Session* s) {
    return viewMachine(*s->machine).memory;
}

// The program's output since the last take.
EMSCRIPTEN_KEEPALIVE const char* tavro_take_output(Session* s) {
    collect(*s);
    std::string text;
    text.swap(s->out);
    if (text.size() > s->keptOutput) text.erase(0, text.size() - s->keptOutput);
    return handOut(*s, std::move(text));
}

// What standard error would have received since the last take.
EMSCRIPTEN_KEEPALIVE const char* tavro_take_messages(Session* s) {
    collect(*s);
    std::string text;
    text.swap(s->messages);
    return handOut(*s, std::move(text));
}

// The marks of the messages written since the last take (see Session::marks): a line
// "OUTPUT MESSAGES INPUT" of byte counts for each.
EMSCRIPTEN_KEEPALIVE const char* tavro_take_marks(Session* s) {
    std::string text;
    for (size_t i = 0; i + 2 < s->marks.size(); i += 3) {
        char line[80];
        std::snprintf(line, sizeof line, "%.0f %.0f %.0f\n", s->marks[i], s->marks[i + 1], s->marks[i + 2]);
        text += line;
    }
    s->marks.clear();
    return handOut(*s, std::move(text));
}

// The trace lines (tavro -t) of the last count steps, as far back as the history reaches:
// replayed on a scratch machine from a snapshot, so the session's machine is not touched.
EMSCRIPTEN_KEEPALIVE const char* tavro_recent_trace(Session* s, uint32_t count) {
    return handOut(*s, recentTrace(*s->machine, count));
}

// The trace line of the instruction at ip, as it stands (empty outside the code).
EMSCRIPTEN_KEEPALIVE const char* tavro_trace_line(Session* s) {
    return handOut(*s, traceLine(*s->machine));
}

// Assembles length bytes of source as tavro-grade assembles a submission, for the tests that
// follow; the session's own program and machine are not touched.
EMSCRIPTEN_KEEPALIVE void tavro_grade_prepare(Session* s, const char* source, uint32_t length) {
    s->submission = prepareSubmission("", std::string(source, length));
}

// Runs one test on the prepared submission and judges it by tavro-grade's rules. checks holds
// the state checks as lines "KEY VALUE"; compare is 0 exact or 1 trim; points is the decimal
// number of the suite. Returns {"outcome","score","max_score","detail","diff"} as JSON (scores
// as decimals, as tavro-grade's json report has them), or {"error"} for a test that is not one.
EMSCRIPTEN_KEEPALIVE const char* tavro_grade_test(Session* s, const char* input,
                                                  uint32_t inputLength, const char* expected,
                                                  uint32_t expectedLength, const char* checks,
                                                  uint32_t checksLength, double points,
                                                  double maxSteps, double maxOutput, double seed,
                                                  int compare) {
    TestCase test;
    test.input.assign(input, inputLength);
    test.expected.assign(expected, expectedLength);
    test.compare = compare == 1 ? Compare::Trim : Compare::Exact;
    // The limits as suite.toml bounds them: counts from 1, a seed that fits 32 bits.
    bool valid = pointsFromNumber(points, &test.points) && maxSteps >= 1 &&
                 maxSteps <= 9007199254740992.0 && maxOutput >= 1 &&
                 maxOutput <= 9007199254740992.0 && seed >= 0 && seed <= 4294967295.0 &&
                 maxSteps == static_cast<double>(static_cast<uint64_t>(maxSteps)) &&
                 maxOutput == static_cast<double>(static_cast<uint64_t>(maxOutput)) &&
                 seed == static_cast<double>(static_cast<uint64_t>(seed));
    test.limits = {static_cast<uint64_t>(maxSteps), static_cast<uint64_t>(maxOutput),
                   static_cast<uint32_t>(seed)};
    std::string_view lines(checks, checksLength);
    while (valid && !lines.empty()) {
        size_t end = std::min(lines.find('\n'), lines.size());
        std::string_view line = lines.substr(0, end);
        lines.remove_prefix(std::min(end + 1, lines.size()));
        size_t blank = line.find(' ');
        int64_t value = 0;
        valid = blank != std::string_view::npos && blank > 0 &&
                parseSigned(line.substr(blank + 1), &value) && value >= INT16_MIN &&
                value <= INT16_MAX;
        if (valid) {
            std::string key(line.substr(0, blank));
            test.checks.push_back({key, checkRegister(key), static_cast<int16_t>(value)});
        }
    }
    if (!valid) {
        return handOut(*s, "{\"error\":\"a limit, the points or a check is out of range\"}");
    }
    TestResult result = judgeTest(s->submission, test, true);
    std::string json = "{\"outcome\":";
    appendJsonString(json, OUTCOME_NAMES[static_cast<int>(result.outcome)]);
    json += ",\"score\":" + formatPoints(result.score) +
            ",\"max_score\":" + formatPoints(result.maxScore) + ",\"detail\":";
    appendJsonString(json, result.detail);
    json += ",\"diff\":";
    appendJsonString(json, result.diff);
    json += '}';
    return handOut(*s, std::move(json));
}

}  // extern "C"
