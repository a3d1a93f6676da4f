// The playground in a real browser (Debian's Chromium, headless), held against the real tavro:
// breakpoints, stepping both ways and the keys of each control, the trace, Stop, the terminal
// and the input it takes, the speed of a run, inline errors, text that must stay text, no
// request outside the page's origin, the licence, accessibility, and a screenshot kept.
import assert from 'node:assert/strict';
import fs from 'node:fs';
import path from 'node:path';
import { test } from 'node:test';

import AxeBuilder from '@axe-core/playwright';

import {
  ARTEFACTS, clickLineNumber, example, openPage, press, registers, runTavro, text, toEnd, traceStates,
  useBrowser, waitForMode,
} from './browser.mjs';
import { ROOT } from './support.mjs';

const env = useBrowser();

const machine = ({ line, ...values }) => values;  // a state of traceStates as registers() gives it
const SUM_INPUT = fs.readFileSync(path.join(ROOT, 'examples/sum.in'), 'latin1').split('\n').slice(0, -1);

test('after k steps the registers equal line k+1 of tavro -t, and the trace panel its lines', async () => {
  const source = example('fib.tas');
  const states = traceStates(source);
  const page = await openPage(env, { source });
  for (let k = 0; k <= 40; k++) {
    assert.deepEqual(await registers(page), machine(states[k]), `after ${k} steps`);
    const trace = await text(page, 'trace');
    assert.equal(trace, states.slice(Math.max(0, k - 100), k).map((s) => `${s.line}\n`).join(''), `trace after ${k}`);
    await press(page, k % 2 ? 'step' : 'key:F9');
  }
});

// Each control's key stands in for its button somewhere in these tests.
test('a breakpoint stops Continue; Step over runs a CALL to its return; Step back undoes; Step out runs until the routine has returned to its caller; Run to cursor stops at the first arrival at the line', async () => {
  const source = example('fib.tas');
  const lines = source.split('\n');
  const states = traceStates(source);
  const page = await openPage(env, { source });
  const steps = async () => Number(await text(page, 'steps'));
  const atCall = states.findIndex((s) => s.line.includes('CALL'));
  const returned = states.findIndex((s, i) => i > atCall && s.IP === states[atCall].IP + 2 && s.DX === states[atCall].DX);
  const callLine = lines.findIndex((l) => /^\s+CALL FIB/.test(l)) + 1;
  await clickLineNumber(page, callLine);
  // [the control, the steps taken then, the console then]: the breakpoint on the CALL stops
  // Continue, and the OUT undone leaves the console.
  for (const [control, taken, shown] of [
    ['key:F5', atCall, ''], ['key:F10', returned, ''], ['step', returned + 1, 'out: 0\n'],
    ['step-back', returned, ''], ['key:Shift+F9', returned - 1, ''],
  ]) {
    await press(page, control);
    assert.deepEqual(await registers(page), machine(states[taken]), control);
    assert.equal(await steps(), taken, control);
    assert.equal(await text(page, 'console'), shown, control);
  }

  // Step out with no call on the stack, and from within FIB, called from line 15.
  await clickLineNumber(page, callLine);  // the breakpoint off
  await press(page, 'key:Control+Shift+Enter', ['idle']);
  await press(page, 'step-out');
  assert.equal(await steps(), 0);
  assert.match(await text(page, 'status'), /No call is on the stack/);
  for (let i = 0; i < 3; i++) await press(page, 'step');
  await press(page, 'key:Shift+F11');
  assert.equal(await steps(), states.findIndex((s, i) => i > 3 && s.IP === states[2].IP + 2));

  // Line 33 (ADD AX, BX) runs first deep in the recursion; line 21 is blank, and FIB follows it.
  for (const [line, executing] of [[33, 'ADD AX, BX'], [21, 'FIB     CMP AX, #2']]) {
    await press(page, 'reset');
    await page.locator('.cm-line').nth(line - 1).click();
    await press(page, 'key:Control+F10');
    const { IP } = await registers(page);
    assert.equal(await steps(), states.findIndex((s) => s.IP === IP), `line ${line}`);
    assert.ok((await page.locator('.cm-executing').textContent()).startsWith(executing.startsWith('FIB') ? executing : `        ${executing}`), `line ${line}`);
  }
});

