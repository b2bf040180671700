#!/usr/bin/env bash
# Generates the labelled evaluation set if it is missing or out of date, installs the Essentia peer
# (npm, into eval/node_modules) if missing, brings the zqx build up to date, then scores everything
# and prints the table. Extra arguments go to score.py (e.g. --no-essentia, --rerun-peers).
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
repo="$(dirname "$here")"

# Debian ships npm apart from nodejs; other node builds bundle it, and Debian's npm would clash with them.
extra=()
command -v npm >/dev/null 2>&1 || extra+=(npm)
bash "$repo/tools/install-deps.sh" $(cat "$here/debian-packages.txt") "${extra[@]}"

/usr/bin/python3 "$here/generate_set.py" -o "$repo/build/eval-set"

if [ ! -d "$here/node_modules/essentia.js" ]; then
  (cd "$here" && npm ci --no-audit --no-fund --loglevel=error)
fi

# zqx as the sources stand (an up-to-date build does nothing).
(cd "$repo" && { [ -f build/default/CMakeCache.txt ] || cmake --preset default >/dev/null; } &&
 cmake --build build/default --target zqx zqx_pulsegrid zqx_ratefold zqx_swellgrid zqx_tonewheel tonalscan \
   >/dev/null)

exec /usr/bin/python3 "$here/score.py" --set "$repo/build/eval-set" --run "$repo/build/eval-run" "$@"
