// The page judges a program as tavro-grade does: for each example program, every visible test
// of each example suite, run through the engine in WebAssembly with the page's own calls on
// the exported assignment, gives the outcome, score, detail and diff of tavro-grade --format
// json --diff. tavro-grade is the one beside TAVRO_BINARY (build/release/src by default).
import assert from 'node:assert/strict';
import { execFileSync } from 'node:child_process';
import fs from 'node:fs';
import path from 'node:path';
import { test } from 'node:test';

import { readAssignment } from '../src/assignment.js';
import { ROOT, newSession } from './support.mjs';

const TAVRO = process.env.TAVRO_BINARY ?? path.join(ROOT, 'build/release/src/tavro');
const GRADE = path.join(path.dirname(TAVRO), 'grade', 'tavro-grade');
const SUITES = ['examples/grading'];
const tasFiles = (folder) => fs.readdirSync(path.join(ROOT, folder)).filter((f) => f.endsWith('.tas')).map((f) => path.join(ROOT, folder, f));
const PROGRAMS = ['examples/grading/submissions', 'examples', 'examples/errors'].flatMap(tasFiles);

test('every example program is judged alike by the page and by tavro-grade, test by test', async () => {
  const session = await newSession();
  for (const suite of SUITES.map((s) => path.join(ROOT, s))) {
    const { tests, error } = readAssignment(execFileSync(GRADE, ['--export', suite], { encoding: 'utf8' }));
    assert.equal(error, undefined);
    const report = JSON.parse(execFileSync(GRADE, ['--format', 'json', '--diff', suite, ...PROGRAMS], { encoding: 'utf8', maxBuffer: 1 << 26 }));
    report.submissions.forEach((submission, i) => {
      session.gradePrepare(fs.readFileSync(PROGRAMS[i]));
      const byName = new Map(submission.tests.map((t) => [t.name, t]));
      const page = [];
      const grader = [];
      for (const t of tests) {
        const { outcome, score, detail, diff } = session.gradeTest(t);
        const want = byName.get(t.name);
        // The report adds the feedback to a failed test's detail; the page shows it apart.
        const feedback = t.feedback && want.outcome !== 'pass' ? `\nfeedback: ${t.feedback}` : '';
        page.push({ name: t.name, outcome, score, detail, diff });
        grader.push({ name: t.name, outcome: want.outcome, score: want.score,
          detail: want.detail.slice(0, want.detail.length - feedback.length), diff: want.diff ?? '' });
      }
      assert.deepEqual(page, grader, `${PROGRAMS[i]} on ${suite}`);
    });
  }
});
