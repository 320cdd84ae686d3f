#!/usr/bin/env bash
# Writes docs/screenshot.png: the window during a live recording of the test pattern, with the
# live input view filled, on Qt's offscreen platform. The traffic stays in a network namespace
# of its own, which takes root (sudo is used when you are not).
#   BUILD_DIR  build folder holding tests/app/app_window_screenshot (default build)
set -euo pipefail
cd "$(dirname "$0")/.."
program="${BUILD_DIR:-build}/tests/app/app_window_screenshot"
if [ ! -x "$program" ]; then
    echo "build $program first" >&2
    exit 1
fi
mkdir -p docs
sudo_cmd=()
[ "$(id -u)" -ne 0 ] && sudo_cmd=(sudo)
"${sudo_cmd[@]}" env QT_QPA_PLATFORM=offscreen "$program" docs/screenshot.png
echo "wrote docs/screenshot.png"
