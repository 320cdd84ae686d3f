#!/usr/bin/env bash
# Sets up, builds and runs every test.
#   BUILD_DIR      build folder (default build)
#   SANITIZE       'address;undefined' or 'thread' for a sanitizer build
#   WERROR=ON      warnings are errors
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/setup.sh

build=${BUILD_DIR:-build}
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUORVEX_BUILD_GUI=ON \
  -DQUORVEX_WERROR="${WERROR:-OFF}" -DQUORVEX_SANITIZE="${SANITIZE:-}" >/dev/null
cmake --build "$build"
ctest --test-dir "$build" --output-on-failure -j2 --timeout 600
