#!/usr/bin/env python3
"""A scripted LSP client: runs golden sessions against the real tavro-lsp.

    client.py SERVER SOURCE_DIR SESSION.json [EXPECTED.json]

A session is a JSON array of steps, sent in order: a message object (requests carry an id),
or {"raw": "bytes"} sent as they are (for malformed frames). In a message, a string
"@file:PATH" is replaced by the text of PATH under SOURCE_DIR. The server's whole output,
every frame it wrote until it ended, is compared with the expected file; with TAVRO_BLESS=1
the expected file is written instead. The exit status of the server is part of the output.
"""
import difflib
import json
import os
import subprocess
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from frames import encode, split  # noqa: E402
import frames  # noqa: E402


def read_text(path):
    """A file's text as an editor holds it: UTF-8, a byte that is not UTF-8 read as U+FFFD."""
    with open(path, "rb") as f:
        return f.read().decode("utf-8", errors="replace")


def expand(value, source_dir):
    if isinstance(value, str) and value.startswith("@file:"):
        return read_text(os.path.join(source_dir, value[6:]))
    if isinstance(value, list):
        return [expand(v, source_dir) for v in value]
    if isinstance(value, dict):
        return {k: expand(v, source_dir) for k, v in value.items()}
    return value


def frame(message):
    return frames.frame(encode(message))


def notice(method, params):
    return {"jsonrpc": "2.0", "method": method, "params": params}


def did_open(uri, text):
    return notice("textDocument/didOpen", {"textDocument": {
        "uri": uri, "languageId": "tavro", "version": 1, "text": text}})


def run_session(server, steps, source_dir, timeout=30):
    """Sends every step at once and returns (messages, exit status)."""
    payload = b"".join(
        step["raw"].encode("utf-8") if "raw" in step else frame(expand(step, source_dir))
        for step in steps)
    done = subprocess.run([server], input=payload, capture_output=True, timeout=timeout)
    return split(done.stdout), done.returncode


def talk(server, steps, utf8=False):
    """Runs steps between initialize (positions in UTF-8 bytes when utf8) and shutdown and exit,
    and returns the server's messages; a server that does not end cleanly ends the test."""
    capabilities = {"general": {"positionEncodings": ["utf-8"]}} if utf8 else {}
    start = {"jsonrpc": "2.0", "id": 0, "method": "initialize",
             "params": {"capabilities": capabilities}}
    end = [{"jsonrpc": "2.0", "id": 1, "method": "shutdown"}, {"jsonrpc": "2.0", "method": "exit"}]
    steps = [start, notice("initialized", {})] + steps + end
    messages, status = run_session(server, steps, ".", timeout=120)
    if status != 0:
        sys.exit("tavro-lsp ended with status %d" % status)
    return messages


def diagnostics(server, texts, utf8=False):
    """Opens every text in one session; returns the diagnostics published last for each."""
    found = [None] * len(texts)
    for m in talk(server, [did_open("file:///%d.tas" % n, t) for n, t in enumerate(texts)], utf8):
        if m.get("method") == "textDocument/publishDiagnostics":
            params = m["params"]
            found[int(params["uri"][len("file:///"):-len(".tas")])] = params["diagnostics"]
    return found


def main():
    server, source_dir, session = sys.argv[1:4]
    expected_path = sys.argv[4] if len(sys.argv) > 4 else os.path.join(
        os.path.dirname(session), "..", "expected", os.path.basename(session))
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
    diff = difflib.unified_diff(want, got, "expected", "actual", lineterm="")
    sys.stdout.write("\n".join(diff) + "\n")
    return 1


if __name__ == "__main__":
    sys.exit(main())
