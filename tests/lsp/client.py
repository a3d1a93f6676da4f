#!/usr/bin/env python3
"""A scripted LSP client: runs golden sessions against the real tavro-lsp.

    client.py SERVER SOURCE_DIR SESSION.json [EXPECTED.json]

A session is a JSON array of steps, sent in order: a message object (requests carry an id),
or {"raw": "bytes"} sent as they are (for malformed frames). In a message, a string
"@file:PATH" is replaced by the text of PATH under SOURCE_DIR. The server's whole output,
every frame it wrote until it ended, is compared with the expected file; with TAVRO_BLESS=1
the expected file is written instead. The exit status of the server is part of the output.
"""
import json
import os
import subprocess
import sys


def expand(value, source_dir):
    if isinstance(value, str) and value.startswith("@file:"):
        with open(os.path.join(source_dir, value[6:]), "rb") as f:
            return f.read().decode("utf-8", errors="replace")
    if isinstance(value, list):
        return [expand(v, source_dir) for v in value]
    if isinstance(value, dict):
        return {k: expand(v, source_dir) for k, v in value.items()}
    return value


def frame(message):
    body = json.dumps(message).encode("utf-8")
    return b"Content-Length: %d\r\n\r\n" % len(body) + body


def read_frames(data):
    """Splits the server's output into messages; fails on anything that is not a frame."""
    messages = []
    while data:
        header, sep, rest = data.partition(b"\r\n\r\n")
        if not sep or not header.startswith(b"Content-Length: "):
            raise ValueError("not a frame: %r" % data[:80])
        length = int(header[len(b"Content-Length: "):])
        messages.append(json.loads(rest[:length]))
        data = rest[length:]
    return messages


def utf8_start():
    """The opening of a session whose positions count UTF-8 bytes: initialize, initialized."""
    return [{"jsonrpc": "2.0", "id": 1, "method": "initialize",
             "params": {"capabilities": {"general": {"positionEncodings": ["utf-8"]}}}},
            {"jsonrpc": "2.0", "method": "initialized", "params": {}}]


def run_session(server, steps, source_dir, timeout=30):
    """Sends every step at once and returns (messages, exit status)."""
    payload = b"".join(
        step["raw"].encode("utf-8") if "raw" in step else frame(expand(step, source_dir))
        for step in steps)
    done = subprocess.run([server], input=payload, capture_output=True, timeout=timeout)
    return read_frames(done.stdout), done.returncode


def main():
    server, source_dir, session = sys.argv[1:4]
    expected_path = sys.argv[4] if len(sys.argv) > 4 else os.path.join(os.path.dirname(session), "..", "expected", os.path.basename(session))
    with open(session) as f:
        steps = json.load(f)
    messages, status = run_session(server, steps, source_dir)
    actual = {"messages": messages, "exitStatus": status}
    if os.environ.get("TAVRO_BLESS") == "1":
        with open(expected_path, "w") as f:
            json.dump(actual, f, indent=1, ensure_ascii=False)
            f.write("\n")
        return 0
    with open(expected_path) as f:
        expected = json.load(f)
    if actual == expected:
        return 0
    got = json.dumps(actual, indent=1, ensure_ascii=False).splitlines()
    want = json.dumps(expected, indent=1, ensure_ascii=False).splitlines()
    import difflib
    sys.stdout.write("\n".join(difflib.unified_diff(want, got, "expected", "actual", lineterm="")) + "\n")
    return 1


if __name__ == "__main__":
    sys.exit(main())
