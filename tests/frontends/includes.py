#!/usr/bin/env python3
"""Holds the front-ends to the engine's one header: every program on the core (tavro,
tavro-list, tavro-grade, tavro-lsp, tavro-dap and the page's C bindings) may include
engine/engine.h from the core, its own folder's headers and, for the two servers, the shared
protocol layer; no asm/, sim/ or common/ header, no other engine or front-end header. Exit
status 1 names each include that breaks this, with its file and line.
    includes.py SOURCE_ROOT"""
import os
import re
import sys

# Each front-end's folder, and the project folders its headers may come from besides
# engine/engine.h. An include whose first folder is not the project's (a system or library
# header) is not looked at.
FRONTENDS = [
    ("src/driver", ["driver"]),
    ("src/list", ["list"]),
    ("src/grade", ["grade"]),
    ("src/lsp", ["lsp", "protocol"]),
    ("src/dap", ["dap", "protocol"]),
    ("web/engine", []),
]
PROJECT = {"asm", "sim", "common", "engine", "driver", "list", "grade", "lsp", "dap", "protocol"}
INCLUDE = re.compile(r'^\s*#\s*include\s*[<"]([^>"]+)[>"]')


def breaches(root):
    """Returns (file:line, header) for each include outside what its front-end may use, and
    the number of files read."""
    found, files = [], 0
    for folder, allowed in FRONTENDS:
        names = sorted(n for n in os.listdir(os.path.join(root, folder))
                       if n.endswith((".h", ".cpp")))
        if not names:
            raise SystemExit(f"{folder}: no sources found")
        files += len(names)
        for name in names:
            path = os.path.join(folder, name)
            with open(os.path.join(root, path), encoding="utf-8") as f:
                lines = [(n, INCLUDE.match(line)) for n, line in enumerate(f, 1)]
            for number, header in ((n, m.group(1)) for n, m in lines if m):
                named = header
                if header.startswith("."):  # a relative path names the folder it reaches
                    header = os.path.relpath(os.path.normpath(os.path.join(folder, header)), "src")
                first = header.split("/")[0] if "/" in header else ""
                if header != "engine/engine.h" and first not in allowed and first in PROJECT:
                    found.append((f"{path}:{number}", named))
    return found, files


def main():
    root = sys.argv[1] if len(sys.argv) > 1 else "."
    found, files = breaches(root)
    for place, header in found:
        print(f"{place}: includes {header}; a front-end includes only engine/engine.h from the core")
    print(f"{files} front-end files read, {len(found)} includes outside the engine's header")
    return 1 if found else 0


if __name__ == "__main__":
    sys.exit(main())
