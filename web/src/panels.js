// The machine's panels: registers, the two output streams, the memory map with its stack, and
// the trace. Each draws from the worker's 'update' record. Every text from a program or its run
// is set as text (textContent, a Text node), never parsed as HTML.

const CALL = 10;         // CALL's opcode: bits 7-4 of an instruction's first byte
const RANDOM_PORT = 4094;
const FLASH_MS = 700;    // how long a written byte stays highlighted
export const STREAM_LIMIT = 200_000;  // characters a stream panel keeps (the latest ones)
const RUNNING_TAIL = 4000;     // characters it shows while a run goes on

// ---- registers ----

// A number typed for a register: decimal or 0x hexadecimal, within the register's range (a
// word takes -32768 to 65535, IP an address); null for anything else.
export function registerValue(text, name) {
  const t = text.trim();
  const value = /^[-+]?[0-9]+$/.test(t) ? Number(t) : /^0x[0-9a-f]{1,4}$/i.test(t) ? parseInt(t, 16) : NaN;
  const [low, high] = name === 'IP' ? [0, 4095] : [-32768, 65535];
  return Number.isInteger(value) && value >= low && value <= high ? value : null;
}

// Puts an input for a new value in place of element's text. Enter hands the typed text to
// accept, which returns false to refuse it (the input is marked invalid and stays); Esc, or
// leaving the input, calls close.
export function editInPlace(element, { testId, label, accept, close }) {
  const input = document.createElement('input');
  input.setAttribute('data-testid', testId);
  input.setAttribute('aria-label', label);
  input.size = 7;
  input.value = element.textContent;
  input.addEventListener('keydown', (event) => {
    if (event.key === 'Escape') {
      event.stopPropagation();
      close();
    } else if (event.key === 'Enter') {
      event.preventDefault();
      event.stopPropagation();
      if (!accept(input.value)) input.setAttribute('aria-invalid', 'true');
    }
  });
  input.addEventListener('blur', () => { if (input.isConnected) close(); });
  element.replaceChildren(input);
  input.focus();
  input.select();
}

// The registers panel. A register can be changed while the machine rests (canEdit): double-click
// it, or press Enter on it, type a value and press Enter (onSet(index, value), 0 AX to 4 IP);
// Esc keeps the value.
export function createRegisters(root, { canEdit = () => false, onSet = () => {} } = {}) {
  const cells = {};
  for (const name of ['AX', 'BX', 'CX', 'DX', 'IP']) cells[name] = root.querySelector(`[data-testid="reg-${name}"]`);
  const flag = root.querySelector('[data-testid="flag"]');
  const steps = root.querySelector('[data-testid="steps"]');
  let previous = null;
  let hex = false;
  let last = null;

  const format = (value, name) => {
    if (!hex) return String(value);
    const width = name === 'IP' ? 3 : 4;
    return `0x${(value & 0xffff).toString(16).padStart(width, '0')}`;
  };

  function draw(state) {
    const values = { AX: state.regs[0], BX: state.regs[1], CX: state.regs[2], DX: state.regs[3], IP: state.ip };
    for (const [name, value] of Object.entries(values)) {
      cells[name].textContent = format(value, name);
      cells[name].classList.toggle('changed', previous !== null && previous[name] !== value);
    }
    flag.textContent = state.flag ? 'B' : 'NB';
    flag.classList.toggle('changed', previous !== null && previous.flag !== state.flag);
    steps.textContent = String(state.steps);
    previous = { ...values, flag: state.flag };
    last = state;
  }

  for (const [index, name] of ['AX', 'BX', 'CX', 'DX', 'IP'].entries()) {
    const cell = cells[name];
    cell.tabIndex = 0;
    cell.title = `Double-click, or press Enter, to change ${name} while the machine is paused`;
    const edit = () => {
      if (!canEdit() || !last || cell.querySelector('input')) return;
      editInPlace(cell, {
        testId: `reg-${name}-edit`,
        label: `New value of ${name}`,
        accept: (text) => {
          const value = registerValue(text, name);
          if (value !== null) onSet(index, value);
          return value !== null;
        },
        close: () => {
          cell.textContent = format(name === 'IP' ? last.ip : last.regs[index], name);
          cell.focus();
        },
      });
    };
    cell.addEventListener('dblclick', edit);
    cell.addEventListener('keydown', (event) => {
      if (event.key === 'Enter' && event.target === cell) {
        event.preventDefault();
        edit();
      }
    });
  }

  return {
    draw,
    setHex(on) {
      hex = on;
      if (last) {
        const keep = previous;
        previous = null;
        draw(last);
        previous = keep;
      }
    },
    forget() { previous = null; },
  };
}

