#!/usr/bin/env bash
# Builds the Debian package quorvex_<version>_<arch>.deb from a Release build of its own and
# prints where it is: the only line on stdout.
#   BUILD_DIR      build folder (default build-release)
#   OUT_DIR        folder for the package (default out)
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/setup.sh >&2

build=${BUILD_DIR:-build-release}
out=${OUT_DIR:-out}
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DQUORVEX_BUILD_GUI=ON \
  -DQUORVEX_BUILD_TESTS=OFF -DQUORVEX_BUILD_BENCH=OFF -DQUORVEX_SANITIZE= >/dev/null
cmake --build "$build" >&2

rm -rf "$build/package"
if ! cpack --config "$build/CPackConfig.cmake" -B "$build/package" >"$build/cpack.log" 2>&1; then
  cat "$build/cpack.log" >&2
  exit 1
fi
mkdir -p "$out"
deb=$(find "$build/package" -maxdepth 1 -name 'quorvex_*.deb')
mv "$deb" "$out/"
realpath "$out/$(basename "$deb")"
