#!/usr/bin/env bash
# Records real senders live many times over, each run checked frame by frame against an
# independent capture: QLC+ (a console) in Art-Net and E1.31, on an idle machine and with a
# core kept busy beside it (its universe threads then fall behind and send what they owe back
# to back), and a sender on the npm library dmxnet (keep-alive resends with the next sequence
# number), installed with npm into --dmxnet DIR (default ~/.cache/quorvex-dmxnet) when missing.
#   bench/real_console.sh [--build DIR] [--runs N] [--frames N] [--dmxnet DIR]
# As root, after building quorvex-cli. Prints one line per run and a summary per series.
set -euo pipefail
cd "$(dirname "$0")/.."
build=build
runs=20
frames=200
dmxnet=${XDG_CACHE_HOME:-$HOME/.cache}/quorvex-dmxnet
while [ $# -gt 0 ]; do
  case "$1" in
    --build) build=$2; shift 2 ;;
    --runs) runs=$2; shift 2 ;;
    --frames) frames=$2; shift 2 ;;
    --dmxnet) dmxnet=$2; shift 2 ;;
    *) echo "usage: $0 [--build DIR] [--runs N] [--frames N] [--dmxnet DIR]" >&2; exit 1 ;;
  esac
done
status=0
for protocol in artnet sacn; do
  for load in "" --load; do
    python3 tests/peers/real_console.py --cli "$build/cli/quorvex-cli" --protocol "$protocol" \
      --runs "$runs" --frames "$frames" $load | grep -E '^(run|[0-9]+ of)' || status=1
  done
done
if [ ! -d "$dmxnet/node_modules/dmxnet" ] && command -v npm >/dev/null; then
  npm install --silent --prefix "$dmxnet" dmxnet@0.9.0 >/dev/null 2>&1 || true
fi
python3 tests/peers/real_console.py --cli "$build/cli/quorvex-cli" --sender dmxnet \
  --dmxnet "$dmxnet" --runs "$runs" --frames "$frames" | grep -E '^(run|[0-9]+ of|skipped)' ||
  status=1
exit $status
