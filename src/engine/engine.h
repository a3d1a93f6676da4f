// The Tavro engine: the assembler and the machine as a library with explicit state. Every
// front-end (tavro, tavro-list, the grader, the page, the editor servers) includes this header
// only. A Program is what assembling a source gives; a Machine runs one. Neither touches a
// global, so any number of them can live in one process and on several threads.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "asm/passes.h"
#include "common/sink.h"
#include "common/tavro.h"
// The grader's rules for one test, which tavro-grade and the page share (see the section at
// the end).
#include "engine/judge.h"
#include "engine/text.h"

namespace tavro {

// ---- Assembling (the records are in asm/passes.h) ----------------------------------------

// Reads a whole source file; false when it cannot be read, is empty, or is 2 GiB or larger.
bool loadFile(const char* path, SourceBytes* bytes);

// Assembles a source held in memory: CR, LF and CR LF end lines, a NUL byte ends its line's
// text. Both passes run unless pass 1 fails, the program is too large or options say checkOnly.
// The program comes back shared and read-only (ProgramPtr): front-ends read its records only.
ProgramPtr assemble(SourceBytes source, const AssembleOptions& options = {});
// The same from a view of the bytes.
ProgramPtr assemble(std::string_view source, const AssembleOptions& options = {});
// True when the program can run: both passes clean and within 4093 bytes.
bool runnable(const Program& program);
// The label named name (any case, 7 characters significant), or nullptr.
const Symbol* findSymbol(const Program& program, std::string_view name);

// ---- tavro's texts, rendered once for every front-end --------------------------------------

// "*pass=P, MESSAGE\n" and the line as "%7ld>TEXT\n".
std::string renderDiagnostic(const Diagnostic& diagnostic);
// "*** pass=P ... N error(s) found.\n"
std::string renderSummary(int pass, int64_t errorCount);
// "!!Undefined Label ... Memory allocated: NAME = [ADDRESS], Line=N\n"
std::string renderUndefinedLabel(const UndefinedLabel& label);
// " ... Memory area is too large.\n"
std::string_view tooLargeMessage();
// Everything tavro prints on standard error while assembling (with -c when checkOnly).
std::string renderAssembly(const Program& program);
// The closing line of a run that has ended: ">>> Program terminated. (STATUS)\n".
std::string renderClosingLine(RunStatus status);
// The line of a run that was interrupted: "!!>>> Program is interrupted. IP=N\n".
std::string renderInterruptedLine(uint32_t ip);
// Writes the memory dump of -d: the first count bytes of image in hexadecimal, 16 to a row.
void dumpMemory(const uint8_t* image, int32_t count, OutputSink& out);

// The listing of a runnable program (tavro-list's output): a row per source line and per word
// the assembler added, then a blank line and the symbol table. The format is stable
// (docs/tavro-list.1); scripts may parse it.
std::string renderListing(const Program& program);

// ---- A source line's parts, and formatting (tavro-lsp's and the page's) ---------------------

// A line cut at its blanks. Columns are byte offsets into the line; a missing part is empty.
struct LineParts {
    std::string_view label;      // the name in column 0, if any
    std::string_view statement;  // its first word: a mnemonic, RES, a number or a name
    size_t statementColumn = 0;
    std::string_view operands;  // the rest of the statement, without outer blanks
    size_t operandsColumn = 0;
    std::string_view comment;  // from ';' to the line end
    size_t commentColumn = 0;
};

// line := [LABEL] {blank} [word {blank} [operands]] {blank} [';' comment]
LineParts splitLine(std::string_view line);
// True when name is one of the 16 mnemonics (any case).
bool isMnemonic(std::string_view name);
// The whole text laid out in columns (label, statement at 8, operands after the mnemonic,
// comments at 28): lines with an assembly message, a NUL byte or a byte above 0x7f outside a
// comment are kept as they are; line ends are kept, so the result has the text's lines.
std::string formatSource(std::string_view text);

// ---- Running ---------------------------------------------------------------------------------

// The bounded history behind undo: a snapshot every `interval` steps, covering at least the
// last `steps` steps. Undo restores a snapshot and re-executes up to the step wanted.
struct HistoryOptions {
    uint64_t steps = 0;  // 0: no history, no undo
    uint64_t interval = 1024;
};

struct MachineOptions {
    uint32_t seed = 1;  // the random port's seed
    bool seedFromClock = false;  // seed from the clock at the first draw instead (tavro)
    HistoryOptions history;
    bool trace = false;  // step() and run() write each trace line to out first (tavro -t)
};

// A machine: its state, its sinks and input, its breakpoints, watches and history. Its record
// is the engine's own (machine_record.h): front-ends read it through viewMachine and change it
// through the functions here, so that no front-end can break what the engine keeps in step.
struct Machine;

// Frees a machine; the owning handle below calls it.
struct MachineDeleter {
    void operator()(Machine* machine) const;
};
// A machine, owned: front-ends hold one of these and pass *handle to the functions here.
using MachinePtr = std::unique_ptr<Machine, MachineDeleter>;

// Makes a machine at the start of program: its image, ip 0, DX 4094, and the given options.
// Output goes nowhere until the caller gives sinks (setOutput, setMessages).
MachinePtr makeMachine(const Program& program, const MachineOptions& options = {});
// The same on a raw image of codeSize bytes (fuzzers, tests and tools that load images);
// codeSize is held to 1 to 4093.
MachinePtr makeMachine(const std::array<uint8_t, MEMORY_SIZE>& image, int32_t codeSize,
                       const MachineOptions& options = {});
// Executes exactly one instruction through the definition (breakpoints are not looked at).
// When the program ends, by this step or any run, its closing line is written to out.
StopReason step(Machine& machine);
// Runs at most budget steps through the fast path (through the definition when tracing);
// see StopReason for every way back.
StopReason run(Machine& machine, uint64_t budget);
// Runs until the program ends, input is needed, a stop is requested or output fails, without
// counting steps (steps stays as it was): the fastest way, which tavro takes.
StopReason runToEnd(Machine& machine);
// Asks a running machine to stop at its next taken jump, call or return; any thread may call.
// The run that stops for it clears the request.
void requestStop(Machine& machine);
// Arms or clears a breakpoint at an address.
void setBreakpoint(Machine& machine, uint32_t address, bool armed);
// Watches or stops watching the bytes from address to address + length - 1: the program's
// code and data, below codeSize (the stack above it is not watched).
void setWatch(Machine& machine, uint32_t address, uint32_t length, bool armed);
// Hands IN bytes of input; an IN takes a line at a time (at most 63 bytes, as tavro reads).
void giveInput(Machine& machine, std::string_view bytes);
// Says that no more input will come: an IN with nothing left ends the run (unexpected EOF).
void endInput(Machine& machine);
// Steps back n steps, exactly; returns how many it could (the history may hold fewer). The
// output sinks are drained first; afterwards outputBytes() tells how much output the earlier
// state had made, and the caller trims what it shows to that.
uint64_t undo(Machine& machine, uint64_t n);
// Restarts the history at the present state, the oldest one undo can then return to: for a
// front-end that changed the state itself, which the re-execution of undo would not repeat.
void restartHistory(Machine& machine);
// ---- Changing a machine by hand (a debugger's) ---------------------------------------------
// Each changes the machine at rest, restarts the history at the new state (undo would not
// repeat the change), and lets the next run execute the instruction at ip before it looks at
// a breakpoint there.

// Sets register reg: 0 for AX to 3 for DX.
void setRegister(Machine& machine, int32_t reg, int16_t value);
// Moves ip; false, changing nothing, outside memory.
bool setIp(Machine& machine, int64_t ip);
// Sets the flag: true for B (below).
void setBelow(Machine& machine, bool below);
// Writes a word at address as a store writes it; false, changing nothing, outside 0 to 4094.
bool setWord(Machine& machine, int64_t address, int32_t value);
// Writes bytes from address on; false, changing nothing, when they would leave memory.
bool setBytes(Machine& machine, int64_t address, std::string_view bytes);
// Lets the next run execute the instruction at ip before it looks at a breakpoint there: for a
// front-end that shows the machine stopped where it stands (at its entry) without a run.
void resumeHere(Machine& machine);

// The signed word at address, as a load reads it (no random draw at 4094; 0 outside memory).
int16_t wordAt(const Machine& machine, uint32_t address);
// Bytes the program has written to out so far (trace lines and closing line included).
uint64_t outputBytes(const Machine& machine);
// Bytes written to messages so far.
uint64_t messageBytes(const Machine& machine);

// ---- Reading a machine, and wiring it to the world ------------------------------------------

// What a front-end reads of a machine, copied out at one moment.
struct MachineView {
    std::array<int16_t, REGISTER_COUNT> regs;  // AX, BX, CX, DX
    uint32_t ip;                               // address of the next instruction
    bool below;                                // the flag: set by CMP, tested by JB and JNB
    RunStatus status;        // Running, Halt or the run-time error that ended the program
    bool prompted;           // IN has written its prompt and waits for a line
    int32_t codeSize;        // bytes of code and data, 1 to 4093; the stack lies above
    const uint8_t* memory;   // MEMORY_SIZE bytes; valid until the machine next runs or changes
    uint64_t steps;          // instructions executed by step() and run()
    uint64_t earliestStep;   // the oldest step undo can reach (steps when there is no history)
    uint64_t inputPosition;  // bytes of input taken by IN so far
    uint64_t outputBytes;    // bytes written to the output so far
    uint64_t messageBytes;   // bytes written to messages so far
    bool outputFailed;       // the output sink refused a write
    int32_t watchAddress;    // the address written when the last run stopped for a watch, or -1
};

// The machine as it stands.
MachineView viewMachine(const Machine& machine);
// The trace line (-t) of the instruction at the machine's ip; empty when ip is outside the code.
std::string traceLine(const Machine& machine);
// The trace lines of the last count steps, as far back as the history reaches: replayed on a
// copy from a snapshot, so the machine itself is not touched. Empty without a history.
std::string recentTrace(const Machine& machine, uint64_t count);
// The program's output goes to sink from now on; the sink it had is drained first, and the
// count of output bytes goes on from where it was (the sink's own count is replaced).
void setOutput(Machine& machine, OutputSink sink);
// The same for messages (IN's prompts).
void setMessages(Machine& machine, OutputSink sink);
// Hands back the output sink, drained; the machine goes on counting its output, writing none.
OutputSink takeOutput(Machine& machine);
// The same for messages.
OutputSink takeMessages(Machine& machine);
// Appends a front-end's own text to the program's output (an interrupted run's last line).
void writeOutput(Machine& machine, std::string_view text);
// Hands everything pending in both sinks to their writers.
void drainOutput(Machine& machine);
// Runs stop when *flag becomes non-zero (a signal handler's flag, shared by several machines);
// the run that stops for it clears it. nullptr goes back to the machine's own flag.
void shareStop(Machine& machine, std::atomic<int>* flag);

// ---- Reading a program and a machine as a debugger shows them -----------------------------

enum class LineKind : uint8_t { Nothing, Instruction, Data };

// What a source line emits, told by its statement: an instruction, data (a number, a label's
// address, RES), or nothing.
LineKind lineKind(const Program& program, int32_t line);
// The statement of a 1-based line: its text without the label, the comment and outer blanks.
std::string statementText(const Program& program, int32_t line);
// A part of a source line: the bytes from start to end (end excluded) of its text; start ==
// end where the line lacks the part.
struct Span {
    int32_t start = 0;
    int32_t end = 0;
};

// A source line's kind and parts (splitLine's, as byte ranges of the program's line).
struct LineSpans {
    LineKind kind = LineKind::Nothing;
    Span label;     // the name in the first column
    Span mnemonic;  // the statement's first word: a mnemonic, RES, or a data word's number or name
    Span operands;  // the rest of the statement, without blanks at either end
    Span comment;   // from ';' to the end of the line
};

// The kind and parts of a 1-based line (all empty outside the program); a NUL byte ends the
// line's text, as it does for the assembler.
LineSpans lineSpans(const Program& program, int32_t line);
// The 1-based source line that emitted the byte at address; the last line for bytes no line
// emitted (the END added after a program that lacks one).
int32_t lineOfAddress(const Program& program, uint32_t address);

// A CALL whose return address is on the stack.
struct CallFrame {
    int32_t slot;          // the stack word holding the return address
    uint32_t callAddress;  // of the CALL, two bytes before the return address
    std::string callee;    // the label it called, or "routine at N" when no label names it
};

// The calls on the stack, innermost first: every word from DX up to 4092 that holds the
// address just after a CALL instruction of the program.
std::vector<CallFrame> callFrames(const Program& program, const Machine& machine);
// The stack words from DX (rounded down to even) to 4092; empty when DX lies outside.
std::vector<int32_t> stackSlots(const Machine& machine);
// The label defined at address, or nullptr.
const Symbol* labelAt(const Program& program, int64_t address);
// The program's instructions in address order, each as opcode * 16 + operand form: the
// OperandKind of a two-operand instruction's source, times 2, plus 1 for a store; 0 for the
// others. Registers, numbers and addresses are left out, so that programs of the same shape
// compare equal whatever their labels and constants. Empty without the source map.
std::vector<uint16_t> instructionForms(const Program& program);

// ---- Messages for an editor ------------------------------------------------------------------

enum class Severity : uint8_t { Error, Warning };

// One message as an editor shows it.
struct ClientDiagnostic {
    Severity severity;
    int32_t line;     // 1-based
    int32_t column;   // 0-based byte column of the first byte marked; -1 for the whole line
    int32_t length;   // bytes marked from column: whole characters within the line
    std::string message;
    std::string hintKey;  // its entry in the table of hints (docs/hints.json)
};

// Every message of a program for an editor: the assembly faults on their failing token, each
// name never defined at its first use, a program too large, and each place that spells a label
// differently from its first spelling (only 7 characters count).
std::vector<ClientDiagnostic> clientDiagnostics(const Program& program);

// ---- Stepping over and out -------------------------------------------------------------------

// Starts a step over the instruction at ip. At a CALL, the runs that follow go on until the
// first step that reaches the CALL's return address with DX at or above where it stands now,
// whatever the routine does with the stack meanwhile, and come back there with Stepped (or
// earlier at a breakpoint, a watch, the end or an IN without input); true then. Elsewhere
// nothing starts, and false says that one step is the step over.
bool beginStepOver(Machine& machine);
// Starts a step out of the routine the innermost call on the stack called: the runs that
// follow go on until it has returned to its caller, as a step over of that call would. False
// when no call is on the stack.
bool beginStepOut(Machine& machine, const Program& program);
// Starts a run to address (a front-end's Run to cursor): the runs that follow come back with
// Stepped before the instruction there, or earlier at a breakpoint, a watch, the end or an IN
// without input. False when address lies outside the code.
bool beginRunTo(Machine& machine, uint32_t address);
// Drops a step over or out, or a run to, in progress: it ends by itself when a run stops for
// anything but its budget or input.
void endStepGoal(Machine& machine);

// Where a run back came to rest.
enum class BackStop : uint8_t {
    Breakpoint,  // before the instruction of the last breakpoint hit that counted
    Watch,       // just after the last write to a watched byte that counted
    Oldest,      // at the oldest step the history keeps (the start when that is step 0)
};

// Whether a stop met while running back counts: asked with the machine at a breakpoint or just
// after a watched write (reason says which), e.g. a front-end's conditions. Hits are not to be
// counted here: a run back replays steps the program has made already.
using BackCounts = std::function<bool(const Machine& machine, StopReason reason)>;
// Runs back to the last stop before the present step, at a breakpoint or a watch, that counts;
// to the oldest step kept when none does. The history is replayed to find it, its output
// counted, not written again. Drops a step goal in progress.
BackStop runBack(Machine& machine, const BackCounts& counts);

// ---- The debugger's expressions --------------------------------------------------------------
// What conditional breakpoints compare, what a debug console evaluates, and what a changed
// value accepts; tavro-dap and the page both take them from here, so one text means one thing.
//   term      := REG | IP | BELOW | LABEL | number | '[' address ']'
//   address   := (LABEL | REG | number) [('+' | '-') number]   (a word of memory: 0 to 4094)
//   condition := term [op term]          op := == != < <= > >=
// A label stands for its word, as a debugger shows it; [address] is the word there. Names
// follow the assembler's rules: any case, seven characters significant.

enum class TermKind : uint8_t { Number, Register, Ip, Below, Word };

struct Term {
    TermKind kind = TermKind::Number;
    int32_t value = 0;  // Number: the number; Register: its number; Word: the address's constant
    int32_t reg = -1;   // Word: a register added to the address, or -1
};

enum class Comparison : uint8_t { None, Equal, NotEqual, Less, LessEqual, Greater, GreaterEqual };

struct Condition {
    Term left;
    Comparison op = Comparison::None;  // None: the condition is the left term alone
    Term right;
};

// A hit condition: "N" (from the Nth hit on), "== N", ">= N", "> N", "< N", "<= N", "% N".
struct HitCondition {
    char op = 0;  // 0: none; '=', '>', 'g' (>=), '<', 'l' (<=), '%'
    uint64_t count = 0;
};

// Parses a condition; returns the fixed reason it is refused, nullptr on success.
const char* parseCondition(const Program& program, std::string_view text, Condition* condition);
// Parses a hit condition; returns the reason it is refused, nullptr on success.
const char* parseHitCondition(std::string_view text, HitCondition* hit);
// The value of a term on the machine as it stands; false, with *error saying why, when it
// names a word outside memory.
bool termValue(const Machine& machine, const Term& term, int32_t* value, std::string* error);
// Works out whether a condition holds (a lone term holds when it is not zero): "" with *holds
// set, or why it cannot be worked out.
std::string checkCondition(const Machine& machine, const Condition& condition, bool* holds);
// Whether the hits-th hit (counted from 1) passes the hit condition.
bool hitPasses(const HitCondition& hit, uint64_t hits);
// A breakpoint's conditions, and how often it was reached with its condition holding.
struct BreakpointConditions {
    bool conditional = false;  // a condition was given (a blank text is none)
    Condition condition;
    HitCondition hit;
    uint64_t hits = 0;
};

// Reads a breakpoint's condition and hit count, blank texts meaning none: "" when both are
// taken, else why one is refused ("Condition 'TEXT': REASON" or "Hit count 'TEXT': REASON").
std::string parseBreakpointConditions(const Program& program, std::string_view condition,
                                      std::string_view hitCondition, BreakpointConditions* out);

enum class BreakVerdict : uint8_t { GoOn, Stop, Unknown };

// At a breakpoint: Stop when its condition holds and the hit (counted here) passes, GoOn when
// not, Unknown (a run stops then too) when the condition cannot be worked out, *why saying why.
BreakVerdict judgeBreakpoint(const Machine& machine, BreakpointConditions& conditions,
                             std::string* why);
// The fields the machine decodes from an instruction's bytes (an editor's hover): "opcode N
// (MNEMONIC)", then its register, address, or mode and operand fields; code holds 3 bytes.
std::string instructionFields(const uint8_t* code);
// Whether a breakpoint's condition lets it stop on the machine as it stands, its hits not
// counted (a run back meets hits made already): there is none, it holds, or it cannot be worked
// out.
bool conditionAllows(const Machine& machine, const BreakpointConditions& conditions);
// Parses a value to store: a decimal number with a sign, or 0x and hexadecimal digits; false
// when it is neither or lies outside min..max.
bool parseValue(std::string_view text, int64_t min, int64_t max, int64_t* value);
// A word as a debugger shows it: signed decimal, then its 16 bits in hexadecimal.
std::string wordText(int32_t value);

// ---- Judging one test by the grader's rules ---------------------------------------------------
// The records and functions are in engine/judge.h (a test, its limits and final-state checks,
// a prepared submission, a test's result: prepareSubmission, judgeTest, checkRegister),
// engine/compare.h (compareOutput, outputTail) and engine/text.h (quoteText, displayText and
// the other escapes of a report's texts; formatPoints, pointsFromNumber, parseCount).

}  // namespace tavro
