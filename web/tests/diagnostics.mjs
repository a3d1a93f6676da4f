// Prints the messages the page shows for each source, as JSON: [line, first byte, byte after
// the last, severity (1 error, 2 warning), message, hint], lines counted from 0 and a message
// without a column marking its whole line. The page's half of tests/agreement/diagnostics.py.
//   node web/tests/diagnostics.mjs SOURCE...
import fs from 'node:fs';
import path from 'node:path';

import { ROOT, newSession } from './support.mjs';

const hints = JSON.parse(fs.readFileSync(path.join(ROOT, 'docs', 'hints.json'), 'utf8'));
const session = await newSession();
const encoder = new TextEncoder();
const all = {};
for (const source of process.argv.slice(2)) {
  // The editor holds text: bytes that are not UTF-8 reach the engine as U+FFFD, as they reach
  // the language server.
  const text = new TextDecoder().decode(fs.readFileSync(source));
  const lines = text.split(/\r\n|\r|\n/);
  const program = session.assemble(encoder.encode(text));
  all[source] = program.diagnostics.map((d) => {
    const whole = d.column < 0;
    const from = whole ? 0 : d.column;
    const to = whole ? encoder.encode(lines[d.line - 1] ?? '').length : d.column + d.length;
    return [d.line - 1, from, to, d.severity === 'error' ? 1 : 2, d.message, hints[d.key] ?? ''];
  });
}
process.stdout.write(JSON.stringify(all) + '\n');
