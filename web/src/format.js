// Format: the editor's text laid out as tavro-lsp formats it. The engine (in the worker) gives
// the formatted text; this side turns it into one undoable edit of the lines that change.
import { isolateHistory } from '@codemirror/commands';
import { Transaction } from '@codemirror/state';

// The edits that turn the editor's text into formatted, line by line (formatting keeps every
// line end), each as small as the line's common start and end allow so that marks on the line,
// such as a breakpoint, stay. Empty when the text is formatted already.
function formatChanges(doc, formatted) {
  const lines = formatted.split('\n');
  if (lines.length !== doc.lines) return [];
  const changes = [];
  for (let n = 1; n <= doc.lines; n++) {
    const line = doc.line(n);
    const want = lines[n - 1];
    if (line.text === want) continue;
    let start = 0;
    while (start < line.text.length && start < want.length && line.text[start] === want[start]) start++;
    let end = 0;
    while (end < line.text.length - start && end < want.length - start
      && line.text[line.text.length - 1 - end] === want[want.length - 1 - end]) end++;
    changes.push({ from: line.from + start, to: line.to - end, insert: want.slice(start, want.length - end) });
  }
  return changes;
}

// Puts formatted in the editor as one edit that undo takes back whole; false when nothing
// changes (the text is formatted already, or formatting would not keep its lines).
export function applyFormatted(view, formatted) {
  const changes = formatChanges(view.state.doc, formatted);
  if (changes.length === 0) return false;
  view.dispatch({ changes, annotations: [isolateHistory.of('full'), Transaction.userEvent.of('input.format')] });
  return true;
}
