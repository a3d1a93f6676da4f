// The engine in WebAssembly as JavaScript calls it: one session of the C ABI in
// web/engine/bindings.cpp (a program and a machine), with texts and counts turned into
// JavaScript values. The streams stay bytes (Uint8Array), exactly as tavro writes them; the
// worker and the Node tests both use this module, so the page runs what the tests check.

// Why a run came back; the order of StopReason in src/sim/machine.h.
export const Stop = Object.freeze({
  ENDED: 0,
  STEPPED: 1,
  BUDGET: 2,
  BREAKPOINT: 3,
  WATCH: 4,
  STOP_REQUESTED: 5,
  NEED_INPUT: 6,
  OUTPUT_FAILED: 7,
});

// How a run ended; the order of RunStatus in src/common/tavro.h.
export const STATUS_TEXTS = ['running', 'Halt', 'out of memory', 'illegal code', 'illegal operand',
  'illegal memory access', 'div by zero', 'unexpected EOF', 'interrupted', 'waiting for input'];

const decoder = new TextDecoder();
const encoder = new TextEncoder();

// Opens a session on an instantiated engine module (the factory's result).
export function openSession(module) {
  const session = module._tavro_new();

  // The text the last call handed out, as bytes (a copy: the buffer is reused).
  const takeText = (pointer) =>
    module.HEAPU8.slice(pointer, pointer + module._tavro_text_length(session));

  // Copies bytes into the engine's memory for one call.
  const withBytes = (bytes, call) => {
    const pointer = module._malloc(Math.max(bytes.length, 1));
    module.HEAPU8.set(bytes, pointer);
    try {
      return call(pointer, bytes.length);
    } finally {
      module._free(pointer);
    }
  };

  // Two texts as UTF-8 in the engine's memory for one call: call(p1, n1, p2, n2).
  const withTexts = (first, second, call) => {
    const a = encoder.encode(first);
    const b = encoder.encode(second);
    return withBytes(a, (p1, n1) => withBytes(b, (p2, n2) => call(p1, n1, p2, n2)));
  };

  return {
    // Assembles source bytes (tavro -c with checkOnly) and keeps the program for reset().
    assemble(bytes, { checkOnly = false } = {}) {
      const json = withBytes(bytes, (p, n) => takeText(module._tavro_assemble(session, p, n, checkOnly ? 1 : 0)));
      return JSON.parse(decoder.decode(json));
    },
    // What tavro writes on standard error while assembling the kept program.
    assemblyText: () => takeText(module._tavro_assembly_text(session)),
    // The kept program's machine code, as tavro -d dumps it.
    dump: () => takeText(module._tavro_dump(session)),
    // The kept program's listing as tavro-list prints it ('' when it cannot run).
    listing: () => decoder.decode(takeText(module._tavro_listing(session))),
    // Source bytes laid out as tavro-lsp formats them, as bytes.
    format: (bytes) => withBytes(bytes, (p, n) => takeText(module._tavro_format(session, p, n))),
    // A new machine at the start of the kept program (keepOutput: the latest output bytes
    // kept between takes, 0 for all).
    reset({ seed = 1, trace = false, historySteps = 0, interval = 4096, keepOutput = 0 } = {}) {
      module._tavro_reset(session, seed >>> 0, trace ? 1 : 0, historySteps, interval, keepOutput);
    },
    step: () => module._tavro_step(session),
    run: (budget) => module._tavro_run(session, budget),
    // Starts a step over: true at a CALL (the runs that follow go on until it has returned,
    // then come back with STEPPED), false where one step is the step over.
    beginStepOver: () => module._tavro_begin_step_over(session) === 1,
    // Starts a step out: true when a call is on the stack (the runs that follow go on until
    // its routine has returned, then come back with STEPPED).
    beginStepOut: () => module._tavro_begin_step_out(session) === 1,
    // Starts a run to an address of the code: the runs that follow come back with STEPPED there.
    beginRunTo: (address) => module._tavro_begin_run_to(session, address) === 1,
    // Sets a register by hand (0 AX to 3 DX, 4 IP); Step back cannot go back past it.
    setRegister: (reg, value) => module._tavro_set_register(session, reg, value),
    // Writes a word by hand at an address from 0 to 4094; Step back cannot go back past it.
    setWord: (address, value) => module._tavro_set_word(session, address, value),
    // Drops a step over or out, or a run to, in progress.
    endStepGoal: () => module._tavro_end_step_goal(session),
    undo: (n) => module._tavro_undo(session, n),
    giveInput: (bytes) => withBytes(bytes, (p, n) => module._tavro_give_input(session, p, n)),
    endInput: () => module._tavro_end_input(session),
    setBreakpoint: (address, armed) => module._tavro_set_breakpoint(session, address, armed ? 1 : 0),
    // Why the kept program refuses a breakpoint's condition or hit count ('' when it takes both).
    checkCondition: (condition, hit = '') => withTexts(condition, hit, (c, cn, h, hn) =>
      decoder.decode(takeText(module._tavro_check_condition(session, c, cn, h, hn)))),
    // Gives the breakpoint at an address a condition and hit count (blank: none), read against
    // the running program; '' or why it was refused (the breakpoint then stops and says so).
    setCondition: (address, condition, hit = '') => withTexts(condition, hit, (c, cn, h, hn) =>
      decoder.decode(takeText(module._tavro_set_condition(session, address, c, cn, h, hn)))),
    // After a run stopped at a breakpoint: { stop: false } when its conditions say to go on,
    // { stop: true, why } otherwise, why saying what could not be worked out ('' when nothing).
    judgeBreakpoint() {
      const verdict = module._tavro_judge_breakpoint(session);
      const why = verdict === 2 ? decoder.decode(takeText(module._tavro_judged_reason(session))) : '';
      return { stop: verdict !== 0, why };
    },
    // The registers, flag, ip, status and counts.
    state() {
      const f = new Float64Array(module.HEAPF64.buffer, module._tavro_state(session), 14);
      return {
        regs: [f[0], f[1], f[2], f[3]], ip: f[4], flag: f[5], status: f[6], waiting: f[7] === 1,
        steps: f[8], outputBytes: f[9], messageBytes: f[10], codeSize: f[11], earliestStep: f[12],
        inputPosition: f[13],
      };
    },
    // A copy of the machine's 4096 bytes.
    memory() {
      const pointer = module._tavro_memory(session);
      return module.HEAPU8.slice(pointer, pointer + 4096);
    },
    takeOutput: () => takeText(module._tavro_take_output(session)),
    takeMessages: () => takeText(module._tavro_take_messages(session)),
    // For each message written since the last take, in order: [output bytes before it, message
    // bytes after it, input bytes taken before it].
    takeMarks: () => decoder.decode(takeText(module._tavro_take_marks(session))).split('\n')
      .filter((line) => line !== '').map((line) => line.split(' ').map(Number)),
    // The trace lines of the last count steps, as tavro -t prints them.
    recentTrace: (count) => decoder.decode(takeText(module._tavro_recent_trace(session, count))),
    // The trace line of the instruction about to execute.
    traceLine: () => decoder.decode(takeText(module._tavro_trace_line(session))),
    // Assembles source bytes as tavro-grade assembles a submission, for gradeTest.
    gradePrepare: (bytes) => withBytes(bytes, (p, n) => module._tavro_grade_prepare(session, p, n)),
    // Runs one test of an assignment (docs/grading.md) on the prepared source and judges it by
    // tavro-grade's rules: {outcome, score, max_score, detail, diff}, or {error}.
    gradeTest(test) {
      const encoder = new TextEncoder();
      const checks = encoder.encode(Object.entries(test.expect).map(([key, value]) => `${key} ${value}`).join('\n'));
      const json = withBytes(encoder.encode(test.input), (ip, il) =>
        withBytes(encoder.encode(test.expected), (ep, el) =>
          withBytes(checks, (cp, cl) => takeText(module._tavro_grade_test(session, ip, il, ep, el, cp, cl,
            test.points, test.max_steps, test.max_output, test.seed, test.compare === 'trim' ? 1 : 0)))));
      return JSON.parse(decoder.decode(json));
    },
    close: () => module._tavro_delete(session),
  };
}
