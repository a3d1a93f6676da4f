// The playground keeps a student's work and tells the truth about it, in a real browser: links
// are opened once and never overwrite work silently, damaged links say why, examples ask
// before replacing work, the status and messages follow the program as it is, breakpoints go
// only where an instruction is, and the panels say when they cut their text or refuse a value.
// The help tells the instructions, the flag and the keys as the assembler and the controls have
// them.
import assert from 'node:assert/strict';
import fs from 'node:fs';
import path from 'node:path';
import { test } from 'node:test';

import AxeBuilder from '@axe-core/playwright';

import {
  TAVRO_LIST, clickLineNumber, downloadName, editorText, example, noticeText, openPage, press,
  registers, runTavro, text, toEnd, typeProgram, useBrowser,
} from './browser.mjs';
import { encodeProgram } from '../src/share.js';
import { ROOT } from './support.mjs';

const env = useBrowser();

const A = '; program A\n        COPY AX, #1\n        OUT AX\n        END\n';
const B = '; program B\n        COPY BX, #2\n        OUT BX\n        END\n';

test('a link is opened once; work it replaces is offered back, and a reload shows the latest work', async () => {
  const page = await openPage(env);
  await typeProgram(page, A);
  await page.getByTestId('share').click();
  const link = await page.getByTestId('share-link').inputValue();
  assert.ok(link.endsWith(encodeProgram(A)));
  assert.equal(await page.evaluate(() => location.hash), '', 'Share leaves the address bar alone');
  await typeProgram(page, B);
  await page.reload();
  await page.waitForSelector('body[data-ready="true"]');
  assert.equal(await editorText(page), B, 'a reload shows the latest work');

  // The link over the work B, first as a new page load, then while the page is open.
  for (const open of [(p) => p.goto(link), (p) => p.evaluate((l) => { location.href = l; }, link)]) {
    await open(page);
    await page.waitForSelector('body[data-ready="true"]');
    assert.match(await noticeText(page), /the program you had is kept/);
    assert.equal(await editorText(page), A);
    assert.equal(await page.evaluate(() => location.hash), '', 'the link leaves the address bar');
    await page.getByTestId('notice').getByRole('button', { name: 'Bring back the program you had' }).click();
    assert.equal(await editorText(page), B);
    await page.waitForFunction((b) => localStorage.getItem('tavro.source') === b, B);
  }
  await page.reload();
  await page.waitForSelector('body[data-ready="true"]');
  assert.equal(await editorText(page), B);
  assert.equal(await page.getByTestId('notice').isHidden(), true);

  // A link to the program already in the editor, or over no work, offers nothing.
  await page.goto(`${env.origin}/${encodeProgram(B)}`);
  await page.waitForSelector('body[data-ready="true"]');
  assert.equal(await page.getByTestId('notice').isHidden(), true);
  assert.deepEqual(page.errors, []);
});

test('a damaged link opens nothing, says why, and leaves the editor as it was', async () => {
  const page = await openPage(env, { fragment: '#code=abc!def' });
  assert.match(await noticeText(page), /"!" cannot stand/);
  assert.equal(await editorText(page), example('hello.tas'));
  assert.equal(await page.evaluate(() => location.hash), '');

  // Each reason a link can be refused for is in texts.test.mjs; here, the page says it.
  await typeProgram(page, B);
  for (const [fragment, reason] of [
    ['#code=A', /cut short/],
    ['#code=_w', /not UTF-8/],
    [`#code=${'A'.repeat((1 << 20) + 4)}`, /over 1 MiB/],
  ]) {
    await page.getByTestId('notice').locator('.notice-close').click();
    await page.evaluate((f) => { location.hash = f; }, fragment);
    assert.match(await noticeText(page), reason, fragment.slice(0, 30));
    assert.equal(await editorText(page), B, fragment.slice(0, 30));
  }
  assert.deepEqual(page.errors, []);
});

