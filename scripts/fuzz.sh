#!/usr/bin/env bash
# Builds the libFuzzer target with clang and fuzzes Art-Net and sACN packet recognition for
# about a minute; fails on any crash, leak or sanitizer report.
#   BUILD_DIR      build folder (default build-fuzz)
#   FUZZ_SECONDS   how long to fuzz (default 60)
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/setup.sh

build=${BUILD_DIR:-build-fuzz}
CC=clang CXX=clang++ cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DQUORVEX_BUILD_FUZZ=ON -DQUORVEX_BUILD_GUI=OFF -DQUORVEX_BUILD_BENCH=OFF \
  -DQUORVEX_BUILD_TESTS=ON >/dev/null
cmake --build "$build" --parallel 2 --target art_packet_fuzz art_fuzz_seeds

work="$build/fuzz-run"
rm -rf "$work/seeds" "$work/crashes"
mkdir -p "$work/seeds" "$work/corpus" "$work/crashes"
"$build/tests/fuzz/art_fuzz_seeds" "$work/seeds"
# New inputs go to corpus/ (kept between runs); seeds/ is read only.
"$build/tests/fuzz/art_packet_fuzz" -max_total_time="${FUZZ_SECONDS:-60}" -print_final_stats=1 \
  -artifact_prefix="$work/crashes/" "$work/corpus" "$work/seeds"
