#!/usr/bin/env bash
# Times `zqx extract` against decoding alone (`sox FILE -n stat`) on the same files, runs
# interleaved round by round so that the load of a shared machine falls on every command alike,
# measures the peak memory of one extract on a 1-minute and a 60-minute file, and the cost per file
# of a batch: 100 one-second files in one call against one 100-second file.
#
# Usage: bench/extract_bench.sh [-r ROUNDS] [-b BASELINE_ZQX] [ZQX]
#   ZQX          the zqx to time (default build/default/bin/zqx)
#   -b BASELINE  a second zqx (an older build) timed in the same rounds, for before/after tables
#   -r ROUNDS    rounds of every command (default 5); the table shows each command's median
# Needs sox and GNU time (tools/install-deps.sh sox time).
set -euo pipefail

rounds=5
baseline=
while getopts "r:b:" opt; do
    case $opt in
    r) rounds=$OPTARG ;;
    b) baseline=$OPTARG ;;
    *) exit 2 ;;
    esac
done
shift $((OPTIND - 1))
zqx=${1:-build/default/bin/zqx}
for tool in sox /usr/bin/time; do
    command -v "$tool" >/dev/null || { echo "extract_bench: $tool is missing (tools/install-deps.sh sox time)" >&2; exit 1; }
done

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# The files: 10 minutes of synthesised music at 44.1 kHz mono (16-bit WAV), the same as 48 kHz
# stereo FLAC, and 1 and 60 minutes at 44.1 kHz for the memory figures.
"$zqx" demo --seconds 600 --save-audio "$work/10min.wav" >/dev/null
sox -q "$work/10min.wav" -r 48000 -c 2 "$work/10min-48k-stereo.flac"
sox -q "$work/10min.wav" "$work/1min.wav" trim 0 60
sox -q "$work/10min.wav" "$work/100s.wav" trim 0 100
mkdir "$work/batch"
for ((i = 0; i < 100; ++i)); do sox -q "$work/10min.wav" "$(printf "%s/batch/%03d.wav" "$work" "$i")" trim $((i * 5)) 1; done
sox -q "$work/10min.wav" "$work/10min.wav" "$work/10min.wav" "$work/10min.wav" "$work/10min.wav" \
    "$work/10min.wav" "$work/60min.wav"

echo "cpu: $(lscpu | sed -n 's/^Model name: *//p'), $(nproc) cores, load $(cut -d' ' -f1-3 /proc/loadavg)"
echo "zqx: $zqx${baseline:+ (baseline: $baseline)}, $rounds rounds, median wall time per command"

# label|command; each runs once per round, in this order.
commands=()
add_extract() {  # label-prefix zqx
    # Both chroma modes by name, so that builds whose default mode differs time the same work.
    # The job count by name too: the default (the processor cores) differs between builds and machines.
    commands+=("$1 extract -j2 FFT chroma, 10 min WAV|$2 extract -q -j 2 -o $work/out $work/10min.wav --set zqx_tonewheel:useMRFFT=false")
    commands+=("$1 extract -j2 MRFFT chroma, 10 min WAV|$2 extract -q -j 2 -o $work/out $work/10min.wav --set zqx_tonewheel:useMRFFT=true")
    commands+=("$1 extract -j1 MRFFT chroma, 10 min WAV|$2 extract -q -j 1 -o $work/out $work/10min.wav --set zqx_tonewheel:useMRFFT=true")
    commands+=("$1 extract -j1, 10 min 48k stereo FLAC|$2 extract -q -j 1 -o $work/out $work/10min-48k-stereo.flac")
    commands+=("$1 extract -j2, 10 min 48k stereo FLAC|$2 extract -q -j 2 -o $work/out $work/10min-48k-stereo.flac")
}
commands+=("sox stat, 10 min WAV|sox $work/10min.wav -n stat")
commands+=("sox stat, 10 min 48k stereo FLAC|sox $work/10min-48k-stereo.flac -n stat")
add_batch() {  # label-prefix zqx
    commands+=("$1 extract -j1, 100 files of 1 s|$2 extract -q -j 1 -o $work/out-batch $work/batch/*.wav")
    commands+=("$1 extract -j1, 1 file of 100 s|$2 extract -q -j 1 -o $work/out $work/100s.wav")
}
add_extract "zqx" "$zqx"
add_batch "zqx" "$zqx"
if [ -n "$baseline" ]; then
    add_extract "baseline" "$baseline"
    add_batch "baseline" "$baseline"
fi

for ((r = 0; r < rounds; ++r)); do
    for i in "${!commands[@]}"; do
        cmd=${commands[$i]#*|}
        start=$(date +%s.%N)
        $cmd >/dev/null 2>&1
        end=$(date +%s.%N)
        awk -v i="$i" -v s="$start" -v e="$end" 'BEGIN { printf "%d %.4f\n", i, e - s }' >>"$work/times"
    done
done

median() { sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
secondsOf() { awk -v i="$1" '$1 == i { print $2 }' "$work/times" | median; }
soxWav=$(secondsOf 0)
soxFlac=$(secondsOf 1)
printf "%-44s %8s %12s %10s\n" "command" "seconds" "x real time" "vs sox"
for i in "${!commands[@]}"; do
    label=${commands[$i]%%|*}
    t=$(secondsOf "$i")
    ref=$soxWav
    [[ $label == *FLAC* ]] && ref=$soxFlac
    if [[ $label == *" of 1"* ]]; then
        # The batch rows: 100 s of audio each, not compared with decoding.
        awk -v l="$label" -v t="$t" 'BEGIN { printf "%-44s %8.3f %11.0fx %10s\n", l, t, 100 / t, "-" }'
    else
        awk -v l="$label" -v t="$t" -v s="$ref" 'BEGIN { printf "%-44s %8.3f %11.0fx %9.2fx\n", l, t, 600 / t, t / s }'
    fi
done

# Per file in a batch: the time of 100 one-second files beyond that of the same 100 s in one file.
echo
for i in "${!commands[@]}"; do
    label=${commands[$i]%%|*}
    [[ $label == *"100 files"* ]] || continue
    batch=$(secondsOf "$i")
    single=$(secondsOf $((i + 1)))
    awk -v l="${label%% *}" -v b="$batch" -v s="$single" \
        'BEGIN { printf "%-44s %8.2f ms per file\n", l " batch overhead", (b - s) * 10 }'
done

# Peak memory of one whole extract, as the kernel counts it.
maxRss() {
    /usr/bin/time -v "$@" 2>&1 >/dev/null | awk -F': ' '/Maximum resident set size/ { print $2 }'
}
printf "\n%-44s %10s %10s %8s\n" "max RSS (kB)" "1 min" "60 min" "ratio"
for z in "$zqx" ${baseline:+"$baseline"}; do
    one=$(maxRss "$z" extract -q -o "$work/out" "$work/1min.wav")
    sixty=$(maxRss "$z" extract -q -o "$work/out" "$work/60min.wav")
    awk -v l="$z extract" -v a="$one" -v b="$sixty" 'BEGIN { printf "%-44s %10d %10d %7.2fx\n", l, a, b, b / a }'
done
