#!/usr/bin/env python3
"""Every golden case's assembly messages through tavro-lsp equal tavro's own.

    differential.py TAVRO TAVRO_LSP SOURCE.tas...

Each source is checked by `tavro -c` (assembly only) and opened in one session of the server.
tavro's standard error gives (line, message) pairs: "*pass=P, MESSAGE" with the line number
under it, "!!Undefined Label ... Line=N" on line N, and " ... Memory area is too large." The
server's diagnostics from tavro (all but its own seven-character warnings) must give the same
pairs in the same order; the line of a program too large is the server's to choose, so only
its message is compared.
"""
import os
import re
import subprocess
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from client import diagnostics, read_text  # noqa: E402

TOO_LARGE = " ... Memory area is too large."


def tavro_messages(tavro, path):
    done = subprocess.run([tavro, "-c", os.path.basename(path)], cwd=os.path.dirname(path) or ".",
                          capture_output=True, timeout=60)
    lines = done.stderr.decode("utf-8", errors="replace").split("\n")
    pairs = []
    for i, line in enumerate(lines):
        m = re.match(r"^\*pass=\d+, (.*)$", line)
        if m:
            number = re.match(r"^ *(\d+)>", lines[i + 1])
            pairs.append((int(number.group(1)), m.group(1)))
        m = re.match(r"^!!Undefined Label .*, Line=(\d+)$", line)
        if m:
            pairs.append((int(m.group(1)), line))
        if line == TOO_LARGE:
            pairs.append((None, line))
    return pairs


def server_messages(found):
    pairs = []
    for d in found:
        if "are one label" in d["message"]:
            continue
        line = None if d["message"] == TOO_LARGE else d["range"]["start"]["line"] + 1
        pairs.append((line, d["message"]))
    return pairs


def main():
    tavro, server, sources = os.path.abspath(sys.argv[1]), sys.argv[2], sys.argv[3:]
    published = diagnostics(server, [read_text(path) for path in sources])
    failures = 0
    compared = 0
    for i, path in enumerate(sources):
        expected = tavro_messages(tavro, path)
        actual = server_messages(published[i] or [])
        compared += len(expected)
        if expected != actual:
            failures += 1
            print("%s:\n  tavro:  %s\n  server: %s" % (path, expected, actual))
    print("%d sources, %d messages compared, %d differ" % (len(sources), compared, failures))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
