#!/usr/bin/env bash
# Fuzzes one target, or every target in turn, with libFuzzer for SECONDS each (default 60):
#   scripts/fuzz.sh gif|gifstage|pagechain|jpeg|all [SECONDS]
# Builds a separate clang tree (build-fuzz/, outside git) with the core instrumented, seeds a
# working corpus from tests/corpus, and runs one fuzzing process (the machine has two cores;
# the other is left for building and testing). Crashes land in build-fuzz/findings/; each becomes
# a regression test. Each run's output is kept in build-fuzz/logs/TARGET.log, and its closing
# figures (executions, coverage, corpus) are printed at the end; `all` stops at the first target
# that finds something, so that the finding is looked at before the hour goes on.
set -euo pipefail

target=${1:?usage: scripts/fuzz.sh gif|gifstage|pagechain|jpeg|all [SECONDS]}
seconds=${2:-60}
root=$(cd "$(dirname "$0")/.." && pwd)
build=${QUILLON_FUZZ_BUILD:-$root/build-fuzz}
samples=$root/tests/corpus

CC=clang CXX=clang++ cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DQUILLON_BUILD_TESTS=OFF -DQUILLON_BUILD_BENCH=OFF -DQUILLON_BUILD_FUZZ=ON \
    -DCMAKE_CXX_FLAGS="-fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=undefined" \
    >/dev/null

if [[ $target == all ]]; then
    for each in gif gifstage pagechain jpeg; do
        "$0" "$each" "$seconds"
    done
    exit 0
fi
cmake --build "$build" --target "fuzz_$target"

corpus="$build/corpus-$target"
seeds="$build/seeds-$target"
mkdir -p "$corpus" "$seeds" "$build/findings"
extra=()
case $target in
    gif | gifstage)
        cp -n "$samples"/gif/*.gif "$samples"/gif/malformed/*.gif "$seeds/" 2>/dev/null || true
        extra=(-dict="$root/fuzz/gif.dict" -max_len=65536 -malloc_limit_mb=1024)
        ;;
    jpeg)
        cp -n "$samples"/jpeg/*.jpg "$samples"/jpeg/malformed/* "$seeds/" 2>/dev/null || true
        ;;
    pagechain)
        # The first byte of an input picks the chain's options.
        for page in "$samples"/html/*.html; do
            { printf '\077'; head -c 60000 "$page"; } >"$seeds/$(basename "$page")"
        done
        extra=(-max_len=65536)
        ;;
    *)
        echo "no fuzz target '$target'" >&2
        exit 2
        ;;
esac

mkdir -p "$build/logs"
log="$build/logs/$target.log"
status=0
"$build/fuzz/fuzz_$target" "$corpus" "$seeds" "${extra[@]}" \
    -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
    -artifact_prefix="$build/findings/" -print_final_stats=1 >"$log" 2>&1 || status=$?
echo "fuzz_$target, $seconds s: $(grep -E '^#[0-9]+' "$log" | tail -1)"
grep -E '^stat::(number_of_executed_units|peak_rss_mb)' "$log" || true
if ((status != 0)); then
    echo "fuzz_$target stopped with a finding (exit $status); see $log" >&2
    grep -E '^(==|SUMMARY|artifact_prefix|Test unit written)' "$log" | head -20 >&2
    exit "$status"
fi
