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
from client import diagnostics, read_text  # noqa: E402


def server_messages(server, sources):
    found = diagnostics(server, [read_text(source) for source in sources], utf8=True)
    return {source: [[d["range"]["start"]["line"], d["range"]["start"]["character"],
                      d["range"]["end"]["character"], d["severity"], d["message"],
                      d.get("data", {}).get("hint", "")] for d in found[n]]
            for n, source in enumerate(sources) if found[n] is not None}


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
