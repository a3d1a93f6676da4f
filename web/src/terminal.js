// The terminal: a run as a terminal shows it when tavro is run by hand. Standard output,
// standard error and the lines IN took (echoed after the prompt) come in the order they
// happened, as the worker's pieces say; after them, the input given but not taken yet, marked
// as queued. Like the console it keeps the latest STREAM_LIMIT characters and says when it
// dropped some, and while a run goes on it shows only its last lines.
import { STREAM_LIMIT, visibleText } from './panels.js';

const CHUNK_LINES = 200;  // lines in each block, as in the stream panels
const EOF_TEXT = '[end of input]\n';
const encoder = new TextEncoder();
const decoder = new TextDecoder();

// A piece's length in its stream's units: bytes for input, characters for the output streams
// (whose texts are ASCII apart from the assembler's, which no step back reaches).
const units = (piece) => (piece.kind === 'in' ? encoder.encode(piece.text).length : piece.text.length);

// Cuts items ([kind, text]) into blocks of CHUNK_LINES lines.
function blocksOf(items) {
  const blocks = [[]];
  let lines = 0;
  for (const [kind, text] of items) {
    for (let at = 0; at < text.length;) {
      let end = at;
      while (lines < CHUNK_LINES && end < text.length) {
        const newline = text.indexOf('\n', end);
        end = newline < 0 ? text.length : newline + 1;
        if (newline >= 0) lines += 1;
      }
      blocks.at(-1).push([kind, text.slice(at, end)]);
      at = end;
      if (lines === CHUNK_LINES) {
        blocks.push([]);
        lines = 0;
      }
    }
  }
  return blocks.filter((block) => block.length > 0);
}

const itemNode = ([kind, text]) => {
  if (kind === 'out') return document.createTextNode(text);
  const span = document.createElement('span');
  span.className = kind === 'eof' ? 'in eof' : kind;
  span.textContent = text;
  return span;
};

// Writes the blocks into element before its last child (the queue), each rewritten only when
// what it holds changed.
function writeBlocks(element, blocks, queue) {
  const shown = [...element.children].filter((child) => child !== queue);
  for (const [i, items] of blocks.entries()) {
    const signature = items.map(([kind, text]) => `${kind}\u0000${text}`).join('\u0001');
    let block = shown[i];
    if (!block) {
      block = document.createElement('div');
      block.className = 'chunk';
      element.insertBefore(block, queue);
    }
    if (block.signature !== signature) {
      block.signature = signature;
      block.replaceChildren(...items.map(itemNode));
      const lines = items.reduce((n, [, text]) => n + text.split('\n').length - 1, 0);
      block.style.containIntrinsicBlockSize = `auto ${Math.max(lines, 1) * 1.4}em`;
    }
  }
  for (const block of shown.slice(blocks.length)) block.remove();
}

export function createTerminal(element) {
  const queue = document.createElement('span');
  queue.className = 'queue';
  queue.setAttribute('role', 'note');
  queue.setAttribute('aria-label', 'Input given, not read by IN yet');
  queue.title = 'Queued: not read by IN yet';
  element.append(queue);
  let pieces = [];          // { kind: 'out' | 'err' | 'in' | 'eof', at, text }, oldest first
  let size = 0;             // characters held
  let dropped = 0;          // characters cut from the front to stay within the limit
  let reach = { out: 0, err: 0 };  // where the output streams' held pieces end
  let queued = { text: '', ended: false };
  let changed = true;
  let shownRunning = false;

  function push(kind, at, text) {
    if ((kind === 'out' || kind === 'err') && at > reach[kind]) {
      // The worker sends only the latest characters of a flood: all before them is dropped.
      dropped += size + at - reach[kind];
      pieces = [];
      size = 0;
    }
    const last = pieces.at(-1);
    if (last && last.kind === kind && kind !== 'in' && kind !== 'eof') last.text += text;
    else pieces.push({ kind, at, text });
    size += text.length;
    if (kind in reach) reach[kind] = at + text.length;
  }

  // Drops what a step back undid: every piece beyond where its stream now ends.
  function cut(end) {
    while (pieces.length > 0) {
      const piece = pieces.at(-1);
      const keep = piece.kind === 'eof' ? (end.eof ? 1 : 0) : end[piece.kind] - piece.at;
      const length = piece.kind === 'eof' ? 1 : units(piece);
      if (keep >= length) break;
      size -= piece.text.length;
      if (keep > 0) {
        piece.text = piece.kind === 'in' ? decoder.decode(encoder.encode(piece.text).subarray(0, keep)) : piece.text.slice(0, keep);
        size += piece.text.length;
        break;
      }
      pieces.pop();
    }
    reach = { out: Math.min(reach.out, end.out), err: Math.min(reach.err, end.err) };
  }

  function trim() {
    while (size > STREAM_LIMIT) {
      const first = pieces[0];
      const excess = size - STREAM_LIMIT;
      if (first.text.length <= excess) {
        pieces.shift();
        size -= first.text.length;
        dropped += first.text.length;
      } else {
        first.at += units({ kind: first.kind, text: first.text.slice(0, excess) });
        first.text = first.text.slice(excess);
        size -= excess;
        dropped += excess;
      }
    }
  }

  const terminal = {
    // Starts anew with the assembler's messages, which tavro writes before anything runs.
    clear(assembly = '') {
      pieces = [];
      size = dropped = 0;
      reach = { out: 0, err: -assembly.length };
      queued = { text: '', ended: false };
      if (assembly) push('err', -assembly.length, assembly);
      changed = true;
    },
    // Takes an update's terminal record ({ pieces, end, queued, ended }; see the worker's
    // terminalPieces) with the latest text of the output streams, each { text, end }.
    apply(update, streams) {
      cut(update.end);
      for (const [kind, at, to] of update.pieces) {
        const stream = streams[kind];
        const text = stream ? stream.text.slice(at - (stream.end - stream.text.length), to - (stream.end - stream.text.length)) : to;
        push(kind, at, kind === 'eof' ? EOF_TEXT : text);
      }
      trim();
      queued = { text: update.queued, ended: update.ended && !update.end.eof };
      changed = true;
    },
    // Writes it to the page (while it is in view): all of it at rest, its last lines while a
    // run goes on.
    show(running) {
      if (element.hidden || (!changed && running === shownRunning)) return;
      changed = false;
      shownRunning = running;
      const wasAtEnd = running || element.scrollTop + element.clientHeight >= element.scrollHeight - 4;
      const text = pieces.map((p) => p.text).join('');
      const visible = visibleText(text, dropped, running);
      const items = [];
      let from = 0;
      if (visible !== text) {
        const marker = visible.slice(0, visible.indexOf('\n') + 1);
        items.push(['marker', marker]);
        from = text.length - (visible.length - marker.length);
      }
      let at = 0;
      for (const piece of pieces) {
        const end = at + piece.text.length;
        if (end > from) items.push([piece.kind, piece.text.slice(Math.max(0, from - at))]);
        at = end;
      }
      writeBlocks(element, blocksOf(items), queue);
      queue.textContent = `${queued.text}${queued.ended ? EOF_TEXT : ''}`;
      queue.hidden = queue.textContent === '';
      if (wasAtEnd) element.scrollTop = element.scrollHeight;
    },
  };
  return terminal;
}
