// The program as tavro-list prints it, and its labels with the words they hold now. The
// listing's text comes from the engine whole (its rows are tavro-list's, byte for byte); this
// side only cuts it into rows so that the row about to execute can be marked, found by the
// address that starts it. A refused or empty program has no listing: the panels say why.

const wordAt = (memory, a) => {
  const word = (memory[a] << 8) | memory[a + 1];
  return word >= 0x8000 ? word - 0x10000 : word;
};

// Why a machine has no listing, or '' when it has one.
function missing(machine, mode) {
  if (!machine.program) return 'The program is empty: write one, or choose an example.';
  if (mode === 'refused' || !machine.listing) return 'The program has errors: there is no listing until they are fixed.';
  return '';
}

// The listing panel: a <pre> of one block per row. The row whose address is IP is marked while
// the machine rests at an instruction, and scrolled into the panel's view.
export function createListing(pre) {
  let shownListing = null;
  let rows = new Map();  // address: the row that starts there
  let marked = null;

  function build(text) {
    rows = new Map();
    marked = null;
    const blocks = [];
    let inRows = true;  // the symbol table, after the first blank line, has no addresses
    for (const line of text.replace(/\n$/, '').split('\n')) {
      const row = document.createElement('span');
      row.className = 'row';
      row.textContent = `${line}\n`;
      if (line === '') inRows = false;
      const address = line.slice(0, 4).trim();
      if (inRows && /^[0-9]+$/.test(address)) rows.set(Number(address), row);
      blocks.push(row);
    }
    pre.replaceChildren(...blocks);
  }

  function mark(ip) {
    const row = ip === null ? null : rows.get(ip) ?? null;
    if (row === marked) return;
    marked?.classList.remove('current');
    marked?.removeAttribute('aria-current');
    marked = row;
    if (!row) return;
    row.classList.add('current');
    row.setAttribute('aria-current', 'step');
    reveal();
  }

  // Scrolls the marked row into the panel's view: within the panel only, the page must not move.
  function reveal() {
    if (!marked || pre.clientHeight === 0) return;
    const top = marked.getBoundingClientRect().top - pre.getBoundingClientRect().top - pre.clientTop + pre.scrollTop;
    if (top < pre.scrollTop || top + marked.offsetHeight > pre.scrollTop + pre.clientHeight) {
      pre.scrollTop = Math.max(0, top - pre.clientHeight / 3);
    }
  }

  return {
    reveal,
    // resting: the machine is paused, idle or waiting, so IP names the instruction to come.
    draw(update, resting) {
      const why = missing(update.machine, update.mode);
      const text = why || update.machine.listing;
      if (text !== shownListing) {
        shownListing = text;
        if (why) {
          pre.textContent = why;
          rows = new Map();
          marked = null;
        } else {
          build(text);
        }
      }
      mark(resting && !why ? update.state.ip : null);
    },
  };
}

// The labels panel: a table body with a row for each label (by name, as the listing's symbol
// table), its address, and the word at that address in the machine's memory now.
export function createSymbols(body, note) {
  let program;
  let cells = [];  // [address, the word's cell]

  function build(machine, mode) {
    program = machine.program;
    const why = missing(machine, mode);
    note.textContent = why;
    note.hidden = !why;
    const symbols = why ? [] : [...program.symbols].sort((a, b) => (a.name < b.name ? -1 : a.name > b.name ? 1 : 0));
    cells = [];
    body.replaceChildren(...symbols.map((symbol) => {
      const row = document.createElement('tr');
      const word = document.createElement('td');
      for (const text of [symbol.name, String(symbol.value)]) {
        const td = document.createElement('td');
        td.textContent = text;
        row.append(td);
      }
      row.append(word);
      cells.push([symbol.value, word]);
      return row;
    }));
  }

  return {
    draw(update) {
      if (update.fresh || update.machine.program !== program) build(update.machine, update.mode);
      for (const [address, cell] of cells) {
        // The random port has no word of its own: each read draws a new number.
        const text = address >= 4094 ? 'random' : address < 0 ? '' : String(wordAt(update.memory, address));
        if (cell.textContent !== text) cell.textContent = text;
      }
    },
  };
}
