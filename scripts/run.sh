#!/usr/bin/env bash
# Sets up, builds and runs Quorvex: the window when a display is available, otherwise a
# demonstration of the headless recorder (make a capture, record it, check the file).
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/setup.sh

build=${BUILD_DIR:-build}
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUORVEX_BUILD_GUI=ON >/dev/null
cmake --build "$build" --target quorvex quorvex-cli

if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
  exec "$build/app/quorvex" "$@"
fi
echo "No display found: running the headless recorder's demonstration instead."
exec ./scripts/demo.sh "$build"
