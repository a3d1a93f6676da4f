#!/usr/bin/env python3
"""Holds every place that states the project's version or its licence to the one version of
CMakeLists.txt and to LICENSE: the npm packages and their lockfiles, CHANGELOG.md's latest
section, each program's --version and tavro's usage text, and the licence named by the npm
packages, the manual pages and the playground's footer. (The manual pages' titles and the
Debian package's version have their own tests.) Prints one line per disagreement.

Usage: agreement.py SOURCE_DIR VERSION TAVRO TAVRO_LIST TAVRO_DAP TAVRO_LSP TAVRO_GRADE
"""
import glob
import json
import os
import re
import subprocess
import sys


def read(path):
    with open(path, encoding="utf-8") as f:
        return f.read()


def first_line(command):
    result = subprocess.run(command, stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                            text=True, timeout=30)
    return result.stdout.split("\n")[0]


def main():
    source, version, tavro, *programs = sys.argv[1:]
    licence = read(os.path.join(source, "LICENSE"))
    holders = re.search(r"^Copyright \(c\) (.+)$", licence, re.MULTILINE)
    if not licence.startswith("MIT License\n") or not holders:
        print("LICENSE is not the MIT licence with a line 'Copyright (c) YEAR HOLDERS'")
        return 1
    notice = f"Copyright (c) {holders.group(1)}."
    major, minor, patch = version.split(".")

    # (where, what it states, what it must state)
    rows = []
    for package in ("editors/vscode", "web"):
        manifest = json.loads(read(os.path.join(source, package, "package.json")))
        lock = json.loads(read(os.path.join(source, package, "package-lock.json")))
        rows += [
            (f"{package}/package.json version", manifest.get("version"), version),
            (f"{package}/package.json license", manifest.get("license"), "MIT"),
            (f"{package}/package-lock.json version", lock.get("version"), version),
            (f"{package}/package-lock.json's package version",
             lock["packages"][""].get("version"), version),
            (f"{package}/package-lock.json's package license",
             lock["packages"][""].get("license"), "MIT"),
        ]
    latest = re.search(r"^## (\S+) ", read(os.path.join(source, "CHANGELOG.md")), re.MULTILINE)
    rows.append(("CHANGELOG.md's latest section", latest and latest.group(1), version))

    # tavro's usage text writes the version as MAJOR.MINORPATCH, as it always has.
    usage = re.search(r"\[version ([^]]*)\]", first_line([tavro, "-h"]))
    rows.append(("tavro -h", usage and usage.group(1), f"{major}.{minor}{patch}"))
    for program in programs:
        name = os.path.basename(program)
        rows.append((f"{name} --version", first_line([program, "--version"]),
                     f"{name} {version}"))

    for page in sorted(glob.glob(os.path.join(source, "docs", "*.1"))):
        section = re.search(r"^\.SH COPYRIGHT\n(.*?)(?=^\.SH |\Z)", read(page),
                            re.MULTILINE | re.DOTALL)
        text = section.group(1) if section else ""
        rows.append((f"docs/{os.path.basename(page)} COPYRIGHT",
                     notice in text and "MIT licence" in text, True))
    footer = re.search(r"<footer.*?</footer>", read(os.path.join(source, "web", "index.html")),
                       re.DOTALL)
    text = footer.group(0) if footer else ""
    rows.append(("web/index.html footer",
                 notice in text and re.search(r'<a href="LICENSE.txt"[^>]*>MIT licence</a>',
                                              text) is not None, True))

    wrong = [(where, found, want) for where, found, want in rows if found != want]
    for where, found, want in wrong:
        print(f"{where}: {found!r}, expected {want!r}")
    print(f"{len(rows) - len(wrong)} of {len(rows)} places agree")
    return 1 if wrong else 0


if __name__ == "__main__":
    sys.exit(main())
