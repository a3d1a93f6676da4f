// The page: the editor, the controls and the panels, talking to the worker that owns the engine.
// The worker assembles as the student types and runs the machine; this side only sends
// commands and draws what comes back. Stream chunks are applied as they arrive (they must all
// be, in order); the rest of an update is drawn once per animation frame.
import examples from 'tavro:examples';

import hints from '../../docs/hints.json';
import { breakpointLines, breakpointList, createEditor, markExecuting, showDiagnostics } from './editor.js';
import { applyFormatted } from './format.js';
import { createListing, createSymbols } from './listing.js';
import { createMemoryTable } from './memtable.js';
import { assignmentLink, createTestsPanel, fetchAssignment, MAX_ASSIGNMENT, readAssignment } from './assignment.js';
import { createNotice } from './notice.js';
import { createMemoryMap, createRegisters, createStream } from './panels.js';
import { encodeProgram, readLink } from './share.js';
import { STATUS_TEXTS } from './session.js';
import { createTerminal } from './terminal.js';

// The pause in typing after which the program is assembled again: longer for a long program,
// whose answer takes the page longer to take in, so that it does not land between two keys.
const assembleDelay = (lines) => 150 + Math.min(350, Math.floor(lines / 20));
const EMPTY_PROGRAM = 'The program is empty: write one, or choose an example.';
const byTestId = (id) => document.querySelector(`[data-testid="${id}"]`);
const store = {
  get: (key) => { try { return localStorage.getItem(key); } catch { return null; } },
  set: (key, value) => { try { localStorage.setItem(key, value); } catch { /* private mode */ } },
};

const worker = new Worker('worker.js', { type: 'module' });
const send = (type, fields = {}) => worker.postMessage({ type, ...fields });

// ---- the editor and the assembler's messages ----

let version = 0;
let assembleTimer = 0;
let saveTimer = 0;
let engineReady = false;

const hintFor = (d) => hints[d.key] ?? '';

let assembled = { version: -1, program: null };  // the worker's latest answer to 'assemble'

// Assembles the program as it now stands, for its messages; a machine that has not run yet is
// made anew from it, so the status and the messages panel follow the program as it is.
function assembleSoon() {
  clearTimeout(assembleTimer);
  assembleTimer = setTimeout(() => {
    assembleTimer = 0;
    version += 1;
    if (!engineReady) return;
    send('assemble', { source: source(), version });
    if (mode === 'idle' || mode === 'refused') {
      machineSource = source();
      send('reset', { source: machineSource });
    }
  }, assembleDelay(editor.state.doc.lines));
}

// The program as assembled from the text now in the editor, or undefined while that is not
// known yet (null: the text is empty).
const currentProgram = () => (assembleTimer === 0 && assembled.version === version ? assembled.program : undefined);

// Where a breakpoint asked for on a line goes: that line when it holds an instruction, else the
// next one that does; the notice says why it moved or was not set.
function placeBreakpoint(line) {
  const program = currentProgram();
  if (program === undefined) return line;
  const isCode = (n) => program?.lines[n - 1]?.[2] === 1;
  if (isCode(line)) return line;
  let next = line + 1;
  while (program && next <= program.lines.length && !isCode(next)) next += 1;
  if (!program || next > program.lines.length) {
    notice.show(`Line ${line} holds no instruction and none follows it: no breakpoint was set.`);
    return 0;
  }
  if (breakpointLines(editor).includes(next)) {
    notice.show(`Line ${line} holds no instruction; the next instruction, on line ${next}, has a breakpoint already.`);
    return 0;
  }
  notice.show(`Line ${line} holds no instruction: the breakpoint is on line ${next}, the next instruction.`);
  return next;
}

// Asks the engine whether it takes a breakpoint's condition and hit count, against the
// program as last assembled: resolves to '' or why it refuses them.
const conditionAnswers = new Map();  // question number: resolve
let conditionQuestions = 0;
function checkCondition(condition, hit) {
  if (!engineReady) return Promise.resolve('The engine is not ready yet: try again in a moment.');
  conditionQuestions += 1;
  send('checkCondition', { id: conditionQuestions, condition, hit });
  return new Promise((resolve) => conditionAnswers.set(conditionQuestions, resolve));
}

