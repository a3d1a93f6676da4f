// The playground's figures beside the native build's, in one run: bench/loop.tas in the page's
// worker in headless Chromium (the page's own Run, with its slices and updates) and in the
// native tavro with the same N, one after the other in each round, so that both meet the same
// load on a shared machine; the bytes of a first load, gzip-compressed as a server would send
// them (and what the local server, which compresses so, moved); and how soon the editor takes
// typing and the engine is ready, on localhost.
//   node web/bench.mjs [N] [ROUNDS]      (bench/playground builds everything first)
import { spawnSync } from 'node:child_process';
import fs from 'node:fs';
import path from 'node:path';
import zlib from 'node:zlib';

import { openPage, press, startBrowser, waitForMode } from './tests/browser.mjs';
import { DIST, ROOT } from './tests/support.mjs';

const N = Number(process.argv[2] ?? 3333);
const source = fs.readFileSync(path.join(ROOT, 'bench/loop.tas'), 'latin1');
const [, a, b] = /; instructions: (\d+)\*N \+ (\d+)/.exec(source).map(Number);
const instructions = a * N + b;
const ROUNDS = Number(process.argv[3] ?? 5);
const median = (values) => [...values].sort((x, y) => x - y)[Math.floor(values.length / 2)];

// Native: the same program and N, timed from outside like a student's run.
const tavro = path.join(ROOT, 'build/release/src/tavro');
function nativeRun() {
  const start = process.hrtime.bigint();
  const run = spawnSync(tavro, [path.join(ROOT, 'bench/loop.tas')], { input: `${N}\n`, encoding: 'latin1' });
  if (!run.stdout.endsWith('(Halt)\n')) throw new Error(`tavro: ${run.stdout}${run.stderr}`);
  return Number(process.hrtime.bigint() - start) / 1e6;
}
const native = [];

const env = await startBrowser();
try {
  // First load: every file the page fetches, and how soon after navigation the editor takes
  // typing and the engine is ready (the page marks both).
  const context = await env.browser.newContext();
  const page = await context.newPage();
  const fetched = new Map();  // path: bytes on the wire (headers and the compressed body)
  page.on('requestfinished', async (request) => {
    const sizes = await request.sizes();
    fetched.set(new URL(request.url()).pathname, sizes.responseBodySize + sizes.responseHeadersSize);
  });
  await page.goto(`${env.origin}/`);
  await page.waitForSelector('body[data-ready="true"][data-drawn]');
  const mark = (name) => page.evaluate((n) => performance.getEntriesByName(n)[0].startTime, name);
  const editorMs = Math.round(await mark('tavro-editor-ready'));
  const readyMs = Math.round(await mark('tavro-engine-ready'));
  await page.waitForTimeout(500);  // the last requestfinished events
  const moved = [...fetched.values()].reduce((a, b) => a + b, 0);
  let compressed = 0;
  for (const file of fetched.keys()) {
    const local = path.join(DIST, file === '/' ? 'index.html' : file);
    if (fs.existsSync(local)) compressed += zlib.gzipSync(fs.readFileSync(local), { level: 9 }).length;
  }

  // The tight loop through the page's Run: steps a second over the stretch after the input;
  // each round runs the native tavro first.
  const pageRuns = [];
  const bench = await openPage(env, { source });
  await bench.getByTestId('step-limit').fill(String(instructions * 2));
  await bench.getByTestId('step-limit').press('Enter');
  for (let i = 0; i < ROUNDS; i++) {
    native.push(nativeRun());
    await press(bench, 'run', ['waiting']);
    await bench.getByTestId('input').fill(String(N));
    await bench.getByTestId('input-send').click();
    await waitForMode(bench, ['ended'], 60000);
    await bench.waitForFunction(() => document.querySelector('[data-testid="status"]').dataset.stretch);
    pageRuns.push(JSON.parse(await bench.getByTestId('status').getAttribute('data-stretch')));
  }
  const pageMs = median(pageRuns.map((r) => r.ms));
  const nativeMs = median(native);
  const mips = (ms) => instructions / ms / 1000;
  const ratios = pageRuns.map((r, i) => native[i] / r.ms);
  console.log(`bench/loop.tas, N = ${N}: ${instructions} instructions, median of ${ROUNDS} rounds`);
  console.log(`  page's worker (Chromium ${env.browser.version()}): ${pageMs.toFixed(0)} ms, ${mips(pageMs).toFixed(0)} MIPS (engine calls alone: ${mips(median(pageRuns.map((r) => r.engineMs))).toFixed(0)} MIPS)`);
  console.log(`  native tavro:                 ${nativeMs.toFixed(0)} ms, ${mips(nativeMs).toFixed(0)} MIPS`);
  console.log(`  page / native:                ${median(ratios).toFixed(2)} (each round's: ${ratios.map((r) => r.toFixed(2)).join(' ')})`);
  console.log(`first load: ${fetched.size} files (${[...fetched.keys()].sort().join(' ')}), ${(moved / 1024).toFixed(0)} KB moved with headers; the files gzip-compressed: ${(compressed / 1024).toFixed(0)} KB`);
  console.log(`after navigation: the editor takes typing at ${editorMs} ms, the engine is ready at ${readyMs} ms (localhost)`);
} finally {
  await env.close();
}
