// What the Node tests share: the engine in WebAssembly as the page's build left it in web/dist,
// and the repository's folders.
import fs from 'node:fs';
import path from 'node:path';
import { fileURLToPath } from 'node:url';

import { openSession } from '../src/session.js';

export const WEB = path.resolve(path.dirname(fileURLToPath(import.meta.url)), '..');
export const ROOT = path.resolve(WEB, '..');
export const DIST = path.join(WEB, 'dist');

// A fresh engine session; the factory is the page's own engine.js, given the .wasm bytes.
export async function newSession() {
  const { default: createTavroEngine } = await import(path.join(DIST, 'engine.js'));
  const module = await createTavroEngine({ wasmBinary: fs.readFileSync(path.join(DIST, 'engine.wasm')) });
  return openSession(module);
}
