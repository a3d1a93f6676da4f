// The page's worker: it owns the engine and runs the machine, so the page never waits for it.
// A run goes in slices of a few milliseconds (run(budget) again and again, which also lets the
// browser's optimising compiler take over the engine's loop); between slices the worker reads
// its messages, so Stop is seen within one slice. It posts the machine's state as an 'update'
// at most every UPDATE_MS while running, and whenever the machine comes to rest.
import createTavroEngine from './engine.js';
import { STATUS_TEXTS, Stop, openSession } from './session.js';
import { assembleSource } from './tool.js';

const SLICE_MS = 4;              // aim of one slice of running
const UPDATE_MS = 50;            // the page hears from a run this often
const TRACE_LINES = 100;         // steps shown by the trace panel
// Step back reaches this far. A snapshot every 65536 steps: a step back re-runs at most that
// many (well under a millisecond), and a run goes through the engine in chunks that long.
const HISTORY = { historySteps: 1_000_000, interval: 65536 };
const STREAM_LIMIT = 200_000;  // bytes of a stream that the page keeps (the latest)
const EOF_STATUS = STATUS_TEXTS.indexOf('unexpected EOF');

const encoder = new TextEncoder();
const decoder = new TextDecoder();

let session = null;
let machine = null;      // what the machine runs: { program, addressLine, assembly, refused }
let mode = 'idle';       // idle, running, over (stepping over a CALL), paused, waiting, ended
let waitingFor = null;   // what resumes once input comes: 'running' or 'over'
let breakpoints = [];    // { line (1-based), condition, hit } of each breakpoint
let judged = '';         // why the last breakpoint stopped although its condition was unknown
let limit = 100_000_000; // steps one Run or Continue may take
let runBudget = 0;       // steps left to this Run or Continue
let sliceSteps = 1_000_000;
let note = '';
let goalNote = '';       // what the status calls the run to the engine's goal under way
let lastUpdate = 0;
let generation = 0;      // counts machines made, so the page knows when to start its panels anew
let describedGeneration = 0;  // the machine whose program the page has been sent
let clock = null;        // the current stretch of running: { start, steps, engineMs }
let lastStretch = null;  // the last one that ended: { steps, ms, engineMs }
let earlyInput = [];     // input given before the machine took a step (null: the end of input)
let given = new Uint8Array(0);  // the input handed to this machine
let givenEnded = false;
let term = { out: 0, err: 0, in: 0, eof: false };  // how far the terminal's pieces reach
let rate = 0;            // steps a second of a Run or Continue shown step by step; 0: full speed
let timer = 0;           // the next step of such a run
const yielder = new MessageChannel();

// Which line emitted the byte at each address (0: none), from the program's line map.
function lineMap(program) {
  const addressLine = new Int32Array(4096);
  program.lines.forEach(([address, size], i) => {
    for (let a = address; a < address + size && a < 4096; a++) addressLine[a] = i + 1;
  });
  return addressLine;
}

// Arms the breakpoints on the running program's addresses, with their conditions.
function armBreakpoints() {
  if (!machine?.program) return;
  for (const { line, condition = '', hit = '' } of breakpoints) {
    const entry = machine.program.lines[line - 1];
    if (!entry || entry[1] <= 0) continue;
    session.setBreakpoint(entry[0], true);
    session.setCondition(entry[0], condition, hit);
  }
}

// Assembles the source and makes a machine at its start (a refused program's never runs).
// Input typed ahead, before the old machine took a step, goes to the new one, and is kept
// through a program with errors for the one that follows it.
function reset(source) {
  const typedAhead = session.state().steps === 0 ? earlyInput : [];
  earlyInput = [];
  const assembled = assembleSource(session, encoder.encode(source));
  // An empty editor is no file that tavro could not read: the page says the program is empty.
  const empty = source.length === 0;
  machine = {
    program: assembled.program,
    addressLine: assembled.program ? lineMap(assembled.program) : new Int32Array(4096),
    assembly: empty ? '' : decoder.decode(assembled.stderr),
    refused: assembled.refused,
    listing: assembled.refused ? '' : session.listing(),  // tavro-list's text
  };
  waitingFor = null;
  note = '';
  generation += 1;
  clock = lastStretch = null;
  given = new Uint8Array(0);
  givenEnded = false;
  term = { out: 0, err: 0, in: 0, eof: false };
  // A refused program gets a machine too, so that the panels show a clean start; it never runs.
  session.reset({ seed: Math.floor(Date.now() / 1000), ...HISTORY, keepOutput: STREAM_LIMIT });
  if (assembled.refused) {
    mode = 'refused';
    note = empty ? 'The program is empty: write one, or choose an example.' : 'The program has errors: nothing runs until they are fixed.';
  } else {
    armBreakpoints();
    mode = 'idle';
  }
  for (const text of typedAhead) {
    if (text === null) endInput();
    else giveInput(text);
  }
}

