#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and fuzzes, for about two minutes in all, the Art-Net
# and sACN packet recognition, the .RGB format (header parsing, check, repair, reading), the
# framing (packet sequences through the survey and the frame assembler) and the remote
# control's request parsing and routing; fails on any crash, leak or sanitizer report.
#   BUILD_DIR      build folder (default build-fuzz)
#   FUZZ_SECONDS   how long to fuzz, shared by the targets (default 120)
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/setup.sh

build=${BUILD_DIR:-build-fuzz}
CC=clang CXX=clang++ cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DQUORVEX_BUILD_FUZZ=ON -DQUORVEX_BUILD_GUI=OFF -DQUORVEX_BUILD_BENCH=OFF \
  -DQUORVEX_BUILD_TESTS=ON >/dev/null
cmake --build "$build" --parallel 2 --target art_packet_fuzz art_fuzz_seeds rgb_format_fuzz \
  rgb_fuzz_seeds framing_fuzz framing_fuzz_seeds remote_api_fuzz remote_fuzz_seeds

seconds=$(( ${FUZZ_SECONDS:-120} / 4 ))
# fuzz TARGET SEEDER [libFuzzer options]: new inputs go to corpus/ (kept between runs); seeds/
# is written afresh and read only.
fuzz() {
  local target=$1 seeder=$2
  shift 2
  local work="$build/fuzz-run/$target"
  rm -rf "$work/seeds" "$work/crashes"
  mkdir -p "$work/seeds" "$work/corpus" "$work/crashes"
  "$build/tests/fuzz/$seeder" "$work/seeds"
  "$build/tests/fuzz/$target" -max_total_time="$(( seconds > 0 ? seconds : 1 ))" \
    -print_final_stats=1 -artifact_prefix="$work/crashes/" "$@" "$work/corpus" "$work/seeds"
}
fuzz art_packet_fuzz art_fuzz_seeds
# Room for a header with a few ports and some frames.
fuzz rgb_format_fuzz rgb_fuzz_seeds -max_len=8192
# Long enough for a few hundred packets: a survey, and frames after it.
fuzz framing_fuzz framing_fuzz_seeds -max_len=4096
fuzz remote_api_fuzz remote_fuzz_seeds -max_len=4096