test('an example or a file asks before it replaces work and names the download until an edit; a file that is not UTF-8 text is refused', async () => {
  const page = await openPage(env);
  const open = (name, bytes) => page.locator('#open-file').setInputFiles({ name, mimeType: 'text/plain', buffer: Buffer.from(bytes) });
  await page.getByTestId('examples').selectOption('fib.tas');  // over an example: no question
  assert.equal(await downloadName(page), 'fib.tas');
  await toEnd(page);
  await page.keyboard.type('; mine\n');
  assert.equal(await page.getByTestId('examples').inputValue(), '');
  assert.equal(await downloadName(page), 'program.tas');
  const work = await editorText(page);

  // [what replaces the work, the answer, the question, the program then, the example chosen then]
  for (const [replace, answer, question, program, chosen] of [
    [() => page.getByTestId('examples').selectOption('sum.tas'), 'dismiss', /with the example sum\.tas/, work, ''],
    [() => open('other.tas', A), 'dismiss', /with other\.tas/, work, ''],
    [() => page.getByTestId('examples').selectOption('sum.tas'), 'accept', /with the example sum\.tas/, example('sum.tas'), 'sum.tas'],
  ]) {
    const asked = new Promise((resolve) => page.once('dialog', (dialog) => { resolve(dialog.message()); dialog[answer](); }));
    await replace();
    assert.match(await asked, new RegExp(`^Replace your program ${question.source}`));
    assert.equal(await editorText(page), program, question.source);
    assert.equal(await page.getByTestId('examples').inputValue(), chosen, question.source);
  }

  // Over an example, Open asks nothing and the file names the download.
  const [chooser] = await Promise.all([page.waitForEvent('filechooser'), page.getByTestId('open').click()]);
  await chooser.setFiles({ name: 'mine.tas', mimeType: 'text/plain', buffer: Buffer.from(A) });
  await page.waitForFunction((a) => localStorage.getItem('tavro.source') === a, A);
  assert.equal(await downloadName(page), 'mine.tas');
  await open('bad.tas', [0x20, 0xff, 0x0a]);
  assert.match(await noticeText(page), /bad\.tas is not UTF-8 text/);
  assert.equal(await editorText(page), A);
});

test('Enter starts the new line at the statement column of the line above; Backspace goes back a column', async () => {
  const page = await openPage(env);
  for (const [keys, want] of [
    ['MAIN    COPY AX, CX⏎OUT AX', 'MAIN    COPY AX, CX\n        OUT AX'],
    ['        COPY AX, #1⏎; note⏎', '        COPY AX, #1\n        ; note\n        '],
    ['LOOP: ADD AX, #1⏎OUT AX', 'LOOP: ADD AX, #1\n      OUT AX'],
    ['; top⏎X', '; top\nX'],
    ['DATA⏎5', 'DATA\n5'],
    ['        OUT AX⏎⌫END', '        OUT AX\nEND'],
  ]) {
    await page.getByTestId('editor').fill('');
    for (const part of keys.split(/([⏎⌫])/)) {
      if (part === '⏎') await page.keyboard.press('Enter');
      else if (part === '⌫') await page.keyboard.press('Backspace');
      else await page.keyboard.type(part);
    }
    assert.equal(await editorText(page), want, keys);
  }
});

test('completion offers mnemonics where a statement starts, and registers and labels in operands', async () => {
  const page = await openPage(env);
  const program = 'LOOP    ADD AX, #1\nTOTAL   0\n';
  for (const [typed, line, offered] of [
    ['        CO', '        COPY', ['COPY']],
    ['MAIN    JN', 'MAIN    JNB', ['JNB']],
    ['        JMP LO', '        JMP LOOP', ['LOOP']],
    ['        ADD AX, TO', '        ADD AX, TOTAL', ['TOTAL']],
    ['        OUT ', '        OUT AX', ['AX', 'BX', 'CX', 'DX', 'LOOP', 'TOTAL', 'RANDOM']],
  ]) {
    await page.getByTestId('editor').fill(program);
    await toEnd(page);
    await page.keyboard.type(typed);
    await page.keyboard.press('Control+Space');
    // Until the answer to Control+Space is in, the list is greyed and Tab is the editor's.
    await page.waitForSelector('.cm-tooltip-autocomplete:not(.cm-tooltip-autocomplete-disabled)');
    assert.deepEqual((await page.locator('.cm-completionLabel').allTextContents()).sort(), offered.sort(), typed);
    await page.keyboard.press('Tab');
    assert.equal(await editorText(page), `${program}${line}`, typed);
  }
  await page.getByTestId('editor').fill('; a com');
  await page.keyboard.press('Control+Space');
  await page.waitForTimeout(300);
  assert.equal(await page.locator('.cm-tooltip-autocomplete').count(), 0, 'nothing in a comment');
});