// ---- output streams ----

// The text a stream panel shows: all of text, or, when its start is cut (dropped characters
// before it, or only the tail shown while running), a line saying so and then the text from
// the next whole line, within STREAM_LIMIT characters in all.
export function visibleText(text, dropped, running) {
  const from = running && text.length > RUNNING_TAIL ? text.length - RUNNING_TAIL : 0;
  if (dropped === 0 && from === 0) return text;
  const MARKER_ROOM = 100;  // characters given up for the marker line
  const after = from + (dropped > 0 ? MARKER_ROOM : 0);
  const newline = text.indexOf('\n', after);
  const start = newline < 0 ? Math.min(after, text.length) : newline + 1;
  const hidden = (dropped + start).toLocaleString('en');
  const marker = running
    ? `[${hidden} earlier characters not shown while the program runs]`
    : `[${hidden} earlier characters dropped: the panel keeps the latest ${STREAM_LIMIT.toLocaleString('en')}]`;
  return `${marker}\n${text.slice(start)}`;
}

const CHUNK_LINES = 200;  // lines in each block of a stream panel

// Writes text into element as blocks of CHUNK_LINES lines, each rewritten only when its text
// changed. The browser lays out only the blocks in view (content-visibility), and is told each
// block's height from its line count, so a panel of 200,000 characters stays cheap to redraw.
function writeChunks(element, text) {
  const chunks = [];
  for (let at = 0; at < text.length;) {
    let end = at;
    for (let n = 0; n < CHUNK_LINES && end < text.length; n++) {
      const newline = text.indexOf('\n', end);
      end = newline < 0 ? text.length : newline + 1;
    }
    chunks.push(text.slice(at, end));
    at = end;
  }
  const blocks = [...element.children];
  for (const [i, chunk] of chunks.entries()) {
    let block = blocks[i];
    if (!block) {
      block = document.createElement('div');
      block.className = 'chunk';
      element.append(block);
    }
    if (block.textContent !== chunk) {
      block.textContent = chunk;
      const lines = chunk.split('\n').length - (chunk.endsWith('\n') ? 1 : 0);
      block.style.containIntrinsicBlockSize = `auto ${lines * 1.4}em`;
    }
  }
  for (const block of blocks.slice(chunks.length)) block.remove();
}

// A panel that holds the latest STREAM_LIMIT characters of a stream. Chunks come with the
// offset where they start, so a step back (which makes the stream shorter) cuts it first; the
// text is written to the page at most once a frame (show), however fast chunks come.
export function createStream(element) {
  let text = '';
  let dropped = 0;  // characters cut from the front to stay within the limit
  let changed = false;
  let shownRunning = false;

  const stream = {
    clear(initial = '') {
      text = '';
      dropped = 0;
      stream.apply(0, initial);
    },
    apply(at, chunk) {
      const keep = at - dropped;
      if (keep < 0 || keep > text.length) {
        // Before the text held (a step back cut more than it holds) or after a gap (the worker
        // sends only the latest characters): all before the chunk counts as dropped.
        text = '';
        dropped = at;
      } else if (keep < text.length) {
        text = text.slice(0, keep);
      }
      text += chunk;
      if (text.length > STREAM_LIMIT) {
        dropped += text.length - STREAM_LIMIT;
        text = text.slice(text.length - STREAM_LIMIT);
      }
      changed = true;
    },
    // Writes the text to the page: all of it at rest, only its last lines while a run goes on
    // (laying out a long text many times a second would stall the page).
    show(running) {
      if (!changed && running === shownRunning) return;
      changed = false;
      shownRunning = running;
      const wasAtEnd = running || element.scrollTop + element.clientHeight >= element.scrollHeight - 4;
      writeChunks(element, visibleText(text, dropped, running));
      if (wasAtEnd) element.scrollTop = element.scrollHeight;
    },
  };
  return stream;
}

