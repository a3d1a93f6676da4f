// Programs in links: the fragment #code= followed by the source as base64url (UTF-8, no
// padding). A fragment never reaches a server, and what it holds is only ever text for the
// editor.

const MAX_LINK_SOURCE = 1 << 20;  // characters a link may carry

// The fragment that carries text.
export function encodeProgram(text) {
  let binary = '';
  for (const byte of new TextEncoder().encode(text)) binary += String.fromCharCode(byte);
  return `#code=${btoa(binary).replace(/\+/g, '-').replace(/\//g, '_').replace(/=+$/, '')}`;
}

// The text a fragment carries, or null when it carries none (or not valid base64url).
export function decodeProgram(fragment) {
  const match = /^#code=([A-Za-z0-9_-]*)=*$/.exec(fragment);
  if (!match || match[1].length > (MAX_LINK_SOURCE * 4) / 3 + 4 || match[1].length % 4 === 1) return null;
  const binary = atob(match[1].replace(/-/g, '+').replace(/_/g, '/'));
  const bytes = Uint8Array.from(binary, (c) => c.charCodeAt(0));
  return new TextDecoder().decode(bytes);
}