test('the memory table shows tavro\'s bytes as words, marks IP and DX and what was written, and goes to any address', async () => {
  const source = example('fib.tas');
  const dump = runTavro(source, { args: ['-d'] }).stdout.split('-----\n')[1].trim().split(/\s+/).map((b) => parseInt(b, 16));
  const page = await openPage(env, { source });
  const row = (address) => page.getByTestId('memory-table').locator(`tr[data-address="${address}"]`);
  const cells = async (address) => row(address).locator('td').allTextContents();
  const goTo = async (address) => {
    await page.getByTestId('memory-goto').fill(String(address));
    await page.getByTestId('memory-goto').press('Enter');
    await row(address).waitFor();
    assert.equal(await row(address).isVisible(), true, `address ${address}`);
  };
  for (let address = 0; address + 1 < dump.length; address += 2) {
    await goTo(address);
    const [, at, word, hexWord, bytes, where] = await cells(address);
    const value = (dump[address] << 8) | dump[address + 1];
    assert.deepEqual([at, word, hexWord, bytes],
      [String(address), String(value >= 0x8000 ? value - 0x10000 : value), `0x${value.toString(16).padStart(4, '0')}`,
        `${dump[address].toString(16).padStart(2, '0')} ${dump[address + 1].toString(16).padStart(2, '0')}`], `address ${address}`);
    assert.match(where, /line \d+: /, `address ${address}`);
  }
  const lines = source.split('\n');
  const fib = lines.findIndex((l) => l.startsWith('FIB')) + 1;
  await page.getByTestId('memory-follow').check();
  await clickLineNumber(page, fib + 3);  // after PUSH AX
  await press(page, 'continue');
  await press(page, 'continue');  // the second call: FIB pushed n and a return address
  const { IP, DX } = await registers(page);
  assert.match((await cells(IP - (IP % 2)))[0], /IP/, 'the table follows IP');
  assert.match((await cells(IP - (IP % 2)))[5], new RegExp(`line ${fib + 3}: `));

  await goTo(DX);
  assert.equal(await page.getByTestId('memory-follow').isChecked(), false);
  assert.equal((await cells(DX))[0], 'DX');
  assert.match(await row(DX).getAttribute('class'), /\bwritten\b/, 'the word just pushed');
  assert.doesNotMatch(await row(DX + 4).getAttribute('class') ?? '', /\bwritten\b/, 'a word pushed before');
  await goTo(4000);
  await page.getByTestId('memory-map').click({ position: { x: 2, y: 2 } });  // the cell at address 0
  await row(0).waitFor();
  assert.equal(await row(0).isVisible(), true);
});