const notice = createNotice(byTestId('notice'));
const exampleNamed = (name) => examples.find((e) => e.name === name);
// Work is a program the student wrote or changed: not empty, and not an example as it stands.
const isWork = (text) => text.trim() !== '' && !examples.some((e) => e.text === text);

// The work the page had; a program from a link replaces it in the editor, and the work stays
// one click away in the notice.
const storedWork = store.get('tavro.source');
const editor = createEditor(document.getElementById('editor'), {
  text: storedWork ?? examples[0].text,
  onChange() {
    assembleSoon();
    showStatus();
    forgetExampleIfEdited();
    clearTimeout(saveTimer);
    saveTimer = setTimeout(saveWork, 500);
  },
  onBreakpoints(view) {
    send('breakpoints', { breakpoints: breakpointList(view) });
  },
  placeBreakpoint: (line) => placeBreakpoint(line),
  checkCondition,
});
const source = () => editor.state.doc.toString();
performance.mark('tavro-editor-ready');  // the editor takes typing from here (bench/playground)

function saveWork() {
  clearTimeout(saveTimer);
  store.set('tavro.source', source());
}

// Replaces the whole program (its breakpoints go with it) and makes a machine for it.
function setSource(text) {
  editor.dispatch({ changes: { from: 0, to: editor.state.doc.length, insert: text } });
  saveWork();
  if (engineReady) send('reset', { source: text });
  machineSource = text;
}

// Opens a link's program once: the address bar loses the link, so a reload shows the latest
// work, and work that the program replaced is offered back.
function openLink(link) {
  history.replaceState(null, '', location.pathname + location.search);
  if (link.error) {
    notice.show(link.error);
    return;
  }
  const before = source();
  if (link.text === before) return;
  setSource(link.text);
  fileName = '';
  if (!isWork(before)) return;
  notice.show('The link\'s program is now in the editor; the program you had is kept here.', {
    label: 'Bring back the program you had',
    run() {
      setSource(before);
      notice.show('Your program is back in the editor.', { label: 'Open the link\'s program again', run: () => setSource(link.text) });
    },
  });
}

const diagnosticsList = byTestId('diagnostics');

const LIST_PAGE = 50;   // messages drawn at a time: the rest as the list is scrolled to its end
let listMore = null;     // draws the next part of the list, while there is one

function diagnosticItem(d) {
  const item = document.createElement('li');
  item.className = d.severity;
  const jump = document.createElement('button');
  jump.type = 'button';
  const line = document.createElement('span');
  line.className = 'line';
  line.textContent = `line ${d.line}`;
  const message = document.createElement('span');
  message.className = 'message';
  message.textContent = d.message;
  jump.append(line, message);
  jump.addEventListener('click', () => {
    if (d.line < 1 || d.line > editor.state.doc.lines) return;
    const at = editor.state.doc.line(d.line).from;
    editor.dispatch({ selection: { anchor: at }, scrollIntoView: true });
    editor.focus();
  });
  const hint = document.createElement('span');
  hint.className = 'hint';
  hint.textContent = hintFor(d);
  item.append(jump, hint);
  return item;
}

// Lists the messages under the editor, LIST_PAGE at a time: a program with thousands of errors
// must not stall typing while its list is drawn.
function listDiagnostics(diagnostics, empty) {
  if (diagnostics.length === 0) {
    const item = document.createElement('li');
    item.className = 'clean';
    item.textContent = empty ? EMPTY_PROGRAM : 'No errors.';
    diagnosticsList.replaceChildren(item);
    listMore = null;
    return;
  }
  const more = document.createElement('li');
  more.className = 'more';
  let drawn = 0;
  listMore = () => {
    const part = diagnostics.slice(drawn, drawn + LIST_PAGE).map(diagnosticItem);
    drawn += part.length;
    more.textContent = `${(diagnostics.length - drawn).toLocaleString('en')} more below: scroll on`;
    more.before(...part);
    if (drawn === diagnostics.length) {
      more.remove();
      listMore = null;
    }
  };
  diagnosticsList.replaceChildren(more);
  listMore();
}
diagnosticsList.addEventListener('scroll', () => {
  const { scrollTop, clientHeight, scrollHeight } = diagnosticsList;
  if (listMore && scrollTop + clientHeight >= scrollHeight - 40) listMore();
});

