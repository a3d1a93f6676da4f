// What the browser tests share: Debian's Chromium driven by playwright-core (headless, no
// network of its own), the built page served from web/dist on a free local port, and the real
// tavro, whose output the page must match.
import { spawnSync } from 'node:child_process';
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import { after, before } from 'node:test';

import { chromium } from 'playwright-core';

import { serve } from '../serve.mjs';
import { encodeProgram } from '../src/share.js';
import { DIST, ROOT } from './support.mjs';

export const TAVRO = process.env.TAVRO_BINARY ?? path.join(ROOT, 'build/release/src/tavro');
export const TAVRO_LIST = path.join(path.dirname(TAVRO), 'tavro-list');  // built beside tavro
export const ARTEFACTS = process.env.TAVRO_ARTEFACTS ?? path.join(ROOT, 'build/playground');

const CHROMIUM_ARGS = ['--headless', '--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
  '--disable-background-networking', '--disable-component-update', '--disable-sync'];

// Starts the server and the browser (playwright gives each launch a fresh profile directory).
export async function startBrowser() {
  const server = await serve({ root: DIST, port: 0 });
  const browser = await chromium.launch({ executablePath: process.env.CHROMIUM ?? '/usr/bin/chromium', args: CHROMIUM_ARGS });
  const origin = `http://127.0.0.1:${server.address().port}`;
  return {
    origin,
    browser,
    async close() {
      await browser.close();
      server.close();
    },
  };
}

// Starts them before a file's tests and closes them after; the object returned gets the
// origin and the browser once the tests start.
export function useBrowser() {
  const env = {};
  before(async () => { Object.assign(env, await startBrowser()); });
  after(async () => { await env.close?.(); });
  return env;
}

// A fresh page (its own storage) at the playground, with source loaded through a link when
// given (or the raw fragment); resolves once the engine is ready. Errors on the page fail the
// test that reads them. With outside, every request that leaves the page's origin is refused and
// its address added to that list.
export async function openPage(env, { source, fragment, outside, viewport = { width: 1400, height: 950 } } = {}) {
  const context = await env.browser.newContext({ viewport, acceptDownloads: true });
  if (outside) {
    await context.route('**/*', (route) => {
      if (new URL(route.request().url()).origin === env.origin) return route.continue();
      outside.push(route.request().url());
      return route.abort();
    });
  }
  const page = await context.newPage();
  page.errors = [];
  page.on('pageerror', (error) => page.errors.push(error.message));
  page.on('console', (message) => { if (message.type() === 'error') page.errors.push(message.text()); });
  await page.goto(`${env.origin}/${fragment ?? (source === undefined ? '' : encodeProgram(source))}`);
  await page.waitForSelector('body[data-ready="true"][data-drawn]');
  return page;
}

// Waits until the page has drawn the machine in one of modes.
export async function waitForMode(page, modes, timeout = 10000) {
  await page.waitForFunction((wanted) => {
    const { drawn, updates, mode } = document.body.dataset;
    return drawn === updates && wanted.includes(mode);
  }, modes, { timeout });
}

// Clicks a control (or presses a key) and waits until the page has drawn the worker's last
// answer, with the machine in one of modes. The wait is long: an answer takes milliseconds, but
// one run of the page tests on a calm machine once waited over 10 s for its first Run.
export async function press(page, control, modes = ['paused', 'ended', 'waiting', 'idle', 'refused']) {
  const before = Number(await page.evaluate(() => document.body.dataset.drawn ?? 0));
  if (control.startsWith('key:')) await page.keyboard.press(control.slice(4));
  else await page.getByTestId(control).click();
  await page.waitForFunction(([count, wanted]) => {
    const { drawn, updates, mode } = document.body.dataset;
    return Number(drawn ?? 0) > count && drawn === updates && wanted.includes(mode);
  }, [before, modes], { timeout: 30000 });
}

export const text = (page, testId) => page.getByTestId(testId).textContent();

// Waits until the notice shows; resolves to its text.
export async function noticeText(page) {
  await page.waitForFunction(() => !document.querySelector('[data-testid="notice"]').hidden);
  return page.getByTestId('notice').locator('.notice-text').textContent();
}

// The registers as the page shows them: { AX, BX, CX, DX, IP, flag }.
export async function registers(page) {
  const values = {};
  for (const name of ['AX', 'BX', 'CX', 'DX', 'IP']) values[name] = Number(await text(page, `reg-${name}`));
  values.flag = await text(page, 'flag');
  return values;
}

// tavro's output for a source: { stdout, stderr } from the real binary (or program's); with
// merged, also both streams on one pipe, in the order they were written (2>&1).
export function runTavro(source, { args = [], input = '', program = TAVRO, merged = false } = {}) {
  const dir = fs.mkdtempSync(path.join(os.tmpdir(), 'tavro-web-'));
  const file = path.join(dir, 'program.tas');
  fs.writeFileSync(file, source, 'latin1');
  try {
    const { stdout, stderr } = spawnSync(program, [...args, file], { input, encoding: 'latin1' });
    const both = merged && spawnSync('/bin/sh', ['-c', '"$0" "$@" 2>&1', program, ...args, file], { input, encoding: 'latin1' }).stdout;
    return { stdout, stderr, both };
  } finally {
    fs.rmSync(dir, { recursive: true, force: true });
  }
}

// The registers before each executed instruction, from tavro -t: entry k is the machine after
// k steps.
export function traceStates(source, input = '') {
  return runTavro(source, { args: ['-t'], input }).stdout.split('\n')
    .filter((line) => line.startsWith('. . . . . . .'))
    .map((line) => {
      const fields = line.trim().split(/\s+/);
      const [AX, BX, CX, DX] = fields.slice(-5, -1).map(Number);
      return { line, IP: Number(fields[7].replace(':', '')), AX, BX, CX, DX, flag: fields.at(-1) };
    });
}

export const example = (name) => fs.readFileSync(path.join(ROOT, 'examples', name), 'latin1');

// The program in the editor.
export const editorText = async (page) => (await page.locator('.cm-line').allTextContents()).join('\n');

// Puts the cursor at the end of the program.
export async function toEnd(page) {
  await page.locator('.cm-content').click();
  await page.keyboard.press('Control+End');
}

// Resolves to the file name the Download button offers.
export async function downloadName(page) {
  const [file] = await Promise.all([page.waitForEvent('download'), page.getByTestId('download').click()]);
  return file.suggestedFilename();
}

// Replaces the program in the editor as typing would, and waits until the page has saved it.
export async function typeProgram(page, source) {
  await page.getByTestId('editor').fill(source);
  await page.waitForFunction((text) => localStorage.getItem('tavro.source') === text, source);
}

// Clicks the line number of a 1-based line (options: playwright's, such as a modifier).
export const clickLineNumber = (page, line, options = {}) =>
  page.locator('.cm-lineNumbers .cm-gutterElement', { hasText: new RegExp(`^${line}$`) }).click(options);