test('a register or a word of memory can be changed while paused: a bad value is refused where it was typed, Esc keeps the value', async () => {
  // N lies at address 6, a row of its own.
  const page = await openPage(env, { source: '        COPY AX, N\n        OUT AX\n        END\n        END\nN       5\n' });
  const word = page.getByTestId('memory-table').locator('tr', { has: page.locator('td.where', { hasText: /^N ·/ }) }).locator('td.word');
  // Each row: [typed, the key that ends it, what the cell shows then (null: refused)].
  const change = async (cell, field, rows) => {
    for (const [typed, key, shown] of rows) {
      await cell.dblclick();
      await field.fill(typed);
      await field.press(key);
      if (shown === null) {
        assert.equal(await field.getAttribute('aria-invalid'), 'true', typed);
        await field.press('Escape');
      } else {
        await cell.filter({ hasText: new RegExp(`^${shown}$`) }).waitFor();
      }
    }
  };
  await change(word, page.getByTestId('word-edit'),
    [['-32769', 'Enter', null], ['65536', 'Enter', null], ['42', 'Enter', '42']]);
  await press(page, 'step');  // AX := N
  await change(page.getByTestId('reg-AX'), page.getByTestId('reg-AX-edit'),
    [['abc', 'Enter', null], ['70000', 'Enter', null], ['99', 'Escape', '42'], ['0xC', 'Enter', '12']]);
  await press(page, 'step-back');  // the history starts again at the change
  assert.match(await text(page, 'status'), /No earlier step/);
  assert.equal(await text(page, 'steps'), '1');
  await press(page, 'continue', ['ended']);
  assert.equal(await text(page, 'console'), 'out: 12\n>>> Program terminated. (Halt)\n');
});