// ---- the machine's panels ----

// Registers and memory can be changed by hand while the machine rests.
const atRest = () => mode === 'idle' || mode === 'paused' || mode === 'waiting';
const registers = createRegisters(document.querySelector('.registers'), {
  canEdit: atRest,
  onSet: (reg, value) => send('setRegister', { reg, value }),
});
const consoleStream = createStream(byTestId('console'));
const stderrStream = createStream(byTestId('stderr'));
const terminal = createTerminal(byTestId('terminal'));
const memoryMap = createMemoryMap(byTestId('memory-map'), document.getElementById('memory-cell'),
  document.getElementById('tooltip'), byTestId('stack'),
  (line) => (line <= editor.state.doc.lines ? editor.state.doc.line(line).text : ''));
const memoryTable = createMemoryTable(byTestId('memory-table'),
  (line) => (line <= editor.state.doc.lines ? editor.state.doc.line(line).text : ''),
  { canEdit: atRest, onSet: (address, value) => send('setWord', { address, value }) });
const followIp = byTestId('memory-follow');
let tableFresh = false;  // a new machine came while the table was not drawn
byTestId('memory-map').addEventListener('pick', ({ detail }) => {
  followIp.checked = false;
  memoryTable.show(detail);
});
byTestId('memory-goto').addEventListener('change', (event) => {
  const address = Number(event.target.value);
  if (!Number.isInteger(address) || address < 0 || address > 4095) return;
  followIp.checked = false;
  memoryTable.show(address);
});
const listing = createListing(byTestId('listing'));
const symbols = createSymbols(byTestId('symbols').querySelector('tbody'), document.getElementById('symbols-note'));
const traceView = byTestId('trace');
const traceNext = byTestId('trace-next');
const statusLine = byTestId('status');
const inputBox = byTestId('input');

let machineSource = null;  // the source the worker's machine was made from
let generation = null;     // the program the panels show
let mode = 'loading';
let pending = null;        // the latest update not drawn yet
let machineView = { program: null, addressLine: new Int32Array(4096) };  // the worker's, per machine
let updates = 0;           // updates received; the page marks the last one drawn (tests wait on it)

// "in 0.31 s, 323 million steps a second" for a stretch of running long enough to say.
function speed(stretch) {
  if (!stretch || stretch.ms < 50 || stretch.steps < 1_000_000) return '';
  return ` in ${(stretch.ms / 1000).toFixed(2)} s, ${Math.round(stretch.steps / stretch.ms / 1000)} million steps a second`;
}

// "1 step", "2 steps".
const countSteps = (n) => `${n.toLocaleString('en')} ${n === 1 ? 'step' : 'steps'}`;

function describeMode(update) {
  const steps = `${countSteps(update.state.steps)}${speed(update.stretch)}`;
  switch (update.mode) {
    case 'idle': return `Ready at the start. ${update.note}`;
    case 'running': return update.rate > 0 ? `Running at ${countSteps(update.rate)} a second… ${steps}` : `Running… ${steps}`;
    case 'over': return `${update.note} ${steps}`;
    case 'paused': return `Paused after ${steps}. ${update.note}`;
    case 'waiting': return `Waiting for input after ${steps}. ${update.note}`;
    case 'ended': return `Ended (${STATUS_TEXTS[update.state.status]}) after ${steps}.`;
    case 'refused': return update.note;
    default: return update.note;
  }
}

const staleNote = 'The source has changed since this machine was made: Run or Reset to use it.';
let shown = null;  // the update drawn last

function showStatus() {
  if (!shown) return;
  const stale = source() !== machineSource && shown.mode !== 'idle' && shown.mode !== 'refused';
  statusLine.textContent = `${describeMode(shown).trim()}${stale ? ` ${staleNote}` : ''}`;
}

