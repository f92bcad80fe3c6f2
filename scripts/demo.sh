#!/usr/bin/env bash
# Builds Pumpwire and runs the host in both modes in a temporary folder:
# the plug-in's menu tree and version at a station and at the office.
set -euo pipefail
cd "$(dirname "$0")/.."
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build
root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
for mode in station office; do
  echo "== pumpwire-host $mode"
  printf 'menu\nversion\nquit\n' | build/pumpwire-host "$mode" --root "$root/$mode" --name "АЗС 3"
done
