// The machine's panels: registers, the two output streams, the memory map with its stack, and
// the trace. Each draws from the worker's 'update' record. Every text from a program or its run
// is set as text (textContent, a Text node), never parsed as HTML.

const CALL = 10;         // CALL's opcode: bits 7-4 of an instruction's first byte
const RANDOM_PORT = 4094;
const FLASH_MS = 700;    // how long a written byte stays highlighted
const STREAM_LIMIT = 200_000;  // characters a stream panel keeps (the latest ones)
const RUNNING_TAIL = 4000;     // characters it shows while a run goes on

// ---- registers ----

export function createRegisters(root) {
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

// A panel that holds the latest STREAM_LIMIT characters of a stream. Chunks come with the
// offset where they start, so a step back (which makes the stream shorter) cuts it first; the
// text is written to the page at most once a frame (show), however fast chunks come.
export function createStream(element) {
  const node = document.createTextNode('');
  element.replaceChildren(node);
  let text = '';
  let dropped = 0;  // characters cut from the front to stay within the limit
  let changed = false;
  let shownRunning = false;

  return {
    clear(initial = '') {
      text = initial;
      dropped = 0;
      changed = true;
    },
    apply(at, chunk) {
      const keep = at - dropped;
      if (keep < 0) {
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
      node.data = running && text.length > RUNNING_TAIL ? text.slice(text.indexOf('\n', text.length - RUNNING_TAIL) + 1) : text;
      if (wasAtEnd) element.scrollTop = element.scrollHeight;
    },
  };
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
  canvas.addEventListener('keydown', (event) => {
    const moves = { ArrowLeft: -1, ArrowRight: 1, ArrowUp: -64, ArrowDown: 64 };
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
      program = update.program;
      addressLine = new Int32Array(4096);
      program?.lines.forEach(([address, size], i) => {
        for (let a = address; a < address + size && a < 4096; a++) addressLine[a] = i + 1;
      });
      kinds = classify(program, stackTop(update.state));
      ip = update.state.ip;
      drawStack(stackTop(update.state));
      if (!animating) paint();
    },
    repaint: paint,
  };
}
