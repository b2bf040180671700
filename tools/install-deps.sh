#!/usr/bin/env bash
# Installs the Debian packages the build needs, only when some are missing.
# Usage: tools/install-deps.sh [extra-package ...]
set -euo pipefail

packages=(
  g++ cmake ninja-build pkg-config binutils
  libgtest-dev libbenchmark-dev
  libsndfile1-dev libmpg123-dev libcli11-dev nlohmann-json3-dev libebur128-dev libpng-dev
  chromium
  vamp-plugin-sdk vamp-examples
  python3-dev pybind11-dev python3-pybind11 python3-numpy python3-pandas python3-dask python3-distributed
  python3-pytest python3-setuptools python3-wheel python3-pip python3-venv
  "$@"
)

missing=()
for p in "${packages[@]}"; do
  dpkg -s "$p" >/dev/null 2>&1 || missing+=("$p")
done

if ((${#missing[@]})); then
  echo "installing: ${missing[*]}"
  sudo_cmd=()
  [ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)
  "${sudo_cmd[@]}" apt-get update -qq
  DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
