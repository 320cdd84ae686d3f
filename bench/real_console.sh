#!/usr/bin/env bash
# Records QLC+ (a real console) live many times over, each run checked frame by frame against an
# independent capture: Art-Net and E1.31, on an idle machine and with a core kept busy beside
# the console (its universe threads then fall behind and send what they owe back to back).
#   bench/real_console.sh [--build DIR] [--runs N] [--frames N]
# As root, after building quorvex-cli. Prints one line per run and a summary per series.
set -euo pipefail
cd "$(dirname "$0")/.."
build=build
runs=20
frames=200
while [ $# -gt 0 ]; do
  case "$1" in
    --build) build=$2; shift 2 ;;
    --runs) runs=$2; shift 2 ;;
    --frames) frames=$2; shift 2 ;;
    *) echo "usage: $0 [--build DIR] [--runs N] [--frames N]" >&2; exit 1 ;;
  esac
done
status=0
for protocol in artnet sacn; do
  for load in "" --load; do
    python3 tests/peers/real_console.py --cli "$build/cli/quorvex-cli" --protocol "$protocol" \
      --runs "$runs" --frames "$frames" $load | grep -E '^(run|[0-9]+ of)' || status=1
  done
done
exit $status
