#!/usr/bin/env bash
# Builds the VS Code extension and packages it with @vscode/vsce, as its `npm run package`
# does, into a temporary directory; lists the package's files, and checks them: no warning
# from the packer (which would ask whether to go on), exactly the files the extension needs
# (no sources, tests or node_modules), the project's licence, and a size under a limit. Needs
# the npm packages of scripts/install-editor-deps.
#   package-vsix.sh EXTENSION_DIR
set -u
dir=$1
cd "$dir" || exit 1
[ -d node_modules ] || { echo "run scripts/install-editor-deps first"; exit 1; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# A second --out, after the script's own, is the one the packer takes.
npm run --silent package -- --out "$work/tavro.vsix" < /dev/null > "$work/log" 2>&1 ||
    { cat "$work/log"; exit 1; }
status=0
if grep -iE 'warn|continue\?' "$work/log"; then
    echo "vsce warns when it packs the extension"; status=1
fi

# The files, the licence, and the manifest's contributions: the language server's language and
# the debugger with the launch attributes tavro-dap reads.
python3 - "$work/tavro.vsix" ../../LICENSE <<'PY' || status=1
import json, sys, zipfile
packed = zipfile.ZipFile(sys.argv[1])
files = sorted(packed.namelist())
print("tavro.vsix:", *files, sep="\n  ")
if files != ["[Content_Types].xml", "extension.vsixmanifest", "extension/LICENSE.txt",
             "extension/dist/extension.js", "extension/language-configuration.json",
             "extension/package.json", "extension/readme.md", "extension/snippets/tavro.json",
             "extension/syntaxes/tavro.tmLanguage.json"]:
    sys.exit("the package's files are not the extension's alone")
if packed.read("extension/LICENSE.txt") != open(sys.argv[2], "rb").read():
    sys.exit("extension/LICENSE.txt differs from the project's LICENSE")
if b"<License>extension/LICENSE.txt</License>" not in packed.read("extension.vsixmanifest"):
    sys.exit("the package's manifest does not name its licence")
manifest = json.loads(packed.read("extension/package.json"))
debugger = next(d for d in manifest["contributes"]["debuggers"] if d["type"] == "tavro")
attributes = set(debugger["configurationAttributes"]["launch"]["properties"])
missing = {"program", "input", "maxSteps", "stopOnEntry", "seed"} - attributes
commands = {c["command"] for c in manifest["contributes"]["commands"]}
if missing or "tavro.debugFile" not in commands:
    sys.exit(f"the debugger contribution lacks {sorted(missing)} or tavro.debugFile")
PY

size=$(stat -c %s "$work/tavro.vsix")
limit=$((512 * 1024))
echo "size: $size bytes (limit $limit)"
[ "$size" -le "$limit" ] || { echo "tavro.vsix is larger than $limit bytes"; status=1; }
exit $status
