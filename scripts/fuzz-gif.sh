#!/usr/bin/env bash
# Fuzzes the GIF reader and writer with libFuzzer for SECONDS (default 60).
#   scripts/fuzz-gif.sh [SECONDS]
# Builds a separate clang tree (build-fuzz/, outside git) with the core instrumented, seeds a
# working corpus from the shared GIF corpus, and runs one fuzzing process. Crashes land in
# build-fuzz/findings/; each becomes a regression test in tests/BxCode/FuzzFindingsTest.cpp.
set -euo pipefail

seconds=${1:-60}
root=$(cd "$(dirname "$0")/.." && pwd)
build=${QUILLON_FUZZ_BUILD:-$root/build-fuzz}
shared=${QUILLON_CORPUS_DIR:-$root/../shared/corpus}

CC=clang CXX=clang++ cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DQUILLON_BUILD_TESTS=OFF -DQUILLON_BUILD_BENCH=OFF -DQUILLON_BUILD_FUZZ=ON \
    -DCMAKE_CXX_FLAGS="-fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=undefined" \
    >/dev/null
cmake --build "$build" --target fuzz_gif

mkdir -p "$build/fuzz-corpus" "$build/findings" "$build/seeds"
cp -n "$shared"/gif/*.gif "$shared"/gif/malformed/*.gif "$build/seeds/" 2>/dev/null || true

# One process: the machine has two cores and the other is for building and testing meanwhile.
"$build/fuzz/fuzz_gif" "$build/fuzz-corpus" "$build/seeds" \
    -dict="$root/fuzz/gif.dict" \
    -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -malloc_limit_mb=1024 \
    -max_len=65536 -artifact_prefix="$build/findings/" -print_final_stats=1
