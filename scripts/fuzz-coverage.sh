#!/usr/bin/env bash
# How much of the code each fuzz target's working corpus reaches, as line and branch coverage of
# the sources that target is about (the GIF codec; the codec and the GIF stage with its palette
# and animation code; the web-page passes; the JPEG stage):
#   scripts/fuzz-coverage.sh [gif|gifstage|pagechain|jpeg ...]   (default: all four)
# Run after scripts/fuzz.sh: it replays build-fuzz/corpus-TARGET (no fuzzing) through a build
# instrumented for source-based coverage (build-fuzz-cov/, outside git) and prints llvm-cov's
# summary per target.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
fuzz=${QUILLON_FUZZ_BUILD:-$root/build-fuzz}
build=${QUILLON_FUZZ_COVERAGE_BUILD:-$root/build-fuzz-cov}
targets=("$@")
((${#targets[@]})) || targets=(gif gifstage pagechain jpeg)

CC=clang CXX=clang++ cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DQUILLON_BUILD_TESTS=OFF -DQUILLON_BUILD_BENCH=OFF -DQUILLON_BUILD_FUZZ=ON \
    -DCMAKE_CXX_FLAGS="-fsanitize=fuzzer-no-link -fprofile-instr-generate -fcoverage-mapping" \
    -DCMAKE_EXE_LINKER_FLAGS="-fprofile-instr-generate" >/dev/null

bx="$root/src/BxCode"
codec=("$bx/BxGIFFile.cpp" "$bx/BxGIFSubBlocks.cpp" "$bx/BxGIFFrameInfo.cpp" "$bx/BxGIFGlobalInfo.cpp"
    "$bx/BxLZWDecoder.cpp" "$bx/BxLZWDecoder.h" "$bx/BxLZWEncoder.cpp" "$bx/BxLZWEncoder.h")
for target in "${targets[@]}"; do
    case $target in
        gif) sources=("${codec[@]}") ;;
        gifstage)
            sources=("$root/src/imageopt/GifOptimizer.cpp" "${codec[@]}" "$bx/BxAnimation.cpp"
                "$bx/BxGIFFrame.cpp" "$bx/BxQuantOctree.cpp" "$bx/BxQuantRemap.cpp"
                "$bx/BxColorTable.cpp")
            ;;
        pagechain) sources=("$root/src/textopt" "$root/src/pipeline/PageChain.cpp") ;;
        jpeg) sources=("$root/src/imageopt/JpegOptimizer.cpp" "$root/src/imageopt/JpegExif.cpp") ;;
        *)
            echo "no fuzz target '$target'" >&2
            exit 2
            ;;
    esac
    corpus="$fuzz/corpus-$target"
    if [[ ! -d $corpus ]]; then
        echo "fuzz_$target: no working corpus at $corpus (run scripts/fuzz.sh $target first)" >&2
        continue
    fi
    cmake --build "$build" --target "fuzz_$target" >/dev/null
    profile="$build/fuzz_$target.profraw"
    rm -f "$profile"
    LLVM_PROFILE_FILE="$profile" "$build/fuzz/fuzz_$target" "$corpus" -runs=0 >/dev/null 2>&1
    llvm-profdata merge -sparse "$profile" -o "$build/fuzz_$target.profdata"
    echo "== fuzz_$target: $(find "$corpus" -type f | wc -l) corpus inputs"
    llvm-cov report "$build/fuzz/fuzz_$target" -instr-profile="$build/fuzz_$target.profdata" \
        "${sources[@]}" | tail -1 |
        awk '{ printf "   lines %s of %s covered (%s), branches %s of %s (%s)\n",
               $8 - $9, $8, $10, $11 - $12, $11, $13 }'
done
