#!/usr/bin/env bash
# Builds the Debian package of a build with CPack into a temporary directory and checks it:
# its control fields (name, version, section, maintainer, description), its file list (the
# program, the manual page, the guide and the examples under /usr), and that the packed
# program runs a packed example with the expected output. Skipped (77) without dpkg-deb.
#   package-deb.sh CPACK BUILD_DIR SOURCE_DIR VERSION
set -u
cpack=$1 build=$2 source=$3 version=$4
command -v dpkg-deb > /dev/null || { echo "dpkg-deb is not installed"; exit 77; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

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
check_field Maintainer "Tavro maintainers"
[ -n "$(field Description)" ] || { echo "no Description"; status=1; }
[ -n "$(field Depends)" ] || { echo "no Depends"; status=1; }

dpkg-deb -c "$deb" | awk '{print $NF}' > "$work/files"
expected=(./usr/bin/tavro ./usr/share/man/man1/tavro.1 ./usr/share/doc/tavro/language.md
    ./usr/bin/tavro-lsp ./usr/share/man/man1/tavro-lsp.1)
for file in "$source"/examples/*.* "$source"/examples/errors/*; do
    expected+=("./usr/share/doc/tavro/examples/${file#"$source/examples/"}")
done
for file in "${expected[@]}"; do
    grep -qxF "$file" "$work/files" || { echo "not in the package: $file"; status=1; }
done

dpkg-deb -x "$deb" "$work/root"
unset TAVRO_BLESS
bash "$source/tests/golden/run-case.sh" "$work/root/usr/bin/tavro" \
    "$work/root/usr/share/doc/tavro/examples" hello || status=1
exit $status