test('Stop ends an endless loop within 200 ms, even one that prints', async () => {
  for (const source of ['LOOP    ADD AX, #1\n        JMP LOOP\n', 'LOOP    ADD AX, #1\n        OUT AX\n        JMP LOOP\n']) {
    const page = await openPage(env, { source });
    await page.getByTestId('step-limit').fill('1000000000000');
    await page.getByTestId('step-limit').press('Enter');
    await press(page, 'run', ['running']);
    await page.waitForTimeout(500);
    await page.keyboard.press('Control+Enter');  // Run again, while it runs
    // A stop may wait for another process now and then: the best of three is the page's (a page
    // that is slow to stop is slow in all three).
    const stops = [];
    for (let attempt = 0; attempt < 3 && !(stops.at(-1) < 200); attempt++) {
      if (attempt > 0) await press(page, 'continue', ['running']);
      await page.waitForTimeout(500);
      stops.push(await page.evaluate(() => new Promise((resolve) => {
        const start = performance.now();
        new MutationObserver((_, observer) => {
          if (document.body.dataset.mode === 'paused') {
            observer.disconnect();
            resolve(performance.now() - start);
          }
        }).observe(document.body, { attributes: true });
        document.querySelector('[data-testid="stop"]').click();
      })));
    }
    assert.ok(stops.at(-1) < 200, `stopped in ${stops.join(', ')} ms`);
    assert.ok(Number(await text(page, 'steps')) > 1_000_000);
    const shown = await text(page, 'console');
    assert.ok(shown.length <= 200_000 && /^(out: -?\d+\n)*$/.test(shown.slice(shown.indexOf('\n') + 1)), 'the console keeps the latest lines');
    await page.getByTestId('view-terminal').click();
    assert.equal(await text(page, 'terminal'), shown, 'the terminal keeps the same lines');
    await page.context().close();
  }
});

test('assembly errors and warnings show inline on their lines with tavro\'s messages and hints', async () => {
  const page = await openPage(env, { source: '        COPY AX, #5\n        END\n' });
  await toEnd(page);
  const typed = '        COPY AX, #200\nLOOP: OUT AX\n        ADD AX\n';
  await page.keyboard.insertText(typed);
  const source = (await page.locator('.cm-line').allTextContents()).join('\n');
  assert.equal(source, `        COPY AX, #5\n        END\n${typed}`);
  const want = [...runTavro(source).stderr.matchAll(/^\*pass=\d, (.*)\n +(\d+)>/gm)].map((m) => `line ${m[2]}${m[1]}`);
  assert.equal(want.length, 3);
  await page.waitForFunction((n) => document.querySelectorAll('[data-testid="diagnostics"] li.error').length === n, want.length);
  assert.deepEqual(await page.locator('[data-testid="diagnostics"] li.error button').allTextContents(), want);
  assert.match(await page.locator('[data-testid="diagnostics"] li.error .hint').first().textContent(), /-128 to 127/);
  assert.equal(await page.locator('.cm-lintRange-error').count(), 3);
  await page.locator('.cm-lintRange-error').first().hover();
  await page.waitForSelector('.cm-tooltip-lint');
  assert.match(await page.locator('.cm-tooltip-lint').textContent(), /Syntax error in 2nd operand.*-128 to 127/);

  const { stderr } = runTavro(' JMP NOWHERE\n OUT AX\n');
  await page.getByTestId('editor').fill(' JMP NOWHERE\n OUT AX\n');
  await page.waitForSelector('[data-testid="diagnostics"] li.warning');
  assert.deepEqual(await page.locator('[data-testid="diagnostics"] li.warning button').allTextContents(),
    [`line ${/Line=(\d+)/.exec(stderr)[1]}${stderr.trim()}`]);
  assert.ok(await page.locator('.cm-lintRange-warning, .cm-lint-marker-warning').count() > 0);
});

