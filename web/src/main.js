// The page: the editor, the controls and the panels, talking to the worker that owns the engine.
// The worker assembles as the student types and runs the machine; this side only sends
// commands and draws what comes back. Stream chunks are applied as they arrive (they must all
// be, in order); the rest of an update is drawn once per animation frame.
import examples from 'tavro:examples';

import hints from '../../docs/hints.json';
import { breakpointLines, createEditor, markExecuting, showDiagnostics } from './editor.js';
import { createMemoryMap, createRegisters, createStream } from './panels.js';
import { decodeProgram, encodeProgram } from './share.js';
import { STATUS_TEXTS } from './session.js';

const ASSEMBLE_DELAY_MS = 150;
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

function assembleSoon() {
  clearTimeout(assembleTimer);
  assembleTimer = setTimeout(() => {
    version += 1;
    if (engineReady) send('assemble', { source: source(), version });
  }, ASSEMBLE_DELAY_MS);
}

const initialText = decodeProgram(location.hash) ?? store.get('tavro.source') ?? examples[0].text;
const editor = createEditor(document.getElementById('editor'), {
  text: initialText,
  onChange() {
    assembleSoon();
    showStatus();
    clearTimeout(saveTimer);
    saveTimer = setTimeout(() => store.set('tavro.source', source()), 500);
  },
  onBreakpoints(view) {
    send('breakpoints', { lines: breakpointLines(view) });
  },
});
const source = () => editor.state.doc.toString();
performance.mark('tavro-editor-ready');  // the editor takes typing from here (bench/playground)

function setSource(text) {
  editor.dispatch({ changes: { from: 0, to: editor.state.doc.length, insert: text } });
  send('reset', { source: text });
  machineSource = text;
}

const diagnosticsList = byTestId('diagnostics');

function listDiagnostics(diagnostics, stderr) {
  if (diagnostics.length === 0) {
    const item = document.createElement('li');
    item.className = 'clean';
    item.textContent = stderr || 'No errors.';
    diagnosticsList.replaceChildren(item);
    return;
  }
  diagnosticsList.replaceChildren(...diagnostics.map((d) => {
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
  }));
}

// ---- the machine's panels ----

const registers = createRegisters(document.querySelector('.registers'));
const consoleStream = createStream(byTestId('console'));
const stderrStream = createStream(byTestId('stderr'));
const memoryMap = createMemoryMap(byTestId('memory-map'), document.getElementById('memory-cell'),
  document.getElementById('tooltip'), byTestId('stack'),
  (line) => (line <= editor.state.doc.lines ? editor.state.doc.line(line).text : ''));
const traceView = byTestId('trace');
const traceNext = byTestId('trace-next');
const statusLine = byTestId('status');
const inputBox = byTestId('input');

let machineSource = null;  // the source the worker's machine was made from
let generation = null;     // the program the panels show
let mode = 'loading';
let pending = null;        // the latest update not drawn yet
let updates = 0;           // updates received; the page marks the last one drawn (tests wait on it)

// "in 0.31 s, 323 million steps a second" for a stretch of running long enough to say.
function speed(stretch) {
  if (!stretch || stretch.ms < 50) return '';
  return ` in ${(stretch.ms / 1000).toFixed(2)} s, ${Math.round(stretch.steps / stretch.ms / 1000)} million steps a second`;
}

