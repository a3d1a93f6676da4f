// What tavro does with a source once its command line has named it, on the engine in
// WebAssembly: refuse an empty file, assemble, dump, run. The page's worker assembles through
// here; runTool is the whole sequence in one call, which the Node tests hold byte for byte
// against tavro's expected files.
import { Stop } from './session.js';

const encoder = new TextEncoder();

// tavro reads no empty file; the page says what tavro would say.
const UNREADABLE = encoder.encode("Error: Can't read source file.\n");

// Assembles source bytes as tavro would: the program record, what standard error gets, and
// whether the run may go on (exit status 1 otherwise).
export function assembleSource(session, bytes, { checkOnly = false } = {}) {
  if (bytes.length === 0) {
    return { program: null, stderr: UNREADABLE, refused: true };
  }
  const program = session.assemble(bytes, { checkOnly });
  const refused = checkOnly ? program.errors > 0 : !program.runnable;
  return { program, stderr: session.assemblyText(), refused };
}

function concat(chunks) {
  const all = new Uint8Array(chunks.reduce((n, c) => n + c.length, 0));
  let at = 0;
  for (const c of chunks) {
    all.set(c, at);
    at += c.length;
  }
  return all;
}

// Runs tavro with options (check -c, dump -d, trace -t) on source bytes with input bytes as
// standard input; returns { stdout, stderr, status } as bytes and the exit status.
export function runTool(session, source, { check = false, dump = false, trace = false, input = new Uint8Array() } = {}) {
  const assembled = assembleSource(session, source, { checkOnly: check });
  const stdout = [];
  const stderr = [assembled.stderr];
  const finish = (status) => ({ stdout: concat(stdout), stderr: concat(stderr), status });
  if (assembled.refused) return finish(1);
  if (check) return finish(0);
  if (dump) stdout.push(session.dump());
  session.reset({ seed: 1, trace });
  let inputGiven = false;
  for (;;) {
    const reason = session.run(1e8);
    stdout.push(session.takeOutput());
    stderr.push(session.takeMessages());
    if (reason === Stop.BUDGET) continue;
    if (reason !== Stop.NEED_INPUT) break;
    if (inputGiven) {
      session.endInput();
    } else {
      session.giveInput(input);
      inputGiven = true;
    }
  }
  return finish(0);
}