test('markup in a program, its messages and a link stays text', async () => {
  const source = '<script>window.pwned = 1</script>\n<img src=x onerror="window.pwned = 2">\n        END\n';
  const page = await openPage(env, { source });
  await press(page, 'key:Control+Enter', ['refused']);
  const stderr = await text(page, 'stderr');
  assert.equal(stderr, runTavro(source).stderr);
  assert.ok(stderr.includes('<script>window.pwned = 1</script>'));
  assert.equal(await page.evaluate(() => window.pwned), undefined);
  assert.equal(await page.locator('main script, main img, .cm-content script, .cm-content img').count(), 0);
  assert.deepEqual(page.errors, []);
});

test('the footer names the licence, and its link serves the project\'s LICENSE', async () => {
  const page = await openPage(env);
  const link = page.locator('footer a', { hasText: 'MIT licence' });
  const response = await page.request.get(new URL(await link.getAttribute('href'), page.url()).href);
  assert.equal(response.status(), 200);
  assert.match(response.headers()['content-type'], /^text\/plain/);
  const licence = fs.readFileSync(path.join(ROOT, 'LICENSE'), 'utf8');
  assert.equal(await response.text(), licence);
  const holders = /^Copyright \(c\) (.*)$/m.exec(licence)[1];
  assert.ok((await page.locator('footer').textContent()).includes(`Copyright (c) ${holders}.`));
});

test('no serious or critical accessibility violation, in either theme, and no request outside the page\'s origin; a screenshot is saved', async () => {
  const source = example('fib.tas');
  const outside = [];
  const page = await openPage(env, { source, outside });
  const line = source.split('\n').findIndex((l) => /^\s+ADD AX, BX/.test(l)) + 1;
  await clickLineNumber(page, line);
  for (let i = 0; i < 40; i++) await press(page, 'continue');
  await page.getByTestId('memory-map').hover({ position: { x: 60, y: 2 } });
  fs.mkdirSync(ARTEFACTS, { recursive: true });
  await page.screenshot({ path: path.join(ARTEFACTS, 'screenshot.png') });
  for (const theme of ['light', 'dark']) {
    await page.getByTestId('theme').selectOption(theme);
    const { violations } = await new AxeBuilder({ page }).analyze();
    const serious = violations.filter((v) => v.impact === 'serious' || v.impact === 'critical');
    assert.deepEqual(serious.map((v) => `${v.id}: ${v.nodes.map((n) => n.target).join(', ')}`), [], theme);
  }
  assert.deepEqual(outside, [], 'everything works with every request outside the origin blocked');
});