test('the status line and the messages follow the program as it is, and an empty one is named', async () => {
  const broken = '        COPY AX, #500\n        END\n';
  const page = await openPage(env, { source: broken });
  const settled = (pattern) => page.waitForFunction((p) => new RegExp(p).test(document.querySelector('[data-testid="status"]').textContent), pattern.source);
  await settled(/has errors/);
  assert.equal(await text(page, 'stderr'), runTavro(broken).stderr);

  for (const [source, status, list] of [
    [' COPY AX, #5\n END\n', /^Ready at the start/, 'No errors.'],
    [' COPY AX, #5\n JMP NOWHERE\n', /^Ready at the start/, null],
    [' COPY AX, 5(BX\n', /has errors/, null],
    ['', /The program is empty/, 'The program is empty: write one, or choose an example.'],
  ]) {
    await page.getByTestId('editor').fill(source);
    await settled(status);
    await page.waitForFunction((s) => document.querySelector('[data-testid="stderr"]').textContent === s,
      source ? runTavro(source).stderr : '');
    if (list) assert.equal(await text(page, 'diagnostics'), list);
  }
  await press(page, 'run', ['refused']);
  assert.match(await text(page, 'status'), /The program is empty/);
  assert.doesNotMatch(await text(page, 'stderr') + await text(page, 'diagnostics'), /Can't read/);
});

test('a breakpoint asked for where no instruction is moves to the next one or is not set, and a new program clears them', async () => {
  const source = example('fib.tas');
  const lines = source.split('\n');
  const page = await openPage(env, { source });
  await page.waitForFunction(() => document.querySelector('[data-testid="diagnostics"] li'));
  const marked = () => page.locator('.cm-breakpoint-gutter .breakpoint:visible').count();
  const blank = lines.indexOf('') + 1;  // the blank line before the subroutine
  await clickLineNumber(page, blank);
  assert.match(await noticeText(page), new RegExp(`Line ${blank} holds no instruction: the breakpoint is on line ${blank + 1}`));
  assert.equal(await marked(), 1);
  await press(page, 'continue');
  assert.equal(await page.locator('.cm-executing').textContent(), lines[blank]);

  await clickLineNumber(page, lines.length);  // the empty line after the last
  assert.match(await noticeText(page), /none follows it: no breakpoint was set/);
  assert.equal(await marked(), 1);

  await page.getByTestId('editor').fill(example('hello.tas'));
  assert.equal(await marked(), 0, 'a whole new program has no breakpoints');
  await press(page, 'run', ['ended']);  // and no stop

  // A deleted line takes its breakpoint along, and so does an example over the program (even
  // from the first line, where the new text begins).
  await page.getByTestId('editor').fill(' COPY AX, #1\n OUT AX\n END\n');
  await press(page, 'reset', ['idle']);
  await page.waitForTimeout(400);  // assembled: the breakpoints know their lines
  await clickLineNumber(page, 2);
  await clickLineNumber(page, 1);
  assert.equal(await marked(), 2);
  await page.locator('.cm-line').nth(1).click();
  await page.keyboard.press('Control+Shift+K');  // delete the line
  assert.equal(await editorText(page), ' COPY AX, #1\n END\n');
  assert.equal(await marked(), 1, 'the deleted line\'s breakpoint went with it');
  page.once('dialog', (dialog) => dialog.accept());
  await page.getByTestId('examples').selectOption('hello.tas');
  assert.equal(await marked(), 0, 'an example has no breakpoints');
});

test('a breakpoint\'s condition and hit count, in the debug adapter\'s words: kept through edits, refused with the reason', async () => {
  const source = '        COPY CX, #0\nLOOP    ADD CX, #1\n        OUT CX\n        CMP CX, #5\n        JB LOOP\n        END\n';
  const page = await openPage(env, { source });
  await page.waitForFunction(() => document.querySelector('[data-testid="diagnostics"] li'));
  const field = page.getByTestId('breakpoint-condition');
  const marker = page.locator('.cm-breakpoint-gutter .breakpoint:visible');
  const out = (n) => Array.from({ length: n }, (_, i) => `out: ${i + 1}\n`).join('');
  // [how the field opens, condition, hit count, the marker's name, the stop: CX there, or null at the end]
  for (const [open, condition, hit, named, stop] of [
    ['Alt', 'cx == 3', '', 'breakpoint if cx == 3', 3],
    ['right', 'CX > 9', '', 'breakpoint if CX > 9', null],
    ['Alt', '', '% 2', 'breakpoint hit count % 2', 2],
    ['right', 'CX', '3', 'breakpoint if CX, hit count 3', 3],
    ['Alt', '', '', 'breakpoint', 1],
  ]) {
    await clickLineNumber(page, 3, open === 'Alt' ? { modifiers: ['Alt'] } : { button: 'right' });
    await field.fill(condition);
    await page.getByTestId('breakpoint-hit').fill(hit);
    await field.press('Enter');
    await field.waitFor({ state: 'detached' });
    assert.equal(await marker.getAttribute('aria-label'), named);
    await press(page, 'reset', ['idle']);
    await press(page, 'continue', ['paused', 'ended']);
    assert.equal(await text(page, 'console'), stop === null ? `${out(5)}>>> Program terminated. (Halt)\n` : out(stop - 1), named);
    if (stop !== null) assert.equal((await registers(page)).CX, stop, named);
  }
  // Refused: the reason shows where it was typed and the breakpoint stays as it was; Escape
  // leaves it so too.
  await clickLineNumber(page, 3, { modifiers: ['Alt'] });
  await field.fill('COUNT == <b>1</b>');
  await field.press('Enter');
  await page.waitForFunction(() => document.querySelector('[data-testid="breakpoint-condition-error"]').textContent !== '');
  assert.equal(await text(page, 'breakpoint-condition-error'), "Condition 'COUNT == <b>1</b>': unknown name");
  assert.equal(await field.getAttribute('aria-invalid'), 'true');
  await field.press('Escape');
  await field.waitFor({ state: 'detached' });
  assert.equal(await marker.getAttribute('aria-label'), 'breakpoint');

  // Kept through an edit above its line; a condition that cannot be worked out stops and says why.
  await clickLineNumber(page, 3, { button: 'right' });
  await field.fill('[CX+5000] == 0');
  await field.press('Enter');
  await field.waitFor({ state: 'detached' });
  await page.locator('.cm-line').first().click();
  await page.keyboard.press('Home');
  await page.keyboard.type('; counts to 5\n');
  assert.equal(await marker.getAttribute('title'), 'breakpoint if [CX+5000] == 0');
  await press(page, 'reset', ['idle']);
  await press(page, 'continue', ['paused']);
  assert.match(await text(page, 'status'), /condition can't be worked out: no word at 5001: memory words start at 0 to 4094/);
  assert.equal(await page.locator('.cm-executing').textContent(), '        OUT CX');
  assert.deepEqual(page.errors, []);
});

test('the console says how much it dropped and starts on a whole line', async () => {
  const source = 'LOOP    ADD AX, #1\n        OUT AX\n        CMP AX, #0\n        JNB LOOP\n        END\n';
  const { stdout } = runTavro(source);
  assert.ok(stdout.length > 300_000);
  const page = await openPage(env, { source });
  await press(page, 'run', ['ended']);
  const shown = await text(page, 'console');
  const [, count, rest] = /^\[([\d,]+) earlier characters dropped[^\n]*\]\n([^]*)$/.exec(shown) ?? [];
  assert.ok(rest, shown.slice(0, 100));
  assert.ok(shown.length <= 200_000);
  assert.ok(stdout.endsWith(rest) && stdout[stdout.length - rest.length - 1] === '\n', 'the tail of tavro\'s output, from a line start');
  assert.equal(Number(count.replace(/,/g, '')), stdout.length - rest.length);
});

test('the step limit refuses what is not a whole number from 1, visibly, and counts one step as one', async () => {
  const page = await openPage(env, { source: 'LOOP    JMP LOOP\n' });
  const field = page.getByTestId('step-limit');
  for (const bad of ['0', '-5', '1.5', '']) {
    await field.fill(bad);
    await field.press('Enter');
    assert.match(await text(page, 'step-limit-error'), /whole number from 1\. The limit stays 100,000,000 steps/, bad);
    assert.equal(await field.getAttribute('aria-invalid'), 'true');
  }
  await field.fill('1');
  await field.press('Enter');
  assert.equal(await text(page, 'step-limit-error'), '');
  assert.equal(await field.getAttribute('aria-invalid'), null);
  await press(page, 'run');
  assert.equal(await text(page, 'steps'), '1');
  assert.match(await text(page, 'status'), /^Paused after 1 step\. Paused at the step limit \(1 step per run\)/);
});

test('Help lists the 16 instructions with examples that assemble, the flag, and the key of each control', async () => {
  const page = await openPage(env);
  await page.getByTestId('help').click();
  const reference = page.getByTestId('reference');
  assert.equal(await reference.isVisible(), true);
  const cells = (table) => reference.locator(`table.${table} tbody tr`).evaluateAll((rows) => rows.map((r) => [...r.cells].map((c) => c.textContent)));

  // The machine code table of the language guide names every mnemonic.
  const guide = fs.readFileSync(path.join(ROOT, 'docs/language.md'), 'utf8');
  const table = guide.slice(guide.indexOf('| opcode | mnemonic | form | bytes |')).split('\n\n')[0];
  const opcodes = table.split('\n').slice(2).flatMap((l) => l.split('|')[2].match(/[A-Z]+/g));
  assert.equal(opcodes.length, 16);
  const rows = await cells('instructions');
  assert.deepEqual([...new Set(rows.map(([form]) => form.split(' ')[0]))].sort(), opcodes.sort());
  for (const [form, , example] of rows) {
    assert.equal(example.split(' ')[0], form.split(' ')[0], form);
    assert.equal(runTavro(`        ${example}\n        END\nTOTAL   0\n`, { args: ['-c'] }).stderr, '', example);
  }
  assert.match(await reference.textContent(), /B \(below\) after a CMP whose first operand was below its\s+second, and NB \(not below\)/);

  const keys = await cells('keys');
  const controls = await page.locator('[aria-keyshortcuts]').evaluateAll((buttons) => buttons.map((b) => [b.textContent, b.getAttribute('aria-keyshortcuts')]));
  assert.equal(controls.length, 9);
  for (const [name, shortcuts] of controls) {
    const row = keys.find(([, does]) => does === name);
    assert.ok(row, name);
    for (const shortcut of shortcuts.split(' ')) {
      assert.ok(row[0].split(' or ').includes(shortcut.replace('Control', 'Ctrl').replace('Escape', 'Esc')), `${name}: ${shortcut}`);
    }
  }
  for (const theme of ['light', 'dark']) {
    await page.getByTestId('theme').selectOption(theme);
    const { violations } = await new AxeBuilder({ page }).include('[data-testid="reference"]').analyze();
    assert.deepEqual(violations.filter((v) => v.impact === 'serious' || v.impact === 'critical').map((v) => v.id), [], theme);
  }
  await page.getByTestId('help-close').click();
  assert.equal(await reference.isHidden(), true);
});

test('an assignment opens from a file or a relative link, and its Tests panel judges the program as tavro-grade does', async () => {
  const assignment = fs.readFileSync(path.join(ROOT, 'examples/grading/expected/assignment.json'));
  // Prints 0 and 0 whatever the input: only the test "zero" passes.
  const zeros = '        COPY BX, #0\n        OUT BX\n        OUT BX\n        END\n';
  const page = await openPage(env, { source: zeros });
  const requests = [];
  page.on('request', (request) => requests.push(request.url()));
  await page.route('**/class.assignment.json', (route) => route.fulfill({ contentType: 'application/json', body: assignment }));
  const tests = page.getByTestId('tests');
  const rows = async () => (await tests.locator('tbody tr').evaluateAll((trs) =>
    trs.map((tr) => [...tr.cells].map((cell) => cell.textContent))));
  const total = () => page.getByTestId('tests-total').textContent();

  await page.evaluate(() => { location.hash = '#assignment=class.assignment.json'; });
  await page.waitForFunction(() => document.querySelector('[data-testid="tests-total"]').textContent.startsWith('Total'));
  const shown = await rows();
  assert.deepEqual(shown.map((r) => r.slice(0, 3)), [
    ['Four numbers, results in BX and CX', 'wrong-output', '0 / 2'],
    ['wrap', 'wrong-output', '0 / 1'],
    ['zero', 'pass', '1 / 1'],
  ], 'the hidden test "negative" is not there');
  assert.match(shown[0][3], /^Keep the sum in BX and the count in CX until the END\.line 1: expected "out: 4", got "out: 0"/);
  assert.match(shown[0][3], /-"out: 4"\n-"out: 10"\n/);
  assert.equal(shown[2][3], '', 'a passed test shows no detail');
  assert.equal(await total(), 'Total: 1 / 4 points.');
  const { violations } = await new AxeBuilder({ page }).include('[data-testid="tests"]').analyze();
  assert.deepEqual(violations.filter((v) => ['serious', 'critical'].includes(v.impact)).map((v) => v.id), []);

  await typeProgram(page, example('grading/submissions/correct.tas'));
  await page.getByRole('button', { name: 'Run the tests' }).click();
  await page.waitForFunction(() => document.querySelector('[data-testid="tests-total"]').textContent === 'Total: 4 / 4 points.');

  // Refused: what is not a relative address of this page's site, and what is not an assignment.
  // The notice says why; the panel stays as it was, and no request leaves the page's origin.
  const openFile = (name, body) => page.locator('#open-assignment-file').setInputFiles({ name, mimeType: 'application/json', buffer: Buffer.from(body) });
  for (const [open, reason] of [
    [() => page.evaluate(() => { location.hash = '#assignment=https://example.com/a.json'; }), /must name a file next to this page/],
    [() => page.evaluate(() => { location.hash = '#assignment=//example.com/a.json'; }), /must name a file next to this page/],
    [() => openFile('bad.json', '{"format": "tavro-assignment", "version": 1, "tests": [{"name": 1}]}'), /bad\.json is not an assignment .*test 1 has no valid "name"/],
    [() => openFile('text.json', 'not json'), /text\.json is not an assignment .*not JSON/],
    [() => openFile('big.json', ' '.repeat((8 << 20) + 1)), /big\.json .* over 8 MiB/],
  ]) {
    await page.getByTestId('notice').locator('.notice-close').click().catch(() => {});
    await open();
    assert.match(await noticeText(page), reason);
    assert.equal(await total(), 'Total: 4 / 4 points.');
    assert.equal((await rows()).length, 3);
  }
  assert.deepEqual(requests.filter((url) => !url.startsWith(env.origin)), []);

  // The same assignment from a file, through the Assignment button, on a program that does not
  // assemble.
  await typeProgram(page, '        COPY AX\n');
  const [chooser] = await Promise.all([page.waitForEvent('filechooser'), page.getByTestId('open-assignment').click()]);
  await chooser.setFiles({ name: 'class.assignment.json', mimeType: 'application/json', buffer: assignment });
  await page.waitForFunction(() => document.querySelector('[data-testid="tests-total"]').textContent === 'Total: 0 / 4 points.');
  assert.deepEqual((await rows()).map((r) => r[1]), ['assembly-error', 'assembly-error', 'assembly-error']);
  assert.deepEqual(page.errors, []);
});

test('the listing is tavro-list\'s with the line about to execute marked, the labels show their words now, Format is one undoable edit, and Help opens the language guide', async () => {
  const source = 'start copy ax,#5\n add ax , #7  ; sum\n\tcopy TOTAL,ax\n end\nTOTAL 0\n';
  const formatted = 'start   copy ax, #5\n        add  ax, #7         ; sum\n        copy TOTAL, ax\n        end\nTOTAL   0\n';
  const page = await openPage(env, { source });
  for (const id of ['listing-toggle', 'symbols-toggle']) await page.getByTestId(id).click();
  const listing = page.getByTestId('listing');
  const marked = () => listing.locator('.current').textContent();
  assert.equal(await listing.textContent(), runTavro(source, { program: TAVRO_LIST }).stdout);
  const labels = () => page.getByTestId('symbols').locator('tbody tr').evaluateAll((rows) => rows.map((r) => [...r.cells].map((c) => c.textContent).join(' ')));
  assert.deepEqual(await labels(), ['RANDOM 4094 random', 'START 0 4101', 'TOTAL 8 0']);
  for (const ip of [0, 2, 4, 7]) {
    assert.equal(await text(page, 'reg-IP'), String(ip));
    assert.match(await marked(), new RegExp(`^ *${ip} `), `the mark at IP ${ip}`);
    await press(page, 'step');
  }
  assert.equal(await listing.locator('.current').count(), 0, 'no mark once the program has ended');
  assert.deepEqual(await labels(), ['RANDOM 4094 random', 'START 0 4101', 'TOTAL 8 12'], 'TOTAL holds the sum after the run');

  await page.getByTestId('format').click();
  await page.waitForFunction((want) => [...document.querySelectorAll('.cm-line')].map((l) => l.textContent).join('\n') === want, formatted);
  await page.getByTestId('format').click();
  await page.waitForFunction(() => document.body.dataset.formats === '2');
  await page.locator('.cm-content').focus();
  await page.keyboard.press('Control+z');
  // One undo: the first Format was one edit, and the second, on formatted text, made none.
  assert.equal(await editorText(page), source, 'one undo takes the whole Format back');

  await typeProgram(page, ' FOO AX\n');
  await press(page, 'reset', ['refused']);
  assert.match(await text(page, 'listing'), /has errors/);
  assert.match(await text(page, 'symbols'), /has errors/);

  await page.getByTestId('help').click();
  const [guide] = await Promise.all([page.context().waitForEvent('page'), page.getByTestId('guide-link').click()]);
  const errors = [];
  guide.on('console', (message) => { if (message.type() === 'error') errors.push(message.text()); });
  await guide.waitForLoadState('load');
  const headings = await guide.locator('h2').allTextContents();
  assert.ok(headings.includes('6. The instructions') && headings.includes('13. Assembly errors'), headings.join(' | '));
  await guide.locator('a[href="#11-machine-code"]').first().click();
  assert.equal(await guide.evaluate(() => document.getElementById('11-machine-code')?.textContent), '11. Machine code');
  assert.deepEqual([...errors, ...page.errors], []);
});
