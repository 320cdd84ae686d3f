#!/bin/sh
# Runs a test binary on a virtual X display of its own. Exit 77 (skipped) when a tool is
# missing.
for tool in xvfb-run xdotool xauth; do
    if ! command -v "$tool" >/dev/null 2>&1; then
        echo "SKIP: $tool is not installed"
        exit 77
    fi
done
export QT_QPA_PLATFORM=xcb
exec xvfb-run -a -s "-screen 0 1280x800x24 -nolisten tcp" "$@"
