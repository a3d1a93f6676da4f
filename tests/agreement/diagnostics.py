"""The language server and the page show the same messages: every source given is opened in
tavro-lsp (positions in UTF-8 bytes) and assembled by the page's engine in WebAssembly under
Node (web/tests/diagnostics.mjs), and each message must be the same in both: its line, its
range, its severity, its text and its hint. The VS Code extension shows the server's.
    diagnostics.py SERVER NODE PAGE_SCRIPT SOURCE..."""
import json
import os
import subprocess
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "lsp"))
from client import run_session, utf8_start  # noqa: E402


def server_messages(server, sources):
    steps = utf8_start()
    for n, source in enumerate(sources):
        with open(source, "rb") as f:
            text = f.read().decode("utf-8", errors="replace")
        steps.append({"jsonrpc": "2.0", "method": "textDocument/didOpen", "params": {"textDocument": {
            "uri": "file:///agreement/%d.tas" % n, "languageId": "tavro", "version": 1, "text": text}}})
    steps += [{"jsonrpc": "2.0", "id": 2, "method": "shutdown"}, {"jsonrpc": "2.0", "method": "exit"}]
    messages, status = run_session(server, steps, ".", timeout=120)
    if status != 0:
        sys.exit("tavro-lsp ended with status %d" % status)
    found = {}
    for m in messages:
        if m.get("method") != "textDocument/publishDiagnostics":
            continue
        n = int(m["params"]["uri"].rsplit("/", 1)[1][:-4])
        found[sources[n]] = [[d["range"]["start"]["line"], d["range"]["start"]["character"],
                              d["range"]["end"]["character"], d["severity"], d["message"],
                              d.get("data", {}).get("hint", "")] for d in m["params"]["diagnostics"]]
    return found


def main():
    server, node, script, sources = sys.argv[1], sys.argv[2], sys.argv[3], sys.argv[4:]
    sources = [s for s in sources if os.path.getsize(s) > 0]
    page = json.loads(subprocess.run([node, script] + sources, check=True, capture_output=True,
                                     text=True).stdout)
    lsp = server_messages(server, sources)
    failed = [s for s in sources if page[s] != lsp.get(s)]
    for source in failed:
        print("%s:\n  page:       %s\n  tavro-lsp:  %s" % (source, page[source], lsp.get(source)))
    messages = sum(len(page[s]) for s in sources)
    print("%d sources, %d messages, %d disagree" % (len(sources), messages, len(failed)))
    return 1 if failed or messages == 0 else 0


if __name__ == "__main__":
    sys.exit(main())
