// Reads tavro's messages from what it wrote on standard error: the two-line error format
// ("*pass=P, MESSAGE" then the line number in 7 columns, ">" and the line), the undefined-label
// warnings ("... Line=N") and the too-large message (no line: reported on line 1).
'use strict';

const ERROR = /^\*pass=(\d+), (.*)$/;
const LINE = /^ *(\d+)>(.*)$/;
const UNDEFINED = /^!!Undefined Label .*, Line=(\d+)$/;
const TOO_LARGE = ' ... Memory area is too large.';

// Returns [{line (1-based), message, severity: 'error' | 'warning', text}].
function parseProblems(output) {
  const lines = output.split(/\r?\n/);
  const problems = [];
  for (let i = 0; i < lines.length; i++) {
    const error = ERROR.exec(lines[i]);
    const at = error && i + 1 < lines.length ? LINE.exec(lines[i + 1]) : null;
    if (error && at) {
      problems.push({ line: Number(at[1]), message: error[2], severity: 'error', text: at[2] });
      i++;
      continue;
    }
    const undefinedLabel = UNDEFINED.exec(lines[i]);
    if (undefinedLabel) {
      problems.push({ line: Number(undefinedLabel[1]), message: lines[i], severity: 'warning' });
    } else if (lines[i] === TOO_LARGE) {
      problems.push({ line: 1, message: lines[i], severity: 'error' });
    }
  }
  return problems;
}

module.exports = { parseProblems };