// The latest characters of a stream chunk that the page can keep: a program that prints
// without end must not flood the page.
const latest = (bytes) => decoder.decode(bytes.length > STREAM_LIMIT ? bytes.subarray(bytes.length - STREAM_LIMIT) : bytes);

// The terminal's new pieces, in the order they happened: for each message, the input taken
// after the one before, the output before it, and itself; then the input taken since and the
// output since. A piece of output is [kind, from, to] in its stream, whose text the update's
// out and err carry (from their latest characters on); a piece of input is ['in', from, text].
function terminalPieces(state, out, err) {
  const pieces = [];
  const output = (kind, to, text, end) => {
    const from = Math.max(term[kind], end - text.length);
    if (to > from) pieces.push([kind, from, to]);
    term[kind] = to;
  };
  const input = (to) => {
    if (to > term.in) pieces.push(['in', term.in, decoder.decode(given.subarray(term.in, to))]);
    term.in = to;
  };
  for (const [outAt, errEnd, inAt] of session.takeMarks()) {
    input(inAt);
    output('out', outAt, out, state.outputBytes);
    output('err', errEnd, err, state.messageBytes);
  }
  input(state.inputPosition);
  if (state.status === EOF_STATUS && !term.eof) pieces.push(['eof', term.in, '']);
  term.eof = state.status === EOF_STATUS;
  output('out', state.outputBytes, out, state.outputBytes);
  return pieces;
}

function update() {
  lastUpdate = performance.now();
  const state = session.state();
  const out = latest(session.takeOutput());
  const err = latest(session.takeMessages());
  const terminal = {
    pieces: terminalPieces(state, out, err),
    end: { out: state.outputBytes, err: state.messageBytes, in: state.inputPosition, eof: term.eof },
    queued: decoder.decode(given.subarray(Math.min(state.inputPosition, given.length))),
    ended: givenEnded,
  };
  // A machine's program and address map go with its first update only: a program with
  // thousands of lines would otherwise cost the page a copy at every step.
  const described = describedGeneration === generation;
  describedGeneration = generation;
  postMessage({
    type: 'update',
    generation,
    mode,
    note,
    limit,
    machine: described ? undefined : { program: machine.program, addressLine: machine.addressLine, assembly: machine.assembly, listing: machine.listing },
    state,
    line: machine.addressLine[state.ip] ?? 0,
    memory: session.memory(),
    out: { at: state.outputBytes - out.length, text: out },
    err: { at: machine.assembly.length + state.messageBytes - err.length, text: err },
    terminal,
    rate: mode === 'running' ? rate : 0,
    stretch: lastStretch,
    trace: machine.refused ? '' : session.recentTrace(TRACE_LINES),
    next: machine.refused ? '' : session.traceLine(),
  });
}

// Ends the current stretch of running, for the figures the status line shows.
function stopClock() {
  if (!clock) return;
  lastStretch = { steps: session.state().steps - clock.steps, ms: performance.now() - clock.start, engineMs: clock.engineMs };
  clock = null;
}

// After a run, a step or a slice: where the machine stands now.
function settle(reason, resumable) {
  if (reason !== Stop.BUDGET || runBudget <= 0) stopClock();
  switch (reason) {
    case Stop.BUDGET:
      if (runBudget > 0) return schedule();
      mode = 'paused';
      note = `Paused at the step limit (${limit.toLocaleString('en')} ${limit === 1 ? 'step' : 'steps'} per run): Continue runs as many again.`;
      break;
    case Stop.ENDED: mode = 'ended'; note = ''; break;
    case Stop.BREAKPOINT:
      mode = 'paused';
      note = judged ? `Paused at a breakpoint whose condition can't be worked out: ${judged}` : 'Paused at a breakpoint.';
      break;
    case Stop.NEED_INPUT:
      mode = 'waiting';
      waitingFor = resumable;
      note = 'IN waits for a number: type it in the input box.';
      break;
    default: mode = 'paused'; note = '';
  }
  update();
}

