// The page's layout and responsiveness in a real browser: nothing moves while stepping, a small
// window shows the line about to execute and the registers together, a large one gives the
// console the room, and typing stays quick in a program with thousands of errors.
import assert from 'node:assert/strict';
import { test } from 'node:test';

import { example, openPage, press, toEnd, useBrowser } from './browser.mjs';

const env = useBrowser();

const PANELS = ['status', 'step-limit', 'reg-AX', 'steps', 'console', 'stderr', 'memory-map', 'stack', 'trace', 'trace-next', 'editor'];

// Where each panel stands on the page.
const boxes = (page) => page.evaluate((ids) => ids.map((id) => {
  const box = document.querySelector(`[data-testid="${id}"]`).getBoundingClientRect();
  return `${id} ${Math.round(box.left)},${Math.round(box.top)} ${Math.round(box.width)}x${Math.round(box.height)}`;
}), PANELS);

// Whether an element is in view: its top and bottom inside the window and inside every box
// that clips it, and its left edge inside them too (a long line may run on to the right).
const inView = (page, selector) => page.locator(selector).evaluate((element) => {
  const box = element.getBoundingClientRect();
  const inside = (outer) => box.top >= outer.top && box.bottom <= outer.bottom && box.left >= outer.left && box.left < outer.right;
  for (let up = element.parentElement; up; up = up.parentElement) {
    if (getComputedStyle(up).overflow !== 'visible' && !inside(up.getBoundingClientRect())) return false;
  }
  return inside({ top: 0, left: 0, bottom: innerHeight, right: innerWidth });
});

test('nothing on the page moves while stepping, into and out of subroutines', async () => {
  const page = await openPage(env, { source: example('fib.tas') });
  await press(page, 'step');
  const first = await boxes(page);
  for (let i = 0; i < 60; i++) {
    await press(page, i % 7 === 6 ? 'step-over' : 'step');
    assert.deepEqual(await boxes(page), first, `after step ${i + 2}`);
  }
});

test('at 800x600 the line about to execute and the registers are in view together', async () => {
  const source = example('fib.tas');
  const page = await openPage(env, { source, viewport: { width: 800, height: 600 } });
  for (let i = 0; i < 40; i++) {
    await press(page, 'step');
    assert.ok(await inView(page, '.registers'), `registers after ${i + 1} steps`);
    assert.ok(await inView(page, '.cm-executing .cm-line, .cm-line.cm-executing'), `the current line after ${i + 1} steps`);
  }
});

test('a large window gives the console the room, and the page itself does not scroll', async () => {
  const heights = [];
  for (const viewport of [{ width: 1920, height: 1400 }, { width: 2560, height: 1700 }]) {
    const page = await openPage(env, { viewport });
    const fits = await page.evaluate(() => {
      const machine = document.querySelector('.machine');
      return document.scrollingElement.scrollHeight <= innerHeight && machine.scrollHeight <= machine.clientHeight;
    });
    assert.equal(fits, true, `${viewport.width}x${viewport.height}: everything in view`);
    heights.push(await page.getByTestId('console').evaluate((e) => e.getBoundingClientRect().height));
    await page.context().close();
  }
  assert.ok(heights[0] >= 300 && heights[1] - heights[0] >= 300 - 2, `the console takes the window's extra height: ${heights.join(' ')}`);
});

// Types a comment at the end of a program with one error on each of its lines; resolves to the
// keys that took over 50 ms to reach the screen and the tasks that took over 100 ms. The first
// keys after a click are slow in any program (the browser compiles the editor's key handling),
// so a few keys and the assembler's answer to them come before the timing starts.
async function typeInErrors(lines) {
  const source = Array.from({ length: lines }, (_, i) => `        COPY AX, #${300 + i}\n`).join('');
  const page = await openPage(env, { source });
  await page.waitForFunction(() => document.querySelectorAll('.cm-lintRange-error').length > 0);
  await toEnd(page);
  for (const key of '; a') {
    await page.keyboard.type(key);
    await page.waitForTimeout(40);
  }
  await page.waitForTimeout(1000);
  await page.evaluate(() => {
    window.slow = { keys: [], tasks: [] };
    new PerformanceObserver((list) => {
      for (const entry of list.getEntries()) if (entry.name === 'keydown' && entry.duration > 50) window.slow.keys.push(entry.duration);
    }).observe({ type: 'event', durationThreshold: 16 });
    new PerformanceObserver((list) => {
      for (const entry of list.getEntries()) if (entry.duration > 100) window.slow.tasks.push(entry.duration);
    }).observe({ type: 'longtask' });
  });
  for (const key of ' typing here') {
    await page.keyboard.type(key);
    await page.waitForTimeout(40);
  }
  await page.waitForTimeout(1000);  // the assembler answers and the page draws its messages
  return { page, ...(await page.evaluate(() => window.slow)) };
}

test('typing in a program with 5,000 errors: each key is on the screen within 50 ms, no task takes over 100 ms', async (t) => {
  // Timing is the page's and the machine's: a key may wait for another process now and then.
  // The best of three typings is the page's (a page that works at every key is slow in all
  // three). Each slow one is followed by the same typing in a program of 20 lines: when that is
  // slow too, the machine is too busy to judge.
  const attempts = [];
  let page = null;
  for (let attempt = 0; attempt < 3 && !page; attempt++) {
    const heavy = await typeInErrors(5000);
    if (heavy.keys.length + heavy.tasks.length === 0) {
      page = heavy.page;
      break;
    }
    await heavy.page.context().close();
    const calm = await typeInErrors(20);
    await calm.page.context().close();
    attempts.push({ heavy, calm: calm.keys.length + calm.tasks.length === 0 });
  }
  if (!page) {
    const report = attempts.map(({ heavy }) => `keys ${heavy.keys} ms, tasks ${heavy.tasks} ms`).join('; ');
    if (!attempts.every((a) => a.calm)) {
      t.skip(`the machine is too busy to time typing: 20 lines were slow too after one (5,000 lines: ${report})`);
      return;
    }
    assert.fail(`keys slower than 50 ms or tasks over 100 ms in every typing: ${report}`);
  }

  // Drawn as they come into view: the first line's error inline, and the list's last message.
  await page.keyboard.press('Control+Home');
  await page.waitForFunction(() => document.querySelector('.cm-line')?.querySelector('.cm-lintRange-error'));
  await page.waitForFunction(() => {
    const items = document.querySelector('[data-testid="diagnostics"]');
    items.scrollTop = items.scrollHeight;
    return items.lastElementChild.textContent.startsWith('line 5000');
  }, null, { polling: 100, timeout: 30000 });
  assert.equal(await page.getByTestId('diagnostics').locator('li.error').count(), 5000);
});
