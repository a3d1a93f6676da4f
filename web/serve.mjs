// A static file server for the built page, on 127.0.0.1 only: the page is static files, and
// this serves them with the types a browser wants (a .wasm file as application/wasm),
// gzip-compressed when the browser accepts it, as a web server would.
//   node web/serve.mjs [--port 8080] [--root web/dist]
// Importers call serve({ root, port }) and get the listening server (port 0: any free port).
import fs from 'node:fs';
import http from 'node:http';
import path from 'node:path';
import { fileURLToPath } from 'node:url';
import zlib from 'node:zlib';

const TYPES = {
  '.html': 'text/html; charset=utf-8',
  '.js': 'text/javascript; charset=utf-8',
  '.css': 'text/css; charset=utf-8',
  '.wasm': 'application/wasm',
  '.json': 'application/json',
  '.png': 'image/png',
  '.tas': 'text/plain; charset=utf-8',
  '.txt': 'text/plain; charset=utf-8',
};

export function serve({ root, port = 8080, host = '127.0.0.1' }) {
  const base = path.resolve(root);
  const cache = new Map();  // file: { bytes, gzip } as last compressed
  const compressed = (file, bytes) => {
    const entry = cache.get(file);
    if (entry?.bytes.equals(bytes)) return entry.gzip;
    const gzip = zlib.gzipSync(bytes, { level: 9 });
    cache.set(file, { bytes, gzip });
    return gzip;
  };
  const server = http.createServer((request, response) => {
    let file;
    try {
      file = path.join(base, path.normalize(decodeURIComponent(new URL(request.url, 'http://localhost').pathname)));
    } catch {
      response.writeHead(400).end();  // a malformed %-escape
      return;
    }
    if (file !== base && !file.startsWith(base + path.sep)) {
      response.writeHead(403).end();
      return;
    }
    if (file.endsWith(path.sep)) file = path.join(file, 'index.html');
    fs.readFile(file, (error, bytes) => {
      if (error) {
        response.writeHead(404, { 'Content-Type': 'text/plain' }).end('not found\n');
        return;
      }
      const headers = {
        'Content-Type': TYPES[path.extname(file)] ?? 'application/octet-stream',
        'Cache-Control': 'no-cache',
        'X-Content-Type-Options': 'nosniff',
        Vary: 'Accept-Encoding',
      };
      let body = bytes;
      if (/\bgzip\b/.test(request.headers['accept-encoding'] ?? '') && path.extname(file) !== '.png') {
        body = compressed(file, bytes);
        headers['Content-Encoding'] = 'gzip';
      }
      response.writeHead(200, headers);
      response.end(request.method === 'HEAD' ? undefined : body);
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
