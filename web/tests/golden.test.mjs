// Every golden case (tests/golden) and every example program (examples/, examples/errors/)
// through the engine in WebAssembly, as the page runs it: standard output, standard error and
// the exit status must equal the expected files byte for byte. The options -c, -d and -t come
// from NAME.args and standard input from NAME.in. Cases that tavro's command line decides
// alone (the usage text, no source named, a source that cannot be opened) have no program to
// run and are skipped; dice.tas rolls random numbers and is checked by range instead.
import assert from 'node:assert/strict';
import fs from 'node:fs';
import path from 'node:path';
import { test } from 'node:test';

import { runTool } from '../src/tool.js';
import { ROOT, newSession } from './support.mjs';

const session = await newSession();

const read = (file, otherwise) => (fs.existsSync(file) ? fs.readFileSync(file) : otherwise);

// The source and options of a case, or the reason it has none (what tavro's driver checks).
function commandLine(dir, name) {
  const argsFile = path.join(dir, `${name}.args`);
  const args = fs.existsSync(argsFile)
    ? fs.readFileSync(argsFile, 'latin1').replace(/\n$/, '').split('\n')
    : [`${name}.tas`];
  const options = {};
  let i = 0;
  for (; i < args.length && args[i].startsWith('-'); i++) {
    const letter = { c: 'check', d: 'dump', t: 'trace' }[args[i][1]];
    if (!letter) return { skip: 'the usage text' };
    options[letter] = true;
  }
  if (i >= args.length) return { skip: 'no source named' };
  const file = path.join(dir, args[i]);
  if (!fs.existsSync(file) || !fs.statSync(file).isFile()) return { skip: 'an unreadable source' };
  return { source: fs.readFileSync(file), options };
}

function cases(dir) {
  const names = new Set(fs.readdirSync(dir)
    .filter((f) => f.endsWith('.tas') || f.endsWith('.args'))
    .map((f) => f.replace(/\.(tas|args)$/, '')));
  return [...names].sort().filter((name) => name !== 'dice');
}

for (const folder of ['tests/golden', 'examples', 'examples/errors']) {
  const dir = path.join(ROOT, folder);
  for (const name of cases(dir)) {
    const line = commandLine(dir, name);
    test(`${folder}/${name}`, { skip: line.skip && `decided by the command line: ${line.skip}` }, () => {
      const input = read(path.join(dir, `${name}.in`), new Uint8Array());
      const result = runTool(session, line.source, { ...line.options, input });
      const empty = Buffer.alloc(0);
      assert.equal(Buffer.from(result.stdout).toString('latin1'), read(path.join(dir, `${name}.stdout`), empty).toString('latin1'), 'stdout');
      assert.equal(Buffer.from(result.stderr).toString('latin1'), read(path.join(dir, `${name}.stderr`), empty).toString('latin1'), 'stderr');
      assert.equal(result.status, Number(read(path.join(dir, `${name}.rc`), '0').toString().trim()), 'exit status');
    });
  }
}

test('examples/dice rolls from 1 to 6', () => {
  const result = runTool(session, fs.readFileSync(path.join(ROOT, 'examples/dice.tas')));
  const rolls = Buffer.from(result.stdout).toString().match(/^out: -?\d+$/gm).map((l) => Number(l.slice(5)));
  assert.ok(rolls.length > 0 && rolls.every((r) => r >= 1 && r <= 6), rolls.join(' '));
});

// A page keeps only the latest output of a program that prints without end: the engine holds
// no more than that between two takes, and what it hands out is the tail of the whole output.
test('keepOutput holds the latest bytes of the output between takes, cut anywhere in a line', () => {
  const source = new TextEncoder().encode('LOOP    ADD AX, #1\n        OUT AX\n        JMP LOOP\n');
  session.assemble(source);
  session.reset();
  session.run(90_000);
  const whole = Buffer.from(session.takeOutput()).toString('latin1');
  assert.ok(whole.length > 200_000);
  for (const [keep, takes] of [[1, 1], [7, 3], [4096, 1], [65_536, 5], [200_000, 2], [whole.length, 1], [whole.length + 1, 4]]) {
    session.reset({ keepOutput: keep });
    let at = 0;
    for (let take = 1; take <= takes; take++) {
      session.run(Math.ceil((90_000 * take) / takes) - session.state().steps);
      const end = Number(session.state().outputBytes);
      const got = Buffer.from(session.takeOutput()).toString('latin1');
      assert.equal(got, whole.slice(Math.max(at, end - keep), end), `keep ${keep}, take ${take}`);
      at = end;
    }
  }
});
