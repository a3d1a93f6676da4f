// The page's own texts: a hint for every message the assembler can print (and no hint for a
// message it cannot), and share links that carry any program exactly, refusing what is not one.
import assert from 'node:assert/strict';
import fs from 'node:fs';
import path from 'node:path';
import { test } from 'node:test';

import { decodeProgram, encodeProgram } from '../src/share.js';
import { ROOT, newSession } from './support.mjs';

const hints = JSON.parse(fs.readFileSync(path.join(ROOT, 'docs/hints.json'), 'utf8'));

test('docs/hints.json has one hint for each message of the assembler, and no other', async () => {
  const messages = new Set();
  for (const file of fs.readdirSync(path.join(ROOT, 'src/asm')).filter((f) => f.endsWith('.cpp'))) {
    const code = fs.readFileSync(path.join(ROOT, 'src/asm', file), 'utf8');
    for (const m of code.matchAll(/(?:failure\(|return \{|check = \{)"([^"]+)"/g)) messages.add(m[1]);
  }
  // The two texts that are not one fixed message: the keys the engine gives them.
  const session = await newSession();
  const keys = (source) => session.assemble(new TextEncoder().encode(source)).diagnostics.map((d) => d.key);
  for (const key of [...keys(' JMP NOWHERE\n'), ...keys(' RES 4095\n')]) messages.add(key);
  messages.add('Names count to 7 characters');  // the language server's warning on spellings
  assert.ok(messages.size >= 16, [...messages].join(' | '));
  assert.deepEqual([...messages].sort(), Object.keys(hints).sort());
  for (const [message, hint] of Object.entries(hints)) assert.ok(hint.length > 20, message);
});

test('a share link carries any program exactly and refuses what is not base64url', () => {
  for (const source of ['', ' OUT AX\n', 'LOOP JMP LOOP ; ünïcödé ✓ 𝄞\r\n', '<script>x</script>\n\0', 'x'.repeat(10000)]) {
    const fragment = encodeProgram(source);
    assert.match(fragment, /^#code=[A-Za-z0-9_-]*$/);
    assert.equal(decodeProgram(fragment), source);
  }
  for (const fragment of ['', '#', '#code', '#code=a', '#code=ab+c', '#code=ab/c', '#cod=QUJD', '#code=QUJD%20']) {
    assert.equal(decodeProgram(fragment), null, fragment);
  }
});
