// A static file server for the built page, on 127.0.0.1 only: the page is static files, and
// this serves them with the types a browser wants (a .wasm file as application/wasm),
// gzip-compressed when the browser accepts it, as a web server would. It serves only regular
// files whose real path (symlinks followed) lies inside its root, to GET and HEAD only; a
// request it cannot map to such a file is answered 400 or 404, and the server serves on.
//   node web/serve.mjs [--port 8080] [--root web/dist]
// Importers call serve({ root, port }) and get the listening server (port 0: any free port).
import fs from 'node:fs/promises';
import http from 'node:http';
import path from 'node:path';
import { fileURLToPath } from 'node:url';
import zlib from 'node:zlib';

export const TYPES = {
  '.html': 'text/html; charset=utf-8',
  '.js': 'text/javascript; charset=utf-8',
  '.mjs': 'text/javascript; charset=utf-8',
  '.css': 'text/css; charset=utf-8',
  '.wasm': 'application/wasm',
  '.json': 'application/json; charset=utf-8',
  '.map': 'application/json; charset=utf-8',
  '.svg': 'image/svg+xml',
  '.png': 'image/png',
  '.ico': 'image/x-icon',
  '.txt': 'text/plain; charset=utf-8',
  '.md': 'text/markdown; charset=utf-8',
  '.tas': 'text/plain; charset=utf-8',
  '.txt': 'text/plain; charset=utf-8',
};
const COMPRESSED_ALREADY = new Set(['.png', '.ico']);

// The policy an HTML file gives itself in its <meta http-equiv> tag, sent as a header too (a
// header also covers what a meta tag cannot, such as a response read before its tag).
const CSP_META = /<meta\s+http-equiv="Content-Security-Policy"\s+content="([^"]*)"/i;
const FALLBACK_CSP = "default-src 'none'";

// The path inside root that a request's target names, or null when it names none (a malformed
// %-escape, a NUL or other control character, a way out of root).
function mapTarget(target, base) {
  let name;
  try {
    name = decodeURIComponent(new URL(target, 'http://localhost').pathname);
  } catch {
    return null;
  }
  if (/[\0-\x1f\x7f\\]/.test(name)) return null;
  const file = path.join(base, path.normalize(name));
  if (file !== base && !file.startsWith(base + path.sep)) return null;
  return name.endsWith('/') ? path.join(file, 'index.html') : file;
}

// The regular file at file with its real path inside realBase, or null.
async function openInside(file, realBase) {
  try {
    const real = await fs.realpath(file);
    if (!real.startsWith(realBase + path.sep)) return null;
    const stat = await fs.stat(real);
    return stat.isFile() ? real : null;
  } catch {
    return null;
  }
}

export async function serve({ root, port = 8080, host = '127.0.0.1' }) {
  const base = path.resolve(root);
  const realBase = await fs.realpath(base);
  const cache = new Map();  // file: { bytes, gzip } as last compressed
  const compressed = (file, bytes) => {
    const entry = cache.get(file);
    if (entry?.bytes.equals(bytes)) return entry.gzip;
    const gzip = zlib.gzipSync(bytes, { level: 9 });
    cache.set(file, { bytes, gzip });
    return gzip;
  };
  const plain = (response, status, text, extra = {}) => {
    response.writeHead(status, { 'Content-Type': 'text/plain; charset=utf-8', 'X-Content-Type-Options': 'nosniff', ...extra });
    response.end(`${text}\n`);
  };

  async function answer(request, response) {
    if (request.method !== 'GET' && request.method !== 'HEAD') {
      plain(response, 405, 'method not allowed', { Allow: 'GET, HEAD' });
      return;
    }
    const file = mapTarget(request.url, base);
    if (!file) {
      plain(response, 400, 'bad request');
      return;
    }
    const real = await openInside(file, realBase);
    if (!real) {
      plain(response, 404, 'not found');
      return;
    }
    const bytes = await fs.readFile(real);
    const extension = path.extname(file).toLowerCase();
    const headers = {
      'Content-Type': TYPES[extension] ?? 'application/octet-stream',
      'Cache-Control': 'no-cache',
      'X-Content-Type-Options': 'nosniff',
      'Referrer-Policy': 'no-referrer',
      Vary: 'Accept-Encoding',
    };
    if (extension === '.html') headers['Content-Security-Policy'] = CSP_META.exec(bytes.toString('utf8'))?.[1] ?? FALLBACK_CSP;
    let body = bytes;
    if (/\bgzip\b/.test(request.headers['accept-encoding'] ?? '') && !COMPRESSED_ALREADY.has(extension)) {
      body = compressed(real, bytes);
      headers['Content-Encoding'] = 'gzip';
    }
    headers['Content-Length'] = body.length;
    response.writeHead(200, headers);
    response.end(request.method === 'HEAD' ? undefined : body);
  }

  const server = http.createServer((request, response) => {
    answer(request, response).catch(() => {
      if (!response.headersSent) plain(response, 500, 'server error');
      else response.destroy();
    });
  });
  return new Promise((resolve) => server.listen(port, host, () => resolve(server)));
}

if (process.argv[1] === fileURLToPath(import.meta.url)) {
  const option = (name, otherwise) => {
    const i = process.argv.indexOf(name);
    return i > 0 ? process.argv[i + 1] : otherwise;
  };
  const root = option('--root', path.join(path.dirname(fileURLToPath(import.meta.url)), 'dist'));
  const server = await serve({ root, port: Number(option('--port', 8080)) });
  const { port } = server.address();
  console.log(`The Tavro playground: http://127.0.0.1:${port}/  (Ctrl-C ends it)`);
}