function draw() {
  const update = pending;
  pending = null;
  if (!update) return;
  // A run shown step by step is drawn at each step as Step draws it.
  const running = (update.mode === 'running' && !update.rate) || update.mode === 'over';
  consoleStream.show(running);
  stderrStream.show(running);
  terminal.show(running);
  registers.draw(update.state);
  memoryMap.draw(update, update.fresh);
  // The table is drawn at rest only: while a run goes on it would change faster than it reads.
  if (!running) memoryTable.draw(update, update.fresh || tableFresh);
  tableFresh = running && (tableFresh || update.fresh);
  if (followIp.checked && !running) memoryTable.show(update.state.ip);
  traceView.textContent = update.trace;
  traceView.scrollTop = traceView.scrollHeight;
  traceNext.textContent = update.next ? `next: ${update.next}` : '';
  shown = update;
  showStatus();
  if (update.stretch) statusLine.dataset.stretch = JSON.stringify(update.stretch);
  else delete statusLine.dataset.stretch;
  const resting = !running;
  const atInstruction = resting && update.mode !== 'ended' && update.mode !== 'refused';
  markExecuting(editor, atInstruction ? update.line : 0);
  listing.draw(update, atInstruction);
  symbols.draw(update);
  document.body.dataset.drawn = String(update.count);
}

function setControls() {
  const busy = mode === 'running' || mode === 'over';
  const canStep = !busy && mode !== 'loading';
  for (const id of ['step', 'step-over', 'step-out', 'run-to-cursor', 'continue']) byTestId(id).disabled = !canStep;
  byTestId('step-back').disabled = !canStep || mode === 'refused';
  byTestId('stop').disabled = !busy;
  byTestId('run').disabled = mode === 'loading';
  byTestId('reset').disabled = mode === 'loading';
  document.body.dataset.mode = mode;
}

function onUpdate(update) {
  const fresh = update.generation !== generation;
  if (fresh) {
    generation = update.generation;
    consoleStream.clear();
    stderrStream.clear(update.machine.assembly);
    terminal.clear(update.machine.assembly);
    registers.forget();
  }
  consoleStream.apply(update.out.at, update.out.text);
  stderrStream.apply(update.err.at, update.err.text);
  terminal.apply(update.terminal, {
    out: { text: update.out.text, end: update.state.outputBytes },
    err: { text: update.err.text, end: update.state.messageBytes },
  });
  const wasWaiting = mode === 'waiting';
  mode = update.mode;
  setControls();
  if (mode === 'waiting' && !wasWaiting) inputBox.focus();
  if (!pending) requestAnimationFrame(draw);
  updates += 1;
  document.body.dataset.updates = String(updates);
  if (update.machine) machineView = update.machine;
  pending = { ...update, machine: machineView, fresh: fresh || pending?.fresh, count: updates };
}

worker.onmessage = ({ data }) => {
  if (data.type === 'update') onUpdate(data);
  if (data.type === 'condition') {
    conditionAnswers.get(data.id)?.(data.refused);
    conditionAnswers.delete(data.id);
  }
  if (data.type === 'program' && data.version === version) {
    assembled = { version: data.version, program: data.program };
    showDiagnostics(editor, data.program?.diagnostics ?? [], hintFor);
    listDiagnostics(data.program?.diagnostics ?? [], !data.program);
  }
  // Format's answer, for the text it was asked for: applied only if the editor still holds it.
  if (data.type === 'formatted') {
    if (data.source === source()) applyFormatted(editor, data.text);
    formats += 1;
    document.body.dataset.formats = String(formats);  // answers handled (tests wait on it)
  }
  if (data.type === 'ready') {
    engineReady = true;
    send('limit', { steps: stepLimit });
    send('speed', { steps: Number(speedMenu.value) });
    send('breakpoints', { breakpoints: breakpointList(editor) });
    send('reset', { source: source() });
    machineSource = source();
    version += 1;
    send('assemble', { source: source(), version });
    document.body.dataset.ready = 'true';
    performance.mark('tavro-engine-ready');
  }
  if (data.type === 'graded' && data.version === gradeVersion) testsPanel.result(data.index, data.result);
  if (data.type === 'failed') statusLine.textContent = `The engine did not load: ${data.message}`;
};
worker.onerror = (event) => { statusLine.textContent = `The engine failed: ${event.message ?? 'unknown error'}`; };

