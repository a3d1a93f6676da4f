// The page judges a program as tavro-grade does: for each program, every visible test of the
// suite run through the engine in WebAssembly (the page's worker's calls, on the exported
// assignment) gives the outcome, score, detail and diff of tavro-grade --format json --diff.
// Exits 1 on the first program where they differ.
//   node web/tests/grade-agreement.mjs TAVRO_GRADE SUITE PROGRAM...
import { execFileSync } from 'node:child_process';
import fs from 'node:fs';

import { readAssignment } from '../src/assignment.js';
import { newSession } from './support.mjs';

const [grade, suite, ...programs] = process.argv.slice(2);
const { tests, error } = readAssignment(execFileSync(grade, ['--export', suite], { encoding: 'utf8' }));
if (error) throw new Error(`the export is not an assignment: ${error}`);
const report = JSON.parse(execFileSync(grade, ['--format', 'json', '--diff', suite, ...programs], { encoding: 'utf8' }));
const session = await newSession();
let failed = 0;
report.submissions.forEach((submission, i) => {
  session.gradePrepare(fs.readFileSync(programs[i]));
  const byName = new Map(submission.tests.map((t) => [t.name, t]));
  const page = [];
  const grader = [];
  for (const test of tests) {
    const { outcome, score, detail, diff } = session.gradeTest(test);
    const want = byName.get(test.name);
    const feedback = test.feedback && want.outcome !== 'pass' ? `\nfeedback: ${test.feedback}` : '';
    page.push({ name: test.name, outcome, score, detail, diff });
    grader.push({ name: test.name, outcome: want.outcome, score: want.score,
      detail: want.detail.slice(0, want.detail.length - feedback.length), diff: want.diff ?? '' });
  }
  const [a, b] = [JSON.stringify(page, null, 1), JSON.stringify(grader, null, 1)];
  if (a !== b) {
    failed += 1;
    console.log(`--- ${programs[i]}: the page judged\n${a}\n--- tavro-grade judged\n${b}`);
  }
});
console.log(`${programs.length - failed} of ${programs.length} programs judged alike on ${tests.length} tests`);
process.exit(failed > 0 ? 1 : 0);
