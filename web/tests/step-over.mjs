// Steps over a program from its start to its end in the engine in WebAssembly, as the page's
// Step over does, and prints the 1-based line of every stop as JSON: the page's half of the
// agreement test in tests/agreement/step-over.py. With --conditions, prints instead why the
// page refuses each [condition, hit count] of a JSON table for the program ('' when it takes it).
//   node web/tests/step-over.mjs SOURCE [INPUT]
//   node web/tests/step-over.mjs SOURCE --conditions TABLE
import fs from 'node:fs';

import { Stop } from '../src/session.js';
import { newSession } from './support.mjs';

const [source, input, table] = process.argv.slice(2);
const session = await newSession();
const program = session.assemble(fs.readFileSync(source));
if (input === '--conditions') {
  process.stdout.write(JSON.stringify(JSON.parse(table).map(([c, h]) => session.checkCondition(c, h))) + '\n');
  process.exit(0);
}
if (!program.runnable) {
  process.stdout.write('null\n');
  process.exit(0);
}
session.reset({ seed: 1 });
session.giveInput(input ? fs.readFileSync(input) : new Uint8Array());
session.endInput();
const lineOf = (ip) => {
  const i = program.lines.findIndex(([address, size]) => ip >= address && ip < address + size);
  return i >= 0 ? i + 1 : program.lines.length;
};
const stops = [];
for (let n = 0; n < 2000; n++) {
  let reason = session.beginStepOver() ? session.run(1e7) : session.step();
  while (reason === Stop.BUDGET) reason = session.run(1e7);
  if (reason !== Stop.STEPPED) break;
  stops.push(lineOf(session.state().ip));
}
process.stdout.write(JSON.stringify(stops) + '\n');