// ---- the controls ----

// Step, Step over, Step out, Run to cursor and Continue start from a fresh machine when the last run ended, or when the
// source changed before anything ran.
function freshIfNeeded() {
  const changed = source() !== machineSource;
  if (mode === 'ended' || mode === 'refused' || (changed && mode === 'idle')) {
    send('reset', { source: source() });
    machineSource = source();
  }
}

const actions = {
  run() { machineSource = source(); send('run', { source: machineSource }); },
  stop() { send('stop'); },
  continue() { freshIfNeeded(); send('continue'); },
  step() { freshIfNeeded(); send('step'); },
  'step-over': () => { freshIfNeeded(); send('stepOver'); },
  'step-out': () => { freshIfNeeded(); send('stepOut'); },
  'run-to-cursor': () => {
    freshIfNeeded();
    send('runTo', { line: editor.state.doc.lineAt(editor.state.selection.main.head).number });
  },
  'step-back': () => send('stepBack'),
  reset() { machineSource = source(); send('reset', { source: machineSource }); },
};
for (const [id, action] of Object.entries(actions)) byTestId(id).addEventListener('click', action);

const shortcuts = [
  { test: (e) => e.key === 'Enter' && e.ctrlKey && e.shiftKey, action: actions.reset },
  { test: (e) => e.key === 'Enter' && e.ctrlKey, action: actions.run },
  { test: (e) => (e.key === 'F5' && e.shiftKey) || (e.key === 'Escape' && (mode === 'running' || mode === 'over')), action: actions.stop },
  { test: (e) => e.key === 'F5', action: actions.continue },
  { test: (e) => e.key === 'F9' && e.shiftKey, action: actions['step-back'] },
  { test: (e) => e.key === 'F9', action: actions.step },
  { test: (e) => e.key === 'F10' && e.ctrlKey, action: actions['run-to-cursor'] },
  { test: (e) => e.key === 'F10', action: actions['step-over'] },
  { test: (e) => e.key === 'F11' && e.shiftKey, action: actions['step-out'] },
];
window.addEventListener('keydown', (event) => {
  const shortcut = shortcuts.find((s) => s.test(event));
  if (!shortcut) return;
  event.preventDefault();
  event.stopPropagation();
  if (mode !== 'loading') shortcut.action();
}, true);

document.getElementById('input-form').addEventListener('submit', (event) => {
  event.preventDefault();
  send('input', { text: `${inputBox.value}\n` });
  inputBox.value = '';
});
inputBox.addEventListener('keydown', (event) => {
  if (event.key === 'd' && event.ctrlKey) {
    event.preventDefault();
    send('endInput');
  }
});
byTestId('input-end').addEventListener('click', () => send('endInput'));

// The step limit takes a whole number from 1; anything else is refused where it was typed, and
// the limit stays as it was.
let stepLimit = Number(byTestId('step-limit').value);
byTestId('step-limit').addEventListener('change', (event) => {
  const field = event.target;
  const steps = field.value.trim() === '' ? NaN : Number(field.value);
  const error = byTestId('step-limit-error');
  if (Number.isSafeInteger(steps) && steps >= 1) {
    stepLimit = steps;
    field.removeAttribute('aria-invalid');
    error.textContent = '';
    send('limit', { steps });
  } else {
    field.setAttribute('aria-invalid', 'true');
    error.textContent = `Not a step limit: give a whole number from 1. The limit stays ${countSteps(stepLimit)}.`;
  }
});
// The speed of Run and Continue: steps a second, shown at each step, or 0 for full speed.
const speedMenu = byTestId('speed');
speedMenu.value = store.get('tavro.speed') ?? '0';
if (speedMenu.selectedIndex < 0) speedMenu.value = '0';
speedMenu.addEventListener('change', () => {
  store.set('tavro.speed', speedMenu.value);
  send('speed', { steps: Number(speedMenu.value) });
});