function describeMode(update) {
  const steps = `${update.state.steps.toLocaleString('en')} steps${speed(update.stretch)}`;
  switch (update.mode) {
    case 'idle': return `Ready at the start. ${update.note}`;
    case 'running': return `Running… ${steps}`;
    case 'over': return `Stepping over a CALL… ${steps}`;
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
  const running = update.mode === 'running' || update.mode === 'over';
  consoleStream.show(running);
  stderrStream.show(running);
  registers.draw(update.state);
  memoryMap.draw(update, update.fresh);
  traceView.textContent = update.trace;
  traceView.scrollTop = traceView.scrollHeight;
  traceNext.textContent = update.next ? `next: ${update.next}` : '';
  shown = update;
  showStatus();
  if (update.stretch) statusLine.dataset.stretch = JSON.stringify(update.stretch);
  else delete statusLine.dataset.stretch;
  const resting = update.mode !== 'running' && update.mode !== 'over';
  markExecuting(editor, resting && update.mode !== 'ended' && update.mode !== 'refused' ? update.line : 0);
  document.body.dataset.drawn = String(update.count);
}

function setControls() {
  const busy = mode === 'running' || mode === 'over';
  const canStep = !busy && mode !== 'loading';
  for (const id of ['step', 'step-over', 'continue']) byTestId(id).disabled = !canStep;
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
    stderrStream.clear(update.err.assembly);
    registers.forget();
  }
  consoleStream.apply(update.out.at, update.out.text);
  stderrStream.apply(update.err.at, update.err.text);
  const wasWaiting = mode === 'waiting';
  mode = update.mode;
  setControls();
  if (mode === 'waiting' && !wasWaiting) inputBox.focus();
  if (!pending) requestAnimationFrame(draw);
  updates += 1;
  document.body.dataset.updates = String(updates);
  pending = { ...update, fresh: fresh || pending?.fresh, count: updates };
}

worker.onmessage = ({ data }) => {
  if (data.type === 'update') onUpdate(data);
  if (data.type === 'program' && data.version === version) {
    showDiagnostics(editor, data.program?.diagnostics ?? [], hintFor);
    listDiagnostics(data.program?.diagnostics ?? [], data.program ? '' : data.stderr.trim());
  }
  if (data.type === 'ready') {
    engineReady = true;
    send('limit', { steps: Number(byTestId('step-limit').value) });
    send('breakpoints', { lines: breakpointLines(editor) });
    send('reset', { source: source() });
    machineSource = source();
    version += 1;
    send('assemble', { source: source(), version });
    document.body.dataset.ready = 'true';
    performance.mark('tavro-engine-ready');
  }
  if (data.type === 'failed') statusLine.textContent = `The engine did not load: ${data.message}`;
};
worker.onerror = (event) => { statusLine.textContent = `The engine failed: ${event.message ?? 'unknown error'}`; };

// ---- the controls ----

// Step, Step over and Continue start from a fresh machine when the last run ended, or when the
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
  { test: (e) => e.key === 'F10', action: actions['step-over'] },
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

byTestId('step-limit').addEventListener('change', (event) => {
  const steps = Math.floor(Number(event.target.value));
  if (steps >= 1) send('limit', { steps });
});
document.getElementById('hex').addEventListener('change', (event) => registers.setHex(event.target.checked));

// ---- examples, sharing, download ----

const exampleMenu = byTestId('examples');
for (const example of examples) {
  const option = document.createElement('option');
  option.value = example.name;
  option.textContent = example.name.replace(/\.tas$/, '');
  exampleMenu.append(option);
}
exampleMenu.addEventListener('change', () => {
  const example = examples.find((e) => e.name === exampleMenu.value);
  if (example) setSource(example.text);
});

byTestId('share').addEventListener('click', () => {
  const link = `${location.origin}${location.pathname}${encodeProgram(source())}`;
  history.replaceState(null, '', link);
  const field = byTestId('share-link');
  field.value = link;
  field.closest('.share-row').hidden = false;
  field.select();
  navigator.clipboard?.writeText(link).catch(() => {});
});

window.addEventListener('hashchange', () => {
  const text = decodeProgram(location.hash);
  if (text !== null && text !== source()) setSource(text);
});

byTestId('download').addEventListener('click', () => {
  const url = URL.createObjectURL(new Blob([source()], { type: 'text/plain' }));
  const link = document.createElement('a');
  link.href = url;
  link.download = exampleMenu.value ? exampleMenu.value.replace(/^errors\//, '') : 'program.tas';
  link.click();
  setTimeout(() => URL.revokeObjectURL(url), 1000);
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
