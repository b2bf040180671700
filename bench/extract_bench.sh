#!/usr/bin/env bash
# Times `zqx extract` on a 10-minute synthesised file: one file with one job, then two files with
# --jobs 1 and --jobs 2. Prints wall seconds and the speed in multiples of real time.
# Usage: bench/extract_bench.sh [path/to/zqx]   (default build/default/bin/zqx)
set -euo pipefail
zqx=${1:-build/default/bin/zqx}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

"$zqx" demo --seconds 600 --save-audio "$work/long.wav" >/dev/null
cp "$work/long.wav" "$work/long2.wav"
echo "cpu: $(lscpu | sed -n 's/^Model name: *//p')"

run() {
    local label=$1 audio=$2
    shift 2
    local start end
    start=$(date +%s.%N)
    "$zqx" extract -q -o "$work/out" "$@" >/dev/null
    end=$(date +%s.%N)
    awk -v l="$label" -v a="$audio" -v s="$start" -v e="$end" \
        'BEGIN { t = e - s; printf "%-34s %7.2f s  %6.0fx real time\n", l, t, a / t }'
}

run "1 file (600 s), --jobs 1" 600 --jobs 1 "$work/long.wav"
run "2 files (1200 s), --jobs 1" 1200 --jobs 1 "$work/long.wav" "$work/long2.wav"
run "2 files (1200 s), --jobs 2" 1200 --jobs 2 "$work/long.wav" "$work/long2.wav"
