// Request handlers, one per command, found through one table. A handler answers with respond
// or fail; events that must follow the response (initialized, stopped) are sent after it.
// Scopes are fixed: variablesReference 1 is the registers, 2 the labels, 3 the stack. A
// memoryReference is an address in decimal (or 0x hexadecimal); "0" is the whole memory.
#include "dap/requests.h"

#include <algorithm>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iterator>

namespace tavro {

namespace {

constexpr int64_t REGISTERS_SCOPE = 1;
constexpr int64_t LABELS_SCOPE = 2;
constexpr int64_t STACK_SCOPE = 3;

void respond(Session& s, const Json& request, Json body = Json::object()) {
    Json message = {{"seq", s.seq++},
                    {"type", "response"},
                    {"request_seq", intField(request, "seq", 0)},
                    {"success", true},
                    {"command", stringField(request, "command")}};
    if (!body.empty()) message["body"] = std::move(body);
    s.outbox += frameMessage(message);
}

void fail(Session& s, const Json& request, const std::string& text) {
    Json message = {{"seq", s.seq++},
                    {"type", "response"},
                    {"request_seq", intField(request, "seq", 0)},
                    {"success", false},
                    {"command", stringField(request, "command")},
                    {"message", text},
                    {"body", {{"error", {{"id", 1}, {"format", text}, {"showUser", true}}}}}};
    s.outbox += frameMessage(message);
}

// The same path however the client spells it, where the file system can tell.
std::string samePath(const std::string& path) {
    std::error_code error;
    std::filesystem::path canonical = std::filesystem::weakly_canonical(path, error);
    return error ? path : canonical.string();
}

// Reads a regular file only: a device or a pipe (/dev/zero) could be endless.
bool readFile(const std::string& path, std::string* bytes) {
    std::error_code error;
    if (!std::filesystem::is_regular_file(path, error)) return false;
    std::ifstream file(path, std::ios::binary);
    if (!file) return false;
    bytes->assign(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
    return !file.bad();
}

Json sourceOf(const Session& s) {
    std::filesystem::path path(s.programPath);
    return {{"name", path.filename().string()}, {"path", s.programPath}};
}

// ---- Sessions ---------------------------------------------------------------------------------

void initializeRequest(Session& s, const Json& request, const Json& args) {
    s.clientInvalidated = boolField(args, "supportsInvalidatedEvent", false);
    s.clientMemory = boolField(args, "supportsMemoryEvent", false);
    s.lineBase = boolField(args, "linesStartAt1", true) ? 1 : 0;
    s.columnBase = boolField(args, "columnsStartAt1", true) ? 1 : 0;
    respond(s, request,
            {{"supportsConfigurationDoneRequest", true},
             {"supportsConditionalBreakpoints", true},
             {"supportsHitConditionalBreakpoints", true},
             {"supportsEvaluateForHovers", true},
             {"supportsStepBack", true},
             {"supportsSetVariable", true},
             {"supportsDataBreakpoints", true},
             {"supportsReadMemoryRequest", true},
             {"supportsWriteMemoryRequest", true},
             {"supportsTerminateRequest", true},
             {"supportsRestartRequest", false},
             {"supportsFunctionBreakpoints", false},
             {"supportsStepInTargetsRequest", false},
             {"supportsExceptionInfoRequest", false},
             {"exceptionBreakpointFilters", Json::array()}});
}

// Starts the run once both launch and configurationDone have come.
void startIfReady(Session& s) {
    if (!s.launched || !s.configured || s.ended || s.run != RunKind::None) return;
    if (s.stopOnEntry) {
        resumeHere(*s.machine);  // continue goes on from the entry
        sendEvent(s, "stopped",
                  {{"reason", "entry"}, {"threadId", 1}, {"allThreadsStopped", true}});
    } else {
        startRun(s, RunKind::Continue);
    }
}

void launchRequest(Session& s, const Json& request, const Json& args) {
    if (s.launched) return fail(s, request, "A program is launched already");
    std::string path = stringField(args, "program");
    if (path.empty()) return fail(s, request, "launch needs a program: the path of a .tas file");
    int64_t maxSteps = intField(args, "maxSteps", static_cast<int64_t>(DEFAULT_MAX_STEPS));
    if (maxSteps < 1) return fail(s, request, "maxSteps must be a whole number above 0");
    std::string source;
    if (!readFile(path, &source) || source.empty()) {
        return fail(s, request, "Can't read source file: " + path);
    }
    std::string inputPath = stringField(args, "input");
    std::string input;
    if (!inputPath.empty() && !readFile(inputPath, &input)) {
        return fail(s, request, "Can't read input file: " + inputPath);
    }
    s.program = assemble(std::string_view(source));
    std::string messages = renderAssembly(*s.program);
    if (!messages.empty()) sendOutput(s, "stderr", messages);
    if (!runnable(*s.program)) return fail(s, request, path + " has assembly errors");
    std::error_code error;
    std::filesystem::path absolute = std::filesystem::absolute(path, error);
    s.programPath = samePath(error ? path : absolute.string());
    s.maxSteps = static_cast<uint64_t>(maxSteps);
    s.stopOnEntry = boolField(args, "stopOnEntry", false);
    int64_t seed = intField(args, "seed", static_cast<int64_t>(std::time(nullptr)));
    startMachine(s, static_cast<uint32_t>(seed));
    s.inputFromFile = !inputPath.empty();
    if (s.inputFromFile) {
        giveInput(*s.machine, input);
        endInput(*s.machine);
    }
    s.launched = true;
    respond(s, request);
    sendEvent(s, "initialized");
    startIfReady(s);
}

void configurationDoneRequest(Session& s, const Json& request, const Json&) {
    s.configured = true;
    respond(s, request);
    startIfReady(s);
}

void disconnectRequest(Session& s, const Json& request, const Json&) {
    respond(s, request);
    s.quit = true;
}

void terminateRequest(Session& s, const Json& request, const Json&) {
    respond(s, request);
    if (s.ended) return;
    s.run = RunKind::None;
    s.waitingForInput = false;
    s.ended = true;
    sendEvent(s, "terminated");
}

// ---- Breakpoints ------------------------------------------------------------------------------

// Reads a breakpoint's condition and hit condition; false with the reason when one is bad.
bool readConditions(const Session& s, const Json& item, BreakpointConditions* conditions,
                    std::string* reason) {
    *reason = parseBreakpointConditions(*s.program, stringField(item, "condition"),
                                        stringField(item, "hitCondition"), conditions);
    return reason->empty();
}

void setBreakpointsRequest(Session& s, const Json& request, const Json& args) {
    const Json& requested = nestedField(args, "breakpoints");
    std::string path = stringField(nestedField(args, "source"), "path");
    bool ours = s.launched && samePath(path) == s.programPath;
    if (ours) {
        for (const LineBreakpoint& b : s.lineBreakpoints) {
            setBreakpoint(*s.machine, b.address, false);
        }
        s.lineBreakpoints.clear();
    }
    Json answers = Json::array();
    for (const Json& item : requested.is_array() ? requested : Json::array()) {
        int64_t clientLine = intField(item, "line", INT32_MIN);
        // The source's 1-based line, whatever the client counts from.
        int64_t line = clientLine == INT32_MIN ? 0 : clientLine + 1 - s.lineBase;
        Json answer = {{"id", s.nextBreakpointId++}, {"verified", false}, {"line", clientLine}};
        if (clientLine == INT32_MIN) answer.erase("line");
        LineBreakpoint b{answer["id"].get<int64_t>(), static_cast<int32_t>(line), 0, {}};
        std::string reason;
        if (!s.launched) {
            reason = "The program is not launched yet";
        } else if (!ours) {
            reason = "Not the program being debugged";
        } else if (line < 1 || line > static_cast<int64_t>(s.program->lines.size())) {
            reason = "Line " + std::to_string(clientLine) + " is not in the program";
        } else if (LineKind kind = lineKind(*s.program, b.line); kind != LineKind::Instruction) {
            reason = "Line " + std::to_string(clientLine) +
                     (kind == LineKind::Data ? " holds data, not an instruction"
                                             : " emits no instruction");
        } else if (readConditions(s, item, &b.conditions, &reason)) {
            b.address = static_cast<uint32_t>(s.program->lines[b.line - 1].address);
            setBreakpoint(*s.machine, b.address, true);
            s.lineBreakpoints.push_back(b);
            answer["verified"] = true;
            answer["instructionReference"] = std::to_string(b.address);
        }
        if (!reason.empty()) answer["message"] = reason;
        if (s.launched) answer["source"] = sourceOf(s);
        answers.push_back(std::move(answer));
    }
    respond(s, request, {{"breakpoints", std::move(answers)}});
}

void setExceptionBreakpointsRequest(Session& s, const Json& request, const Json&) {
    respond(s, request, {{"breakpoints", Json::array()}});
}

// A label that has a word of its own (RANDOM is the port, not a word).
const Symbol* wordLabel(const Program& program, std::string_view name) {
    const Symbol* symbol = findSymbol(program, name);
    if (symbol == nullptr || symbol->value < 0 || symbol->value >= RANDOM_ADDRESS) return nullptr;
    return symbol;
}

void dataBreakpointInfoRequest(Session& s, const Json& request, const Json& args) {
    std::string name = stringField(args, "name");
    int64_t scope = intField(args, "variablesReference", LABELS_SCOPE);
    const Symbol* label =
        s.launched && (scope == LABELS_SCOPE || scope == 0) ? wordLabel(*s.program, name) : nullptr;
    if (label == nullptr) {
        return respond(s, request,
                       {{"dataId", nullptr},
                        {"description", "Only a label's word can be watched, not " + name}});
    }
    respond(s, request,
            {{"dataId", label->name},
             {"description",
              label->name + " (the word at " + std::to_string(label->value) + "), on writes"},
             {"accessTypes", Json::array({"write"})},
             {"canPersist", true}});
}

void setDataBreakpointsRequest(Session& s, const Json& request, const Json& args) {
    if (!s.launched) return fail(s, request, "No program is launched");
    for (const DataBreakpoint& d : s.dataBreakpoints) setWatch(*s.machine, d.address, 2, false);
    s.dataBreakpoints.clear();
    const Json& requested = nestedField(args, "breakpoints");
    Json answers = Json::array();
    for (const Json& item : requested.is_array() ? requested : Json::array()) {
        Json answer = {{"id", s.nextBreakpointId++}, {"verified", false}};
        const Symbol* label = wordLabel(*s.program, stringField(item, "dataId"));
        std::string access = stringField(item, "accessType", "write");
        DataBreakpoint d{answer["id"].get<int64_t>(), "", 0, {}};
        std::string reason;
        if (label == nullptr) {
            reason = "Only a label's word can be watched";
        } else if (access != "write") {
            reason = "Only writes can be watched";
        } else if (readConditions(s, item, &d.conditions, &reason)) {
            d.label = label->name;
            d.address = static_cast<uint32_t>(label->value);
            setWatch(*s.machine, d.address, 2, true);
            s.dataBreakpoints.push_back(d);
            answer["verified"] = true;
            answer["description"] = d.label;
        }
        if (!reason.empty()) answer["message"] = reason;
        answers.push_back(std::move(answer));
    }
    respond(s, request, {{"breakpoints", std::move(answers)}});
}

// ---- Execution --------------------------------------------------------------------------------

// Checks that the run can be moved; fails the request when it cannot.
bool canMove(Session& s, const Json& request) {
    if (!s.launched)
        fail(s, request, "No program is launched");
    else if (s.ended)
        fail(s, request, "The run has ended");
    else
        return true;
    return false;
}

void continueRequest(Session& s, const Json& request, const Json&) {
    if (!canMove(s, request)) return;
    respond(s, request, {{"allThreadsContinued", true}});
    startRun(s, RunKind::Continue);
}

void nextRequest(Session& s, const Json& request, const Json&) {
    if (!canMove(s, request)) return;
    respond(s, request);
    startRun(s, RunKind::StepOver);
}

void stepInRequest(Session& s, const Json& request, const Json&) {
    if (!canMove(s, request)) return;
    respond(s, request);
    startRun(s, RunKind::StepIn);
}

void stepOutRequest(Session& s, const Json& request, const Json&) {
    if (!canMove(s, request)) return;
    respond(s, request);
    startRun(s, RunKind::StepOut);
}

void stepBackRequest(Session& s, const Json& request, const Json&) {
    if (!canMove(s, request)) return;
    respond(s, request);
    stepBack(s, false);
}

void reverseContinueRequest(Session& s, const Json& request, const Json&) {
    if (!canMove(s, request)) return;
    respond(s, request);
    stepBack(s, true);
}

void pauseRequest(Session& s, const Json& request, const Json&) {
    respond(s, request);
    pauseRun(s);
}

// ---- State ------------------------------------------------------------------------------------

void threadsRequest(Session& s, const Json& request, const Json&) {
    respond(s, request, {{"threads", Json::array({{{"id", 1}, {"name", "tavro"}}})}});
}

Json frameJson(const Session& s, int64_t id, const std::string& name, uint32_t address) {
    return {{"id", id},
            {"name", name},
            {"source", sourceOf(s)},
            {"line", lineOfAddress(*s.program, address) - 1 + s.lineBase},
            {"column", s.columnBase},
            {"instructionPointerReference", std::to_string(address)}};
}

// One frame per routine on the stack, innermost first, each named after the routine it is in
// (the label its callers called; the program's top level is main) and placed where it stands:
// the innermost at ip, each caller at its CALL.
void stackTraceRequest(Session& s, const Json& request, const Json& args) {
    if (!s.launched) return fail(s, request, "No program is launched");
    std::vector<CallFrame> calls = callFrames(*s.program, *s.machine);
    Json frames = Json::array();
    for (size_t i = 0; i <= calls.size(); i++) {
        uint32_t at = i == 0 ? viewMachine(*s.machine).ip : calls[i - 1].callAddress;
        std::string routine = i < calls.size() ? calls[i].callee : "main";
        frames.push_back(frameJson(s, static_cast<int64_t>(i), routine, at));
    }
    int64_t total = static_cast<int64_t>(frames.size());
    int64_t start = std::clamp<int64_t>(intField(args, "startFrame", 0), 0, total);
    int64_t levels = intField(args, "levels", 0);
    int64_t end = levels > 0 ? std::min(total, start + levels) : total;
    Json shown = Json::array();
    for (int64_t i = start; i < end; i++) shown.push_back(frames[static_cast<size_t>(i)]);
    respond(s, request, {{"stackFrames", std::move(shown)}, {"totalFrames", total}});
}

void scopesRequest(Session& s, const Json& request, const Json&) {
    respond(
        s, request,
        {{"scopes",
          Json::array(
              {{{"name", "Registers"},
                {"presentationHint", "registers"},
                {"variablesReference", REGISTERS_SCOPE},
                {"expensive", false}},
               {{"name", "Labels"}, {"variablesReference", LABELS_SCOPE}, {"expensive", false}},
               {{"name", "Stack"}, {"variablesReference", STACK_SCOPE}, {"expensive", false}}})}});
}

Json variable(const std::string& name, const std::string& value, int64_t address = -1) {
    Json v = {{"name", name}, {"value", value}, {"variablesReference", 0}, {"evaluateName", name}};
    if (address >= 0) v["memoryReference"] = std::to_string(address);
    return v;
}

// The labels that have a word, in address order.
std::vector<const Symbol*> wordLabels(const Program& program) {
    std::vector<const Symbol*> labels;
    for (const Symbol& symbol : program.symbols) {
        if (wordLabel(program, symbol.name) == &symbol) labels.push_back(&symbol);
    }
    std::stable_sort(labels.begin(), labels.end(),
                     [](const Symbol* a, const Symbol* b) { return a->value < b->value; });
    return labels;
}

std::string slotName(int32_t slot) { return "[" + std::to_string(slot) + "]"; }

void variablesRequest(Session& s, const Json& request, const Json& args) {
    if (!s.launched) return fail(s, request, "No program is launched");
    const Machine& m = *s.machine;
    Json list = Json::array();
    switch (intField(args, "variablesReference", 0)) {
        case REGISTERS_SCOPE: {
            MachineView view = viewMachine(m);
            for (int r = 0; r < REGISTER_COUNT; r++) {
                list.push_back(variable(REGISTER_NAMES[r], std::to_string(view.regs[r])));
            }
            list.push_back(variable("IP", std::to_string(view.ip)));
            list.push_back(variable("below", std::to_string(view.below ? 1 : 0)));
            list.push_back(variable("steps", std::to_string(view.steps)));
            list.push_back(variable("output", std::to_string(view.outputBytes)));
            break;
        }
        case LABELS_SCOPE:
            for (const Symbol* label : wordLabels(*s.program)) {
                uint32_t address = static_cast<uint32_t>(label->value);
                list.push_back(variable(label->name, wordText(wordAt(m, address)), address));
            }
            break;
        case STACK_SCOPE: {
            std::vector<CallFrame> calls = callFrames(*s.program, m);
            for (int32_t slot : stackSlots(m)) {
                std::string value = wordText(wordAt(m, static_cast<uint32_t>(slot)));
                for (const CallFrame& call : calls) {
                    if (call.slot == slot) value += ", return from " + call.callee;
                }
                list.push_back(variable(slotName(slot), value, slot));
            }
            break;
        }
        default: break;
    }
    respond(s, request, {{"variables", std::move(list)}});
}

void setVariableRequest(Session& s, const Json& request, const Json& args) {
    if (!canMove(s, request)) return;
    Machine& m = *s.machine;
    std::string name = stringField(args, "name");
    std::string text = stringField(args, "value");
    int64_t value = 0;
    std::string shown;
    Condition target;
    if (parseCondition(*s.program, name, &target) != nullptr || target.op != Comparison::None) {
        return fail(s, request, "Can't set " + name);
    }
    const Term& t = target.left;
    if (t.kind == TermKind::Ip) {
        if (!parseValue(text, 0, MEMORY_SIZE - 1, &value)) {
            return fail(s, request, "IP takes an address from 0 to 4095");
        }
        setIp(m, value);
        shown = std::to_string(value);
    } else if (t.kind == TermKind::Below) {
        if (!parseValue(text, 0, 1, &value)) return fail(s, request, "below is 0 or 1");
        setBelow(m, value != 0);
        shown = std::to_string(value);
    } else if (t.kind == TermKind::Register || t.kind == TermKind::Word) {
        if (!parseValue(text, -32768, 65535, &value)) {
            return fail(s, request, "A word takes a number from -32768 to 65535");
        }
        if (t.kind == TermKind::Register) {
            setRegister(m, t.value, static_cast<int16_t>(value));
            shown = std::to_string(viewMachine(m).regs[t.value]);
        } else {
            int64_t address = t.value + (t.reg >= 0 ? viewMachine(m).regs[t.reg] : 0);
            if (!setWord(m, address, static_cast<int32_t>(value))) {
                return fail(s, request, "No word at " + std::to_string(address));
            }
            shown = wordText(static_cast<int32_t>(value));
        }
    } else {
        return fail(s, request, "Can't set " + name);
    }
    respond(s, request, {{"value", shown}, {"variablesReference", 0}});
    stateChanged(s);
}

void evaluateRequest(Session& s, const Json& request, const Json& args) {
    std::string expression = stringField(args, "expression");
    if (s.waitingForInput && stringField(args, "context") == "repl") {
        giveLine(s, expression);
        return respond(s, request, {{"result", ""}, {"variablesReference", 0}});
    }
    if (!s.launched) return fail(s, request, "No program is launched");
    Condition condition;
    if (const char* error = parseCondition(*s.program, expression, &condition)) {
        return fail(s, request, expression + ": " + error);
    }
    const Machine& m = *s.machine;
    Json body = {{"variablesReference", 0}};
    int32_t value = 0;
    bool holds = false;
    std::string error;
    if (condition.op != Comparison::None) {
        error = checkCondition(m, condition, &holds);
    } else {
        termValue(m, condition.left, &value, &error);
    }
    if (!error.empty()) return fail(s, request, expression + ": " + error);
    if (condition.op != Comparison::None) {
        body["result"] = holds ? "true" : "false";
    } else if (condition.left.kind == TermKind::Word) {
        body["result"] = wordText(value);
        int64_t address = condition.left.value +
                          (condition.left.reg >= 0 ? viewMachine(m).regs[condition.left.reg] : 0);
        body["memoryReference"] = std::to_string(address);
    } else {
        body["result"] = std::to_string(value);
    }
    respond(s, request, std::move(body));
}

// The address a memoryReference and offset name; false when the reference is not a number.
bool memoryAddress(const Json& args, int64_t* address) {
    int64_t base = 0;
    if (!parseValue(stringField(args, "memoryReference"), 0, 0xFFFFFFFFLL, &base)) return false;
    *address = base + std::clamp<int64_t>(intField(args, "offset", 0), -0xFFFFFFFFLL, 0xFFFFFFFFLL);
    return true;
}

void readMemoryRequest(Session& s, const Json& request, const Json& args) {
    if (!s.launched) return fail(s, request, "No program is launched");
    int64_t start = 0;
    if (!memoryAddress(args, &start)) return fail(s, request, "memoryReference is an address");
    int64_t count = std::clamp<int64_t>(intField(args, "count", 0), 0, 1 << 20);
    int64_t first = std::clamp<int64_t>(start, 0, MEMORY_SIZE);
    int64_t last = std::clamp<int64_t>(start + count, first, MEMORY_SIZE);
    const uint8_t* memory = viewMachine(*s.machine).memory;
    std::string bytes(reinterpret_cast<const char*>(memory) + first,
                      static_cast<size_t>(last - first));
    Json body = {{"address", std::to_string(first)}, {"data", encodeBase64(bytes)}};
    if (start + count > last) body["unreadableBytes"] = start + count - std::max(last, start);
    respond(s, request, std::move(body));
}

void writeMemoryRequest(Session& s, const Json& request, const Json& args) {
    if (!canMove(s, request)) return;
    int64_t start = 0;
    std::string bytes;
    if (!memoryAddress(args, &start)) return fail(s, request, "memoryReference is an address");
    if (!decodeBase64(stringField(args, "data"), &bytes)) {
        return fail(s, request, "data is not base64");
    }
    if (start < 0 || start > MEMORY_SIZE) return fail(s, request, "The address is outside memory");
    size_t room = static_cast<size_t>(MEMORY_SIZE - start);
    if (bytes.size() > room && !boolField(args, "allowPartial", false)) {
        return fail(s, request, "The bytes would run past the end of memory");
    }
    size_t count = std::min(bytes.size(), room);
    setBytes(*s.machine, start, std::string_view(bytes).substr(0, count));
    respond(s, request, {{"bytesWritten", count}});
    if (s.clientMemory) {
        sendEvent(s, "memory", {{"memoryReference", "0"}, {"offset", start}, {"count", count}});
    }
    stateChanged(s);
}

using Handler = void (*)(Session&, const Json& request, const Json& args);

struct Command {
    const char* name;
    Handler handler;
};

constexpr Command COMMANDS[] = {
    {"initialize", initializeRequest},
    {"launch", launchRequest},
    {"configurationDone", configurationDoneRequest},
    {"disconnect", disconnectRequest},
    {"terminate", terminateRequest},
    {"setBreakpoints", setBreakpointsRequest},
    {"setExceptionBreakpoints", setExceptionBreakpointsRequest},
    {"dataBreakpointInfo", dataBreakpointInfoRequest},
    {"setDataBreakpoints", setDataBreakpointsRequest},
    {"continue", continueRequest},
    {"next", nextRequest},
    {"stepIn", stepInRequest},
    {"stepOut", stepOutRequest},
    {"stepBack", stepBackRequest},
    {"reverseContinue", reverseContinueRequest},
    {"pause", pauseRequest},
    {"threads", threadsRequest},
    {"stackTrace", stackTraceRequest},
    {"scopes", scopesRequest},
    {"variables", variablesRequest},
    {"setVariable", setVariableRequest},
    {"evaluate", evaluateRequest},
    {"readMemory", readMemoryRequest},
    {"writeMemory", writeMemoryRequest},
};

}  // namespace

void handleMessage(Session& s, std::string_view body) {
    Json message = Json::parse(body, nullptr, false);
    if (message.is_discarded() || !message.is_object()) {
        return fail(s, Json::object(), "The message is not a JSON object");
    }
    std::string type = stringField(message, "type");
    if (type == "response") return;  // to a request of ours; tavro-dap makes none
    std::string command = stringField(message, "command");
    if (type != "request" || command.empty()) {
        return fail(s, message, "The message is not a request with a command");
    }
    const Json& args = nestedField(message, "arguments");
    for (const Command& c : COMMANDS) {
        if (command == c.name) return c.handler(s, message, args);
    }
    fail(s, message, "Unknown request: " + command);
}

void receiveBytes(Session& s, std::string_view bytes) {
    feedBytes(s.reader, bytes);
    std::string text;
    while (!s.quit) {
        FrameStatus status = nextFrame(s.reader, &text);
        if (status == FrameStatus::NeedMore) break;
        if (status == FrameStatus::Frame) {
            handleMessage(s, text);
            continue;
        }
        fail(s, Json::object(), "Malformed frame: " + text);
        // Nothing after a frame over the limit can be framed: the adapter ends (main gives
        // status 1 for it), and the editor sees that it is gone.
        if (status == FrameStatus::TooLarge) s.quit = true;
    }
}

}  // namespace tavro
