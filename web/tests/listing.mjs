// Prints, for each source, what the page shows in its listing panel (tavro-list's text, or ''
// for a program that cannot run) and what its Format button gives, as JSON: { SOURCE: [listing,
// formatted] }. The page's half of tests/agreement/listing.py.
//   node web/tests/listing.mjs SOURCE...
import fs from 'node:fs';

import { newSession } from './support.mjs';

const session = await newSession();
const encoder = new TextEncoder();
const decoder = new TextDecoder();
const all = {};
for (const source of process.argv.slice(2)) {
  const bytes = encoder.encode(fs.readFileSync(source, 'utf8'));
  const program = session.assemble(bytes);
  all[source] = [program.runnable ? session.listing() : '', decoder.decode(session.format(bytes))];
}
process.stdout.write(JSON.stringify(all) + '\n');
