// Times the page's engine (WebAssembly) on bench/loop.tas in each of V8's tiers: Liftoff (the
// baseline compiler) alone, TurboFan (the optimising compiler) alone, and V8's own choice, which
// starts every function on Liftoff and recompiles the hot ones with TurboFan in the background.
// Under Node the engine runs in the process itself (CPU time, the best of the rounds after the
// first two); in Chromium on a blank page (wall clock, the same way). Each way also gives the
// first round alone, where the default has not tiered up yet, and Node tells the size of the
// largest function and how long TurboFan took over it. The engine runs as the page's worker
// runs it: run(budget) in slices, with the worker's history.
//   node bench/wasm-tiers.mjs [--engine DIR] [--interval STEPS] [N]
// DIR holds engine.js and engine.wasm (default web/dist); STEPS is the history's snapshot
// interval (default the worker's); N the outer count of bench/loop.tas (default 1000).
import { spawnSync } from 'node:child_process';
import fs from 'node:fs';
import path from 'node:path';
import { fileURLToPath } from 'node:url';

const ROOT = path.resolve(path.dirname(fileURLToPath(import.meta.url)), '..');
const WEB = path.join(ROOT, 'web');
const ROUNDS = 8;

function option(name, fallback) {
  const i = process.argv.indexOf(name);
  return i < 0 ? fallback : process.argv.splice(i, 2)[1];
}
const child = process.argv.includes('--child') && process.argv.splice(process.argv.indexOf('--child'), 1);
const engine = path.resolve(option('--engine', path.join(WEB, 'dist')));
const workerSource = fs.readFileSync(path.join(WEB, 'src/worker.js'), 'latin1');
const interval = Number(option('--interval', /interval: ([\d_]+)/.exec(workerSource)[1].replaceAll('_', '')));
const N = Number(process.argv[2] ?? 1000);
const source = fs.readFileSync(path.join(ROOT, 'bench/loop.tas'), 'latin1');
const [, a, b] = /; instructions: (\d+)\*N \+ (\d+)/.exec(source).map(Number);
const steps = a * N + b;

// Runs text `rounds` times with count as its input, through the C ABI of
// web/engine/bindings.cpp, with a snapshot every `every` steps; returns each round's time by
// clock(). Self-contained: the page gets its source.
function timeRounds(module, clock, rounds, text, count, every) {
  const session = module._tavro_new();
  const bytes = (text) => {
    const encoded = new TextEncoder().encode(text);
    const pointer = module._malloc(encoded.length + 1);
    module.HEAPU8.set(encoded, pointer);
    return [pointer, encoded.length];
  };
  const times = [];
  for (let round = 0; round < rounds; round++) {
    const [program, length] = bytes(text);
    module._tavro_assemble(session, program, length, 0);
    module._free(program);
    module._tavro_reset(session, 1, 0, 1_000_000, every);
    const [input, inputLength] = bytes(`${count}\n`);
    module._tavro_give_input(session, input, inputLength);
    module._free(input);
    const start = clock();
    while (module._tavro_run(session, 4_000_000) === 2) {
      // Budget: the next slice.
    }
    times.push(clock() - start);
  }
  return times;
}

const summary = (times) => {
  const mips = times.map((ms) => steps / ms / 1000);
  return { first: mips[0], best: Math.max(...mips.slice(2)) };
};

if (child) {
  // One tier under Node: the flags are this process's own.
  const { default: create } = await import(path.join(engine, 'engine.js'));
  const module = await create({ wasmBinary: fs.readFileSync(path.join(engine, 'engine.wasm')) });
  const cpu = () => {
    const used = process.cpuUsage();
    return (used.user + used.system) / 1000;
  };
  console.log(JSON.stringify(summary(timeRounds(module, cpu, ROUNDS, source, N, interval))));
  process.exit(0);
}

const TIERS = [
  ['Liftoff alone', ['--liftoff-only']],
  ['TurboFan alone', ['--no-liftoff']],
  ["V8's choice", []],
];
const rows = [];
for (const [name, flags] of TIERS) {
  const run = spawnSync(process.execPath, [...flags, fileURLToPath(import.meta.url), '--child',
    '--engine', engine, '--interval', String(interval), String(N)], { encoding: 'latin1' });
  if (run.status !== 0) throw new Error(run.stderr);
  rows.push({ name, node: JSON.parse(run.stdout) });
}
// The largest function and TurboFan's time over it (Node's V8).
const traced = spawnSync(process.execPath, ['--no-liftoff', '--trace-wasm-compilation-times',
  fileURLToPath(import.meta.url), '--child', '--engine', engine, '--interval', String(interval), '1'],
{ encoding: 'latin1' });
let largest = { ms: 0, body: 0 };
for (const match of traced.stdout.matchAll(/took (\d+) ms.*bodysize (\d+)/g)) {
  if (Number(match[2]) > largest.body) largest = { ms: Number(match[1]), body: Number(match[2]) };
}

const { chromium } = await import(path.join(WEB, 'node_modules/playwright-core/index.mjs'));
const { serve } = await import(path.join(WEB, 'serve.mjs'));
const server = await serve({ root: engine, port: 0 });
let version = '';
try {
  for (const row of rows) {
    const flags = TIERS.find(([name]) => name === row.name)[1];
    const args = ['--headless', '--no-sandbox', '--disable-gpu', '--no-first-run'];
    if (flags.length > 0) args.push(`--js-flags=${flags.join(' ')}`);
    const browser = await chromium.launch({ executablePath: process.env.CHROMIUM ?? '/usr/bin/chromium', args });
    version = browser.version();
    try {
      const page = await browser.newPage();
      await page.goto(`http://127.0.0.1:${server.address().port}/engine.js`);
      const times = await page.evaluate(`(async () => {
        const { default: create } = await import('/engine.js');
        return (${timeRounds})(await create(), () => performance.now(), ${ROUNDS},
                               ${JSON.stringify(source)}, ${N}, ${interval});
      })()`);
      row.chromium = summary(times);
    } finally {
      await browser.close();
    }
  }
} finally {
  server.close();
}

const f = (x) => x.toFixed(0).padStart(5);
const shown = engine.startsWith(ROOT + path.sep) ? path.relative(ROOT, engine) : engine;
console.log(`${shown}: bench/loop.tas, N = ${N} (${steps} steps), history every ${interval} steps`);
console.log(`largest function ${largest.body} bytes; TurboFan took ${largest.ms} ms over it (Node ${process.versions.node}, V8 ${process.versions.v8})`);
console.log(`MIPS              Node: first  best   Chromium ${version}: first  best`);
for (const row of rows) {
  console.log(`${row.name.padEnd(16)}      ${f(row.node.first)} ${f(row.node.best)}                     ${f(row.chromium.first)} ${f(row.chromium.best)}`);
}
