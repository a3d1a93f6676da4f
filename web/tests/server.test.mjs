// The local server (web/serve.mjs) against hostile requests, sent as raw bytes: each gets its
// answer and the server keeps serving; only files really inside its root are served, with
// their content types, and the page's HTML carries its policy as a header.
import assert from 'node:assert/strict';
import fs from 'node:fs';
import net from 'node:net';
import os from 'node:os';
import path from 'node:path';
import { after, before, test } from 'node:test';
import zlib from 'node:zlib';

import { serve } from '../serve.mjs';
import { WEB } from './support.mjs';

let dir;
let server;

// A root like web/dist, a secret beside it, and symlinks out of the root and within it.
before(async () => {
  dir = fs.mkdtempSync(path.join(os.tmpdir(), 'tavro-serve-'));
  const root = path.join(dir, 'root');
  fs.mkdirSync(path.join(root, 'sub'), { recursive: true });
  fs.copyFileSync(path.join(WEB, 'index.html'), path.join(root, 'index.html'));
  fs.copyFileSync(path.join(WEB, 'favicon.svg'), path.join(root, 'favicon.svg'));
  for (const name of ['main.js', 'style.css', 'engine.wasm', 'notes.map', 'hello.tas', 'sub/page.html']) {
    fs.writeFileSync(path.join(root, name), `contents of ${name}\n`);
  }
  fs.writeFileSync(path.join(dir, 'secret.txt'), 'secret\n');
  fs.symlinkSync(path.join(dir, 'secret.txt'), path.join(root, 'out.txt'));
  fs.symlinkSync(dir, path.join(root, 'outdir'));
  fs.symlinkSync(path.join(root, 'main.js'), path.join(root, 'alias.js'));
  server = await serve({ root, port: 0 });
});
after(() => {
  server?.close();
  fs.rmSync(dir, { recursive: true, force: true });
});

// Sends a request as raw bytes; resolves to { status, headers, body } (body a Buffer).
function request(method, target, headers = '') {
  return new Promise((resolve, reject) => {
    const socket = net.connect(server.address().port, '127.0.0.1');
    const chunks = [];
    socket.on('data', (chunk) => chunks.push(chunk));
    socket.on('error', reject);
    socket.on('end', () => {
      const all = Buffer.concat(chunks);
      const split = all.indexOf('\r\n\r\n');
      const [statusLine, ...lines] = all.subarray(0, split).toString('latin1').split('\r\n');
      const fields = Object.fromEntries(lines.map((l) => [l.slice(0, l.indexOf(':')).toLowerCase(), l.slice(l.indexOf(':') + 1).trim()]));
      resolve({ status: Number(statusLine.split(' ')[1]), headers: fields, body: all.subarray(split + 4) });
    });
    socket.write(`${method} ${target} HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n${headers}\r\n`);
  });
}

test('hostile requests get 400, 404 or 405, and the server serves on after each', async () => {
  for (const [method, target, status] of [
    ['GET', '/%00', 400],
    ['GET', '/index.html%00.js', 400],
    ['GET', '/%E0%A4%A', 400],
    ['GET', '/%', 400],
    ['GET', '/a%5Cb', 400],
    ['GET', '/%0a', 400],
    ['GET', '/../../../etc/passwd', 404],
    ['GET', '/..%2f..%2f..%2fetc%2fpasswd', 404],
    ['GET', '/%2e%2e/%2e%2e/etc/passwd', 404],
    ['GET', '/out.txt', 404],
    ['GET', '/outdir/secret.txt', 404],
    ['GET', '/sub', 404],
    ['GET', '/sub/', 404],
    ['GET', '/missing.js', 404],
    ['GET', '*', 404],
    ['POST', '/', 405],
    ['PUT', '/index.html', 405],
    ['DELETE', '/index.html', 405],
    ['TRACE', '/', 405],
    ['OPTIONS', '/', 405],
  ]) {
    const answer = await request(method, target);
    assert.equal(answer.status, status, `${method} ${target}`);
    assert.ok(!answer.body.includes('secret'), `${method} ${target} leaks the secret`);
    if (status === 405) assert.equal(answer.headers.allow, 'GET, HEAD', `${method} ${target}`);
    assert.equal((await request('GET', '/')).status, 200, `the server serves after ${method} ${target}`);
  }
});

test('each file is served with its content type, the HTML with its policy as a header', async () => {
  const html = fs.readFileSync(path.join(WEB, 'index.html'), 'utf8');
  const policy = /http-equiv="Content-Security-Policy" content="([^"]*)"/.exec(html)[1];
  for (const [target, type] of [
    ['/', 'text/html; charset=utf-8'],
    ['/index.html?x=1', 'text/html; charset=utf-8'],
    ['/sub/page.html', 'text/html; charset=utf-8'],
    ['/favicon.svg', 'image/svg+xml'],
    ['/main.js', 'text/javascript; charset=utf-8'],
    ['/alias.js', 'text/javascript; charset=utf-8'],
    ['/style.css', 'text/css; charset=utf-8'],
    ['/engine.wasm', 'application/wasm'],
    ['/notes.map', 'application/json; charset=utf-8'],
    ['/hello.tas', 'text/plain; charset=utf-8'],
  ]) {
    const answer = await request('GET', target, 'Accept-Encoding: gzip\r\n');
    assert.equal(answer.status, 200, target);
    assert.equal(answer.headers['content-type'], type, target);
    assert.equal(answer.headers['x-content-type-options'], 'nosniff', target);
    const body = zlib.gunzipSync(answer.body).toString('utf8');
    if (target === '/') assert.equal(body, html);
    if (type.startsWith('text/html')) {
      assert.equal(answer.headers['content-security-policy'], target === '/sub/page.html' ? "default-src 'none'" : policy, target);
    } else {
      assert.equal(answer.headers['content-security-policy'], undefined, target);
    }
  }
  const head = await request('HEAD', '/main.js');
  assert.equal(head.status, 200);
  assert.equal(head.body.length, 0);
});
