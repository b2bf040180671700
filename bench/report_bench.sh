#!/usr/bin/env bash
# The pages' size and speed: `zqx extract` and `zqx extract --report` of a 10-minute synthesised
# file, interleaved, with the CPU seconds of each; `zqx report` of its JSON; the page's size; and
# how long headless Chromium takes to open an index of 1000 results, plain and sorted on opening.
# Usage: bench/report_bench.sh [path/to/zqx] [rounds]   (default build/default/bin/zqx, 3)
set -euo pipefail
zqx=${1:-build/default/bin/zqx}
rounds=${2:-3}
chromium=$(command -v chromium || true)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

"$zqx" demo --seconds 600 --save-audio "$work/long.wav" >/dev/null
echo "cpu: $(lscpu | sed -n 's/^Model name: *//p'); load: $(cut -d' ' -f1-3 /proc/loadavg)"

timed() {
    local label=$1
    shift
    /usr/bin/time -f "$label %e s wall, %U s user" "$@" >/dev/null
}

for ((i = 1; i <= rounds; i++)); do
    timed "extract         " "$zqx" extract -q -o "$work/plain" "$work/long.wav"
    timed "extract --report" "$zqx" extract -q --report -o "$work/report" "$work/long.wav"
    timed "report          " "$zqx" report "$work/plain/long.json" -o "$work/page.html"
done
echo "page: $(stat -c %s "$work/report/long.html") bytes; JSON: $(stat -c %s "$work/plain/long.json") bytes"

# 1000 results: copies of a short one, so the index has 1000 rows.
"$zqx" demo --seconds 8 -o "$work/short" >/dev/null
mkdir -p "$work/corpus"
for ((i = 0; i < 1000; i++)); do cp "$work/short/demo.json" "$work/corpus/r$i.json"; done
"$zqx" report "$work/corpus"/r*.json -o "$work/corpus/index.html"
echo "index: $(stat -c %s "$work/corpus/index.html") bytes"
[ -n "$chromium" ] || { echo "chromium not found: no index timing"; exit 0; }

# A copy of the index that writes the time from navigation to its load event into its title (the
# page's own policy forbids added scripts, so the copy drops it).
probe='<script>addEventListener("load",function(){document.body.offsetHeight;document.title="T="+performance.now().toFixed(0)})</script></body>'
sed -e 's/<meta http-equiv="Content-Security-Policy"[^>]*>//' -e "s#</body>#$probe#" \
    "$work/corpus/index.html" > "$work/corpus/timed.html"
for ((i = 1; i <= rounds; i++)); do
    for page in "timed.html" "timed.html#sort=-duration" "timed.html#sort=key"; do
        ms=$("$chromium" --headless --no-sandbox --disable-gpu --disable-quic --no-first-run \
            --disable-background-networking --disable-component-update --disable-sync \
            --user-data-dir="$work/profile$i" --dump-dom "file://$work/corpus/$page" 2>/dev/null |
            sed -n 's/.*<title>T=\([0-9]*\)<.*/\1/p')
        echo "index of 1000 opened ($page): ${ms} ms to the load event"
    done
done