// The console or the terminal under the same input box; the choice is kept.
const viewTabs = [...document.querySelectorAll('[role="tab"][data-view]')];
function showView(name) {
  for (const tab of viewTabs) {
    const chosen = tab.dataset.view === name;
    tab.setAttribute('aria-selected', String(chosen));
    tab.tabIndex = chosen ? 0 : -1;
    byTestId(tab.dataset.view).hidden = !chosen;
  }
  store.set('tavro.view', name);
  terminal.show(mode === 'running' && !shown?.rate);
}
for (const tab of viewTabs) {
  tab.addEventListener('click', () => showView(tab.dataset.view));
  tab.addEventListener('keydown', (event) => {
    if (event.key !== 'ArrowLeft' && event.key !== 'ArrowRight') return;
    const next = viewTabs[(viewTabs.indexOf(tab) + 1) % viewTabs.length];
    showView(next.dataset.view);
    next.focus();
  });
}
showView(viewTabs.some((tab) => tab.dataset.view === store.get('tavro.view')) ? store.get('tavro.view') : 'console');
document.getElementById('hex').addEventListener('change', (event) => registers.setHex(event.target.checked));

// ---- examples, sharing, download ----

const exampleMenu = byTestId('examples');
for (const example of examples) {
  const option = document.createElement('option');
  option.value = example.name;
  option.textContent = example.name.replace(/\.tas$/, '');
  exampleMenu.append(option);
}
let chosenExample = '';  // the menu's choice, while the editor holds that example unchanged
exampleMenu.addEventListener('change', () => {
  const example = exampleNamed(exampleMenu.value);
  if (!example) return;
  if (isWork(source()) && !confirm(`Replace your program with the example ${example.name}? Your changes would be lost.`)) {
    exampleMenu.value = chosenExample;
    return;
  }
  chosenExample = example.name;
  fileName = '';
  setSource(example.text);
});

// After an edit the program is no longer the example the menu names.
function forgetExampleIfEdited() {
  if (chosenExample && source() !== exampleNamed(chosenExample).text) {
    chosenExample = '';
    exampleMenu.value = '';
  }
}
chosenExample = examples.find((e) => e.text === source())?.name ?? '';
exampleMenu.value = chosenExample;

// Open reads a file from the student's computer into the editor, after asking as an example
// does; the download then takes the file's name.
const MAX_FILE = 1 << 20;  // bytes of a file that Open reads
let fileName = '';
// A button that opens its hidden file input's chooser; onFile takes the file chosen. The input
// is emptied, so that choosing the same file again opens it again.
function fileButton(testId, inputId, onFile) {
  const input = document.getElementById(inputId);
  byTestId(testId).addEventListener('click', () => input.click());
  input.addEventListener('change', () => {
    const file = input.files[0];
    input.value = '';
    if (file) onFile(file);
  });
}
fileButton('open', 'open-file', async (file) => {
  if (file.size > MAX_FILE) {
    notice.show(`${file.name} is over 1 MiB: it was not opened.`);
    return;
  }
  let text;
  try {
    text = new TextDecoder('utf-8', { fatal: true, ignoreBOM: true }).decode(await file.arrayBuffer());
  } catch {
    notice.show(`${file.name} is not UTF-8 text: it was not opened.`);
    return;
  }
  if (text !== source() && isWork(source()) && !confirm(`Replace your program with ${file.name}? Your changes would be lost.`)) return;
  setSource(text);
  chosenExample = '';
  exampleMenu.value = '';
  fileName = file.name;
});

// Share shows the link and copies it; the address bar stays as it is, so that a reload shows
// the latest work and not the program as it was shared.
byTestId('share').addEventListener('click', () => {
  const fragment = encodeProgram(source());
  if (!fragment) {
    notice.show('The program is too large for a link: use Download instead.');
    return;
  }
  const link = `${location.origin}${location.pathname}${fragment}`;
  const field = byTestId('share-link');
  field.value = link;
  field.closest('.share-row').hidden = false;
  field.select();
  navigator.clipboard?.writeText(link).catch(() => {});
});

window.addEventListener('hashchange', () => {
  const link = readLink(location.hash);
  if (link) openLink(link);
});
const initialLink = readLink(location.hash);
if (initialLink) openLink(initialLink);

