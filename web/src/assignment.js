// Assignments: a suite's visible tests as tavro-grade --export writes them (docs/grading.md),
// opened from a file or from the link #assignment=URL, and the Tests panel that shows how the
// program in the editor does on them. The page judges nothing itself: the worker runs each test
// through the grader's own rules in the engine, and this module only reads and shows. An
// assignment is read strictly, so that a damaged one changes nothing on the page.

export const MAX_ASSIGNMENT = 8 << 20;  // bytes of an assignment the page reads
const MAX_TESTS = 10_000;

const isText = (v) => typeof v === 'string';
const isCount = (v, low, high) => Number.isSafeInteger(v) && v >= low && v <= high;
const FIELDS = {
  name: isText, title: isText, input: isText, expected: isText, feedback: isText,
  points: (v) => typeof v === 'number' && v >= 0 && v <= 1e9 && Math.abs(v * 1000 - Math.round(v * 1000)) < 1e-6,
  max_steps: (v) => isCount(v, 1, Number.MAX_SAFE_INTEGER),
  max_output: (v) => isCount(v, 1, Number.MAX_SAFE_INTEGER),
  seed: (v) => isCount(v, 0, 0xffffffff),
  compare: (v) => v === 'exact' || v === 'trim',
  expect: (v) => v !== null && typeof v === 'object' && !Array.isArray(v) &&
    Object.entries(v).every(([key, value]) => /^[A-Za-z][A-Za-z0-9]*$/.test(key) && isCount(value, -32768, 32767)),
};

// The tests of an assignment's text: { tests } or { error } saying what is wrong with it.
export function readAssignment(text) {
  if (text.length > MAX_ASSIGNMENT) return { error: `it is over ${MAX_ASSIGNMENT >> 20} MiB` };
  let json;
  try {
    json = JSON.parse(text);
  } catch {
    return { error: 'it is not JSON' };
  }
  if (json?.format !== 'tavro-assignment' || json.version !== 1 || !Array.isArray(json.tests)) {
    return { error: 'it is not a tavro-grade --export assignment of version 1' };
  }
  if (json.tests.length > MAX_TESTS) return { error: `it has over ${MAX_TESTS} tests` };
  for (const [i, test] of json.tests.entries()) {
    const bad = Object.keys(FIELDS).find((field) => !FIELDS[field](test?.[field]));
    if (bad) return { error: `test ${i + 1} has no valid "${bad}"` };
  }
  const tests = json.tests.map((t) => Object.fromEntries(Object.keys(FIELDS).map((f) => [f, t[f]])));
  return { tests };
}

// The address that a fragment #assignment=URL asks for: null when the fragment is no
// assignment link, { url } for a relative URL on the page's own origin, { error } otherwise
// (the page makes no request elsewhere).
export function assignmentLink(fragment, page) {
  if (!fragment.startsWith('#assignment=')) return null;
  let wanted;
  try {
    wanted = decodeURIComponent(fragment.slice('#assignment='.length));
  } catch {
    return { error: 'The assignment link is damaged: nothing was opened.' };
  }
  // A scheme, a host (//host) or a backslash is not a relative address of this site.
  const relative = wanted !== '' && !/^[A-Za-z][A-Za-z0-9+.-]*:/.test(wanted) && !/^[\\/]{2}/.test(wanted) &&
    !wanted.includes('\\') && !/[\u0000-\u001f]/.test(wanted);
  const url = relative ? new URL(wanted, page) : null;
  if (!url || url.origin !== new URL(page).origin) {
    return { error: 'The assignment link must name a file next to this page (a relative address): nothing was opened.' };
  }
  return { url: url.href };
}

// Fetches the assignment at url (same origin, no redirect): { tests } or { error }.
export async function fetchAssignment(url) {
  let text;
  try {
    const answer = await fetch(url, { credentials: 'same-origin', redirect: 'error' });
    if (!answer.ok) return { error: `the server answered ${answer.status}` };
    if (Number(answer.headers.get('content-length') ?? 0) > MAX_ASSIGNMENT) {
      return { error: `it is over ${MAX_ASSIGNMENT >> 20} MiB` };
    }
    text = await answer.text();
  } catch {
    return { error: 'it could not be fetched' };
  }
  return readAssignment(text);
}

const make = (tag, text = '', props = {}) => {
  const node = document.createElement(tag);
  node.textContent = text;
  return Object.assign(node, props);
};

// The Tests panel in element: show(name, tests) lists an assignment's tests, result(index,
// result) fills one in as the worker judges it, and the total follows.
export function createTestsPanel(element) {
  const title = element.querySelector('[data-role="assignment-name"]');
  const total = element.querySelector('[data-testid="tests-total"]');
  const body = element.querySelector('tbody');
  let tests = [];
  let results = [];

  const showTotal = () => {
    const done = results.filter(Boolean);
    const possible = tests.reduce((sum, t) => sum + Math.round(t.points * 1000), 0);
    const earned = done.reduce((sum, r) => sum + Math.round(r.score * 1000), 0);
    total.textContent = done.length < tests.length
      ? `Running the tests: ${done.length} of ${tests.length} done.`
      : `Total: ${earned / 1000} / ${possible / 1000} points.`;
  };

  return {
    show(name, assignmentTests) {
      tests = assignmentTests;
      results = [];
      title.textContent = name;
      body.replaceChildren(...tests.map((test) => {
        const row = make('tr', '', { className: 'test-row' });
        row.dataset.testid = 'test-row';
        row.append(make('th', test.title || test.name, { scope: 'row' }), make('td', '…'),
          make('td', `– / ${test.points}`), make('td'));
        return row;
      }));
      element.hidden = false;
      showTotal();
    },
    pending() {
      results = [];
      for (const row of body.rows) {
        row.cells[1].textContent = '…';
        row.cells[3].replaceChildren();
      }
      showTotal();
    },
    result(index, result) {
      const row = body.rows[index];
      const test = tests[index];
      if (!row) return;
      results[index] = result.error ? { score: 0 } : result;
      row.cells[1].textContent = result.error ?? result.outcome;
      row.dataset.outcome = result.outcome ?? 'error';
      row.cells[2].textContent = `${result.score ?? 0} / ${test.points}`;
      const details = [];
      if (result.outcome && result.outcome !== 'pass') {
        if (test.feedback) details.push(make('p', test.feedback, { className: 'feedback' }));
        details.push(make('pre', result.detail, { className: 'detail' }));
        if (result.diff) details.push(make('pre', result.diff, { className: 'diff' }));
      }
      row.cells[3].replaceChildren(...details);
      showTotal();
    },
    tests: () => tests,
  };
}