// Lets messages in, then runs the next slice. One slice is ever in flight, however often a
// run is started anew while another goes on.
let scheduled = false;
function schedule() {
  if (performance.now() - lastUpdate >= UPDATE_MS) update();
  if (scheduled) return;
  scheduled = true;
  yielder.port2.postMessage(null);
}

// One step of a Run or Continue below full speed, shown in full; the next comes 1/rate s later.
function animatedStep() {
  const before = session.state().steps;
  const reason = session.run(1);
  runBudget -= session.state().steps - before;
  if (reason !== Stop.BUDGET || runBudget <= 0) return settle(reason, mode);
  update();
  scheduled = true;
  timer = setTimeout(slice, 1000 / rate);
}

// Cancels the wait for the next step of a run shown step by step; true when there was one.
function dropTimer() {
  if (!timer) return false;
  clearTimeout(timer);
  timer = 0;
  scheduled = false;
  return true;
}

// One slice of the current run or step-over.
function slice() {
  scheduled = false;
  timer = 0;
  if (mode !== 'running' && mode !== 'over') return;
  if (mode === 'running' && rate > 0) return animatedStep();
  const budget = Math.min(sliceSteps, runBudget);
  const before = session.state().steps;
  const start = performance.now();
  let reason = session.run(budget);  // a step over's end is the engine's to find
  // A breakpoint whose conditions say to go on is passed within the slice's budget.
  judged = '';
  while (reason === Stop.BREAKPOINT) {
    const verdict = session.judgeBreakpoint();
    if (verdict.stop) {
      judged = verdict.why;
      break;
    }
    const left = budget - (session.state().steps - before);
    reason = left > 0 ? session.run(left) : Stop.BUDGET;
  }
  const elapsed = performance.now() - start;
  runBudget -= session.state().steps - before;
  if (clock) clock.engineMs += elapsed;
  // Keep a slice near SLICE_MS: the machine's speed varies with the program and the tier.
  if (reason === Stop.BUDGET && budget === sliceSteps) {
    const scale = Math.min(4, Math.max(0.25, SLICE_MS / Math.max(elapsed, 0.01)));
    sliceSteps = Math.max(1000, Math.min(50_000_000, Math.round(sliceSteps * scale)));
  }
  settle(reason, mode);
}
yielder.port1.onmessage = slice;

// Starts a run (kind 'running') or a run to the engine's goal ('over': a step over or out, a
// run to a line), which the status names with goal.
function start(kind, goal = '') {
  if (machine.refused || mode === 'ended' || mode === 'running' || mode === 'over') return;
  if (mode === 'waiting') return update();
  if (kind === 'running') session.endStepGoal();
  runBudget = limit;
  note = goal;
  goalNote = goal;
  mode = kind;
  startClock();
  schedule();
}

function startClock() {
  clock = { start: performance.now(), steps: session.state().steps, engineMs: 0 };
  lastStretch = null;
}

function stepOnce() {
  if (machine.refused || mode === 'ended' || mode === 'running' || mode === 'over') return;
  if (mode === 'waiting') return update();
  settle(session.step(), 'paused');
}

function stepOver() {
  if (machine.refused || mode === 'ended' || mode === 'running' || mode === 'over') return;
  if (mode === 'waiting' || !session.beginStepOver()) return stepOnce();
  start('over', 'Stepping over a CALL…');
}

// Whether a step out or a run to a line can start now; if not, the page hears why.
function canStartGoal() {
  if (machine.refused || mode === 'ended' || mode === 'running' || mode === 'over') return false;
  if (mode === 'waiting') update();
  return mode !== 'waiting';
}

function stepOut() {
  if (!canStartGoal()) return;
  if (!session.beginStepOut()) {
    note = 'No call is on the stack: there is no routine to step out of.';
    return update();
  }
  start('over', 'Stepping out of the routine…');
}

// Runs until the line about to execute is line, or the first instruction after it.
function runTo(line) {
  if (!canStartGoal()) return;
  const lines = machine.program.lines;
  let at = line;
  while (at <= lines.length && lines[at - 1][2] !== 1) at += 1;
  if (at > lines.length || !session.beginRunTo(lines[at - 1][0])) {
    note = `Line ${line} holds no instruction and none follows it: nothing to run to.`;
    return update();
  }
  start('over', `Running to line ${at}…`);
}

