#!/usr/bin/env bash
# Runs each libFuzzer harness of the fuzz preset for a bounded time, starting from the committed seed
# corpus (copied, so the repository stays as it is). Exits non-zero when any harness finds a crash,
# a sanitizer report, a leak, a time-out or runaway memory; the input that did it is kept under
# build/fuzz/findings/<harness>/.
# Usage: tools/run-fuzzers.sh [seconds-per-harness, default 60] [extra libFuzzer flags...]
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${1:-60}
shift || true
bin=build/fuzz/bin
work=build/fuzz/findings
export LSAN_OPTIONS="suppressions=$PWD/fuzz/lsan.supp:print_suppressions=0"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"

status=0
for harness in audio_extract chain module_process; do
  corpus="$work/$harness/corpus"
  mkdir -p "$corpus"
  cp -n fuzz/corpus/$harness/* "$corpus/"
  echo "== ${harness}_fuzzer, ${seconds} s"
  # libmpg123 prints its own complaints about damaged MP3 input; they are not findings.
  if ! "$bin/${harness}_fuzzer" -max_total_time="$seconds" -timeout=30 -rss_limit_mb=2560 -print_final_stats=1 \
       -artifact_prefix="$work/$harness/" "$@" "$corpus" 2> >(grep -v '^\[src/libmpg123' >&2); then
    echo "== ${harness}_fuzzer found a problem; the input is in $work/$harness/"
    status=1
  fi
done
exit $status
