"""The page's listing is tavro-list's, and its Format is tavro-lsp's formatting: every source
given, as the editor would hold it (UTF-8, a byte that is not UTF-8 read as U+FFFD), goes to
tavro-list, to tavro-lsp (textDocument/formatting, its edits applied) and to the page's engine
in WebAssembly under Node (web/tests/listing.mjs); each text must be the same in all.
    listing.py TAVRO_LIST SERVER NODE PAGE_SCRIPT SOURCE..."""
import json
import os
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "lsp"))
from client import did_open, read_text, talk  # noqa: E402


def formatted_by_server(server, texts):
    steps = []
    for n, text in enumerate(texts):
        uri = "file:///agreement/%d.tas" % n
        steps.append(did_open(uri, text))
        steps.append({"jsonrpc": "2.0", "id": 100 + n, "method": "textDocument/formatting", "params": {
            "textDocument": {"uri": uri}, "options": {"tabSize": 8, "insertSpaces": True}}})
    results = {m["id"] - 100: m["result"] for m in talk(server, steps, utf8=True)
               if isinstance(m.get("id"), int) and m["id"] >= 100}
    formatted = []
    for n, text in enumerate(texts):
        # Each edit replaces the whole text of one line (bytes, as utf-8 positions count them).
        lines = [line.encode("utf-8") for line in text.splitlines(keepends=True)] or [b""]
        for edit in results[n] or []:
            line = edit["range"]["start"]["line"]
            body = lines[line].rstrip(b"\r\n")
            assert edit["range"]["end"]["character"] == len(body), edit
            lines[line] = edit["newText"].encode("utf-8") + lines[line][len(body):]
        formatted.append(b"".join(lines).decode("utf-8"))
    return formatted


def main():
    tavro_list, server, node, script, sources = sys.argv[1:5] + [sys.argv[5:]]
    sources = [s for s in sources if os.path.getsize(s) > 0]
    with tempfile.TemporaryDirectory() as work:
        texts, copies = [], []
        for n, source in enumerate(sources):
            texts.append(read_text(source))
            copies.append(os.path.join(work, "%d.tas" % n))
            with open(copies[-1], "wb") as f:
                f.write(texts[-1].encode("utf-8"))
        page = json.loads(subprocess.run([node, script] + copies, check=True, capture_output=True,
                                         text=True).stdout)
        listings = []
        for copy in copies:
            done = subprocess.run([tavro_list, copy], capture_output=True, timeout=60)
            listings.append(done.stdout.decode("utf-8") if done.returncode == 0 else "")
        formatted = formatted_by_server(server, texts)
    failed = 0
    for n, source in enumerate(sources):
        for what, mine, theirs in (("listing", page[copies[n]][0], listings[n]),
                                   ("format", page[copies[n]][1], formatted[n])):
            if mine != theirs:
                failed += 1
                print("%s: the page's %s differs from %s" % (source, what,
                      "tavro-list's" if what == "listing" else "tavro-lsp's"))
    shown = sum(1 for text in listings if text)
    changed = sum(1 for n in range(len(sources)) if formatted[n] != texts[n])
    print("%d sources, %d listings, %d formatted with changes, %d disagree" %
          (len(sources), shown, changed, failed))
    return 1 if failed or shown == 0 or changed == 0 else 0


if __name__ == "__main__":
    sys.exit(main())