test('the terminal interleaves stdout, stderr and the input IN took, as typed by hand; input sent ahead shows queued until taken', async () => {
  const sum = example('sum.tas');
  for (const { name, source, lines, ahead, refused } of [
    { name: 'sum.tas, typed when asked', source: sum, lines: SUM_INPUT, ahead: false },
    { name: 'sum.tas, sent before Run', source: sum, lines: SUM_INPUT, ahead: true },
    { name: 'sum.tas, sent before a Run refused for an error', source: sum, lines: SUM_INPUT, ahead: true, refused: true },
    { name: 'a run-time error', source: ' IN AX\n OUT AX\n IN BX\n DIV AX, BX\n', lines: ['7', 'x', '0'], ahead: false },
  ]) {
    const page = await openPage(env, { source });
    await page.getByTestId('view-terminal').click();
    // Each line sent with the button and with Enter in the box in turn.
    const send = async () => {
      for (const [i, line] of lines.entries()) {
        await page.getByTestId('input').fill(line);
        await press(page, i % 2 ? 'key:Enter' : 'input-send', ahead ? ['idle'] : ['waiting', 'ended']);
      }
    };
    if (ahead) {
      await send();
      assert.equal(await page.locator('[data-testid="terminal"] .queue').textContent(), lines.map((l) => `${l}\n`).join(''), name);
    }
    if (refused) {  // the input waits for the run after the fix
      await page.getByTestId('editor').fill(`${source}        COPY AX, #200\n`);
      await press(page, 'run', ['refused']);
      await page.getByTestId('editor').fill(source);
    }
    await press(page, 'run', [ahead ? 'ended' : 'waiting']);
    if (!ahead) await send();
    await waitForMode(page, ['ended']);
    const terminal = page.getByTestId('terminal');
    // Without the echoed input, it is tavro's two streams in the order written; each line taken
    // follows a prompt; nothing is left queued.
    const shown = await terminal.evaluate((e) => [...e.querySelectorAll('.chunk')]
      .flatMap((chunk) => [...chunk.childNodes].map((n) => [n.nodeType === 3 ? 'out' : n.className, n.textContent])));
    const input = lines.map((l) => `${l}\n`).join('');
    assert.equal(shown.filter(([kind]) => kind !== 'in').map(([, t]) => t).join(''), runTavro(source, { input, merged: true }).both, name);
    assert.deepEqual(shown.filter(([kind]) => kind === 'in').map(([, t]) => t), lines.map((l) => `${l}\n`), name);
    shown.forEach(([kind], i) => { if (kind === 'in') assert.equal(shown[i - 1][0], 'err', `${name}: input after a prompt`); });
    assert.equal(await terminal.locator('.queue').isHidden(), true, name);
    if (name.startsWith('sum.tas')) assert.ok((await terminal.textContent()).startsWith(`in ? ${lines[0]}\nin ? ${lines[1]}\n`), name);
    // A step back takes the closing line away, and only that.
    const ended = await terminal.textContent();
    await press(page, 'step-back');
    assert.equal(await terminal.textContent(), ended.slice(0, ended.lastIndexOf('>>> Program terminated.')), name);
    await page.context().close();
  }
});

test('below full speed Run shows every step at the rate chosen, stops at once on Stop, and the choice is kept', async () => {
  const source = 'LOOP    ADD AX, #1\n        ADD BX, #2\n        JMP LOOP\n';
  const page = await openPage(env, { source });
  await page.getByTestId('speed').selectOption('5');
  const start = Date.now();
  await press(page, 'run', ['running']);
  const samples = [];
  for (let i = 0; i < 6; i++) {
    await page.waitForTimeout(250);
    samples.push({ steps: Number(await text(page, 'steps')), line: await page.locator('.cm-executing').textContent(), at: Date.now() });
  }
  // The first step comes at once; a page drawn late shows fewer steps, never more.
  const rate = ((samples.at(-1).steps - 1) * 1000) / (samples.at(-1).at - start);
  assert.ok(rate >= 2 && rate <= 5.5, `${rate} steps a second`);
  assert.ok(new Set(samples.map((s) => s.line)).size >= 2, 'the current line moves');
  assert.deepEqual(await registers(page).then(({ AX, BX }) => [BX >= 2 * AX - 2, AX > 0]), [true, true]);
  await press(page, 'stop', ['paused']);
  const stopped = await text(page, 'steps');
  await page.waitForTimeout(600);
  assert.equal(await text(page, 'steps'), stopped, 'no step after Stop');

  await page.reload();
  await page.waitForSelector('body[data-ready="true"][data-drawn]');
  assert.equal(await page.getByTestId('speed').inputValue(), '5');
  await page.getByTestId('speed').selectOption('0');
  await page.getByTestId('step-limit').fill('3000000');
  await page.getByTestId('step-limit').press('Enter');
  await press(page, 'run', ['paused']);
  assert.equal(await text(page, 'steps'), '3000000', 'full speed runs to the step limit');
});
