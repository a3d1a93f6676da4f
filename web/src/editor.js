// The source editor: CodeMirror with Tavro's colouring, line numbers, a breakpoint gutter (a
// click on a line number or the gutter toggles one), the line about to execute, and the
// assembler's messages inline. Breakpoints live in the editor's state, so they move with the
// lines they sit on as the text is edited.
import {
  acceptCompletion, autocompletion, closeCompletion, moveCompletionSelection, startCompletion,
} from '@codemirror/autocomplete';
import { defaultKeymap, history, historyKeymap, indentWithTab } from '@codemirror/commands';
import { HighlightStyle, StreamLanguage, indentUnit, syntaxHighlighting } from '@codemirror/language';
import { lintGutter, setDiagnostics } from '@codemirror/lint';
import { EditorSelection, EditorState, Prec, RangeSet, StateEffect, StateField } from '@codemirror/state';
import {
  Decoration, EditorView, GutterMarker, drawSelection, gutter, highlightActiveLine,
  highlightActiveLineGutter, keymap, lineNumbers,
} from '@codemirror/view';
import { tags } from '@lezer/highlight';

import { MNEMONICS, NAME, REGISTERS, foldName as key } from './words.js';

const LEADING_NAME = new RegExp(`^${NAME.source}`);

// line := [LABEL] [blanks statement] [; comment]   (a label starts in the first column)
const tavroLanguage = StreamLanguage.define({
  name: 'tavro',
  startState: () => ({}),
  token(stream) {
    if (stream.eatSpace()) return null;
    if (stream.peek() === ';') {
      stream.skipToEnd();
      return 'comment';
    }
    const atStart = stream.sol();
    if (stream.match(LEADING_NAME)) {
      const word = key(stream.current());
      if (atStart) return 'labelName';
      if (MNEMONICS.has(word)) return 'keyword';
      if (word === 'RES') return 'keyword';
      if (REGISTERS.has(word)) return 'typeName';
      if (word === 'RANDOM') return 'atom';
      return 'variableName';
    }
    if (stream.match(/^#?[+-]?\d+/)) return 'number';
    stream.next();
    return 'punctuation';
  },
  languageData: { commentTokens: { line: ';' } },
});

const tavroHighlight = HighlightStyle.define([
  { tag: tags.comment, class: 'tok-comment' },
  { tag: tags.labelName, class: 'tok-label' },
  { tag: tags.keyword, class: 'tok-keyword' },
  { tag: tags.typeName, class: 'tok-register' },
  { tag: tags.atom, class: 'tok-atom' },
  { tag: tags.number, class: 'tok-number' },
  { tag: tags.variableName, class: 'tok-name' },
  { tag: tags.punctuation, class: 'tok-punctuation' },
]);

// ---- typing ----

// The blanks that start a new line after text: the statement column of the line, that is its
// leading blanks, or after a label the label's width and the blanks that follow it.
export function indentAfter(text) {
  const [, label = '', blanks] = /^([A-Za-z][A-Za-z0-9]*:?)?([ \t]*)/.exec(text);
  if (!label) return blanks;
  if (!blanks) return '';
  return blanks.includes('\t') ? '\t' : ' '.repeat(label.length + blanks.length);
}

// Enter: a new line that starts at the statement column of the line above.
function newlineKeepingIndent(view) {
  const { state } = view;
  view.dispatch(state.update(state.changeByRange((range) => {
    const line = state.doc.lineAt(range.from);
    const insert = state.lineBreak + indentAfter(line.text.slice(0, range.from - line.from));
    return { changes: { from: range.from, to: range.to, insert }, range: EditorSelection.cursor(range.from + insert.length) };
  }), { scrollIntoView: true, userEvent: 'input' }));
  return true;
}

// Completion: a mnemonic (or RES) where a statement starts, a register, a label or RANDOM in
// an operand; nothing in a label's column or a comment.
function complete(context) {
  const word = context.matchBefore(/[A-Za-z][A-Za-z0-9]*/);
  if (!word && !context.explicit) return null;
  const from = word ? word.from : context.pos;
  const line = context.state.doc.lineAt(context.pos);
  const before = line.text.slice(0, from - line.from);
  if (from === line.from || before.includes(';')) return null;
  if (/^([A-Za-z][A-Za-z0-9]*:?)?[ \t]+$/.test(before)) {
    return { from, options: [...MNEMONICS, 'RES'].map((label) => ({ label, type: 'keyword' })), validFor: /^[A-Za-z0-9]*$/ };
  }
  const labels = new Set();
  for (let n = 1; n <= context.state.doc.lines; n++) {
    const label = LEADING_NAME.exec(context.state.doc.line(n).text)?.[0];
    if (label && n !== line.number && !MNEMONICS.has(key(label)) && !REGISTERS.has(key(label))) labels.add(label);
  }
  return {
    from,
    options: [
      ...[...REGISTERS].map((label) => ({ label, type: 'variable', detail: 'register' })),
      ...[...labels].map((label) => ({ label, type: 'constant', detail: 'label' })),
      { label: 'RANDOM', type: 'constant', detail: 'the random port' },
    ],
    validFor: /^[A-Za-z0-9]*$/,
  };
}

// Tab takes the chosen completion (Enter always starts a line), the arrows choose, Escape
// closes, Ctrl+Space asks.
const completionKeys = Prec.highest(keymap.of([
  { key: 'Tab', run: acceptCompletion },
  { key: 'ArrowDown', run: moveCompletionSelection(true) },
  { key: 'ArrowUp', run: moveCompletionSelection(false) },
  { key: 'Escape', run: closeCompletion },
  { key: 'Ctrl-Space', run: startCompletion },
]));

// ---- breakpoints ----

const toggleBreakpoint = StateEffect.define({ map: (pos, mapping) => mapping.mapPos(pos) });
// Gives the breakpoint at a position a condition and hit count ('' for none): { pos, condition, hit }.
const conditionBreakpoint = StateEffect.define({ map: (value, mapping) => ({ ...value, pos: mapping.mapPos(value.pos) }) });

// A breakpoint; one with a condition or a hit count is drawn apart and names them.
class BreakpointMarker extends GutterMarker {
  constructor(condition = '', hit = '') {
    super();
    this.condition = condition;
    this.hit = hit;
  }

  eq(other) { return other.condition === this.condition && other.hit === this.hit; }

  toDOM() {
    const dot = document.createElement('span');
    const parts = [this.condition && `if ${this.condition}`, this.hit && `hit count ${this.hit}`].filter(Boolean);
    dot.className = parts.length ? 'breakpoint conditional' : 'breakpoint';
    dot.textContent = parts.length ? '◆' : '●';
    const name = parts.length ? `breakpoint ${parts.join(', ')}` : 'breakpoint';
    dot.setAttribute('aria-label', name);
    dot.title = name;
    return dot;
  }
}
const breakpointMarker = new BreakpointMarker();

// Drops the breakpoints whose whole line a transaction deletes (a line removed, a program
// replaced), then moves the rest with the text.
function mapBreakpoints(set, transaction) {
  if (!transaction.docChanged) return set;
  const doc = transaction.startState.doc;
  const deleted = [];
  transaction.changes.iterChangedRanges((fromA, toA) => { if (toA > fromA) deleted.push([fromA, toA]); });
  if (deleted.length > 0) {
    set = set.update({ filter: (from) => !deleted.some(([a, b]) => a <= from && b >= doc.lineAt(from).to) });
  }
  return set.map(transaction.changes);
}

const breakpoints = StateField.define({
  create: () => RangeSet.empty,
  update(set, transaction) {
    set = mapBreakpoints(set, transaction);
    for (const effect of transaction.effects) {
      if (effect.is(conditionBreakpoint)) {
        const { pos, condition, hit } = effect.value;
        set = set.update({ filter: (from) => from !== pos, add: [new BreakpointMarker(condition, hit).range(pos)] });
      }
      if (!effect.is(toggleBreakpoint)) continue;
      let present = false;
      set.between(effect.value, effect.value, () => { present = true; });
      set = present
        ? set.update({ filter: (from) => from !== effect.value })
        : set.update({ add: [breakpointMarker.range(effect.value)] });
    }
    return set;
  },
});

// The 1-based lines that hold a breakpoint.
export function breakpointLines(view) {
  const lines = new Set();
  const iterator = view.state.field(breakpoints).iter();
  for (; iterator.value; iterator.next()) lines.add(view.state.doc.lineAt(iterator.from).number);
  return [...lines].sort((a, b) => a - b);
}

// The breakpoints as [{ line, condition, hit }] by line (1-based; '' for no condition or hit count).
export function breakpointList(view) {
  const list = new Map();
  const iterator = view.state.field(breakpoints).iter();
  for (; iterator.value; iterator.next()) {
    const line = view.state.doc.lineAt(iterator.from).number;
    list.set(line, { line, condition: iterator.value.condition, hit: iterator.value.hit });
  }
  return [...list.values()].sort((a, b) => a.line - b.line);
}

// The breakpoint marker at a line's start, or null.
function markerAt(view, from) {
  let found = null;
  view.state.field(breakpoints).between(from, from, (at, to, marker) => { if (at === from) found = marker; });
  return found;
}

// The field that sets a breakpoint's condition, under its line: Enter asks check(condition,
// hit) for the engine's word ('' to take it, else why it is refused, which the field shows and
// the breakpoint goes without), Escape leaves the breakpoint as it was.
function openConditionField(view, line, check) {
  view.dom.querySelector('.condition-field')?.remove();
  const marker = markerAt(view, line.from);
  const form = document.createElement('form');
  form.className = 'condition-field';
  const input = (testId, label, value, placeholder) => {
    const field = document.createElement('input');
    field.dataset.testid = testId;
    field.setAttribute('aria-label', label);
    field.value = value;
    field.placeholder = placeholder;
    field.spellcheck = false;
    field.autocomplete = 'off';
    return field;
  };
  const condition = input('breakpoint-condition', `Condition of the breakpoint on line ${line.number}`, marker?.condition ?? '', 'condition, e.g. AX == 5');
  const hit = input('breakpoint-hit', `Hit count of the breakpoint on line ${line.number}`, marker?.hit ?? '', 'hit count, e.g. 3');
  hit.className = 'hit';
  const error = document.createElement('span');
  error.className = 'condition-error';
  error.dataset.testid = 'breakpoint-condition-error';
  error.setAttribute('role', 'status');
  form.append(condition, hit, error);
  const top = view.lineBlockAt(line.from).bottom + view.documentTop - view.dom.getBoundingClientRect().top;
  form.style.top = `${top}px`;
  const close = () => { form.remove(); view.focus(); };
  form.addEventListener('keydown', (event) => {
    event.stopPropagation();
    if (event.key === 'Escape') close();
  });
  form.addEventListener('submit', async (event) => {
    event.preventDefault();
    const wanted = { condition: condition.value.trim(), hit: hit.value.trim() };
    const refused = await check(wanted.condition, wanted.hit);
    if (refused) {
      error.textContent = refused;
      condition.setAttribute('aria-invalid', 'true');
      return;
    }
    // The line may have moved while the engine was asked; its breakpoint may be gone.
    const at = view.state.doc.lineAt(Math.min(line.from, view.state.doc.length)).from;
    if (markerAt(view, at)) view.dispatch({ effects: conditionBreakpoint.of({ pos: at, ...wanted }) });
    close();
  });
  // Enter submits from either field; a submit button would add nothing the keyboard lacks.
  for (const field of [condition, hit]) {
    field.addEventListener('keydown', (event) => {
      if (event.key === 'Enter') {
        event.preventDefault();
        form.requestSubmit();
      }
    });
  }
  view.dom.append(form);
  condition.focus();
}

// A click on a line number removes its breakpoint, or asks place(line) where the new one goes
// (a 1-based line, or 0 for nowhere). Alt+click or a right click opens the condition field of
// the line's breakpoint, placing one first where there is none.
function gutterClicks(place, check) {
  const present = (view, block) => markerAt(view, block.from) !== null;
  const condition = (view, block) => {
    let target = view.state.doc.lineAt(block.from).number;
    if (!present(view, block)) {
      target = place(target);
      if (target <= 0) return true;
      view.dispatch({ effects: toggleBreakpoint.of(view.state.doc.line(target).from) });
    }
    openConditionField(view, view.state.doc.line(target), check);
    return true;
  };
  return {
    mousedown(view, block, event) {
      if (event.button === 2) return true;
      if (event.altKey) {
        event.preventDefault();
        return condition(view, block);
      }
      const target = present(view, block) ? view.state.doc.lineAt(block.from).number : place(view.state.doc.lineAt(block.from).number);
      if (target > 0) view.dispatch({ effects: toggleBreakpoint.of(view.state.doc.line(target).from) });
      return true;
    },
    contextmenu(view, block, event) {
      event.preventDefault();
      return condition(view, block);
    },
  };
}

// ---- the line about to execute ----

const setExecuting = StateEffect.define();
const executingLine = Decoration.line({ class: 'cm-executing' });

const executing = StateField.define({
  create: () => Decoration.none,
  update(decorations, transaction) {
    decorations = decorations.map(transaction.changes);
    for (const effect of transaction.effects) {
      if (!effect.is(setExecuting)) continue;
      const line = effect.value;
      decorations = line > 0 && line <= transaction.state.doc.lines
        ? Decoration.set([executingLine.range(transaction.state.doc.line(line).from)])
        : Decoration.none;
    }
    return decorations;
  },
  provide: (field) => EditorView.decorations.from(field),
});

// Marks a 1-based line as the one about to execute (0: none) and scrolls it into view.
export function markExecuting(view, line) {
  const effects = [setExecuting.of(line)];
  if (line > 0 && line <= view.state.doc.lines) {
    effects.push(EditorView.scrollIntoView(view.state.doc.line(line).from, { y: 'nearest' }));
  }
  view.dispatch({ effects });
}

// ---- messages ----

const encoder = new TextEncoder();

// The character offset in text of a byte offset in its UTF-8 form (the assembler counts bytes).
function charOffset(text, byteOffset) {
  if (/^[\0-\x7f]*$/.test(text)) return Math.min(byteOffset, text.length);
  let bytes = 0;
  let i = 0;
  for (const ch of text) {
    if (bytes >= byteOffset) break;
    bytes += encoder.encode(ch).length;
    i += ch.length;
  }
  return i;
}

const WINDOW_LINES = 100;  // lines on each side of the view whose messages the editor holds
const windows = new WeakMap();  // view: { diagnostics, hintFor, first, last } as last shown

// Hands the editor the messages on the lines in and around its view: a program with thousands
// of errors would otherwise cost the editor a long stall at every answer of the assembler.
function showWindow(view) {
  const shown = windows.get(view);
  const doc = view.state.doc;
  const first = doc.lineAt(view.viewport.from).number - WINDOW_LINES;
  const last = doc.lineAt(view.viewport.to).number + WINDOW_LINES;
  Object.assign(shown, { first, last });
  const inline = shown.diagnostics.filter((d) => d.line >= Math.max(first, 1) && d.line <= Math.min(last, doc.lines)).map((d) => {
    const line = doc.line(d.line);
    let from = line.from;
    let to = line.to;
    if (d.column >= 0) {
      from = line.from + Math.min(charOffset(line.text, d.column), line.length);
      to = Math.min(line.to, line.from + charOffset(line.text, d.column + Math.max(d.length, 1)));
      if (to <= from && from > line.from) from = to - 1;
    }
    return {
      from,
      to,
      severity: d.severity,
      message: d.message,
      renderMessage() {
        const box = document.createElement('div');
        const message = document.createElement('strong');
        message.textContent = d.message;
        const hint = document.createElement('div');
        hint.className = 'hint';
        hint.textContent = shown.hintFor(d);
        box.append(message, hint);
        return box;
      },
    };
  });
  view.dispatch(setDiagnostics(view.state, inline));
}

// Shows the assembler's diagnostics inline: each with its exact message and the hint for it.
export function showDiagnostics(view, diagnostics, hintFor) {
  windows.set(view, { diagnostics, hintFor, first: 0, last: 0 });
  showWindow(view);
}

// After a scroll, the messages around the new view, once it leaves what the editor holds.
function followView(update) {
  const shown = windows.get(update.view);
  if (!shown || !update.viewportChanged || shown.diagnostics.length === 0) return;
  const doc = update.state.doc;
  const top = doc.lineAt(update.view.viewport.from).number;
  const bottom = doc.lineAt(update.view.viewport.to).number;
  if (top - shown.first >= WINDOW_LINES / 2 && shown.last - bottom >= WINDOW_LINES / 2) return;
  if (top <= 1 && bottom >= doc.lines) return;
  setTimeout(() => { if (windows.get(update.view) === shown) showWindow(update.view); });
}

// Makes the editor in parent; onChange(view) follows every edit of the text, onBreakpoints(view)
// every change of the breakpoints, placeBreakpoint(line) says where a breakpoint asked for
// on a line goes (a 1-based line, 0 for nowhere), and checkCondition(condition, hit) resolves
// to why the engine refuses a breakpoint's condition or hit count ('' when it takes them).
export function createEditor(parent, { text, onChange, onBreakpoints, placeBreakpoint = (line) => line, checkCondition = async () => '' }) {
  const onGutterMouseDown = gutterClicks(placeBreakpoint, checkCondition);
  const listener = EditorView.updateListener.of((update) => {
    followView(update);
    if (update.docChanged) onChange(update.view);
    const moved = update.transactions.some((t) => t.effects.some((e) => e.is(toggleBreakpoint) || e.is(conditionBreakpoint)));
    if (moved || (update.docChanged && update.state.field(breakpoints).size > 0)) onBreakpoints(update.view);
  });
  return new EditorView({
    parent,
    state: EditorState.create({
      doc: text,
      extensions: [
        breakpoints,
        gutter({
          class: 'cm-breakpoint-gutter',
          markers: (view) => view.state.field(breakpoints),
          initialSpacer: () => breakpointMarker,
          domEventHandlers: onGutterMouseDown,
        }),
        lineNumbers({ domEventHandlers: onGutterMouseDown }),
        lintGutter(),
        executing,
        history(),
        drawSelection(),
        highlightActiveLine(),
        highlightActiveLineGutter(),
        tavroLanguage,
        syntaxHighlighting(tavroHighlight),
        // Statements stand at a column of eight: Tab indents to the next, Backspace in the
        // leading blanks goes back one, and Enter keeps the column of the line above (a label
        // goes back to the first column with Backspace or Home).
        indentUnit.of('        '),
        autocompletion({ override: [complete], defaultKeymap: false, icons: false, interactionDelay: 0 }),
        completionKeys,
        keymap.of([{ key: 'Enter', run: newlineKeepingIndent }, ...defaultKeymap, ...historyKeymap, indentWithTab]),
        EditorView.contentAttributes.of({ 'data-testid': 'editor', 'aria-label': 'Program source', tabindex: '0' }),
        listener,
      ],
    }),
  });
}
