#!/usr/bin/env bash
# Runs scripts/release twice on the commit at HEAD, each run into a folder of its own, and
# checks that both give the same SHA256SUMS; then checks the first run's artefacts: exactly
# the files expected, named with VERSION; every sum right; the source archive holding the
# commit's files and nothing else; every member of each archive owned by root, dated the
# commit's time, with a fixed mode; the package's and the extension's versions; the
# playground's folder with its page, engine and licence. Without Node.js, the .vsix and the
# playground are left out, and without Emscripten the playground. Skipped (77) outside a git
# checkout or without dpkg-deb.
#   reproducible.sh SOURCE_DIR VERSION
set -u
source=$1 version=$2
git -C "$source" rev-parse --verify -q HEAD > /dev/null || { echo "not a git checkout"; exit 77; }
command -v dpkg-deb > /dev/null || { echo "dpkg-deb is not installed"; exit 77; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

skip=() expected=("tavro-$version.tar.gz" "tavro_${version}_$(dpkg --print-architecture).deb")
if command -v node > /dev/null && command -v npm > /dev/null; then
    expected+=("tavro-vscode-$version.vsix")
else
    echo "Node.js is not installed: no .vsix, no playground"; skip+=(--skip vsix --skip playground)
fi
if command -v node > /dev/null && command -v emcc > /dev/null; then
    expected+=("tavro-playground-$version.tar.gz")
elif command -v node > /dev/null; then
    echo "Emscripten is not installed: no playground"; skip+=(--skip playground)
fi
expected+=(SHA256SUMS)

for run in 1 2; do
    start=$SECONDS
    if ! "$source/scripts/release" --out "$work/$run" "${skip[@]}" > "$work/log$run" 2>&1; then
        cat "$work/log$run"; echo "run $run of scripts/release failed"; exit 1
    fi
    echo "run $run: $((SECONDS - start)) s"
done
status=0
if ! cmp -s "$work/1/SHA256SUMS" "$work/2/SHA256SUMS"; then
    echo "two runs give different artefacts:"; diff "$work/1/SHA256SUMS" "$work/2/SHA256SUMS"
    status=1
fi
cat "$work/1/SHA256SUMS"

dist=$work/1
[ "$(ls "$dist" | sort)" = "$(printf '%s\n' "${expected[@]}" | sort)" ] ||
    { echo "dist holds:"; ls "$dist"; echo "expected:"; printf '%s\n' "${expected[@]}"; status=1; }
(cd "$dist" && sha256sum --quiet -c SHA256SUMS) || { echo "a sum is wrong"; status=1; }
[ "$(wc -l < "$dist/SHA256SUMS")" = $((${#expected[@]} - 1)) ] ||
    { echo "SHA256SUMS does not list every artefact"; status=1; }

epoch=$(git -C "$source" log -1 --format=%ct HEAD)
# Every member of a tar archive: owner 0/0, the commit's date, mode 0755 for folders and 0644
# for files (or 0755 where PROGRAMS=1 and the file is a program).
check_tar() {  # check_tar ARCHIVE PROGRAMS
    python3 - "$1" "$epoch" "$2" <<'PY' || status=1
import sys, tarfile
archive, epoch, programs = sys.argv[1], int(sys.argv[2]), sys.argv[3] == "1"
for m in tarfile.open(archive):
    if m.type == tarfile.XGLTYPE:
        continue
    wrong = []
    if (m.uid, m.gid) != (0, 0): wrong.append(f"owner {m.uid}/{m.gid}")
    if m.mtime != epoch: wrong.append(f"date {m.mtime}")
    if m.mode not in ((0o755,) if m.isdir() else (0o644, 0o755) if programs else (0o644,)):
        wrong.append(f"mode {m.mode:o}")
    if wrong:
        sys.exit(f"{archive.split('/')[-1]}: {m.name}: " + ", ".join(wrong))
PY
}

sources="$dist/tavro-$version.tar.gz"
check_tar "$sources" 1
tar -tzf "$sources" | grep -v '/$' | sed "s|^tavro-$version/||" | sort > "$work/archived"
git -C "$source" ls-tree -r --name-only HEAD | sort > "$work/committed"
cmp -s "$work/archived" "$work/committed" ||
    { echo "the source archive differs from the commit's files:"; diff "$work/committed" "$work/archived" | head; status=1; }

deb="$dist/tavro_${version}_$(dpkg --print-architecture).deb"
[ "$(dpkg-deb -f "$deb" Version)" = "$version" ] || { echo "the .deb is not version $version"; status=1; }
misdated=$(dpkg-deb --fsys-tarfile "$deb" | TZ=UTC tar -t --full-time -v | awk -v d="$(date -u -d "@$epoch" '+%F %T')" '$4 " " $5 != d')
[ -z "$misdated" ] || { echo "files of the .deb not dated from the commit:"; echo "$misdated"; status=1; }

vsix="$dist/tavro-vscode-$version.vsix"
if [ -f "$vsix" ]; then
    python3 - "$vsix" "$version" "$epoch" <<'PY' || status=1
import json, sys, time, zipfile
vsix, version, epoch = sys.argv[1], sys.argv[2], int(sys.argv[3])
packed = zipfile.ZipFile(vsix)
found = json.loads(packed.read("extension/package.json"))["version"]
if found != version:
    sys.exit(f"the .vsix is version {found}, not {version}")
dated = time.gmtime(epoch - epoch % 2)[:6]  # a zip's dates count two seconds at a time
for entry in packed.infolist():
    if entry.date_time != dated:
        sys.exit(f"the .vsix's {entry.filename} is dated {entry.date_time}, not {dated}")
PY
fi

playground="$dist/tavro-playground-$version.tar.gz"
if [ -f "$playground" ]; then
    check_tar "$playground" 0
    for file in index.html engine.wasm LICENSE.txt guide.html; do
        tar -tzf "$playground" | grep -qx "tavro-playground-$version/$file" ||
            { echo "the playground's archive has no $file at the top of its folder"; status=1; }
    done
fi
exit $status
