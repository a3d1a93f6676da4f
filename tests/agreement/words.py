"""The editors know the instruction set's words as the engine does: the mnemonics and registers
that tavro-lsp completes (taken from the engine's table) are the ones the page colours and
completes (web/src/words.js) and the ones the VS Code grammar colours. And the page reads names
as the engine does: of every two hostile names, it takes them for one label exactly when the
engine, through tavro-lsp, does.
    words.py SERVER NODE ROOT"""
import json
import os
import re
import subprocess
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "lsp"))
from client import diagnostics, did_open, talk  # noqa: E402


def server_words(server):
    uri = "file:///words.tas"
    complete = lambda n, character: {  # noqa: E731
        "jsonrpc": "2.0", "id": n, "method": "textDocument/completion",
        "params": {"textDocument": {"uri": uri}, "position": {"line": 0, "character": character}}}
    steps = [did_open(uri, "        PUSH \n"), complete(2, 8), complete(3, 13)]
    messages = talk(server, steps)
    answers = {m["id"]: m["result"] for m in messages if m.get("id") in (2, 3)}
    items = lambda n: answers[n]["items"] if isinstance(answers[n], dict) else answers[n]  # noqa: E731
    mnemonics = {i["label"] for i in items(2) if i.get("detail") == "instruction"}
    registers = {i["label"] for i in items(3) if i.get("detail") == "register"}
    return mnemonics, registers


# Names past 7 characters, of mixed case, with digits, underscores and letters beyond ASCII.
HOSTILE = ["COUNTER", "counter1", "CounterX9", "cOuNtE", "COUNTE", "A1234567", "a1234568", "x", "X",
           "Loop_1", "LOOP", "l\u00f6op", "L\u00d6OP", "STRASSE", "stra\u00dfe", "\u0131tem", "ITEM"]


def engine_same_labels(server):
    """For every two hostile names: whether a use spelled b finds a label defined as a."""
    pairs = [(a, b) for a in HOSTILE for b in HOSTILE]
    found = diagnostics(server, ["        COPY AX, %s\n        END\n%s 0\n" % pair[::-1]
                                 for pair in pairs])
    if None in found:
        sys.exit("tavro-lsp answered no diagnostics for %d programs" % found.count(None))
    return {pair: not any(d["severity"] == 1 or "Undefined Label" in d["message"] for d in found[n])
            for n, pair in enumerate(pairs)}


def grammar_words(path):
    with open(path) as f:
        grammar = json.load(f)
    words = {}
    for name, rule in grammar["repository"].items():
        for pattern in [rule] + rule.get("patterns", []):
            for group in re.findall(r"\(\?i:([A-Z|]+)\)", pattern.get("match", "")):
                words.setdefault(pattern.get("name", name), set()).update(group.split("|"))
    flow = words.get("keyword.control.flow.tavro", set())
    other = words.get("keyword.other.instruction.tavro", set())
    registers = {w for scope, found in words.items() if "register" in scope for w in found}
    return flow | other, registers


def main():
    server, node, root = sys.argv[1:4]
    engine = server_words(server)
    page = json.loads(subprocess.run(
        [node, "--input-type=module", "-e",
         "const w = await import(process.argv[1]); const names = JSON.parse(process.argv[2]);"
         "const read = (n) => (w.isName(n) ? w.foldName(n) : null);"
         "console.log(JSON.stringify([[...w.MNEMONICS], [...w.REGISTERS],"
         " names.map((a) => names.map((b) => read(a) !== null && read(a) === read(b)))]))",
         "file://" + os.path.join(root, "web", "src", "words.js"), json.dumps(HOSTILE)],
        check=True, capture_output=True, text=True).stdout)
    grammar = grammar_words(os.path.join(root, "editors", "vscode", "syntaxes", "tavro.tmLanguage.json"))
    failed = 0
    for where, (mnemonics, registers) in (("the page", [set(page[0]), set(page[1])]), ("the grammar", grammar)):
        for kind, theirs, ours in (("mnemonics", mnemonics, engine[0]), ("registers", registers, engine[1])):
            if theirs != ours:
                failed += 1
                print("%s's %s: %s; the engine's: %s" % (where, kind, sorted(theirs), sorted(ours)))
    same = engine_same_labels(server)
    for i, a in enumerate(HOSTILE):
        for j, b in enumerate(HOSTILE):
            if page[2][i][j] != same[(a, b)]:
                failed += 1
                print("%r and %r: one label to the page: %s; to the engine: %s" % (a, b, page[2][i][j], same[(a, b)]))
    if sum(same.values()) <= len(HOSTILE) or all(same.values()):
        sys.exit("the engine took %d of %d pairs for one label" % (sum(same.values()), len(same)))
    if len(engine[0]) != 16 or len(engine[1]) != 4:
        sys.exit("tavro-lsp completed %s" % (engine,))
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
