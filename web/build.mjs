// Builds the page into web/dist: the page's module and the worker bundled by esbuild (the
// engine's factory, engine.js, stays a file of its own beside engine.wasm), the HTML and CSS,
// and the engine from build/wasm (web/build-wasm.sh makes it), and the licence as LICENSE.txt
// (the page's footer links to it). The example programs are bundled into the page from
// examples/, in learning order. The language guide, docs/language.md, becomes guide.html: a
// page of its own under the page's stylesheet and policy, which the help links to, so the
// first load does not carry it.
//   node web/build.mjs [--dev]     (--dev: not minified, with source maps)
import * as esbuild from 'esbuild';
import MarkdownIt from 'markdown-it';
import fs from 'node:fs';
import path from 'node:path';
import { fileURLToPath } from 'node:url';

const WEB = path.dirname(fileURLToPath(import.meta.url));
const ROOT = path.resolve(WEB, '..');
const DIST = path.join(WEB, 'dist');
const ENGINE = path.join(ROOT, 'build/wasm/web');
const dev = process.argv.includes('--dev');

const ORDER = ['hello', 'sum', 'table', 'factorial', 'gcd', 'primes', 'fib', 'sort', 'dice'];

// The examples as a module: [{ name, text }], the main ones in learning order, then errors/.
const examples = {
  name: 'examples',
  setup(build) {
    build.onResolve({ filter: /^tavro:examples$/ }, () => ({ path: 'examples', namespace: 'tavro' }));
    build.onLoad({ filter: /.*/, namespace: 'tavro' }, () => {
      const list = (folder) => fs.readdirSync(path.join(ROOT, folder)).filter((f) => f.endsWith('.tas')).sort();
      const rank = (file) => {
        const i = ORDER.indexOf(file.replace(/\.tas$/, ''));
        return i < 0 ? ORDER.length : i;
      };
      const files = [
        ...list('examples').sort((a, b) => rank(a) - rank(b) || a.localeCompare(b)),
        ...list('examples/errors').map((f) => `errors/${f}`),
      ];
      const entries = files.map((name) => ({ name, text: fs.readFileSync(path.join(ROOT, 'examples', name), 'utf8') }));
      return { contents: `export default ${JSON.stringify(entries)};`, loader: 'js', watchFiles: files.map((f) => path.join(ROOT, 'examples', f)) };
    });
  },
};

// A heading's anchor as the guide's own links spell it: lower case, letters, digits, blanks and
// hyphens kept, each blank a hyphen ("## 1. A first program" is #1-a-first-program).
const slug = (text) => text.toLowerCase().replace(/[^\p{L}\p{N} _-]/gu, '').replace(/ /g, '-');

// docs/language.md as a whole page. Markup written in the guide is shown as text (html: false).
function renderGuide() {
  const markdown = new MarkdownIt({ html: false, linkify: false, typographer: false });
  markdown.core.ruler.push('heading_ids', (state) => {
    state.tokens.forEach((token, i) => {
      if (token.type !== 'heading_open') return;
      const text = state.tokens[i + 1].children.filter((t) => t.type === 'text' || t.type === 'code_inline').map((t) => t.content).join('');
      token.attrSet('id', slug(text));
    });
  });
  const page = fs.readFileSync(path.join(WEB, 'index.html'), 'utf8');
  const policy = /<meta http-equiv="Content-Security-Policy"[^>]*>/.exec(page)[0];
  const body = markdown.render(fs.readFileSync(path.join(ROOT, 'docs/language.md'), 'utf8'));
  return `<!doctype html>
<html lang="en">
<head>
<meta charset="utf-8">
<meta name="viewport" content="width=device-width, initial-scale=1">
${policy}
<meta name="color-scheme" content="light dark">
<title>The Tavro language guide</title>
<link rel="icon" href="favicon.svg" type="image/svg+xml">
<link rel="stylesheet" href="style.css">
</head>
<body class="guide-page">
<nav class="guide-nav"><a href="./">Back to the playground</a></nav>
<main class="guide">
${body}</main>
</body>
</html>
`;
}

for (const file of ['engine.js', 'engine.wasm']) {
  if (!fs.existsSync(path.join(ENGINE, file))) {
    console.error(`build.mjs: ${path.join('build/wasm/web', file)} is missing: run web/build-wasm.sh first`);
    process.exit(1);
  }
}
fs.rmSync(DIST, { recursive: true, force: true });
fs.mkdirSync(DIST, { recursive: true });
await esbuild.build({
  entryPoints: { main: path.join(WEB, 'src/main.js'), worker: path.join(WEB, 'src/worker.js') },
  outdir: DIST,
  bundle: true,
  format: 'esm',
  target: 'es2022',
  minify: !dev,
  sourcemap: dev,
  legalComments: 'none',
  external: ['./engine.js'],
  plugins: [examples],
  logLevel: 'warning',
});
for (const file of ['index.html', 'style.css', 'favicon.svg']) fs.copyFileSync(path.join(WEB, file), path.join(DIST, file));
for (const file of ['engine.js', 'engine.wasm']) fs.copyFileSync(path.join(ENGINE, file), path.join(DIST, file));
fs.copyFileSync(path.join(ROOT, 'LICENSE'), path.join(DIST, 'LICENSE.txt'));
fs.writeFileSync(path.join(DIST, 'guide.html'), renderGuide());
