#!/usr/bin/env bash
# Builds the Debian package of a build with CPack into a temporary directory and checks it:
# its control fields (name, version, section, maintainer, description), its file list (the
# programs, their compressed manual pages, the copyright file, the changelog, the guide and the
# examples under /usr), that its dates are SOURCE_DATE_EPOCH's, that no file holds a path of
# the build machine (but in a sanitizer build), that the packed programs run a packed example
# with the expected output, and that lintian reports no error and no warning. Skipped (77)
# without dpkg-deb; without lintian, every other check runs and the test then counts as skipped.
#   package-deb.sh CPACK BUILD_DIR SOURCE_DIR VERSION
set -u
cpack=$1 build=$2 source=$3 version=$4
command -v dpkg-deb > /dev/null || { echo "dpkg-deb is not installed"; exit 77; }
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
expected=(./usr/bin/tavro ./usr/bin/tavro-list ./usr/share/man/man1/tavro.1.gz
    ./usr/share/man/man1/tavro-list.1.gz ./usr/bin/tavro-dap
    ./usr/share/man/man1/tavro-dap.1.gz ./usr/bin/tavro-lsp
    ./usr/share/man/man1/tavro-lsp.1.gz ./usr/bin/tavro-grade
    ./usr/share/man/man1/tavro-grade.1.gz ./usr/share/doc/tavro/grading.md
    ./usr/share/doc/tavro/copyright
    ./usr/share/doc/tavro/changelog.gz ./usr/share/doc/tavro/language.md)
for file in "$source"/examples/*.* "$source"/examples/errors/*; do
    expected+=("./usr/share/doc/tavro/examples/${file#"$source/examples/"}")
done
for file in "${expected[@]}"; do
    grep -qxF "$file" "$work/files" || { echo "not in the package: $file"; status=1; }
done

dpkg-deb -x "$deb" "$work/root"
zcat "$work/root/usr/share/doc/tavro/changelog.gz" |
    grep -q "^ -- .*  Thu, 01 Jan 2026 00:00:00 +0000$" ||
    { echo "the changelog's entry is not dated from SOURCE_DATE_EPOCH"; status=1; }
for page in tavro tavro-list; do
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
