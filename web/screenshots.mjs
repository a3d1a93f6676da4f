// Takes the README's two pictures of the playground from the built page (web/dist) in headless
// Chromium: docs/playground.png (a program paused after a breakpoint) and
// docs/playground-assignment.png (the example class's assignment judged in the Tests panel).
//   node web/screenshots.mjs       (after scripts/build-playground)
import fs from 'node:fs';
import path from 'node:path';

import { openPage, press, startBrowser, typeProgram } from './tests/browser.mjs';
import { ROOT } from './tests/support.mjs';

const source = (name) => fs.readFileSync(path.join(ROOT, 'examples', name), 'utf8');

const env = await startBrowser();
try {
  const page = await openPage(env, { source: source('factorial.tas') });
  await page.locator('.cm-lineNumbers .cm-gutterElement', { hasText: /^14$/ }).click();
  await press(page, 'run');
  await press(page, 'step');
  await page.screenshot({ path: path.join(ROOT, 'docs/playground.png') });

  const shot = await openPage(env, { source: '' });
  const assignment = fs.readFileSync(path.join(ROOT, 'examples/grading/expected/assignment.json'));
  await shot.route('**/class.assignment.json', (route) => route.fulfill({ contentType: 'application/json', body: assignment }));
  await typeProgram(shot, source('grading/submissions/wrong.tas'));
  await shot.evaluate(() => { location.hash = '#assignment=class.assignment.json'; });
  await shot.waitForFunction(() => document.querySelector('[data-testid="tests-total"]').textContent.startsWith('Total'));
  await shot.getByTestId('tests').scrollIntoViewIfNeeded();
  await shot.screenshot({ path: path.join(ROOT, 'docs/playground-assignment.png') });
} finally {
  await env.close();
}
