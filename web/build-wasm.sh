#!/usr/bin/env bash
# Builds the engine for the playground with Emscripten: build/wasm/web/engine.js (an ES module
# factory) and engine.wasm, from the core's sources in a Release build with the portable switch
# dispatch (WebAssembly has no jumps through label addresses).
#   web/build-wasm.sh
set -euo pipefail
cd "$(dirname "$0")/.."
# Debian's emscripten runs its JavaScript tools with the acorn parser from Debian's node-acorn,
# which a Node.js from elsewhere does not look for by itself.
export NODE_PATH=/usr/share/nodejs${NODE_PATH:+:$NODE_PATH}
emcmake cmake -S . -B build/wasm -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DTAVRO_THREADED_DISPATCH=OFF -DTAVRO_TESTS=OFF > /dev/null
cmake --build build/wasm --target tavro_wasm -j 2
