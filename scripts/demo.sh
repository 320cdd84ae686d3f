#!/usr/bin/env bash
# The headless recorder in three steps, without network or display: writes a capture of the
# test pattern, records it into a .RGB file, and checks the result. Builds nothing.
#   scripts/demo.sh [BUILD_DIR]   build folder holding cli/quorvex-cli (default: build)
#   OUT_DIR=...                   where the files go (default: out/demo in the repository)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(realpath -m "${1:-$root/build}")
cli="$build/cli/quorvex-cli"
if [ ! -x "$cli" ]; then
  echo "demo: $cli not found; build first, e.g. cmake -S . -B build -G Ninja && ninja -C build" >&2
  exit 1
fi
out=$(realpath -m "${OUT_DIR:-$root/out/demo}")
mkdir -p "$out"
rm -f "$out/demo.pcap" "$out/demo.RGB"

echo "== send: 120 frames of the test pattern (universes 0-5, 512 channels, ArtSync) to a capture file"
"$cli" send --pcap "$out/demo.pcap" --frames 120 --sync

echo
echo "== record: 100 frames from the capture file; demo.rgb is saved as demo.RGB"
"$cli" record --file "$out/demo.pcap" --output "$out/demo.rgb" --frames 100

echo
echo "== inspect"
"$cli" inspect "$out/demo.RGB"
