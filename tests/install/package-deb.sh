#!/usr/bin/env bash
# Builds the Debian package of a build with CPack into a temporary directory and checks it:
# its control fields (name, version, section, maintainer, description), its file list (the
# programs, their compressed manual pages, the copyright file, the changelog, the guide and the
# examples under /usr), that its dates are SOURCE_DATE_EPOCH's, that the copyright file holds
# LICENSE's terms in the machine-readable format and the changelog CHANGELOG.md's versions and
# days, that no file holds a path of the build machine (but in a sanitizer build), that the
# packed programs run a packed example with the expected output, and that lintian reports no
# error and no warning. Skipped (77) without dpkg-deb and dpkg-parsechangelog; without lintian,
# every other check runs and the test then counts as skipped.
#   package-deb.sh CPACK BUILD_DIR SOURCE_DIR VERSION
set -u
cpack=$1 build=$2 source=$3 version=$4
for tool in dpkg-deb dpkg-parsechangelog; do
    command -v $tool > /dev/null || { echo "$tool is not installed"; exit 77; }
done
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

export SOURCE_DATE_EPOCH=1767225600  # 2026-01-01 00:00:00 UTC
if ! "$cpack" -G DEB --config "$build/CPackConfig.cmake" -B "$work/out" > "$work/log" 2>&1; then
    cat "$work/log"; exit 1
fi
debs=("$work"/out/*.deb)
if [ ${#debs[@]} != 1 ] || [ ! -f "${debs[0]}" ]; then
    echo "expected one .deb"; cat "$work/log"; exit 1
fi
deb=${debs[0]}
status=0

field() { dpkg-deb -f "$deb" "$1"; }
check_field() {
    [ "$(field "$1")" = "$2" ] || { echo "$1 is '$(field "$1")', expected '$2'"; status=1; }
}
check_field Package tavro
check_field Version "$version"
check_field Section devel
case $(field Maintainer) in
"Tavro maintainers <"*@*">") ;;
*) echo "Maintainer is '$(field Maintainer)', expected a name and an address"; status=1 ;;
esac
[ -n "$(field Description)" ] || { echo "no Description"; status=1; }
[ -n "$(field Depends)" ] || { echo "no Depends"; status=1; }

dpkg-deb -c "$deb" | awk '{print $NF}' > "$work/files"
misdated=$(TZ=UTC dpkg-deb -c "$deb" | awk '$4 " " $5 != "2026-01-01 00:00" { print $4, $5, $NF }')
if [ -n "$misdated" ]; then
    echo "files not dated from SOURCE_DATE_EPOCH:"; echo "$misdated"; status=1
fi
programs="tavro tavro-list tavro-dap tavro-lsp tavro-grade"
expected=(./usr/share/doc/tavro/grading.md ./usr/share/doc/tavro/copyright
    ./usr/share/doc/tavro/changelog.gz ./usr/share/doc/tavro/language.md)
for program in $programs; do
    expected+=("./usr/bin/$program" "./usr/share/man/man1/$program.1.gz")
done
for file in "$source"/examples/*.* "$source"/examples/errors/*; do
    expected+=("./usr/share/doc/tavro/examples/${file#"$source/examples/"}")
done
for file in "${expected[@]}"; do
    grep -qxF "$file" "$work/files" || { echo "not in the package: $file"; status=1; }
done

for file in ./usr/share/doc/tavro/LICENSE ./usr/share/doc/tavro/CHANGELOG.md; do
    grep -qxF "$file" "$work/files" && { echo "$file is packed beside what Debian asks for"; status=1; }
done

dpkg-deb -x "$deb" "$work/root"
doc=$work/root/usr/share/doc/tavro
# The copyright file: the format's first line, one Expat paragraph for every file, LICENSE's
# holders, and its terms word for word (a paragraph's lines are indented, " ." a blank line).
head -n 1 "$doc/copyright" |
    grep -qx 'Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/' ||
    { echo "the copyright file is not in the machine-readable format"; status=1; }
holders=$(sed -n 's/^Copyright (c) //p' "$source/LICENSE")
grep -qxF "Copyright: $holders" "$doc/copyright" ||
    { echo "the copyright file does not name '$holders'"; status=1; }
sed -n '/^License: Expat$/,/^$/p' "$doc/copyright" | tail -n +2 | sed 's/^ //; s/^\.$//' \
    > "$work/terms"
sed -n '/^Permission is hereby granted/,$p' "$source/LICENSE" | cmp -s - "$work/terms" ||
    { echo "the copyright file's Expat terms differ from LICENSE's"; status=1; }
# The changelog: CHANGELOG.md's versions, newest first, each entry dated its section's day.
zcat "$doc/changelog.gz" > "$work/changelog"
dpkg-parsechangelog -l "$work/changelog" --all --format rfc822 2> "$work/parse" |
    sed -n 's/^Version: //p; s/^Date: ..., \(..\) \(...\) \(....\) 00:00:00 +0000$/\3 \2 \1/p' \
    > "$work/entries"
sed -n 's/^## \([0-9.]*\) (\(....\)-\(..\)-\(..\))$/\1 \2 \3 \4/p' "$source/CHANGELOG.md" |
    while read -r v y m d; do echo "$v"; LC_ALL=C date -u -d "$y-$m-$d" '+%Y %b %d'; done \
    > "$work/sections"
if [ -s "$work/parse" ] || [ ! -s "$work/sections" ] || ! cmp -s "$work/sections" "$work/entries"; then
    echo "the changelog's entries differ from CHANGELOG.md's sections:"; cat "$work/parse"
    diff "$work/sections" "$work/entries"; status=1
fi
[ "$(head -n 1 "$work/entries")" = "$version" ] ||
    { echo "the changelog's latest entry is not version $version"; status=1; }
for page in $programs; do
    zcat "$work/root/usr/share/man/man1/$page.1.gz" 2> /dev/null |
        cmp -s - "$source/docs/$page.1" ||
        { echo "$page.1.gz does not hold docs/$page.1"; status=1; }
done
# A sanitizer build keeps its source paths for its reports (TAVRO_SANITIZE=ON): not checked there.
paths=("$(realpath "$source")" "$(realpath "$build")")
[ "${TAVRO_SANITIZE:-OFF}" = ON ] && paths=()
for path in "${paths[@]}"; do
    if grep -rlF "$path" "$work/root" > "$work/paths"; then
        echo "files that hold the path $path:"; cat "$work/paths"; status=1
    fi
done
unset TAVRO_BLESS
bash "$source/tests/golden/run-case.sh" "$work/root/usr/bin/tavro" \
    "$work/root/usr/share/doc/tavro/examples" hello || status=1
"$work/root/usr/bin/tavro-dap" --version | grep -qx "tavro-dap $version" ||
    { echo "the packed tavro-dap does not run"; status=1; }

"$work/root/usr/bin/tavro-list" "$work/root/usr/share/doc/tavro/examples/hello.tas" |
    cmp -s - "$source/tests/golden-list/hello.stdout" ||
    { echo "the packed tavro-list lists hello.tas differently"; status=1; }

if ! command -v lintian > /dev/null; then
    echo "lintian is not installed"; [ $status = 0 ] && exit 77; exit 1
fi
# Only the tags count: as root, lintian also says that it would rather not run as root.
lintian "$deb" > "$work/lintian" 2>&1
if grep -E '^[EW]: ' "$work/lintian"; then
    echo "lintian reports errors or warnings"; status=1
fi
exit $status
