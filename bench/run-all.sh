#!/usr/bin/env bash
# Runs every benchmark program of a build: bench/run-all.sh <build-dir>
set -euo pipefail

build_dir=${1:?usage: bench/run-all.sh <build-dir>}
bench_dir="$build_dir/bench"
if [ ! -d "$bench_dir" ]; then
    echo "no benchmarks built in $bench_dir" >&2
    exit 1
fi

# Window benchmarks run without a display.
export QT_QPA_PLATFORM=${QT_QPA_PLATFORM:-offscreen}

status=0
found=0
for program in "$bench_dir"/bench_*; do
    [ -f "$program" ] && [ -x "$program" ] || continue
    found=1
    echo "== $(basename "$program")"
    if ! "$program"; then
        echo "$(basename "$program") failed" >&2
        status=1
    fi
done
if [ "$found" = 0 ]; then
    echo "no bench_* programs in $bench_dir" >&2
    exit 1
fi
exit "$status"
