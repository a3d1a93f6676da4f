// Programs in links: the fragment #code= followed by the source as base64url (UTF-8, no
// padding). A fragment never reaches a server, and what it holds is only ever text for the
// editor. A link is read strictly: anything that is not exactly what encodeProgram writes (up to
// padding) is refused with a reason, so a damaged link never loads half a program.

export const MAX_LINK = 1 << 20;  // characters of base64url a link may carry

const BASE64URL = /^[A-Za-z0-9_-]*$/;
const alphabet = 'ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-_';

// The fragment that carries text, or null when the text is too large for a link.
export function encodeProgram(text) {
  let binary = '';
  for (const byte of new TextEncoder().encode(text)) binary += String.fromCharCode(byte);
  const code = btoa(binary).replace(/\+/g, '-').replace(/\//g, '_').replace(/=+$/, '');
  return code.length > MAX_LINK ? null : `#code=${code}`;
}

// What a fragment carries: null when it is no program link at all, { text } for a program,
// { error } saying why a program link was refused.
export function readLink(fragment) {
  if (!fragment.startsWith('#code=')) return null;
  const code = fragment.slice('#code='.length).replace(/={1,2}$/, '');
  if (code.length > MAX_LINK) {
    return { error: `The link's program is over ${MAX_LINK / (1 << 20)} MiB: it was not opened.` };
  }
  if (!BASE64URL.test(code)) {
    const bad = [...code].find((c) => !BASE64URL.test(c));
    const standard = bad === '+' || bad === '/';
    return {
      error: `The link is damaged: "${bad}" cannot stand in a program link${standard ? ' (it looks like standard base64, not base64url)' : ''}. Nothing was opened.`,
    };
  }
  // A whole link ends on a full byte: 4 characters carry 3 bytes, and the bits after the
  // last byte of a shorter group are zero. Anything else was cut short.
  const tail = code.length % 4;
  const spare = tail === 2 ? 0b1111 : tail === 3 ? 0b11 : 0;
  if (tail === 1 || (alphabet.indexOf(code.at(-1)) & spare) !== 0) {
    return { error: 'The link is cut short: it does not hold a whole program. Nothing was opened.' };
  }
  const binary = atob(code.replace(/-/g, '+').replace(/_/g, '/'));
  try {
    const text = new TextDecoder('utf-8', { fatal: true, ignoreBOM: true }).decode(Uint8Array.from(binary, (c) => c.charCodeAt(0)));
    return { text };
  } catch {
    return { error: 'The link\'s program is not UTF-8 text (the link may be cut short). Nothing was opened.' };
  }
}
