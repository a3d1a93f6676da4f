// Memory as a table of words: one row for each even address (the word there and at the next
// byte), with its bytes, and the label or source line it belongs to. The rows at IP and DX are
// marked, and rows whose bytes the last step or run changed are highlighted; a word can be
// changed by hand while the machine rests. Only the rows in view are in the page (the table
// has 2048), so drawing it after each step stays cheap.

const ROWS = 2048;
const OVERSCAN = 8;  // rows drawn beyond the view on each side

const hex = (value, digits) => (value & (16 ** digits - 1)).toString(16).padStart(digits, '0');

import { editInPlace, registerValue } from './panels.js';

// Makes the table in scroller (a scrolling element holding a <table> with a <tbody>);
// sourceLine(n) gives the text of line n. A word can be changed while the machine rests
// (canEdit): double-click it, type a value and press Enter (onSet(address, value)); Esc keeps it.
export function createMemoryTable(scroller, sourceLine, { canEdit = () => false, onSet = () => {} } = {}) {
  const body = scroller.querySelector('tbody');
  let memory = new Uint8Array(4096);
  let written = new Uint8Array(4096);  // 1 where the last update changed a byte
  let ip = 0;
  let dx = 4094;
  let labels = new Map();              // address: label names
  let addressLine = new Int32Array(4096);
  let rowHeight = 0;

  function cell(row, text, className = '') {
    const td = document.createElement('td');
    td.textContent = text;
    if (className) td.className = className;
    row.append(td);
  }

  function spacer(rows) {
    const row = document.createElement('tr');
    row.className = 'spacer';
    row.setAttribute('aria-hidden', 'true');
    const td = document.createElement('td');
    td.colSpan = 6;
    td.style.height = `${rows * rowHeight}px`;
    row.append(td);
    return row;
  }

  function rowFor(index) {
    const address = index * 2;
    const row = document.createElement('tr');
    row.dataset.address = String(address);
    const word = (memory[address] << 8) | memory[address + 1];
    const marks = [ip === address || ip === address + 1 ? 'IP' : '', dx === address ? 'DX' : ''].filter(Boolean);
    cell(row, marks.join(' '), 'mark');
    cell(row, String(address), 'address');
    cell(row, String(word >= 0x8000 ? word - 0x10000 : word), 'word');
    cell(row, `0x${hex(word, 4)}`, 'hex');
    cell(row, `${hex(memory[address], 2)} ${hex(memory[address + 1], 2)}`, 'bytes');
    const names = [...(labels.get(address) ?? []), ...(labels.get(address + 1) ?? [])];
    const lines = [...new Set([addressLine[address], addressLine[address + 1]])].filter((n) => n > 0);
    const where = [names.join(', '), ...lines.map((n) => `line ${n}: ${sourceLine(n).trim()}`)].filter(Boolean).join(' · ');
    cell(row, address === 4094 ? 'the random port' : where, 'where');
    row.classList.toggle('ip', marks.includes('IP'));
    row.classList.toggle('dx', marks.includes('DX'));
    row.classList.toggle('written', written[address] === 1 || written[address + 1] === 1);
    return row;
  }

  // Draws the rows in view, between two spacers that stand for the rest.
  function render() {
    if (!rowHeight) {
      body.replaceChildren(rowFor(0));
      rowHeight = body.firstChild.getBoundingClientRect().height || 20;
    }
    const head = scroller.querySelector('thead')?.getBoundingClientRect().height ?? 0;
    const first = Math.max(0, Math.floor((scroller.scrollTop - head) / rowHeight) - OVERSCAN);
    const last = Math.min(ROWS, Math.ceil((scroller.scrollTop + scroller.clientHeight) / rowHeight) + OVERSCAN);
    const rows = [];
    for (let i = first; i < last; i++) rows.push(rowFor(i));
    body.replaceChildren(spacer(first), ...rows, spacer(ROWS - last));
  }
  scroller.addEventListener('scroll', render);

  body.addEventListener('dblclick', (event) => {
    const td = event.target.closest?.('td.word');
    if (!td || !canEdit() || td.querySelector('input')) return;
    const address = Number(td.parentElement.dataset.address);
    editInPlace(td, {
      testId: 'word-edit',
      label: `New word at ${address}`,
      accept: (text) => {
        const value = registerValue(text, 'word');
        if (value !== null) onSet(address, value);
        return value !== null;
      },
      close: render,
    });
  });

  const table = {
    // Takes the worker's update: fresh when the machine is a new one (nothing counts as written).
    draw(update, fresh) {
      written = new Uint8Array(4096);
      if (!fresh) for (let a = 0; a < 4096; a++) if (update.memory[a] !== memory[a]) written[a] = 1;
      memory = update.memory;
      ip = update.state.ip;
      dx = update.state.regs[3];
      if (update.machine.addressLine !== addressLine) {
        labels = new Map();
        for (const symbol of update.machine.program?.symbols ?? []) {
          if (!symbol.defined) continue;
          labels.set(symbol.value, [...(labels.get(symbol.value) ?? []), symbol.name]);
        }
        addressLine = update.machine.addressLine;
      }
      render();
    },
    // Scrolls the row of address into view (to the middle when it is out of view).
    show(address) {
      const index = Math.max(0, Math.min(ROWS - 1, Math.floor(address / 2)));
      const head = scroller.querySelector('thead')?.getBoundingClientRect().height ?? 0;
      const top = head + index * (rowHeight || 20);
      if (top < scroller.scrollTop + head || top + rowHeight > scroller.scrollTop + scroller.clientHeight) {
        scroller.scrollTop = top - scroller.clientHeight / 2;
      }
      render();
    },
  };
  return table;
}
