#!/usr/bin/env bash
# Builds the engine for the playground with Emscripten: build/wasm/web/engine.js (an ES module
# factory) and engine.wasm, from the core's sources in a Release build with the portable switch
# dispatch (WebAssembly has no jumps through label addresses); and the fast path's agreement
# tests beside it (tavro_wasm_fastrun_tests.js, for Node).
#   web/build-wasm.sh
set -euo pipefail
cd "$(dirname "$0")/.."
# Debian's emscripten runs its JavaScript tools with the acorn parser from Debian's node-acorn,
# which a Node.js from elsewhere does not look for by itself.
export NODE_PATH=/usr/share/nodejs${NODE_PATH:+:$NODE_PATH}
emcmake cmake -S . -B build/wasm -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DTAVRO_THREADED_DISPATCH=OFF -DTAVRO_TESTS=OFF > /dev/null
targets=(tavro_wasm)
# The agreement tests of the fast path, where GoogleTest's sources are there (web/CMakeLists.txt).
[ -f /usr/src/googletest/googletest/src/gtest-all.cc ] && targets+=(tavro_wasm_fastrun_tests)
cmake --build build/wasm --target "${targets[@]}" -j 2