function stepBack() {
  if (machine.refused || mode === 'running' || mode === 'over') return;
  if (session.undo(1) === 0) {
    note = 'No earlier step to go back to.';
  } else {
    mode = 'paused';
    waitingFor = null;
    note = '';
    const state = session.state();
    term = { out: state.outputBytes, err: state.messageBytes, in: state.inputPosition, eof: state.status === EOF_STATUS };
  }
  update();
}

function giveInput(text) {
  if (mode === 'ended') return;
  if (session.state().steps === 0) earlyInput.push(text);
  const bytes = encoder.encode(text);
  const all = new Uint8Array(given.length + bytes.length);
  all.set(given);
  all.set(bytes, given.length);
  given = all;
  if (machine.refused) return update();
  session.giveInput(bytes);
  afterInput();
}

// After input came: a waiting IN takes it; otherwise the page shows it queued.
function afterInput() {
  if (mode === 'waiting') resume();
  else if (mode !== 'running' && mode !== 'over') update();
}

function endInput() {
  if (mode === 'ended') return;
  if (session.state().steps === 0) earlyInput.push(null);
  givenEnded = true;
  if (machine.refused) return update();
  session.endInput();
  afterInput();
}

function resume() {
  const kind = waitingFor;
  waitingFor = null;
  mode = 'paused';
  if (kind === 'running' || kind === 'over') {
    mode = kind;
    note = kind === 'over' ? goalNote : '';
    startClock();
    schedule();
  } else {
    stepOnce();
  }
}

const handlers = {
  assemble({ source, version }) {
    const assembled = assembleSource(session, encoder.encode(source));
    postMessage({ type: 'program', version, program: assembled.program });
  },
  reset({ source }) { reset(source); update(); },
  // The source laid out as tavro-lsp formats it; the page applies it if the text is unchanged.
  format({ source }) {
    postMessage({ type: 'formatted', source, text: decoder.decode(session.format(encoder.encode(source))) });
  },
  run({ source }) { reset(source); start('running'); if (mode === 'refused') update(); },
  continue() { start('running'); },
  step() { stepOnce(); },
  stepOver() { stepOver(); },
  stepOut() { stepOut(); },
  setRegister({ reg, value }) {
    if (machine.refused || !['idle', 'paused', 'waiting'].includes(mode)) return;
    session.setRegister(reg, value);
    note = `${['AX', 'BX', 'CX', 'DX', 'IP'][reg]} set by hand: Step back goes no further back.`;
    update();
  },
  setWord({ address, value }) {
    if (machine.refused || !['idle', 'paused', 'waiting'].includes(mode)) return;
    session.setWord(address, value);
    note = `The word at ${address} set by hand: Step back goes no further back.`;
    update();
  },
  runTo({ line }) { runTo(line); },
  stepBack() { stepBack(); },
  stop() {
    if (mode !== 'running' && mode !== 'over') return;
    stopClock();
    session.endStepGoal();
    dropTimer();  // the next step of a run shown step by step does not come
    mode = 'paused';
    note = 'Stopped.';
    update();
  },
  input({ text }) { giveInput(text); },
  endInput() { endInput(); },
  checkCondition({ id, condition, hit }) {
    postMessage({ type: 'condition', id, refused: session.checkCondition(condition, hit) });
  },
  breakpoints({ breakpoints: list }) {
    breakpoints = list;
    if (!machine?.program || machine.refused) return;
    for (let a = 0; a < 4096; a++) session.setBreakpoint(a, false);
    armBreakpoints();
  },
  // Judges the source with every test of an assignment, one 'graded' message a test.
  grade({ source, tests, version }) {
    session.gradePrepare(encoder.encode(source));
    tests.forEach((test, index) => {
      postMessage({ type: 'graded', version, index, result: session.gradeTest(test) });
    });
  },
  speed({ steps }) {
    rate = Number.isFinite(steps) && steps > 0 ? steps : 0;
    // A run shown step by step goes on at the new speed now, not after the old wait.
    if (dropTimer()) schedule();
  },
  limit({ steps }) {
    limit = Math.max(1, Math.floor(steps));
  },
};

// Until the engine is there, commands have nothing to act on; the page sends its source again
// when it hears 'ready'.
onmessage = (event) => { if (session) handlers[event.data.type]?.(event.data); };

createTavroEngine().then((module) => {
  session = openSession(module);
  reset('');
  postMessage({ type: 'ready' });
}, (error) => postMessage({ type: 'failed', message: String(error) }));