// ---- memory ----

// What each byte of memory is, for its colour: code, data, label words, stack, free, port.
// The stack is drawn from DX only while DX points between the program and the port: a program
// may use DX for other things.
const stackTop = (state) => (state.regs[3] >= state.codeSize && state.regs[3] <= RANDOM_PORT ? state.regs[3] : RANDOM_PORT);

function classify(program, dx) {
  const kinds = new Array(4096).fill('free');
  if (program) {
    for (const [address, size, kind] of program.lines) {
      for (let a = address; a < address + size && a < 4096; a++) kinds[a] = kind === 1 ? 'code' : 'data';
    }
    for (const address of program.labelWords) {
      if (address >= 0 && address + 1 < 4096) kinds[address] = kinds[address + 1] = 'label';
    }
  }
  for (let a = dx; a < RANDOM_PORT; a++) kinds[a] = 'stack';
  kinds[RANDOM_PORT] = kinds[RANDOM_PORT + 1] = 'port';
  return kinds;
}

const wordAt = (memory, a) => {
  const word = (memory[a] << 8) | memory[a + 1];
  return word >= 0x8000 ? word - 0x10000 : word;
};

// The line of the CALL that a return address follows, or 0.
function callLine(memory, returnAddress, addressLine, codeSize) {
  const at = returnAddress - 2;
  if (at < 0 || at >= codeSize || (memory[at] >> 4) !== CALL) return 0;
  return addressLine[at];
}

