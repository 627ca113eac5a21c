#!/bin/sh
# Size, fidelity and time of the JPEG stage (progressive recompression) beside
# `jpegtran -copy none -progressive` and `jpegoptim --strip-all --all-progressive` over the test
# corpus: per file the sizes, the bytes of the segments the stage keeps on purpose and whether
# each result decodes to the original's pixels, then the summary.
# Usage: bench/jpeg-quality.sh [build folder] [corpus folder] [rounds]
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build}
corpus=${2:-$root/tests/corpus/jpeg}
rounds=${3:-3}
for tool in jpegtran jpegoptim; do
    command -v $tool >/dev/null || { echo "$tool is missing (scripts/install-deps.sh)" >&2; exit 1; }
done
cmake --build "$build" --target jpeg_quality >/dev/null
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
echo "load average: $(cut -d' ' -f1-3 /proc/loadavg)"
"$build/bench/jpeg_quality" "$corpus" "$work" "$rounds"
echo "load average: $(cut -d' ' -f1-3 /proc/loadavg)"
