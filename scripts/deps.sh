#!/usr/bin/env bash
# Installs the Debian 12 packages that building, testing and running need.
# Idempotent: does nothing when everything is installed already.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
mapfile -t pkgs < <(grep -v -E '^\s*(#|$)' "$here/.ci/packages.txt")
missing=()
for p in "${pkgs[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if ((${#missing[@]})); then
  echo "deps: installing ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