export function createMemoryMap(canvas, info, tooltip, stackList, sourceLine) {
  const context = canvas.getContext('2d');
  const CELL = canvas.width / 64;
  let memory = new Uint8Array(4096);
  let kinds = classify(null, 4094);
  let program = null;
  let addressLine = new Int32Array(4096);
  let ip = -1;
  let cursor = 0;
  const flashUntil = new Float64Array(4096);
  let animating = false;

  const colours = () => {
    const style = getComputedStyle(canvas);
    const get = (name) => style.getPropertyValue(name).trim();
    return {
      code: get('--mem-code'), data: get('--mem-data'), label: get('--mem-label'), stack: get('--mem-stack'),
      free: get('--mem-free'), port: get('--mem-port'), write: get('--mem-write'), ip: get('--mem-ip'),
    };
  };

  function paint() {
    const now = performance.now();
    const c = colours();
    let flashing = false;
    for (let a = 0; a < 4096; a++) {
      const x = (a % 64) * CELL;
      const y = Math.floor(a / 64) * CELL;
      context.fillStyle = c[kinds[a]];
      context.fillRect(x, y, CELL, CELL);
      if (memory[a] !== 0 && kinds[a] !== 'free') {
        // A darker dot for a non-zero byte: the map shows where values are.
        context.globalAlpha = 0.35;
        context.fillStyle = '#000';
        context.fillRect(x + CELL / 3, y + CELL / 3, CELL / 3, CELL / 3);
        context.globalAlpha = 1;
      }
      if (flashUntil[a] > now) {
        context.globalAlpha = (flashUntil[a] - now) / FLASH_MS;
        context.fillStyle = c.write;
        context.fillRect(x, y, CELL, CELL);
        context.globalAlpha = 1;
        flashing = true;
      }
    }
    if (ip >= 0 && ip < 4096) {
      context.strokeStyle = c.ip;
      context.lineWidth = 2;
      context.strokeRect((ip % 64) * CELL + 1, Math.floor(ip / 64) * CELL + 1, CELL - 2, CELL - 2);
    }
    if (document.activeElement === canvas) {
      context.strokeStyle = c.ip;
      context.lineWidth = 1;
      context.strokeRect((cursor % 64) * CELL + 0.5, Math.floor(cursor / 64) * CELL + 0.5, CELL - 1, CELL - 1);
    }
    animating = flashing;
    if (flashing) requestAnimationFrame(paint);
  }

  // What the cell at address holds and where it comes from.
  function describe(address) {
    const word = address + 1 < 4096 ? wordAt(memory, address) : memory[address];
    const parts = [`address ${address}`, `word ${word} (0x${(word & 0xffff).toString(16).padStart(4, '0')})`];
    const symbol = program?.symbols.find((s) => s.value === address);
    if (symbol) parts.push(`label ${symbol.name}`);
    const line = addressLine[address];
    if (line > 0) parts.push(`line ${line}: ${sourceLine(line).trim()}`);
    else parts.push(kinds[address] === 'port' ? 'the random port' : kinds[address]);
    return parts.join(' · ');
  }

  function drawStack(dx) {
    const items = [];
    for (let a = dx; a + 1 < RANDOM_PORT && items.length < 64; a += 2) {
      const value = wordAt(memory, a);
      const item = document.createElement('li');
      const text = `${a}: ${value}`;
      const line = callLine(memory, value, addressLine, program?.codeSize ?? 0);
      item.textContent = line > 0 ? `${text}  return after the CALL on line ${line}` : text;
      if (line > 0) item.className = 'return';
      items.push(item);
    }
    stackList.replaceChildren(...items);
  }

  const cellAt = (event) => {
    const box = canvas.getBoundingClientRect();
    const col = Math.floor(((event.clientX - box.left) / box.width) * 64);
    const row = Math.floor(((event.clientY - box.top) / box.height) * 64);
    return col >= 0 && col < 64 && row >= 0 && row < 64 ? row * 64 + col : -1;
  };

  canvas.addEventListener('mousemove', (event) => {
    const address = cellAt(event);
    if (address < 0) return;
    tooltip.textContent = describe(address);
    tooltip.hidden = false;
    tooltip.style.left = `${event.pageX + 12}px`;
    tooltip.style.top = `${event.pageY + 12}px`;
  });
  canvas.addEventListener('mouseleave', () => { tooltip.hidden = true; });
  // A click (or Enter on the focused map) names its address to whoever listens for 'pick'.
  const pick = (address) => canvas.dispatchEvent(new CustomEvent('pick', { detail: address }));
  canvas.addEventListener('click', (event) => { if (cellAt(event) >= 0) pick(cellAt(event)); });
  canvas.addEventListener('keydown', (event) => {
    const moves = { ArrowLeft: -1, ArrowRight: 1, ArrowUp: -64, ArrowDown: 64 };
    if (event.key === 'Enter') pick(cursor);
    if (!(event.key in moves)) return;
    event.preventDefault();
    cursor = (cursor + moves[event.key] + 4096) % 4096;
    info.textContent = describe(cursor);
    paint();
  });
  canvas.addEventListener('focus', () => { info.textContent = describe(cursor); paint(); });
  canvas.addEventListener('blur', paint);

  return {
    draw(update, fresh) {
      const now = performance.now();
      if (!fresh) {
        for (let a = 0; a < 4096; a++) if (update.memory[a] !== memory[a]) flashUntil[a] = now + FLASH_MS;
      } else {
        flashUntil.fill(0);
      }
      memory = update.memory;
      ({ program, addressLine } = update.machine);
      kinds = classify(program, stackTop(update.state));
      ip = update.state.ip;
      drawStack(stackTop(update.state));
      if (!animating) paint();
    },
    repaint: paint,
  };
}
