#!/usr/bin/env bash
# Starts the window on a virtual X display and writes docs/screenshot.png.
#   BUILD_DIR  build folder holding app/quorvex (default build-app)
set -euo pipefail
cd "$(dirname "$0")/.."
program="${BUILD_DIR:-build-app}/app/quorvex"
if [ ! -x "$program" ]; then
    echo "build $program first" >&2
    exit 1
fi
mkdir -p docs
export QT_QPA_PLATFORM=xcb
xvfb-run -a -s "-screen 0 1024x768x24" bash -c '
    set -euo pipefail
    "$1" >/dev/null 2>&1 &
    pid=$!
    window=$(xdotool search --sync --onlyvisible --pid "$pid" --name "^Quorvex V1\.49\.1$" | head -n1)
    sleep 2  # first paint, and the adapter pre-selection 500 ms after start
    eval "$(xdotool getwindowgeometry --shell "$window")"
    import -window root -crop "${WIDTH}x${HEIGHT}+${X}+${Y}" +repage docs/screenshot.png
    kill "$pid"
' screenshot "$program"
echo "wrote docs/screenshot.png"
