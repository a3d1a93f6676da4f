// The run task's reader of tavro's messages, on every golden case's real standard error: each
// "*pass=" message is found, and the line it names holds the text that tavro printed.
'use strict';
const assert = require('node:assert');
const fs = require('node:fs');
const path = require('node:path');
const test = require('node:test');
const { parseProblems } = require('../src/problems.js');

const root = path.join(__dirname, '..', '..', '..');
const dirs = ['tests/golden', 'examples/errors'].map((d) => path.join(root, d));

test('every message of every golden standard error is read on its line', () => {
  let seen = 0;
  for (const dir of dirs) {
    for (const name of fs.readdirSync(dir).filter((n) => n.endsWith('.stderr'))) {
      const stderr = fs.readFileSync(path.join(dir, name), 'latin1');
      const source = path.join(dir, name.replace(/\.stderr$/, '.tas'));
      const problems = parseProblems(stderr);
      const errors = problems.filter((p) => p.text !== undefined);
      assert.strictEqual(errors.length, (stderr.match(/^\*pass=/gm) || []).length, name);
      assert.strictEqual(problems.length - errors.length,
        (stderr.match(/^(!!Undefined Label| \.\.\. Memory area)/gm) || []).length, name);
      if (!fs.existsSync(source)) continue;
      const lines = fs.readFileSync(source, 'latin1').split(/\r\n|\r|\n/).map((l) => l.split('\0')[0]);
      for (const p of errors) assert.strictEqual(lines[p.line - 1], p.text, `${name} line ${p.line}`);
      seen += errors.length;
    }
  }
  assert.ok(seen > 20, `only ${seen} messages seen`);
});
