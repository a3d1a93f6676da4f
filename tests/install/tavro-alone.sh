#!/usr/bin/env bash
# Keeps scripts/run-example's promise that building tavro needs only CMake, Ninja and a
# compiler: configures a fresh build tree with the script's own settings while CMake can find
# no package, header or library at all (as on a machine without GoogleTest, CLI11, toml++ or
# nlohmann-json), and checks that the configure succeeds and that tavro is the build's only
# program; and that the script builds the tavro target alone.
#   tavro-alone.sh CMAKE SOURCE_DIR
set -u
cmake=$1 source=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

script="$source/scripts/run-example"
settings=$(sed -n 's/^ *cmake --preset release \(.*\) > \/dev\/null$/\1/p' "$script")
[ -n "$settings" ] || { echo "run-example configures no release build"; exit 1; }
grep -qx ' *cmake --build --preset release --target tavro .*' "$script" ||
    { echo "run-example builds more than the tavro target"; exit 1; }

# shellcheck disable=SC2086  # the settings are words
if ! (cd "$source" && "$cmake" --preset release $settings -B "$work/build" \
        -DCMAKE_FIND_ROOT_PATH=/nonexistent -DCMAKE_FIND_ROOT_PATH_MODE_PACKAGE=ONLY \
        -DCMAKE_FIND_ROOT_PATH_MODE_INCLUDE=ONLY -DCMAKE_FIND_ROOT_PATH_MODE_LIBRARY=ONLY \
        > "$work/log" 2>&1); then
    cat "$work/log"; echo "configured with run-example's settings, the build looks for packages"
    exit 1
fi
programs=$(ninja -C "$work/build" -t targets all | sed -n 's/^\(tavro[-a-z]*\): phony$/\1/p')
[ "$programs" = tavro ] ||
    { echo "the build's programs are not tavro alone:"; echo "$programs"; exit 1; }
echo "run-example's build ($settings) configures with no package and builds tavro alone"
