#!/usr/bin/env bash
# Records real senders live many times over, each run checked frame by frame against an
# independent capture: QLC+ (a console) in Art-Net and E1.31, on an idle machine and with a
# core kept busy beside it (its universe threads then fall behind and send what they owe back
# to back), and a sender on the npm library dmxnet (keep-alive resends with the next sequence
# number), installed with npm into --dmxnet DIR (default ~/.cache/quorvex-dmxnet) when missing,
# and OLA (olad's Art-Net plugin: a counter per port, ports apart, universes in any order).
#   bench/real_console.sh [--build DIR] [--runs N] [--frames N] [--dmxnet DIR] [--keep DIR]
#                         [--only qlcplus|dmxnet|ola]
# As root, after building quorvex-cli. Prints one line per run and a summary per series; with
# --keep, each run that was not whole leaves its capture, recording and log in DIR/SERIES/run-N.
set -euo pipefail
cd "$(dirname "$0")/.."
build=build
runs=20
frames=200
dmxnet=${XDG_CACHE_HOME:-$HOME/.cache}/quorvex-dmxnet
keep=
only=
usage="usage: $0 [--build DIR] [--runs N] [--frames N] [--dmxnet DIR] [--keep DIR] [--only SENDER]"
while [ $# -gt 0 ]; do
  case "$1" in
    --build) build=$2; shift 2 ;;
    --runs) runs=$2; shift 2 ;;
    --frames) frames=$2; shift 2 ;;
    --dmxnet) dmxnet=$2; shift 2 ;;
    --keep) keep=$2; shift 2 ;;
    --only) only=$2; shift 2 ;;
    *) echo "$usage" >&2; exit 1 ;;
  esac
done
status=0
series() {  # NAME SENDER [real_console.py arguments...]
  local name=$1 sender=$2
  shift 2
  [ -z "$only" ] || [ "$only" = "$sender" ] || return 0
  local args=(--cli "$build/cli/quorvex-cli" --sender "$sender" --runs "$runs" --frames "$frames")
  [ -z "$keep" ] || args+=(--keep "$keep/$name")
  python3 tests/peers/real_console.py "${args[@]}" "$@" | grep -E '^(run|[0-9]+ of|skipped)' ||
    status=1
}
for protocol in artnet sacn; do
  series "qlcplus-$protocol" qlcplus --protocol "$protocol"
  series "qlcplus-$protocol-busy" qlcplus --protocol "$protocol" --load
done
if [ -z "$only" ] || [ "$only" = dmxnet ]; then
  if [ ! -d "$dmxnet/node_modules/dmxnet" ] && command -v npm >/dev/null; then
    npm install --silent --prefix "$dmxnet" dmxnet@0.9.0 >/dev/null 2>&1 || true
  fi
fi
series dmxnet dmxnet --dmxnet "$dmxnet"
series ola ola
exit $status