// ---- assignments: tests run on the program in the worker, judged by the grader's rules ----

const testsPanel = createTestsPanel(byTestId('tests'));
let gradeVersion = 0;
function runTests() {
  if (testsPanel.tests().length === 0) return;
  gradeVersion += 1;
  testsPanel.pending();
  send('grade', { source: source(), tests: testsPanel.tests(), version: gradeVersion });
}
async function openAssignment(name, assignment) {
  if (assignment.error) {
    notice.show(`${name} is not an assignment the page can use: ${assignment.error}. Nothing was opened.`);
    return;
  }
  testsPanel.show(name, assignment.tests);
  // The worker reads no message before the engine is ready.
  while (!engineReady) await new Promise((resolve) => setTimeout(resolve, 50));
  runTests();
}
byTestId('run-tests').addEventListener('click', runTests);
fileButton('open-assignment', 'open-assignment-file', async (file) => {
  const assignment = file.size > MAX_ASSIGNMENT ? { error: `it is over ${MAX_ASSIGNMENT >> 20} MiB` } : readAssignment(await file.text());
  openAssignment(file.name, assignment);
});
async function openAssignmentLink() {
  const link = assignmentLink(location.hash, location.href);
  if (!link) return;
  if (link.error) {
    notice.show(link.error);
    return;
  }
  const file = new URL(link.url).pathname.split('/').pop();
  let name = file;
  try { name = decodeURIComponent(file); } catch { /* shown as written */ }
  openAssignment(name, await fetchAssignment(link.url));
}
window.addEventListener('hashchange', openAssignmentLink);
openAssignmentLink();

byTestId('download').addEventListener('click', () => {
  const url = URL.createObjectURL(new Blob([source()], { type: 'text/plain' }));
  const link = document.createElement('a');
  link.href = url;
  link.download = chosenExample ? chosenExample.replace(/^errors\//, '') : fileName || 'program.tas';
  link.click();
  setTimeout(() => URL.revokeObjectURL(url), 1000);
});

// Listing and Labels open and close their panels under the trace.
for (const id of ['listing', 'symbols']) {
  const toggle = byTestId(`${id}-toggle`);
  toggle.addEventListener('click', () => {
    const open = toggle.getAttribute('aria-expanded') !== 'true';
    toggle.setAttribute('aria-expanded', String(open));
    document.getElementById(`${id}-panel`).hidden = !open;
    if (open && id === 'listing') listing.reveal();
  });
}

let formats = 0;
byTestId('format').addEventListener('click', () => {
  if (engineReady) send('format', { source: source() });
});

// ---- help ----

const reference = byTestId('reference');
const helpButton = byTestId('help');
function showHelp(open) {
  reference.hidden = !open;
  helpButton.setAttribute('aria-expanded', String(open));
  if (open) reference.focus();
}
reference.tabIndex = -1;
helpButton.addEventListener('click', () => showHelp(reference.hidden));
byTestId('help-close').addEventListener('click', () => {
  showHelp(false);
  helpButton.focus();
});

// ---- readability ----

const themeMenu = document.getElementById('theme');
function setTheme(theme) {
  if (theme) document.documentElement.dataset.theme = theme;
  else delete document.documentElement.dataset.theme;
  themeMenu.value = theme;
  store.set('tavro.theme', theme);
  memoryMap.repaint();
}
themeMenu.addEventListener('change', () => setTheme(themeMenu.value));
setTheme(store.get('tavro.theme') ?? '');
matchMedia('(prefers-color-scheme: dark)').addEventListener('change', () => memoryMap.repaint());

let fontSize = Number(store.get('tavro.fontSize')) || 15;
function setFontSize(size) {
  fontSize = Math.min(28, Math.max(10, size));
  document.documentElement.style.setProperty('--font-size', `${fontSize}px`);
  store.set('tavro.fontSize', String(fontSize));
  editor.requestMeasure();
}
byTestId('font-smaller').addEventListener('click', () => setFontSize(fontSize - 1));
byTestId('font-larger').addEventListener('click', () => setFontSize(fontSize + 1));
setFontSize(fontSize);
setControls();
