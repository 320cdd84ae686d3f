#!/usr/bin/env bash
# Builds the Debian package quorvex_<version>_<arch>.deb from a Release build of its own and
# prints where it is: the only line on stdout.
#   --arch arm64   cross-builds the headless part (quorvex-cli and the capture helper, no
#                  window) for 64-bit ARM; default: this machine's architecture, with the window
#   BUILD_DIR      build folder (default build-release, build-release-arm64 for arm64)
#   OUT_DIR        folder for the package (default out)
set -euo pipefail
cd "$(dirname "$0")/.."

arch=$(dpkg --print-architecture)
while [ $# -gt 0 ]; do
  case $1 in
    --arch) arch=${2:?--arch needs a name}; shift 2 ;;
    *) echo "usage: $0 [--arch arm64]" >&2; exit 1 ;;
  esac
done

config=(-DQUORVEX_BUILD_GUI=ON)
build=${BUILD_DIR:-build-release}
if [ "$arch" != "$(dpkg --print-architecture)" ]; then
  [ "$arch" = arm64 ] || { echo "$0: no cross build for $arch (only arm64)" >&2; exit 1; }
  ./scripts/setup.sh --arm64 >&2
  config=(-DCMAKE_TOOLCHAIN_FILE="$PWD/cmake/aarch64-linux-gnu.cmake" -DQUORVEX_BUILD_GUI=OFF)
  build=${BUILD_DIR:-build-release-arm64}
else
  ./scripts/setup.sh >&2
fi

out=${OUT_DIR:-out}
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release "${config[@]}" \
  -DQUORVEX_BUILD_TESTS=OFF -DQUORVEX_BUILD_BENCH=OFF -DQUORVEX_SANITIZE= >/dev/null
cmake --build "$build" >&2

rm -rf "$build/package"
if ! cpack --config "$build/CPackConfig.cmake" -B "$build/package" >"$build/cpack.log" 2>&1; then
  cat "$build/cpack.log" >&2
  exit 1
fi
mkdir -p "$out"
deb=$(find "$build/package" -maxdepth 1 -name "quorvex_*_$arch.deb")
[ -n "$deb" ] || { echo "$0: cpack made no $arch package" >&2; ls "$build/package" >&2; exit 1; }
mv "$deb" "$out/"
realpath "$out/$(basename "$deb")"
