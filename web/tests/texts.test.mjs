// The page's own texts: a hint for every message the assembler can print (and no hint for a
// message it cannot), and share links that carry any program exactly, refusing what is not one
// with its reason.
import assert from 'node:assert/strict';
import fs from 'node:fs';
import path from 'node:path';
import { test } from 'node:test';

import { encodeProgram, readLink } from '../src/share.js';
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

test('a share link carries any program exactly, and a damaged one is refused with a reason', () => {
  for (const source of ['', ' OUT AX\n', 'LOOP JMP LOOP ; ünïcödé ✓ 𝄞\r\n', '\ufeff<script>x</script>\n\0', 'x'.repeat(10000)]) {
    const fragment = encodeProgram(source);
    assert.match(fragment, /^#code=[A-Za-z0-9_-]*$/);
    assert.deepEqual(readLink(fragment), { text: source });
    assert.deepEqual(readLink(`${fragment}${'='.repeat((4 - ((fragment.length - 6) % 4)) % 4)}`), { text: source }, 'padded');
  }
  for (const fragment of ['', '#', '#code', '#cod=QUJD', '#program=QUJD']) assert.equal(readLink(fragment), null, fragment);

  for (const [fragment, reason] of [
    ['#code=abc!def', /"!" cannot stand/],
    ['#code=QUJD%20', /"%" cannot stand/],
    ['#code=ab+c', /standard base64/],
    ['#code=ab/c', /standard base64/],
    ['#code=A', /cut short/],
    ['#code=QUJDRB', /cut short/],   // 'ABCD' and four stray bits
    ['#code=QUJ', /cut short/],      // 'AB' and two stray bits
    ['#code=4pyT', null],            // '✓' whole
    ['#code=4pw', /not UTF-8/],      // '✓' cut after two bytes
    ['#code=_w', /not UTF-8/],       // a lone 0xff
    [`#code=${'A'.repeat((1 << 20) + 4)}`, /over 1 MiB/],
    [encodeProgram(' COPY AX, #1\n END\n').slice(0, -3), /cut short/],
  ]) {
    const link = readLink(fragment);
    if (reason) assert.match(link.error ?? '', reason, fragment.slice(0, 40));
    else assert.equal(typeof link.text, 'string', fragment);
  }
  assert.equal(encodeProgram('x'.repeat(800_000)), null, 'a program too large for a link gets none');
});
