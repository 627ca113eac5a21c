#!/bin/sh
# Size, fidelity and time of the GIF stage beside `gifsicle -O3 --colors 128` over the test
# corpus: per file the sizes and the worst frame PSNR of each ("=" when every frame shows the
# original's pixels exactly), then the totals and whether each target of the stage is met.
# Usage: bench/gif-quality.sh [build folder] [corpus folder] [runs per file, the fastest counts]
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build}
corpus=${2:-$root/tests/corpus/gif}
repeats=${3:-3}
command -v gifsicle >/dev/null || { echo "gifsicle is missing (scripts/install-deps.sh)" >&2; exit 1; }
cmake --build "$build" --target gif_quality >/dev/null
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
"$build/bench/gif_quality" "$corpus" "$work" gifsicle "$repeats"
